// The settings dialog over a settings file: what it shows, what each control
// writes at once, what is written when it closes, region mode and
// follow-the-mouse excluding each other, and the choosers.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QImage>
#include <QKeyEvent>
#include <QSlider>
#include <QStackedWidget>
#include <fstream>

#include "tests/support/seting_dialog_fixture.h"
#include "ui/main/output_folder.h"

namespace tarn::test {
namespace {

using SetingDialogTest = SetingDialogFixture;

// The colour a swatch is drawn in, read from its picture.
QRgb SwatchColour(QWidget* swatch) {
  const QImage image = swatch->grab().toImage();
  return image.pixel(image.width() / 2, image.height() / 2);
}

bool Ticked(QAbstractButton* button) { return button != nullptr && button->isChecked(); }

TEST_F(SetingDialogTest, AnEmptyFileShowsTheDefaultsAndOpeningAndClosingChangesNothing) {
  std::filesystem::remove(settings_.path());
  settings_.SetString(kOutputDir, outputDir_);
  OpenDialog();
  EXPECT_EQ(dialog_->currentPage(), 0);
  EXPECT_TRUE(Ticked(Button("mouse-check")));
  for (const char* name : {"suspend-check", "mouse-follow-check", "user-defined-region-check",
                           "mouse-effect-click-check", "mouse-hot-region-check", "camera-check"}) {
    EXPECT_FALSE(Ticked(Button(name))) << name;
  }
  for (const char* name : {"video-source-screen", "window-close-exit", "voice-source-default",
                           "watermark-none", "watermark-pos-lt", "watermark-color-red"}) {
    EXPECT_TRUE(Ticked(Button(name))) << name;
  }
  EXPECT_EQ(List("mouse-follow-ratio")->currentText(), "640 x 480");
  EXPECT_EQ(List("video-framerate")->currentText(), "10");
  EXPECT_EQ(List("watermark-font-family")->currentText(), QString::fromUtf8("微软雅黑"));
  EXPECT_EQ(List("watermark-font-size")->currentText(), "32");
  for (const char* name : {"start-pause-key1", "start-pause-key2", "stop-key1", "stop-key2"}) {
    EXPECT_EQ(List(name)->currentIndex(), -1) << name;
  }
  for (const char* name : {"watermark-lt-left", "watermark-rb-bottom", "watermark-text-offset-x"}) {
    EXPECT_EQ(Edit(name)->text(), "20") << name;
  }
  EXPECT_EQ(Edit("watermark-text-desc")->text(), QString::fromUtf8("TARN屏幕录制"));
  EXPECT_EQ(Edit("watermark-image-path")->text(), "");
  EXPECT_EQ(Control<QSlider>("mouse-hot-region-slider")->value(), 56);
  EXPECT_EQ(Control<QLabel>("mouse-hot-region-size")->text(), "56");
  EXPECT_EQ(SwatchColour(Control("mouse-click-left-color")), 0xFFFF0000u);
  EXPECT_EQ(SwatchColour(Control("mouse-click-right-color")), 0xFF00FF00u);
  EXPECT_EQ(SwatchColour(Control("mouse-hot-region-color")), 0xFFFFFF00u);
  EXPECT_EQ(Edit("output-dir-edit")->text().toStdString(), outputDir_);
  EXPECT_FALSE(Control<QLabel>("recording-notice")->isVisible());

  // Nothing the user did not change is written, closed or not.
  ASSERT_TRUE(CloseDialog());
  std::ifstream file(settings_.path());
  std::string line;
  std::vector<std::string> lines;
  while (std::getline(file, line)) lines.push_back(line);
  EXPECT_EQ(lines, (std::vector<std::string>{"[global]", "output-dir=" + outputDir_}));
}

TEST_F(SetingDialogTest, StoredValuesAreShownAndUnknownOnesSelectNothing) {
  settings_.SetString(kVideoFramerate, "25");
  settings_.SetString(kMouseFollowRatioIndex, "6");
  settings_.SetString(kMouseClickLeftColor, "255");
  settings_.SetString(kMouseClickRightColor, "green");  // not a number: the default green
  settings_.SetString(kMouseHotRegionColor, "16711680");
  settings_.SetString(kMouseHotRegionSize, "120");
  settings_.SetString(kVideoSource, "2");
  settings_.SetString(kWindowClose, "1");
  settings_.SetString(kVoiceSource, "2");
  settings_.SetString(kWatermarkType, "2");
  settings_.SetString(kWatermarkPos, "3");
  settings_.SetString(kWatermarkColor, "green");
  settings_.SetString(kWatermarkFontFamily, "Arial");
  settings_.SetString(kWatermarkFontSize, "40");
  settings_.SetString(kWatermarkRtTop, "7");
  settings_.SetString(kStartPauseKey1Index, "1");
  settings_.SetString(kStartPauseKey2Index, "4");
  settings_.SetString(kStopKey1Index, "5");  // no such item
  settings_.SetString(kOutputDirType, "1");
  settings_.SetString(kMouseFollowCheck, "1");
  settings_.SetString(kSuspendCheck, "1");
  OpenDialog();
  EXPECT_EQ(List("video-framerate")->currentIndex(), -1);
  EXPECT_EQ(List("mouse-follow-ratio")->currentText(), "320 x 480");
  EXPECT_EQ(SwatchColour(Control("mouse-click-left-color")), 0xFFFF0000u);
  EXPECT_EQ(SwatchColour(Control("mouse-click-right-color")), 0xFF00FF00u);
  EXPECT_EQ(SwatchColour(Control("mouse-hot-region-color")), 0xFF0000FFu);
  EXPECT_EQ(Control<QSlider>("mouse-hot-region-slider")->value(), 120);
  EXPECT_EQ(Control<QLabel>("mouse-hot-region-size")->text(), "120");
  for (const char* name : {"video-source-camera", "window-close-tray", "voice-source-system",
                           "watermark-text", "watermark-pos-rb", "watermark-color-green",
                           "user-define-output-dir", "mouse-follow-check", "suspend-check"}) {
    EXPECT_TRUE(Ticked(Button(name))) << name;
  }
  EXPECT_EQ(List("watermark-font-family")->currentIndex(), -1);
  EXPECT_EQ(List("watermark-font-size")->currentIndex(), 14);
  EXPECT_EQ(Edit("watermark-rt-top")->text(), "7");
  EXPECT_EQ(List("start-pause-key1")->currentText(), "Ctrl");
  EXPECT_EQ(List("start-pause-key2")->currentText(), "F5");
  EXPECT_EQ(List("stop-key1")->currentIndex(), -1);

  // The lists without a selection keep what is stored.
  ASSERT_TRUE(CloseDialog());
  EXPECT_EQ(Setting("global", "video-framerate"), "25");
  EXPECT_EQ(Setting("global", "watermark-font-family"), "Arial");
}

TEST_F(SetingDialogTest, EachOptionTickBoxAndTheSliderWriteAtOnce) {
  OpenDialog();
  struct Case {
    const char* control;
    const char* section;
    const char* key;
    const char* value;
  };
  const Case options[] = {
      {"video-source-camera", "global", "video-source", "1"},
      {"video-source-screen", "global", "video-source", "0"},
      {"voice-source-microphone", "global", "voice-source", "1"},
      {"voice-source-system", "global", "voice-source", "2"},
      {"voice-source-default", "global", "voice-source", "0"},
      {"window-close-tray", "global", "window-close", "1"},
      {"window-close-exit", "global", "window-close", "0"},
      {"user-define-output-dir", "global", "output-dir-type", "1"},
      {"watermark-image", "global", "watermark-type", "1"},
      {"watermark-text", "global", "watermark-type", "2"},
      {"watermark-none", "global", "watermark-type", "0"},
      {"watermark-pos-rt", "global", "watermark-pos", "1"},
      {"watermark-pos-lb", "global", "watermark-pos", "2"},
      {"watermark-pos-rb", "global", "watermark-pos", "3"},
      {"watermark-pos-lt", "global", "watermark-pos", "0"},
      {"watermark-color-orange", "global", "watermark-color", "orange"},
      {"watermark-color-yellow", "global", "watermark-color", "yellow"},
      {"watermark-color-green", "global", "watermark-color", "green"},
      {"watermark-color-blue", "global", "watermark-color", "blue"},
      {"watermark-color-red", "global", "watermark-color", "red"},
  };
  for (const Case& c : options) {
    SCOPED_TRACE(c.control);
    Button(c.control)->click();
    EXPECT_EQ(Setting(c.section, c.key), c.value);
  }
  const Case ticks[] = {
      {"suspend-check", "global", "suspend-check", "1"},
      {"mouse-check", "mouse-effect", "mouse-check", "0"},  // ticked at first
      {"mouse-effect-click-check", "mouse-effect", "mouse-effect-click-check", "1"},
      {"mouse-hot-region-check", "mouse-effect", "mouse-hot-region-check", "1"},
      {"mouse-follow-check", "mouse-follow", "mouse-follow-check", "1"},
  };
  for (const Case& c : ticks) {
    SCOPED_TRACE(c.control);
    Button(c.control)->click();
    EXPECT_EQ(Setting(c.section, c.key), c.value);
    Button(c.control)->click();
    EXPECT_EQ(Setting(c.section, c.key), std::string(c.value) == "1" ? "0" : "1");
  }
  Control<QSlider>("mouse-hot-region-slider")->setValue(90);
  EXPECT_EQ(Control<QLabel>("mouse-hot-region-size")->text(), "90");
  EXPECT_EQ(Setting("mouse-effect", "mouse-hot-region-size"), "90");
}

TEST_F(SetingDialogTest, EditsAndListsAreWrittenAtCloseAndEmptyEditsKeepTheStoredValue) {
  settings_.SetString(kWatermarkLtLeft, "33");
  settings_.SetString(kVideoFramerate, "25");
  OpenDialog();
  const std::vector<std::pair<const char*, const char*>> typed = {
      {"watermark-lt-top", "1"},        {"watermark-rt-right", "2"},
      {"watermark-rt-top", "3"},        {"watermark-lb-left", "4"},
      {"watermark-lb-bottom", "5"},     {"watermark-rb-right", "6"},
      {"watermark-rb-bottom", "7"},     {"watermark-text-offset-x", "8"},
      {"watermark-text-offset-y", "9"}, {"watermark-text-desc", "我的水印"},
      {"watermark-image-path", "/tmp/mark.png"}};
  for (const auto& [name, text] : typed) Edit(name)->setText(QString::fromUtf8(text));
  Edit("watermark-lt-left")->clear();
  List("watermark-font-family")->setCurrentIndex(1);
  List("watermark-font-size")->setCurrentIndex(0);
  List("video-framerate")->setCurrentIndex(5);
  List("mouse-follow-ratio")->setCurrentIndex(4);
  // Nothing is written before the dialog closes.
  EXPECT_EQ(Setting("global", "watermark-lt-top"), "(absent)");
  EXPECT_EQ(Setting("global", "video-framerate"), "25");

  ASSERT_TRUE(CloseDialog());
  for (const auto& [name, text] : typed) EXPECT_EQ(Setting("global", name), text) << name;
  EXPECT_EQ(Setting("global", "watermark-lt-left"), "33");
  EXPECT_EQ(Setting("global", "watermark-font-family"), "宋体");
  EXPECT_EQ(Setting("global", "watermark-font-size"), "12");
  EXPECT_EQ(Setting("global", "video-framerate"), "30");
  EXPECT_EQ(Setting("mouse-follow", "mouse-follow-ratio-index"), "4");
  EXPECT_EQ(Setting("mouse-follow", "mouse-follow-ratio-width"), "720");
  EXPECT_EQ(Setting("mouse-follow", "mouse-follow-ratio-height"), "1080");
}

TEST_F(SetingDialogTest, ADialogDestroyedWithoutClosingStillKeepsItsEdits) {
  OpenDialog();
  Edit("watermark-text-desc")->setText("kept");
  delete dialog_.data();
  EXPECT_EQ(Setting("global", "watermark-text-desc"), "kept");
}

TEST_F(SetingDialogTest, FollowingTheMouseAndRegionModeExcludeEachOther) {
  settings_.SetString(kUserDefinedRegionCheck, "1");
  OpenDialog();
  ASSERT_TRUE(Ticked(Button("user-defined-region-check")));
  Button("mouse-follow-check")->click();
  EXPECT_EQ(Setting("mouse-follow", "mouse-follow-check"), "1");
  EXPECT_EQ(Setting("global", "user-defined-region-check"), "0");
  EXPECT_FALSE(Ticked(Button("user-defined-region-check")));
  EXPECT_EQ(leaveRegionCalls_, 1);  // the frame goes with region mode
  EXPECT_EQ(enterRegionCalls_, 0);

  // Ticking region mode unticks following, shows the frame and closes the
  // dialog, which keeps what was typed.
  Edit("watermark-text-desc")->setText("before the frame");
  Button("user-defined-region-check")->click();
  EXPECT_EQ(Setting("global", "user-defined-region-check"), "1");
  EXPECT_EQ(Setting("mouse-follow", "mouse-follow-check"), "0");
  EXPECT_EQ(enterRegionCalls_, 1);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(dialog_.isNull());
  EXPECT_EQ(Setting("global", "watermark-text-desc"), "before the frame");
}

TEST_F(SetingDialogTest, WithoutARegionFrameTickingRegionModeOnlyWrites) {
  withRegionFrame_ = false;
  settings_.SetString(kMouseFollowCheck, "1");
  OpenDialog();
  Button("user-defined-region-check")->click();
  EXPECT_EQ(Setting("global", "user-defined-region-check"), "1");
  EXPECT_EQ(Setting("mouse-follow", "mouse-follow-check"), "0");
  EXPECT_FALSE(Ticked(Button("mouse-follow-check")));
  EXPECT_TRUE(dialog_->isVisible());
  // Unticked, only the key changes.
  Button("user-defined-region-check")->click();
  EXPECT_EQ(Setting("global", "user-defined-region-check"), "0");
  EXPECT_EQ(Setting("mouse-follow", "mouse-follow-check"), "0");
}

TEST_F(SetingDialogTest, ASwatchOpensTheColourDialogAndStoresTheChosenColour) {
  OpenDialog();
  chosenColour_ = QColor(0, 0, 255);
  Button("mouse-click-left-color")->click();
  EXPECT_EQ(initialColour_, QColor(100, 0, 0));
  ASSERT_EQ(customColoursAtCall_.size(), 16u);
  EXPECT_EQ(customColoursAtCall_[0], QColor(0xFF, 0xDE, 0xAD));
  EXPECT_EQ(customColoursAtCall_[1], QColor(0x00, 0x00, 0x80));
  EXPECT_EQ(customColoursAtCall_[15], QColor(0x41, 0x69, 0xE1));
  EXPECT_EQ(Setting("mouse-effect", "mouse-click-left-color"), "16711680");
  EXPECT_EQ(SwatchColour(Control("mouse-click-left-color")), 0xFF0000FFu);

  chosenColour_ = QColor(0x12, 0x34, 0x56);
  Button("mouse-hot-region-color")->click();
  EXPECT_EQ(Setting("mouse-effect", "mouse-hot-region-color"), std::to_string(0x563412));

  // Cancelled: nothing changes.
  chosenColour_ = QColor();
  Button("mouse-click-right-color")->click();
  EXPECT_EQ(Setting("mouse-effect", "mouse-click-right-color"), "(absent)");
  EXPECT_EQ(SwatchColour(Control("mouse-click-right-color")), 0xFF00FF00u);
}

TEST_F(SetingDialogTest, AFolderThatCannotBeWrittenIsRefusedAndAWritableOneTaken) {
  OpenDialog();
  PromptCollector prompts;
  // Neither can hold a file, not even for root: one lies under a regular
  // file, the other is the kernel's.
  const std::string plainFile = home_ / "plain";
  { std::ofstream(plainFile) << "x"; }
  for (const std::string& refused : {plainFile + "/videos", std::string("/proc")}) {
    SCOPED_TRACE(refused);
    chosenFolder_ = QString::fromStdString(refused);
    prompts.texts.clear();
    Button("output-choose-btn")->click();
    ASSERT_EQ(prompts.texts.size(), 1u);
    EXPECT_EQ(prompts.texts[0], QString::fromUtf8(ui::kFolderNotWritableText));
    EXPECT_EQ(Setting("global", "output-dir"), outputDir_);
    EXPECT_EQ(Edit("output-dir-edit")->text().toStdString(), outputDir_);
  }

  const std::string folder = home_ / "elsewhere";
  std::filesystem::create_directories(folder);
  chosenFolder_ = QString::fromStdString(folder);
  Button("output-choose-btn")->click();
  EXPECT_EQ(Setting("global", "output-dir"), folder);
  EXPECT_EQ(Setting("global", "output-dir-type"), "1");
  EXPECT_EQ(Edit("output-dir-edit")->text().toStdString(), folder);
  EXPECT_TRUE(Ticked(Button("user-define-output-dir")));
  EXPECT_TRUE(std::filesystem::is_empty(folder));  // the probe leaves nothing

  Button("output-open-btn")->click();
  ASSERT_EQ(opened_.size(), 1u);
  EXPECT_EQ(opened_[0].toLocalFile().toStdString(), folder);

  // Cancelled: nothing changes. The default folder: no folder of its own.
  chosenFolder_.clear();
  Button("output-choose-btn")->click();
  EXPECT_EQ(Setting("global", "output-dir"), folder);
  Button("default-output-dir")->click();
  EXPECT_EQ(Setting("global", "output-dir-type"), "0");
  EXPECT_EQ(Setting("global", "output-dir"), "");
  EXPECT_EQ(Edit("output-dir-edit")->text().toStdString(), GetOutputDir(settings_));
  EXPECT_NE(Edit("output-dir-edit")->text().toStdString(), folder);
}

TEST_F(SetingDialogTest, TheWatermarkImageChosenIsStoredAtClose) {
  OpenDialog();
  chosenImage_.clear();
  Button("watermark-choose")->click();
  EXPECT_EQ(Edit("watermark-image-path")->text(), "");
  chosenImage_ = QString::fromStdString(home_ / "logo.png");
  Button("watermark-choose")->click();
  EXPECT_EQ(Edit("watermark-image-path")->text(), chosenImage_);
  EXPECT_EQ(Setting("global", "watermark-image-path"), "(absent)");
  // Escape closes the dialog as its close button does.
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(dialog_.data(), &escape);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(dialog_.isNull());
  EXPECT_EQ(Setting("global", "watermark-image-path"), home_ / "logo.png");
}

TEST_F(SetingDialogTest, TheCameraCheckOpensThePreviewAndClosesTheDialog) {
  OpenDialog();
  Button("camera-check")->click();
  EXPECT_EQ(cameraCalls_, 1);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(dialog_.isNull());

  cameraAvailable_ = false;
  OpenDialog();
  EXPECT_FALSE(Button("camera-check")->isEnabled());
  EXPECT_FALSE(Button("video-source-camera")->isEnabled());
}

TEST_F(SetingDialogTest, DuringARecordingTheDialogSaysSoAndLocksWhatThePageLocks) {
  recording_ = true;
  OpenDialog();
  QLabel* notice = Control<QLabel>("recording-notice");
  EXPECT_TRUE(notice->isVisible());
  EXPECT_EQ(notice->text(), QString::fromUtf8(ui::kChangesApplyNextRecordingText));
  for (const char* name : {"user-defined-region-check", "mouse-follow-check", "camera-check",
                           "video-source-camera", "video-framerate", "output-choose-btn"}) {
    EXPECT_FALSE(Control(name)->isEnabled()) << name;
  }
  EXPECT_TRUE(Control("mouse-check")->isEnabled());
  EXPECT_TRUE(Control("hotkey-save")->isEnabled());
}

TEST_F(SetingDialogTest, ThePageOptionsShowTheirPages) {
  OpenDialog();
  const char* pages[] = {"mouse-effect", "watermark", "shortcut-key", "other-seting", "basic-seting"};
  const int expected[] = {1, 2, 3, 4, 0};
  for (int i = 0; i < 5; ++i) {
    Button(pages[i])->click();
    EXPECT_EQ(dialog_->currentPage(), expected[i]) << pages[i];
  }
}

}  // namespace
}  // namespace tarn::test
