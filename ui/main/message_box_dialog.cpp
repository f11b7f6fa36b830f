#include "ui/main/message_box_dialog.h"

#include <glog/logging.h>

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <utility>

namespace tarn::ui {
namespace {

// Runs an already constructed dialog; a layout failure is logged, not fatal.
int RunModal(WindowImplBase& dialog, QWidget* parent, const QString& text) {
  try {
    dialog.Create(parent, QString());
  } catch (const WindowInitError& error) {
    LOG(ERROR) << error.what() << " (text: " << text.toStdString() << ")";
    return 0;
  }
  return dialog.ShowModal();
}

bool IsEnterKey(const QKeyEvent* event) {
  return event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
}

}  // namespace

MessageBoxDialog::MessageBoxDialog(QString text) : text_(std::move(text)) {}

int MessageBoxDialog::Ask(QWidget* parent, const QString& text) {
  MessageBoxDialog dialog(text);
  return RunModal(dialog, parent, text);
}

void MessageBoxDialog::InitWindow() {
  RequireControl<QLabel>("msgText")->setText(text_);
  RequireControl<QWidget>("msgConfirm")->setFocus();
  RequireControl<QWidget>("msgCancel");
}

void MessageBoxDialog::keyPressEvent(QKeyEvent* event) {
  if (IsEnterKey(event)) {
    // The focused button answers; with none focused, Enter confirms.
    if (auto* focused = qobject_cast<QPushButton*>(focusWidget())) {
      focused->click();
    } else {
      Close(1);
    }
  } else if (event->key() == Qt::Key_Escape) {
    Close(0);
  } else {
    WindowImplBase::keyPressEvent(event);
  }
}

void MessageBoxDialog::Notify(const TNotifyUI& msg) {
  if (msg.sType != kNotifyClick) return;
  if (msg.senderName == "msgConfirm") {
    Close(1);
  } else if (msg.senderName == "msgCancel") {
    Close(0);
  }
}

PromptBoxDialog::PromptBoxDialog(QString text) : text_(std::move(text)) {}

int PromptBoxDialog::Show(QWidget* parent, const QString& text) {
  PromptBoxDialog dialog(text);
  return RunModal(dialog, parent, text);
}

void PromptBoxDialog::InitWindow() {
  RequireControl<QLabel>("msgText")->setText(text_);
  RequireControl<QWidget>("msgConfirm")->setFocus();
}

void PromptBoxDialog::keyPressEvent(QKeyEvent* event) {
  if (IsEnterKey(event) || event->key() == Qt::Key_Escape) {
    Close(1);
  } else {
    WindowImplBase::keyPressEvent(event);
  }
}

void PromptBoxDialog::Notify(const TNotifyUI& msg) {
  if (msg.sType == kNotifyClick && msg.senderName == "msgConfirm") Close(1);
}

}  // namespace tarn::ui
