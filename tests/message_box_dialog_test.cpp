#include "ui/main/message_box_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

namespace tarn::ui {
namespace {

// Clicks `button` of the first visible window of class `windowClass` once the
// modal loop runs, and records the text it showed.
void ClickWhenShown(const QString& windowClass, const QString& button, QString* shownText) {
  QTimer::singleShot(0, [=] {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (!widget->isVisible() || widget->property("windowClass").toString() != windowClass) continue;
      if (auto* label = widget->findChild<QLabel*>("msgText")) *shownText = label->text();
      if (auto* target = widget->findChild<QPushButton*>(button)) target->click();
      return;
    }
  });
}

class MessageDialogTest : public ::testing::Test {
 protected:
  void SetUp() override { WindowImplBase::SetResourcePath(TARN_SOURCE_SKIN_DIR); }
  void TearDown() override { WindowImplBase::SetResourcePath(QString()); }
};

TEST_F(MessageDialogTest, QuestionAnswersOneForConfirmAndZeroForCancel) {
  const QString question = QString::fromUtf8("正在录制中,确定要退出吗?");
  QString shown;
  ClickWhenShown("MessageBoxDialog", "msgConfirm", &shown);
  EXPECT_EQ(MessageBoxDialog::Ask(nullptr, question), 1);
  EXPECT_EQ(shown, question);

  ClickWhenShown("MessageBoxDialog", "msgCancel", &shown);
  EXPECT_EQ(MessageBoxDialog::Ask(nullptr, question), 0);
}

TEST_F(MessageDialogTest, NoticeAnswersOne) {
  const QString notice = QString::fromUtf8("获取视频设备失败");
  QString shown;
  ClickWhenShown("PromptBoxDialog", "msgConfirm", &shown);
  EXPECT_EQ(PromptBoxDialog::Show(nullptr, notice), 1);
  EXPECT_EQ(shown, notice);
}

// Presses `key` in the first visible window of `windowClass` once it shows.
void PressWhenShown(const QString& windowClass, int key) {
  QTimer::singleShot(0, [=] {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (!widget->isVisible() || widget->property("windowClass").toString() != windowClass) continue;
      QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
      QCoreApplication::sendEvent(widget, &press);
      return;
    }
  });
}

TEST_F(MessageDialogTest, EnterConfirmsAndEscapeCancels) {
  PressWhenShown("MessageBoxDialog", Qt::Key_Return);
  EXPECT_EQ(MessageBoxDialog::Ask(nullptr, "q"), 1);
  PressWhenShown("MessageBoxDialog", Qt::Key_Escape);
  EXPECT_EQ(MessageBoxDialog::Ask(nullptr, "q"), 0);
  PressWhenShown("PromptBoxDialog", Qt::Key_Escape);
  EXPECT_EQ(PromptBoxDialog::Show(nullptr, "n"), 1);
}

TEST_F(MessageDialogTest, MissingLayoutAnswersCancelWithoutShowing) {
  WindowImplBase::SetResourcePath("/nonexistent-skin/");
  EXPECT_EQ(MessageBoxDialog::Ask(nullptr, "q"), 0);
  EXPECT_EQ(PromptBoxDialog::Show(nullptr, "n"), 0);
}

}  // namespace
}  // namespace tarn::ui
