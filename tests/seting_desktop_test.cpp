// The settings dialog on a desktop of its own: saving a hot key that another
// X client holds, with keys pressed by xdotool, and the camera preview it
// opens. A hot key's absence is shown without sleeping: keys are pressed in
// order and a registered combination last, so once that one is reported
// every earlier press has been handled.

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <mutex>

#include "platform/global_hot_keys.h"
#include "tests/support/main_window_fixture.h"
#include "tests/support/seting_dialog_fixture.h"
#include "ui/preview/camera_window.h"
#include "ui/settings/seting_values.h"

namespace tarn::test {
namespace {

// The identifiers reported on the hot-key thread.
class PressLog {
 public:
  void Add(int id) {
    std::lock_guard lock(mutex_);
    ids_.push_back(id);
    changed_.notify_all();
  }
  // Waits until `id` was reported (or 5 s passed) and takes every id so far.
  std::vector<int> TakeUntil(int id) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::seconds(5),
                      [&] { return std::find(ids_.begin(), ids_.end(), id) != ids_.end(); });
    return std::exchange(ids_, {});
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<int> ids_;
};

class SetingDesktopHotKeysTest : public SetingDialogFixture {
 protected:
  void SetUp() override {
    SetingDialogFixture::SetUp();
    if (std::system("command -v xdotool >/dev/null 2>&1") != 0) {
      GTEST_SKIP() << "xdotool is not installed: cannot press keys";
    }
    hotKeys_ = std::make_unique<ui::MainHotKeys>(settings_, platform::CreateGlobalHotKeys(),
                                                 platform::HotKeyIdentifier);
    hotKeys_->RegisterAll([this](int id) { log_.Add(id); });
    if (!hotKeys_->startPauseActive() || !hotKeys_->stopActive()) {
      GTEST_SKIP() << "Alt+F8 / Alt+F12 are held by another program on this desktop";
    }
  }
  int Id(ui::HotKeyAction action) const { return hotKeys_->IdentifierOf(action); }
  static bool Press(const std::string& keys) { return std::system(("xdotool key " + keys).c_str()) == 0; }

  PressLog log_;
};

TEST_F(SetingDesktopHotKeysTest, AKeyHeldByAnotherClientIsRefusedAndTheOldOneStillWorks) {
  auto other = platform::CreateGlobalHotKeys();
  ASSERT_TRUE(other->Start([](int) {}));
  ASSERT_TRUE(other->Register(1, kHotKeyModCtrl, 116));  // Ctrl+F5
  const std::string storedBefore = Setting("hotkey", "start-pause-key2");
  const int startPause = Id(ui::HotKeyAction::kStartPause);
  const int stop = Id(ui::HotKeyAction::kStop);

  OpenDialog();
  PromptCollector prompts;
  List("start-pause-key1")->setCurrentIndex(1);
  List("start-pause-key2")->setCurrentIndex(4);
  Button("hotkey-save")->click();
  EXPECT_EQ(prompts.texts, (std::vector<QString>{QString::fromUtf8(ui::kStartPauseHotKeyFailedText)}));
  EXPECT_EQ(Setting("hotkey", "start-pause-key2"), storedBefore);
  EXPECT_EQ(Setting("hotkey", "start-pause-key1-index"), "(absent)");

  // The old start/pause key still reaches the program; Ctrl+F5 the other client.
  ASSERT_TRUE(Press("ctrl+F5 alt+F8 alt+F12"));
  EXPECT_EQ(log_.TakeUntil(stop), (std::vector<int>{startPause, stop}));

  // A free combination replaces the old one, which another client may then take.
  List("start-pause-key2")->setCurrentIndex(5);  // Ctrl+F6
  prompts.texts.clear();
  Button("hotkey-save")->click();
  EXPECT_EQ(prompts.texts.front(), QString::fromUtf8(ui::kStartPauseHotKeySetText));
  EXPECT_EQ(Setting("hotkey", "start-pause-key2"), "117");
  const int replaced = Id(ui::HotKeyAction::kStartPause);
  ASSERT_TRUE(Press("alt+F8 ctrl+F6 alt+F12"));
  EXPECT_EQ(log_.TakeUntil(stop), (std::vector<int>{replaced, stop}));
  EXPECT_TRUE(other->Register(2, kHotKeyModAlt, 119));
}

class SetingDesktopWindowTest : public MainWindowFixture {};

TEST_F(SetingDesktopWindowTest, TheCameraCheckOpensThePreviewAtTheTopRightAndClosesTheDialog) {
  cameras_ = {"Test Camera"};
  ui::CMainWnd& window = OpenWindow();
  ASSERT_TRUE(WaitUntil([&] { return window.isVisible(); }, 5000));
  bool clicked = false;
  AnswerWhenShown("SetingDialog", [&](QWidget* dialog) {
    clicked = true;
    dialog->findChild<QAbstractButton*>("camera-check")->click();
  });
  window.FindControl<QPushButton>("seting")->click();
  ASSERT_TRUE(clicked);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(window.settingsDialog(), nullptr);
  ui::CCameraWindow* preview = window.cameraPreview();
  ASSERT_NE(preview, nullptr);
  ASSERT_TRUE(WaitUntil([&] { return preview->isVisible(); }, 5000));
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  EXPECT_EQ(preview->pos(), QPoint(screen.width() - 250, 20));
  EXPECT_EQ(preview->size(), QSize(ui::kCameraWindowWidth, ui::kCameraWindowHeight));
}

}  // namespace
}  // namespace tarn::test
