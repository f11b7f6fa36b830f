#pragma once
// What the user sees of an update check: the notice that nothing is newer
// (asked-for checks only), the notice or question about a newer version, and
// the installer's download. Checks run on worker threads; their results are
// shown on the UI thread.

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <QtGlobal>
#include <functional>
#include <memory>

#include "online/update_checker.h"
#include "ui/update/download_dialog.h"

namespace tarn {
class SettingsStore;
}

namespace tarn::ui {

// The prompts, as their source texts (translated in the context "UpdateFlow").
inline constexpr const char* kNoNewVersionText = QT_TRANSLATE_NOOP("UpdateFlow", "没有发现新版本!");
inline constexpr const char* kNewVersionText = QT_TRANSLATE_NOOP("UpdateFlow", "发现新版本啦!");

class UpdateFlow : public QObject, public UpdateCheckListener {
  Q_OBJECT

 public:
  struct Services {
    // Null: the program's settings file.
    SettingsStore* settings = nullptr;
    // A notice over the owner; by default the modal PromptBoxDialog.
    std::function<void(QWidget*, const QString&)> showPrompt;
    // A yes/no question over the owner, 1 for yes; by default MessageBoxDialog.
    std::function<int(QWidget*, const QString&)> ask;
    // Runs the download of `offer`; by default the modal DownloadDialog with
    // `download` as its services.
    std::function<void(QWidget*, const UpdateOffer&, bool forced)> runDownload;
    DownloadDialog::Services download;
  };

  UpdateFlow(QWidget* owner, Services services);
  // Waits for an asked-for check still running (it gives up quickly).
  ~UpdateFlow() override;

  // Starts a check the user asked for (the tray menu); a check already running
  // is not doubled.
  void CheckNow();
  // Whether an asked-for check is running (UI thread).
  bool checking() const;

  // UpdateCheckListener; any thread: the result is shown on the UI thread.
  void OnUpdateChecked(const UpdateCheckResult& result) override;

 private:
  void Present(const UpdateCheckResult& result);

  QPointer<QWidget> owner_;
  Services services_;
  bool presenting_ = false;  // a prompt or the download is on screen; UI thread only
  std::unique_ptr<UpdateChecker> manualCheck_;
};

}  // namespace tarn::ui
