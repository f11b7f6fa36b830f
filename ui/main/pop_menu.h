#pragma once
// The menu of a row of the recordings lists: open the folder, rename, remove
// the row, delete the file. The chosen item is posted to the main window with
// the row's list and index.

#include "ui/main/menu_window.h"

namespace tarn::ui {

class PopMenu : public MenuWindow {
  Q_OBJECT

 public:
  PopMenu(QWidget* mainWindow, int listKind, int index);

  // Creates the menu for the row `index` of list `listKind` and shows it to
  // the left of `click` (screen coordinates). Null when its layout cannot be
  // loaded (logged).
  static PopMenu* Open(QWidget* mainWindow, int listKind, int index, QPoint click);

 protected:
  QString GetSkinFile() const override { return "PopMenu.ui"; }
  QString GetWindowClassName() const override { return "PopMenu"; }
};

}  // namespace tarn::ui
