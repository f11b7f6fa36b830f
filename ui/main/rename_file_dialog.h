#pragma once
// Asks for a recording's new name.

#include <QString>

#include "ui/framework/window_impl_base.h"

namespace tarn::ui {

// "renameFileConfirm" with an empty input shows an error and keeps the dialog
// open; otherwise it closes with 1 and newName() holds the input.
// "renameFileCancel" closes with 0.
class RenameFileDialog : public WindowImplBase {
  Q_OBJECT

 public:
  // `currentName` is offered in the input, selected, for editing.
  explicit RenameFileDialog(QString currentName = QString());

  // Runs the dialog over `parent`; 1 and the new name, or 0 (also when the
  // layout cannot be loaded, logged).
  static int Ask(QWidget* parent, const QString& currentName, QString* newName);

  const QString& newName() const { return newName_; }

 protected:
  QString GetSkinFile() const override { return "RenameFile.ui"; }
  QString GetWindowClassName() const override { return "RenameFileDialog"; }
  void InitWindow() override;
  void Notify(const TNotifyUI& msg) override;
  // Escape cancels.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QString currentName_;
  QString newName_;
};

}  // namespace tarn::ui
