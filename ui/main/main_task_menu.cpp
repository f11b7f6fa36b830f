#include "ui/main/main_task_menu.h"

#include "ui/main/main_messages.h"
#include "ui/main/menu_placement.h"

namespace tarn::ui {

CMainTaskMenu::CMainTaskMenu(QWidget* mainWindow)
    : MenuWindow(mainWindow,
                 {{"main_menu_item_home", kWmShowMain},
                  {"main_menu_item_seting", kWmOpenSettings},
                  {"main_menu_item_help", kWmOpenHelp},
                  {"main_menu_item_feedback", kWmOpenFeedback},
                  {"main_menu_item_upgrade", kWmCheckUpdate},
                  {"main_menu_item_quit", kWmAppQuit}},
                 0) {}

CMainTaskMenu* CMainTaskMenu::Open(QWidget* mainWindow, QPoint cursor) {
  return Show(new CMainTaskMenu(mainWindow), "MenuWnd",
              [cursor](QSize size) { return PlaceTrayMenu(cursor, size, WorkAreaAt(cursor)); });
}

}  // namespace tarn::ui
