// The settings dialog opened by the main window: modal over it, one at a
// time, and the record page showing what the dialog changed once it closed.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QPushButton>

#include "tests/support/main_window_fixture.h"
#include "tests/support/seting_dialog_fixture.h"
#include "ui/main/main_messages.h"
#include "ui/overlay/tool_window.h"
#include "ui/overlay/video_mask.h"

namespace tarn::test {
namespace {

class SetingMainWndTest : public MainWindowFixture {
 protected:
  // Opens the dialog with the "seting" button and runs `inside` once it
  // shows; returns when the dialog has closed and deleted itself.
  void WithDialog(const std::function<void(ui::SetingDialog&)>& inside) {
    bool ran = false;
    AnswerWhenShown("SetingDialog", [&](QWidget* window) {
      ran = true;
      auto* dialog = qobject_cast<ui::SetingDialog*>(window);
      ASSERT_NE(dialog, nullptr);
      inside(*dialog);
      if (dialog->isVisible()) dialog->close();
    });
    window_->FindControl<QPushButton>("seting")->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(ran);
    EXPECT_EQ(window_->settingsDialog(), nullptr);
  }
  template <class T = QAbstractButton>
  static T* In(ui::SetingDialog& dialog, const char* name) {
    T* control = dialog.FindControl<T>(name);
    EXPECT_NE(control, nullptr) << name;
    return control;
  }
};

TEST_F(SetingMainWndTest, TheDialogIsModalOverTheWindowAndThePageShowsWhatItChanged) {
  ui::CMainWnd& window = OpenWindow();
  WithDialog([&](ui::SetingDialog& dialog) {
    EXPECT_EQ(dialog.parentWidget(), &window);
    EXPECT_EQ(dialog.windowModality(), Qt::ApplicationModal);
    EXPECT_EQ(window.settingsDialog(), &dialog);
    // The tray's request while it is open brings the same dialog forward.
    ui::SendMessage(&window, ui::kWmOpenSettings);
    int shown = 0;
    for (QWidget* top : QApplication::topLevelWidgets()) {
      shown += top->isVisible() && top->property("windowClass").toString() == "SetingDialog";
    }
    EXPECT_EQ(shown, 1);
    In<QComboBox>(dialog, "video-framerate")->setCurrentIndex(5);
    In(dialog, "mouse-follow-check")->click();
    In<QComboBox>(dialog, "mouse-follow-ratio")->setCurrentIndex(4);
  });
  EXPECT_EQ(window.FindControl<QComboBox>("video-framerate")->currentText(), "30");
  EXPECT_TRUE(window.FindControl<QAbstractButton>("record-area-follow")->isChecked());
  EXPECT_EQ(window.FindControl<QComboBox>("mouse-follow-ratio")->currentText(), "720 x 1080");
  EXPECT_EQ(window.recordArea(), ui::RecordArea::kFollowMouse);
}

TEST_F(SetingMainWndTest, TickingRegionModeShowsTheFrameAndItsToolbarAndClosesTheDialog) {
  settings_.SetString(kMouseFollowCheck, "1");
  ui::CMainWnd& window = OpenWindow();
  ASSERT_EQ(window.recordArea(), ui::RecordArea::kFollowMouse);
  WithDialog([&](ui::SetingDialog& dialog) {
    In(dialog, "user-defined-region-check")->click();
    EXPECT_FALSE(dialog.isVisible());
  });
  EXPECT_TRUE(window.videoMask()->isVisible());
  ASSERT_NE(window.videoMask()->toolbar(), nullptr);
  EXPECT_TRUE(window.videoMask()->toolbar()->isVisible());
  EXPECT_EQ(window.recordArea(), ui::RecordArea::kRegion);
  EXPECT_EQ(Setting("global", "user-defined-region-check"), "1");
  EXPECT_EQ(Setting("mouse-follow", "mouse-follow-check"), "0");

  // Following the mouse from the dialog takes the frame away again.
  WithDialog([&](ui::SetingDialog& dialog) {
    EXPECT_TRUE(In(dialog, "user-defined-region-check")->isChecked());
    In(dialog, "mouse-follow-check")->click();
  });
  EXPECT_TRUE(WaitUntil([&] { return !window.videoMask()->isVisible(); }, 5000));
  EXPECT_EQ(window.recordArea(), ui::RecordArea::kFollowMouse);
}

TEST_F(SetingMainWndTest, SavedHotKeysReachTheWindowAndItsTooltips) {
  ui::CMainWnd& window = OpenWindow();
  EXPECT_EQ(window.FindControl<QPushButton>("recorderStartBtn")->toolTip(),
            QString::fromUtf8("开始录制 (Alt+F8)"));
  PromptCollector prompts;
  WithDialog([&](ui::SetingDialog& dialog) {
    In<QComboBox>(dialog, "start-pause-key1")->setCurrentIndex(1);
    In<QComboBox>(dialog, "start-pause-key2")->setCurrentIndex(2);
    In(dialog, "hotkey-save")->click();
  });
  EXPECT_EQ(prompts.texts.size(), 1u);
  EXPECT_EQ(window.FindControl<QPushButton>("recorderStartBtn")->toolTip(),
            QString::fromUtf8("开始录制 (Ctrl+F3)"));
  EXPECT_EQ(window.FindControl<QPushButton>("recorderPauseBtn")->toolTip(),
            QString::fromUtf8("暂停录制 (Ctrl+F3)"));
  EXPECT_EQ(window.FindControl<QPushButton>("recorderStopBtn")->toolTip(),
            QString::fromUtf8("停止录制 (Alt+F12)"));
  const int id = window.hotKeys().IdentifierOf(ui::HotKeyAction::kStartPause);
  EXPECT_EQ(hotKeys_->registered.at(id), std::make_pair(kHotKeyModCtrl, 114));
}

}  // namespace
}  // namespace tarn::test
