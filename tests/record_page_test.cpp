// The record page's choice of what to record, the frame rate and the output
// folder: what each choice writes, what the page shows at start, and the
// refusals.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <fstream>

#include "tests/support/main_window_fixture.h"
#include "ui/overlay/tool_window.h"
#include "ui/overlay/video_mask.h"

namespace tarn::test {
namespace {

class RecordPageTest : public MainWindowFixture {
 protected:
  QAbstractButton* Option(const char* name) const {
    return window_->FindControl<QAbstractButton>(name);
  }
  QComboBox* List(const char* name) const { return window_->FindControl<QComboBox>(name); }
  // The keys that say what is recorded: video source, region, follow.
  std::string Keys() const {
    return Setting("global", "video-source") + " " + Setting("global", "user-defined-region-check") +
           " " + Setting("mouse-follow", "mouse-follow-check");
  }
};

TEST_F(RecordPageTest, EachChoiceWritesItsKeysAndTheOthersGiveWay) {
  cameras_ = {"Integrated Camera"};
  ui::CMainWnd& window = OpenWindow();
  ASSERT_TRUE(Option("record-area-fullscreen")->isChecked());
  QComboBox* followSize = List("mouse-follow-ratio");
  EXPECT_FALSE(followSize->isVisible());

  Option("record-area-follow")->click();
  EXPECT_EQ(Keys(), "0 0 1");
  EXPECT_TRUE(followSize->isVisible());
  EXPECT_EQ(Setting("mouse-follow", "mouse-follow-ratio-width"), "640");  // item 2, the default
  followSize->setCurrentIndex(4);
  EXPECT_EQ(Setting("mouse-follow", "mouse-follow-ratio-index"), "4");
  EXPECT_EQ(Setting("mouse-follow", "mouse-follow-ratio-width"), "720");
  EXPECT_EQ(Setting("mouse-follow", "mouse-follow-ratio-height"), "1080");

  // The region: the frame shows, follow-the-mouse is off.
  Option("record-area-region")->click();
  EXPECT_EQ(Keys(), "0 1 0");
  ASSERT_NE(window.videoMask(), nullptr);
  EXPECT_TRUE(window.videoMask()->isVisible());
  EXPECT_TRUE(window.videoMask()->toolbar()->isVisible());
  EXPECT_NE(Setting("global", "region-width"), "(absent)");  // a centred region was stored

  Option("record-area-camera")->click();
  EXPECT_EQ(Keys(), "1 0 0");
  EXPECT_FALSE(window.videoMask()->isVisible());
  EXPECT_FALSE(followSize->isVisible());

  Option("record-area-fullscreen")->click();
  EXPECT_EQ(Keys(), "0 0 0");
}

TEST_F(RecordPageTest, TheStartShowsTheWholeScreenAfterTheRegionReset) {
  settings_.SetString(kUserDefinedRegionCheck, "1");
  OpenWindow();
  EXPECT_EQ(Setting("global", "user-defined-region-check"), "0");
  EXPECT_TRUE(Option("record-area-fullscreen")->isChecked());
  EXPECT_FALSE(window_->videoMask()->isVisible());
}

TEST_F(RecordPageTest, StoredChoicesAreShownAsTheyAre) {
  settings_.SetString(kMouseFollowCheck, "1");
  settings_.SetString(kMouseFollowRatioIndex, "6");
  settings_.SetString(kVideoFramerate, "25");
  OpenWindow();
  EXPECT_TRUE(Option("record-area-follow")->isChecked());
  EXPECT_EQ(List("mouse-follow-ratio")->currentText(), "320 x 480");
  // A rate that is not in the list is shown, not replaced.
  EXPECT_EQ(List("video-framerate")->currentText(), "25");
  EXPECT_EQ(Setting("global", "video-framerate"), "25");
  List("video-framerate")->setCurrentIndex(List("video-framerate")->findText("60"));
  EXPECT_EQ(Setting("global", "video-framerate"), "60");
}

TEST_F(RecordPageTest, ACameraIsOfferedOnlyWhenOneIsListed) {
  OpenWindow();
  QAbstractButton* camera = Option("record-area-camera");
  EXPECT_FALSE(camera->isEnabled());
  EXPECT_EQ(camera->toolTip(), QString::fromUtf8(ui::kNoCameraText));

  camera->click();
  EXPECT_EQ(Keys(), "(absent) 0 (absent)");
}

TEST_F(RecordPageTest, AFolderThatCannotBeWrittenIsRefusedAndAWritableOneKept) {
  OpenWindow();
  const std::string before = Setting("global", "output-dir");
  chosenFolder_ = "/proc";  // no file can be made there, not even by root
  QString prompt;
  AnswerWhenShown("PromptBoxDialog",
                  [](QWidget* box) { box->findChild<QPushButton*>("msgConfirm")->click(); }, &prompt);
  window_->FindControl<QPushButton>("output-choose-btn")->click();
  EXPECT_EQ(prompt, QString::fromUtf8(ui::kFolderNotWritableText));
  EXPECT_EQ(Setting("global", "output-dir"), before);

  // A writable folder, holding a file the probe must not touch.
  const std::string folder = home_ / "elsewhere";
  std::filesystem::create_directories(folder);
  { std::ofstream(folder + "/tarnTmp") << "the user's own file"; }
  chosenFolder_ = QString::fromStdString(folder);
  window_->FindControl<QPushButton>("output-choose-btn")->click();
  EXPECT_EQ(Setting("global", "output-dir"), folder);
  EXPECT_EQ(Setting("global", "output-dir-type"), "1");
  EXPECT_EQ(window_->FindControl<QLineEdit>("output-dir-edit")->text().toStdString(), folder);
  std::ifstream kept(folder + "/tarnTmp");
  std::string content;
  std::getline(kept, content);
  EXPECT_EQ(content, "the user's own file");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);

  // Cancelled: nothing changes.
  chosenFolder_.clear();
  window_->FindControl<QPushButton>("output-choose-btn")->click();
  EXPECT_EQ(Setting("global", "output-dir"), folder);
}

TEST_F(RecordPageTest, TheToolbarsCloseButtonLeavesRegionMode) {
  ui::CMainWnd& window = OpenWindow();
  Option("record-area-region")->click();
  ui::CToolWindow* toolbar = window.videoMask()->toolbar();
  ASSERT_NE(toolbar, nullptr);
  toolbar->FindControl<QPushButton>("record-close")->click();
  ASSERT_TRUE(WaitUntil([&] { return !window.videoMask()->isVisible(); }, 5000));
  EXPECT_EQ(Setting("global", "user-defined-region-check"), "0");
  EXPECT_FALSE(toolbar->isVisible());
  EXPECT_TRUE(window.isVisible());
  EXPECT_TRUE(Option("record-area-fullscreen")->isChecked());
}

TEST_F(RecordPageTest, NoSoundTickedDisablesTheSoundChoices) {
  settings_.SetString(kAudioMuteCheck, "1");
  OpenWindow();
  const auto enabledStates = [this] {
    std::string states;
    for (const char* name : {"voice-source-default", "voice-source-microphone", "voice-source-system",
                             "microphone-check", "microphone-voice-slider"}) {
      states += window_->FindControl<QWidget>(name)->isEnabled() ? '1' : '0';
    }
    return states;
  };
  // Stored ticked: disabled from the start.
  EXPECT_EQ(enabledStates(), "00000");
  Option("audio-mute-check")->click();
  EXPECT_EQ(Setting("global", "audio-mute-check"), "0");
  EXPECT_EQ(enabledStates(), "11111");
  Option("audio-mute-check")->click();
  EXPECT_EQ(enabledStates(), "00000");
  // The tick itself stays usable.
  EXPECT_TRUE(Option("audio-mute-check")->isEnabled());
}

}  // namespace
}  // namespace tarn::test
