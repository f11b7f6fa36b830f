#pragma once
// The menus of the convert and compress items: open the output folder,
// remove the item from its list, cancel its running job. Each posts its
// message to the main window with the list and the item's index.

#include "ui/main/menu_window.h"

namespace tarn::ui::tools {

class ConvertPopMenu : public MenuWindow {
  Q_OBJECT

 public:
  ConvertPopMenu(QWidget* mainWindow, int index);
  // Shows the menu of item `index` to the left of `click` (screen
  // coordinates); null when its layout cannot be loaded (logged).
  static ConvertPopMenu* Open(QWidget* mainWindow, int index, QPoint click);

 protected:
  QString GetSkinFile() const override { return "ConvertPopMenu.ui"; }
  QString GetWindowClassName() const override { return "ConvertPopMenu"; }
};

class CompressPopMenu : public MenuWindow {
  Q_OBJECT

 public:
  CompressPopMenu(QWidget* mainWindow, int index);
  static CompressPopMenu* Open(QWidget* mainWindow, int index, QPoint click);

 protected:
  QString GetSkinFile() const override { return "CompressPopMenu.ui"; }
  QString GetWindowClassName() const override { return "CompressPopMenu"; }
};

}  // namespace tarn::ui::tools
