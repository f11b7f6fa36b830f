#include "ui/main/pop_menu.h"

#include <glog/logging.h>

#include <QAbstractButton>
#include <QWheelEvent>

#include "ui/main/main_messages.h"
#include "ui/main/menu_placement.h"

namespace tarn::ui {
namespace {

struct MenuItem {
  const char* name;
  unsigned message;
};

constexpr MenuItem kItems[] = {
    {"file-open-dir", kWmFileOpenDir},
    {"file-rename", kWmFileRename},
    {"file-remove", kWmFileRemove},
    {"file-delete", kWmFileDelete},
};

}  // namespace

PopMenu::PopMenu(QWidget* mainWindow, int listKind, int index)
    : mainWindow_(mainWindow), listKind_(listKind), index_(index) {
  setAttribute(Qt::WA_DeleteOnClose);
}

PopMenu* PopMenu::Open(QWidget* mainWindow, int listKind, int index, QPoint click) {
  auto* menu = new PopMenu(mainWindow, listKind, index);
  try {
    menu->Create(mainWindow, "PopMenu");
  } catch (const WindowInitError& error) {
    LOG(ERROR) << error.what();
    delete menu;
    return nullptr;
  }
  menu->setWindowFlags(Qt::Popup | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint);
  menu->adjustSize();
  menu->move(PlacePopMenu(click, menu->size(), WorkAreaAt(click)));
  menu->show();
  return menu;
}

void PopMenu::InitWindow() {
  for (const MenuItem& item : kItems) RequireControl<QAbstractButton>(item.name);
}

void PopMenu::Notify(const TNotifyUI& msg) {
  if (msg.sType != kNotifyClick) return;
  for (const MenuItem& item : kItems) {
    if (msg.senderName != item.name) continue;
    if (mainWindow_) {
      PostMessage(mainWindow_.data(), item.message, PackFileMenuRequest({listKind_, index_}), 0);
    }
    Close(1);
    return;
  }
}

void PopMenu::wheelEvent(QWheelEvent* event) {
  // The list under the menu must not scroll while the menu is open.
  event->accept();
}

}  // namespace tarn::ui
