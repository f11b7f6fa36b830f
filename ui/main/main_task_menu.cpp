#include "ui/main/main_task_menu.h"

#include <glog/logging.h>

#include <QAbstractButton>

#include "ui/main/main_messages.h"
#include "ui/main/menu_placement.h"

namespace tarn::ui {
namespace {

struct MenuItem {
  const char* name;
  unsigned message;
};

constexpr MenuItem kItems[] = {
    {"main_menu_item_home", kWmShowMain},         {"main_menu_item_seting", kWmOpenSettings},
    {"main_menu_item_help", kWmOpenHelp},         {"main_menu_item_feedback", kWmOpenFeedback},
    {"main_menu_item_upgrade", kWmCheckUpdate},   {"main_menu_item_quit", kWmAppQuit},
};

}  // namespace

CMainTaskMenu::CMainTaskMenu(QWidget* mainWindow) : mainWindow_(mainWindow) {
  setAttribute(Qt::WA_DeleteOnClose);
}

CMainTaskMenu* CMainTaskMenu::Open(QWidget* mainWindow, QPoint cursor) {
  auto* menu = new CMainTaskMenu(mainWindow);
  try {
    menu->Create(mainWindow, "MenuWnd");
  } catch (const WindowInitError& error) {
    LOG(ERROR) << error.what();
    delete menu;
    return nullptr;
  }
  // A pop-up closes by itself when the user clicks anywhere else or presses
  // Escape, the way a menu does.
  menu->setWindowFlags(Qt::Popup | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint);
  menu->adjustSize();
  menu->move(PlaceTrayMenu(cursor, menu->size(), WorkAreaAt(cursor)));
  menu->show();
  menu->raise();
  menu->activateWindow();
  return menu;
}

void CMainTaskMenu::InitWindow() {
  for (const MenuItem& item : kItems) RequireControl<QAbstractButton>(item.name);
}

void CMainTaskMenu::Notify(const TNotifyUI& msg) {
  if (msg.sType != kNotifyClick) return;
  for (const MenuItem& item : kItems) {
    if (msg.senderName != item.name) continue;
    if (mainWindow_) PostMessage(mainWindow_.data(), item.message, 0, 0);
    // Choosing an item closes the menu.
    Close(1);
    return;
  }
}

}  // namespace tarn::ui
