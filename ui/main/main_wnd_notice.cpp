// The main window's word on its recordings outside the window: the desktop
// notice of a finished file, the tray menu's recording items and the elapsed
// time in the tray icon's tool tip.

#include <QDBusConnection>
#include <utility>

#include "ui/main/finished_notice.h"
#include "ui/main/main_task_menu.h"
#include "ui/main/main_tray_icon.h"
#include "ui/main/main_wnd.h"
#include "ui/main/message_box_dialog.h"
#include "ui/main/shell_actions.h"
#include "ui/overlay/suspend_dialog.h"

namespace tarn::ui {

CMainTaskMenu* CMainWnd::trayMenu() const { return trayMenu_.data(); }

void CMainWnd::CreateFinishedNotice() {
  FinishedNotice::Services services;
  services.openFile = [](const std::string& path) { return OpenWithDefaultProgram(path); };
  services.openFolder = [](const std::string& dir) { return OpenFolder(dir); };
  services.balloon = [this](const QString& title, const QString& body, std::function<void()> onClicked) {
    return trayIcon_ != nullptr && trayIcon_->ShowNotice(title, body, std::move(onClicked));
  };
  // The user clicked the notice, perhaps far from the window: it comes up to
  // say what went wrong.
  services.tellUser = [this](const QString& text) {
    ShowAndActivate();
    PromptBoxDialog::Show(this, text);
  };
  finishedNotice_ = std::make_unique<FinishedNotice>(
      services_.notificationBus.isEmpty() ? QDBusConnection::sessionBus()
                                          : QDBusConnection(services_.notificationBus),
      std::move(services));
}

TrayRecordingState CMainWnd::TrayState() {
  // Closing waits for the last file: nothing is offered meanwhile.
  if (recorder_ == nullptr || quitPending_) return TrayRecordingState::kFinishing;
  switch (recorder_->state()) {
    case kStateRecording:
      return TrayRecordingState::kRecording;
    case kStatePaused:
      return TrayRecordingState::kPaused;
    case kStateStopped:
      return !startPending_ && recorder_->WaitUntilFinished(0) ? TrayRecordingState::kIdle
                                                                : TrayRecordingState::kFinishing;
    default:
      return TrayRecordingState::kIdle;
  }
}

void CMainWnd::FollowRecordingInTray() {
  const TrayRecordingState state = TrayState();
  if (trayIcon_ != nullptr) {
    if (state != TrayRecordingState::kRecording && state != TrayRecordingState::kPaused) {
      trayIcon_->SetElapsed(QString());
    } else if (trayIcon_->elapsed().isEmpty()) {
      // A new recording: its time shows before the engine's first report.
      trayIcon_->SetElapsed(ElapsedTimeText(0));
    }
  }
  if (trayMenu_) trayMenu_->ShowRecordingState(state);
}

}  // namespace tarn::ui
