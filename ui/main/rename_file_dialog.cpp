#include "ui/main/rename_file_dialog.h"

#include <glog/logging.h>

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <utility>

#include "ui/framework/ui_text.h"

namespace tarn::ui {

RenameFileDialog::RenameFileDialog(QString currentName) : currentName_(std::move(currentName)) {}

int RenameFileDialog::Ask(QWidget* parent, const QString& currentName, QString* newName) {
  RenameFileDialog dialog(currentName);
  try {
    dialog.Create(parent, QCoreApplication::translate("TarnRecorder", "重命名"));
  } catch (const WindowInitError& error) {
    LOG(ERROR) << error.what();
    return 0;
  }
  const int result = dialog.ShowModal();
  if (result == 1 && newName != nullptr) *newName = dialog.newName();
  return result;
}

void RenameFileDialog::InitWindow() {
  auto* input = RequireControl<QLineEdit>("renameFileInput");
  RequireControl<QLabel>("renameError")->clear();
  auto* confirm = RequireControl<QPushButton>("renameFileConfirm");
  RequireControl<QPushButton>("renameFileCancel");
  confirm->setDefault(true);
  // Enter in the input confirms, as the button does.
  connect(input, &QLineEdit::returnPressed, confirm, &QPushButton::click);
  if (!currentName_.isEmpty()) {
    input->setText(currentName_);
    // Only the name is selected, so typing keeps the extension.
    const qsizetype point = currentName_.lastIndexOf('.');
    input->setSelection(0, point > 0 ? point : currentName_.size());
  }
  input->setFocus();
}

void RenameFileDialog::Notify(const TNotifyUI& msg) {
  if (msg.sType != kNotifyClick) return;
  if (msg.senderName == "renameFileConfirm") {
    const QString text = FindControl<QLineEdit>("renameFileInput")->text();
    if (text.isEmpty()) {
      FindControl<QLabel>("renameError")->setText(QCoreApplication::translate("TarnRecorder", "请输入新的文件名!"));
      return;
    }
    newName_ = text;
    Close(1);
  } else if (msg.senderName == "renameFileCancel") {
    Close(0);
  }
}

}  // namespace tarn::ui

namespace tarn::ui {

void RenameFileDialog::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    Close(0);
  } else {
    WindowImplBase::keyPressEvent(event);
  }
}

}  // namespace tarn::ui
