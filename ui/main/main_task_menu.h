#pragma once
// The tray icon's menu: six items, each posting its message to the main
// window. It opens at the cursor, closes when an item is chosen or when it
// loses the focus, and deletes itself when closed.

#include <QPointer>

#include "ui/framework/window_impl_base.h"

namespace tarn::ui {

class CMainTaskMenu : public WindowImplBase {
  Q_OBJECT

 public:
  explicit CMainTaskMenu(QWidget* mainWindow);

  // Creates a menu for `mainWindow` and shows it at `cursor`, inside the work
  // area. Returns the menu (owned by itself) or null when its layout cannot be
  // loaded (logged).
  static CMainTaskMenu* Open(QWidget* mainWindow, QPoint cursor);

 protected:
  QString GetSkinFile() const override { return "MainTaskMenu.ui"; }
  QString GetWindowClassName() const override { return "CDuiMenu "; }
  void InitWindow() override;
  void Notify(const TNotifyUI& msg) override;

 private:
  QPointer<QWidget> mainWindow_;
};

}  // namespace tarn::ui
