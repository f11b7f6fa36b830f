#pragma once
// Tells the user that a recording's file is complete: a desktop notification
// through the freedesktop notification service on the session D-Bus, naming
// the file and its folder and offering to play it or open its folder; the
// tray icon's balloon when no notification service answers; a log line when
// neither can be shown. UI thread only.

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ui/framework/ui_text.h"

namespace tarn::ui {

// The notification service: its bus name, object and interface.
inline constexpr const char* kNotificationsService = "org.freedesktop.Notifications";
inline constexpr const char* kNotificationsPath = "/org/freedesktop/Notifications";
inline constexpr const char* kNotificationsInterface = "org.freedesktop.Notifications";

// What the notice says and offers.
inline constexpr const char* kNoticeAppName = "TarnRecorder";
inline constexpr const char* kNoticeSummary = QT_TRANSLATE_NOOP("TarnRecorder", "录制完成");
inline constexpr const char* kNoticeSavedIn = QT_TRANSLATE_NOOP("TarnRecorder", "保存在 ");
// Action keys and their labels: "default" is a click on the notice itself.
inline constexpr const char* kNoticeActionDefault = "default";
inline constexpr const char* kNoticeActionPlay = "play";
inline constexpr const char* kNoticeActionFolder = "folder";
inline constexpr const char* kNoticeOpenLabel = QT_TRANSLATE_NOOP("TarnRecorder", "打开");
inline constexpr const char* kNoticePlayLabel = QT_TRANSLATE_NOOP("TarnRecorder", "播放");
inline constexpr const char* kNoticeFolderLabel = QT_TRANSLATE_NOOP("TarnRecorder", "打开文件夹");
// Told to the user when the desktop could not open what was asked for.
inline constexpr const char* kNoticeCannotPlayText = QT_TRANSLATE_NOOP("TarnRecorder", "无法打开录制文件: ");
inline constexpr const char* kNoticeCannotOpenFolderText = QT_TRANSLATE_NOOP("TarnRecorder", "无法打开文件夹: ");

// The body of the notice for the file `path`: its name, then its folder.
// Plain text; `markup` escapes it for services that read the body as markup.
QString FinishedNoticeBody(const std::string& path, bool markup);
// The action list of the notice: key, label, key, label...
QStringList FinishedNoticeActions();

class FinishedNotice : public QObject {
  Q_OBJECT

 public:
  // Where the last notice went.
  enum class Way { kNone, kDesktop, kBalloon, kNowhere };

  struct Services {
    // Opens a file with the desktop's program for it; false when nothing
    // could be started.
    std::function<bool(const std::string& path)> openFile;
    // Shows a folder in the file manager; false when none could be started.
    std::function<bool(const std::string& dir)> openFolder;
    // Shows a balloon from the tray icon; false when the desktop shows none.
    // A click on the balloon runs `onClicked`.
    std::function<bool(const QString& title, const QString& body, std::function<void()> onClicked)>
        balloon;
    // Shows a message to the user (an opener failed).
    std::function<void(const QString& text)> tellUser;
  };

  // Notifications go through `bus` (normally the session bus); a bus that is
  // not connected sends every notice to the balloon.
  FinishedNotice(QDBusConnection bus, Services services, QObject* parent = nullptr);
  ~FinishedNotice() override;

  // Announces that the recording `path` is complete. Returns at once: the
  // notification service is asked asynchronously, and `Shown` tells where the
  // notice went.
  void Announce(const std::string& path);
  // The program is closing: later recordings are not announced, and the
  // buttons of notices still shown do nothing.
  void Shutdown();

  Way lastWay() const { return lastWay_; }
  // The id the notification service gave the last desktop notice.
  uint lastNotificationId() const { return lastId_; }
  // Files announced so far, in order.
  const std::vector<std::string>& announced() const { return announced_; }

 signals:
  void Shown(tarn::ui::FinishedNotice::Way way);

 private slots:
  void OnActionInvoked(uint id, const QString& action);
  void OnNotificationClosed(uint id, uint reason);

 private:
  void Notify(const std::string& path, bool markup);
  void ShowBalloon(const std::string& path, const QString& why);
  void OpenFile(const std::string& path);
  void OpenFolderOf(const std::string& path);
  void Finish(Way way);

  QDBusConnection bus_;
  Services services_;
  // Desktop notices still shown, by the service's id: their actions open
  // these files. Other programs' ids arrive too and are ignored.
  std::map<uint, std::string> shown_;
  std::vector<std::string> announced_;
  bool shutDown_ = false;
  Way lastWay_ = Way::kNone;
  uint lastId_ = 0;
};

}  // namespace tarn::ui
