#pragma once
// The download of a newer version's installer, with its progress: "cancel",
// "download-text" (the whole percent) and "download-slider" (0 to 100).

#include <QString>
#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "online/installer_download.h"
#include "online/update_reply.h"
#include "ui/framework/window_impl_base.h"

namespace tarn::ui {

class DownloadDialog : public WindowImplBase {
  Q_OBJECT

 public:
  struct Services {
    // Where the installer goes; empty: InstallerDownloadFolder().
    std::string folder;
    // Extra certificate authorities for the download.
    std::string caFile;
    // Opens the downloaded installer; called on the download's worker thread.
    // Empty: OpenInstaller (xdg-open).
    std::function<bool(const std::string&)> openInstaller;
    // Ends the program (the installer was opened, or a forced update was
    // cancelled). Empty: the owner window is asked to close as at the end of
    // the session (a running recording is finished first).
    std::function<void()> endProgram;
    // Called with each percent shown (tests watch the label with it).
    std::function<void(int)> percentShown;
  };

  DownloadDialog(UpdateOffer offer, bool forced, Services services);
  ~DownloadDialog() override;

  // Creates the dialog over `owner`, downloads, and returns once it closed
  // (1); 0 when the layout cannot be loaded.
  static int Run(QWidget* owner, const UpdateOffer& offer, bool forced, Services services);

  // The download's end as the worker reported it (after the dialog closed).
  DownloadOutcome outcome() const { return outcome_; }
  bool installerOpened() const { return opened_; }

 protected:
  QString GetSkinFile() const override { return "DownloadDialog.ui"; }
  QString GetWindowClassName() const override { return "DownloadDialog"; }
  void InitWindow() override;
  void Notify(const TNotifyUI& msg) override;
  // Closing the window cancels; it closes once the worker has stopped.
  bool OnClose(quintptr wParam) override;

 private:
  void Work();
  void ShowPercent(int percent);
  void Finish(DownloadOutcome outcome, bool opened);

  UpdateOffer offer_;
  bool forced_;
  Services services_;
  QWidget* owner_ = nullptr;
  DownloadOutcome outcome_ = DownloadOutcome::kFailed;
  bool opened_ = false;
  bool finished_ = false;  // the worker has reported; UI thread only
  // Set by "cancel" and closing on the UI thread, read by the worker.
  std::atomic<bool> cancelled_{false};
  std::thread worker_;
};

}  // namespace tarn::ui
