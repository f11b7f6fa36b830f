#pragma once
// The notification-area icon of the main window: its picture, tip and
// balloon follow the recording, and its clicks reach the main window as
// kWmTrayIcon messages. Works (and keeps its state) when the desktop has no
// notification area.

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QSystemTrayIcon>
#include <functional>
#include <memory>

#include "ui/framework/ui_text.h"

namespace tarn::ui {

// The two pictures of the icon.
inline constexpr int kTrayIconNormal = 131;
inline constexpr int kTrayIconAlternate = 132;

// Tips and balloons.
inline constexpr const char* kTrayTipIdle = QT_TRANSLATE_NOOP("TarnRecorder", "高清视频录制软件");
inline constexpr const char* kTrayTipRecording = QT_TRANSLATE_NOOP("TarnRecorder", "录制中...");
inline constexpr const char* kTrayTipPaused = QT_TRANSLATE_NOOP("TarnRecorder", "暂停录制...");
inline constexpr const char* kTrayBalloonStopped = QT_TRANSLATE_NOOP("TarnRecorder", "已停止...");

// The picture of icon 131 or 132, from the skin folder.
QIcon ProgramIcon(int iconId);

class MainTrayIcon : public QObject {
  Q_OBJECT

 public:
  // `owner` receives kWmTrayIcon with the mouse message in lParam.
  explicit MainTrayIcon(QObject* owner);
  ~MainTrayIcon() override;

  // Shows the icon with picture 131 and the idle tip.
  void Add();
  // Changes picture, tip and balloon; an empty balloon shows none.
  void Modify(int iconId, const QString& tip, const QString& balloon);
  // Removes the icon.
  void Delete();
  // The elapsed time shown after the tip ("00:01:23"); empty shows the tip
  // alone. Kept across Modify until changed.
  void SetElapsed(const QString& elapsed);
  // Shows a balloon with a title; a click on it runs `onClicked`. False when
  // there is no icon or the desktop shows no balloons.
  bool ShowNotice(const QString& title, const QString& text, std::function<void()> onClicked);

  bool added() const { return added_; }
  int iconId() const { return iconId_; }
  const QString& tip() const { return tip_; }
  const QString& elapsed() const { return elapsed_; }
  // What the icon's tool tip shows: the tip, and the elapsed time after it.
  QString toolTip() const;
  // The last balloon shown, empty when the last change showed none.
  const QString& balloon() const { return balloon_; }

 private:
  void OnActivated(QSystemTrayIcon::ActivationReason reason);
  void OnMessageClicked();
  const QIcon& Picture(int iconId);

  QPointer<QObject> owner_;
  std::unique_ptr<QSystemTrayIcon> icon_;
  bool added_ = false;
  int iconId_ = kTrayIconNormal;
  QString tip_;
  QString balloon_;
  QString elapsed_;
  // What a click on the balloon shown last does; none for state balloons.
  std::function<void()> balloonClicked_;
  QIcon normalPicture_;
  QIcon alternatePicture_;
};

}  // namespace tarn::ui
