#include "ui/tools/tool_menus.h"

#include "ui/main/main_messages.h"
#include "ui/main/menu_placement.h"

namespace tarn::ui::tools {
namespace {

std::vector<MenuWindow::Item> ItemMenu() {
  return {{"file-open-dir", kWmFileOpenDir},
          {"file-remove", kWmFileRemove},
          {"job-cancel", kWmToolCancel}};
}

}  // namespace

ConvertPopMenu::ConvertPopMenu(QWidget* mainWindow, int index)
    : MenuWindow(mainWindow, ItemMenu(), PackFileMenuRequest({kListConvert, index})) {}

ConvertPopMenu* ConvertPopMenu::Open(QWidget* mainWindow, int index, QPoint click) {
  return Show(new ConvertPopMenu(mainWindow, index), "ConvertPopMenu",
              [click](QSize size) { return PlacePopMenu(click, size, WorkAreaAt(click)); });
}

CompressPopMenu::CompressPopMenu(QWidget* mainWindow, int index)
    : MenuWindow(mainWindow, ItemMenu(), PackFileMenuRequest({kListCompress, index})) {}

CompressPopMenu* CompressPopMenu::Open(QWidget* mainWindow, int index, QPoint click) {
  return Show(new CompressPopMenu(mainWindow, index), "CompressPopMenu",
              [click](QSize size) { return PlacePopMenu(click, size, WorkAreaAt(click)); });
}

}  // namespace tarn::ui::tools
