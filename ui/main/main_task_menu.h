#pragma once
// The tray icon's menu: six items, each posting its message to the main
// window. It opens at the cursor, inside the work area.

#include "ui/main/menu_window.h"

namespace tarn::ui {

class CMainTaskMenu : public MenuWindow {
  Q_OBJECT

 public:
  explicit CMainTaskMenu(QWidget* mainWindow);

  // Creates a menu for `mainWindow` and shows it at `cursor`. Returns the menu
  // (owned by itself) or null when its layout cannot be loaded (logged).
  static CMainTaskMenu* Open(QWidget* mainWindow, QPoint cursor);

 protected:
  QString GetSkinFile() const override { return "MainTaskMenu.ui"; }
  QString GetWindowClassName() const override { return "CDuiMenu "; }
};

}  // namespace tarn::ui
