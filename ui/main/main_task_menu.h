#pragma once
// The tray icon's menu: the recording's start, pause, resume and stop as the
// recording's state allows, then six items, each posting its message to the
// main window. It opens at the cursor, inside the work area.

#include "ui/main/menu_window.h"

namespace tarn::ui {

// The recording's state as the tray menu offers it.
enum class TrayRecordingState {
  kIdle,       // start
  kRecording,  // pause, stop
  kPaused,     // resume, stop
  kFinishing,  // the last file is being finished: nothing
};

class CMainTaskMenu : public MenuWindow {
  Q_OBJECT

 public:
  CMainTaskMenu(QWidget* mainWindow, TrayRecordingState state);

  // Creates a menu for `mainWindow` and shows it at `cursor`. Returns the menu
  // (owned by itself) or null when its layout cannot be loaded (logged).
  static CMainTaskMenu* Open(QWidget* mainWindow, QPoint cursor,
                             TrayRecordingState state = TrayRecordingState::kIdle);

  // Shows and enables the recording items for `state`; an open menu follows
  // a state changed meanwhile (a hot key, the floating panel).
  void ShowRecordingState(TrayRecordingState state);
  TrayRecordingState recordingState() const { return state_; }

 protected:
  QString GetSkinFile() const override { return "MainTaskMenu.ui"; }
  QString GetWindowClassName() const override { return "CDuiMenu "; }
  void InitWindow() override;

 private:
  TrayRecordingState state_;
};

}  // namespace tarn::ui
