#include "ui/main/pop_menu.h"

#include "ui/main/main_messages.h"
#include "ui/main/menu_placement.h"

namespace tarn::ui {

PopMenu::PopMenu(QWidget* mainWindow, int listKind, int index)
    : MenuWindow(mainWindow,
                 {{"file-open-dir", kWmFileOpenDir},
                  {"file-rename", kWmFileRename},
                  {"file-remove", kWmFileRemove},
                  {"file-delete", kWmFileDelete}},
                 PackFileMenuRequest({listKind, index})) {}

PopMenu* PopMenu::Open(QWidget* mainWindow, int listKind, int index, QPoint click) {
  return Show(new PopMenu(mainWindow, listKind, index), "PopMenu",
              [click](QSize size) { return PlacePopMenu(click, size, WorkAreaAt(click)); });
}

}  // namespace tarn::ui
