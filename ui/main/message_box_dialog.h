#pragma once
// The two small modal dialogs every window uses: a yes/no question and a notice.

#include <QString>

#include "ui/framework/window_impl_base.h"

namespace tarn::ui {

// A yes/no question: "msgConfirm" closes with 1, "msgCancel" (or closing the
// window) with 0.
class MessageBoxDialog : public WindowImplBase {
  Q_OBJECT

 public:
  explicit MessageBoxDialog(QString text);

  // Creates the dialog over `parent` and runs it; 1 confirm, 0 cancel. A dialog
  // whose layout cannot be loaded logs why and answers 0.
  static int Ask(QWidget* parent, const QString& text);

 protected:
  QString GetSkinFile() const override { return "MessageBox.ui"; }
  QString GetWindowClassName() const override { return "MessageBoxDialog"; }
  void InitWindow() override;
  void Notify(const TNotifyUI& msg) override;
  // Enter confirms, Escape cancels.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QString text_;
};

// A notice: "msgConfirm" closes it with 1.
class PromptBoxDialog : public WindowImplBase {
  Q_OBJECT

 public:
  explicit PromptBoxDialog(QString text);

  // Creates the notice over `parent` and runs it; returns 1 once dismissed.
  static int Show(QWidget* parent, const QString& text);

 protected:
  QString GetSkinFile() const override { return "PromptBox.ui"; }
  QString GetWindowClassName() const override { return "PromptBoxDialog"; }
  void InitWindow() override;
  void Notify(const TNotifyUI& msg) override;
  // Enter and Escape dismiss the notice.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QString text_;
};

}  // namespace tarn::ui
