#pragma once
// The base of the program's pop-up menus: a layout of item buttons, each
// posting its message to the main window. A menu opens where its owner
// places it, closes when an item is chosen, on Escape or a click elsewhere,
// and deletes itself when closed.

#include <QPoint>
#include <QPointer>
#include <QSize>
#include <functional>
#include <vector>

#include "ui/framework/window_impl_base.h"

namespace tarn::ui {

class MenuWindow : public WindowImplBase {
  Q_OBJECT

 public:
  struct Item {
    const char* name;   // the item button's name in the layout
    unsigned message;   // posted to the main window when it is clicked
  };

 protected:
  // Chosen items post their message with `wParam` to `mainWindow`.
  MenuWindow(QWidget* mainWindow, std::vector<Item> items, quintptr wParam);

  // Creates `menu` over its main window and shows it at place(menu size).
  // Returns `menu`, or null (after deleting it and logging why) when its
  // layout cannot be loaded.
  template <class Menu>
  static Menu* Show(Menu* menu, const QString& title, const std::function<QPoint(QSize)>& place) {
    return ShowMenu(menu, title, place) ? menu : nullptr;
  }

  void InitWindow() override;
  void Notify(const TNotifyUI& msg) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  static bool ShowMenu(MenuWindow* menu, const QString& title,
                       const std::function<QPoint(QSize)>& place);

  QPointer<QWidget> mainWindow_;
  std::vector<Item> items_;
  quintptr wParam_;
};

}  // namespace tarn::ui
