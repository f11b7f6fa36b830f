#include "ui/main/menu_window.h"

#include <glog/logging.h>

#include <QAbstractButton>
#include <QWheelEvent>
#include <utility>

#include "ui/framework/custom_message.h"

namespace tarn::ui {

MenuWindow::MenuWindow(QWidget* mainWindow, std::vector<Item> items, quintptr wParam)
    : mainWindow_(mainWindow), items_(std::move(items)), wParam_(wParam) {
  setAttribute(Qt::WA_DeleteOnClose);
}

bool MenuWindow::ShowMenu(MenuWindow* menu, const QString& title,
                          const std::function<QPoint(QSize)>& place) {
  try {
    menu->Create(menu->mainWindow_.data(), title);
  } catch (const WindowInitError& error) {
    LOG(ERROR) << error.what();
    delete menu;
    return false;
  }
  // A pop-up closes by itself when the user clicks anywhere else or presses
  // Escape, the way a menu does.
  menu->setWindowFlags(Qt::Popup | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint);
  menu->adjustSize();
  menu->move(place(menu->size()));
  menu->show();
  menu->raise();
  menu->activateWindow();
  return true;
}

void MenuWindow::InitWindow() {
  for (const Item& item : items_) RequireControl<QAbstractButton>(item.name);
}

void MenuWindow::Notify(const TNotifyUI& msg) {
  if (msg.sType != kNotifyClick) return;
  for (const Item& item : items_) {
    if (msg.senderName != item.name) continue;
    if (mainWindow_) PostMessage(mainWindow_.data(), item.message, wParam_, 0);
    // Choosing an item closes the menu.
    Close(1);
    return;
  }
}

void MenuWindow::wheelEvent(QWheelEvent* event) {
  // What lies under the menu must not scroll while the menu is open.
  event->accept();
}

}  // namespace tarn::ui
