// The main window on the desktop: its global hot keys, its tray menu, and
// closing, which waits for a recording's file to be complete.

#include <glog/logging.h>

#include <QCursor>

#include "platform/app_data_dir.h"
#include "ui/framework/ui_text.h"
#include "ui/main/finished_notice.h"
#include "ui/main/main_hot_keys.h"
#include "ui/main/main_messages.h"
#include "ui/main/main_task_menu.h"
#include "ui/main/main_tray_icon.h"
#include "ui/main/main_wnd.h"
#include "ui/main/message_box_dialog.h"

namespace tarn::ui {

void CMainWnd::OnHotKey(int id, qintptr lParam) {
  switch (hotKeys_->ActionFor(id)) {
    case HotKeyAction::kStartPause:
      // The floating panel is told first, so its buttons match what follows.
      if (uiState_ == kUiRecording) {
        PostMessage(floatingPanel_.data(), kWmPanelPaused, static_cast<quintptr>(id), lParam);
        PauseRecording();
      } else {
        PostMessage(floatingPanel_.data(), kWmPanelRunning, static_cast<quintptr>(id), lParam);
        StartRecording();
      }
      break;
    case HotKeyAction::kStop:
      StopRecording();
      break;
    case HotKeyAction::kOpenLog:
      OpenFolderOrSay(GetAppDataDir(kLogRelativeDir));
      break;
    case HotKeyAction::kScreenBrush:
      OpenScreenBrush();
      break;
    case HotKeyAction::kScreenshot:
    case HotKeyAction::kNone:
      break;
  }
}

// --- Windows opened from here ----------------------------------------------------

void CMainWnd::ShowAndActivate() {
  if (isMinimized()) {
    showNormal();
  } else {
    show();
  }
  raise();
  activateWindow();
}

void CMainWnd::OpenTrayMenu() {
  const QPoint cursor = QCursor::pos();
  ShowAndActivate();
  trayMenu_ = CMainTaskMenu::Open(this, cursor, TrayState());
}

// --- Closing ---------------------------------------------------------------------

bool CMainWnd::OnClose(quintptr wParam) {
  const bool quitting = wParam == kCloseForQuit || wParam == kCloseForSessionEnd;
  if (quitPending_) {
    // Already waiting for the recording's file; the close follows it.
    return recorder_ == nullptr || recorder_->WaitUntilFinished(0);
  }
  if (!quitting && settings_.GetInt(kWindowClose, kWindowCloseDefault) != 0) {
    showMinimized();
    return false;
  }
  if (!AskToEndToolJobs(wParam)) return false;
  if (recorder_ == nullptr) return EndToolJobs();
  const int engineState = recorder_->state();
  if (engineState == kStateRecording || engineState == kStatePaused) {
    if (wParam != kCloseForSessionEnd &&
        MessageBoxDialog::Ask(this, UiText(kQuitWhileRecordingText)) != 1) {
      return false;
    }
    StopRecording();
  }
  EndToolJobs();
  startPending_ = false;
  if (recorder_->WaitUntilFinished(0)) return true;
  // The file is still being finished: the window stays responsive and closes
  // once the file is complete.
  quitPending_ = true;
  setEnabled(false);
  SetTimer(kTimerWaitForFile, kWaitForFilePeriodMs);
  LOG(INFO) << "closing once the recording's file is complete";
  return false;
}

void CMainWnd::OnFinalMessage() {
  ReleaseDesktopHooks();
  // The main window's end is the program's end.
  LOG(INFO) << "main window closed";
  services_.onClosed();
}

void CMainWnd::ReleaseDesktopHooks() {
  CloseScreenBrush();
  CloseCameraPreview();
  StopWatchingClicks();
  if (finishedNotice_) finishedNotice_->Shutdown();
  if (trayIcon_) trayIcon_->Delete();
  if (hotKeys_) hotKeys_->UnregisterAll();
}

}  // namespace tarn::ui
