#include "ui/main/main_task_menu.h"

#include <QAbstractButton>

#include "ui/main/main_messages.h"
#include "ui/main/menu_placement.h"
#include "tarn_version.h"

namespace tarn::ui {

CMainTaskMenu::CMainTaskMenu(QWidget* mainWindow, TrayRecordingState state)
    : MenuWindow(mainWindow,
                 {// Resume is a start of a paused recording, as on the record page.
                  {"main_menu_item_start", kWmRecordStart},
                  {"main_menu_item_pause", kWmRecordPause},
                  {"main_menu_item_resume", kWmRecordStart},
                  {"main_menu_item_stop", kWmRecordStop},
                  {"main_menu_item_home", kWmShowMain},
                  {"main_menu_item_seting", kWmOpenSettings},
                  {"main_menu_item_help", kWmOpenHelp},
                  {"main_menu_item_feedback", kWmOpenFeedback},
                  {"main_menu_item_upgrade", kWmCheckUpdate},
                  {"main_menu_item_quit", kWmAppQuit}},
                 0),
      state_(state) {}

CMainTaskMenu* CMainTaskMenu::Open(QWidget* mainWindow, QPoint cursor, TrayRecordingState state) {
  return Show(new CMainTaskMenu(mainWindow, state), "MenuWnd",
              [cursor](QSize size) { return PlaceTrayMenu(cursor, size, WorkAreaAt(cursor)); });
}

void CMainTaskMenu::InitWindow() {
  MenuWindow::InitWindow();
  // A build without network requests has no update check to offer.
  if (auto* upgrade = FindControl<QWidget>("main_menu_item_upgrade")) {
    upgrade->setVisible(TARN_UPDATE_CHECK != 0);
  }
  ShowRecordingState(state_);
}

void CMainTaskMenu::ShowRecordingState(TrayRecordingState state) {
  state_ = state;
  auto* start = FindControl<QAbstractButton>("main_menu_item_start");
  auto* pause = FindControl<QAbstractButton>("main_menu_item_pause");
  auto* resume = FindControl<QAbstractButton>("main_menu_item_resume");
  auto* stop = FindControl<QAbstractButton>("main_menu_item_stop");
  if (start == nullptr || pause == nullptr || resume == nullptr || stop == nullptr) return;
  const bool idle = state == TrayRecordingState::kIdle;
  const bool recording = state == TrayRecordingState::kRecording;
  const bool paused = state == TrayRecordingState::kPaused;
  // Start, pause and resume share one place, as on the record page; start
  // stays in view (disabled) while the last file is being finished.
  start->setVisible(!recording && !paused);
  start->setEnabled(idle);
  pause->setVisible(recording);
  resume->setVisible(paused);
  stop->setEnabled(recording || paused);
  if (isVisible()) adjustSize();
}

}  // namespace tarn::ui
