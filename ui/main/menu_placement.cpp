#include "ui/main/menu_placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>

namespace tarn::ui {

namespace {

// A menu's wanted rectangle moved back into the work area. Edges are
// exclusive: a menu of height h at top t covers rows t to t + h - 1.
struct Placed {
  int left;
  int top;
};

}  // namespace

QPoint PlaceTrayMenu(QPoint cursor, QSize menu, QRect workArea) {
  const int areaRight = workArea.x() + workArea.width();
  const int areaBottom = workArea.y() + workArea.height();
  Placed placed{cursor.x(), cursor.y()};
  if (placed.top + menu.height() > areaBottom) {
    placed.top = menu.height() < workArea.height() ? cursor.y() - menu.height() : workArea.y();
  }
  if (placed.left + menu.width() > areaRight) {
    placed.left = menu.width() < workArea.width() ? areaRight - menu.width() : workArea.x();
  }
  // Off the cursor, and still inside the work area.
  int left = placed.left + 6;
  int top = placed.top - 6;
  left = std::max(std::min(left, areaRight - menu.width()), workArea.x());
  top = std::max(std::min(top, areaBottom - menu.height()), workArea.y());
  return {left, top};
}

QPoint PlacePopMenu(QPoint click, QSize menu, QRect workArea) {
  const int areaRight = workArea.x() + workArea.width();
  const int areaBottom = workArea.y() + workArea.height();
  Placed placed{click.x(), click.y()};
  if (placed.top + menu.height() > areaBottom) {
    placed.top = menu.height() < workArea.height() ? areaBottom - menu.height() : workArea.y();
  }
  if (placed.left + menu.width() > areaRight) {
    placed.left = menu.width() < workArea.width() ? areaRight - menu.width() : workArea.x();
  }
  // Opening to the left of the click must not push the menu off the screen.
  return {std::max(placed.left - menu.width(), workArea.x()), placed.top};
}

QRect WorkAreaAt(QPoint point) {
  QScreen* screen = QGuiApplication::screenAt(point);
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  return screen != nullptr ? screen->availableGeometry() : QRect();
}

}  // namespace tarn::ui
