#include "ui/main/menu_placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>

namespace tarn::ui {

QPoint PlaceTrayMenu(QPoint cursor, QSize menu, QRect workArea) {
  QRect wanted(cursor, menu);
  if (wanted.bottom() > workArea.bottom()) {
    if (menu.height() < workArea.height()) {
      wanted.moveBottom(cursor.y());
    } else {
      wanted.moveTop(workArea.top());
    }
  }
  if (wanted.right() > workArea.right()) {
    if (menu.width() < workArea.width()) {
      wanted.moveRight(workArea.right());
    } else {
      wanted.moveLeft(workArea.left());
    }
  }
  return {wanted.left() + 6, wanted.top() - 6};
}

QPoint PlacePopMenu(QPoint click, QSize menu, QRect workArea) {
  QRect wanted(click, menu);
  if (wanted.bottom() > workArea.bottom()) {
    if (menu.height() < workArea.height()) {
      wanted.moveBottom(workArea.bottom());
    } else {
      wanted.moveTop(workArea.top());
    }
  }
  if (wanted.right() > workArea.right()) {
    if (menu.width() < workArea.width()) {
      wanted.moveRight(workArea.right());
    } else {
      wanted.moveLeft(workArea.left());
    }
  }
  // Opening to the left of the click must not push the menu off the screen.
  const int left = std::max(wanted.left() - menu.width(), workArea.left());
  return {left, wanted.top()};
}

QRect WorkAreaAt(QPoint point) {
  QScreen* screen = QGuiApplication::screenAt(point);
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  return screen != nullptr ? screen->availableGeometry() : QRect();
}

}  // namespace tarn::ui
