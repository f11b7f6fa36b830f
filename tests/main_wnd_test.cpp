#include "ui/main/main_wnd.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QStackedWidget>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/app_data_dir.h"
#include "tests/support/main_window_fixture.h"
#include "ui/main/main_messages.h"
#include "ui/main/main_tray_icon.h"

namespace tarn::ui {
namespace {

class MainWndTest : public test::MainWindowFixture {};

TEST_F(MainWndTest, LoadsItsLayoutWithEveryNamedControl) {
  CMainWnd& window = OpenWindow();
  EXPECT_EQ(window.windowTitle(), QString::fromUtf8("TARN屏幕录制"));
  EXPECT_EQ(window.property(kInstanceMarkerProperty).toInt(), 1);

  // Start and pause share a place; at rest only start shows.
  EXPECT_TRUE(window.FindControl<QPushButton>("recorderStartBtn")->isVisible());
  EXPECT_FALSE(window.FindControl<QPushButton>("recorderPauseBtn")->isVisible());
  EXPECT_EQ(window.FindControl<QLabel>("recordTimeText")->text(), "00:00:00");
  EXPECT_EQ(window.recordingUiState(), kUiIdle);
  // Nothing to stop yet.
  EXPECT_FALSE(window.FindControl<QPushButton>("recorderStopBtn")->isEnabled());

  // Each page option shows its page of the tab layout.
  auto* tab = window.FindControl<QStackedWidget>("main-tab");
  ASSERT_EQ(tab->count(), 4);
  const char* pages[] = {"video-record-page", "video-cut-page", "video-convert-page",
                         "video-compress-page"};
  for (int i : {2, 1, 3, 0}) {
    SCOPED_TRACE(pages[i]);
    window.FindControl<QAbstractButton>(pages[i])->click();
    EXPECT_EQ(tab->currentIndex(), i);
  }

  // The tray icon starts idle.
  EXPECT_TRUE(window.trayIcon().added());
  EXPECT_EQ(window.trayIcon().iconId(), kTrayIconNormal);
  EXPECT_EQ(window.trayIcon().tip(), QString::fromUtf8("高清视频录制软件"));
}

TEST_F(MainWndTest, StartingWritesOnlyTheRegionModeAndTheHotKeys) {
  OpenWindow();
  std::ifstream file(settings_.path());
  std::stringstream text;
  text << file.rdbuf();
  // output-dir was written by the fixture itself.
  EXPECT_EQ(text.str(),
            "[global]\noutput-dir=" + outputDir_ +
                "\nuser-defined-region-check=0\n[hotkey]\nstart-pause-key1=1\n"
                "start-pause-key2=119\nstop-key1=1\nstop-key2=123\n");
}

TEST_F(MainWndTest, EachOptionWritesItsKey) {
  CMainWnd& window = OpenWindow();
  struct Case {
    const char* option;
    const char* key;
    const char* value;
  };
  const Case cases[] = {
      {"voice-source-microphone", "voice-source", "1"},
      {"voice-source-system", "voice-source", "2"},
      {"voice-source-default", "voice-source", "0"},
      {"quality_high", "quality", "0"},
      {"quality_low", "quality", "2"},
      {"quality_middle", "quality", "1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.option);
    window.FindControl<QAbstractButton>(c.option)->click();
    EXPECT_EQ(Setting("global", c.key), c.value);
  }

  struct Container {
    const char* radio;
    const char* format;
    const char* muxer;
  };
  const Container containers[] = {{"radio_mkv", "mkv", "matroska"}, {"radio_wmv", "wmv", "asf"},
                                  {"radio_flv", "flv", "flv"},      {"radio_avi", "avi", "avi"},
                                  {"radio_mov", "mov", "mov"},      {"radio_mp4", "mp4", "mp4"}};
  for (const Container& c : containers) {
    SCOPED_TRACE(c.radio);
    window.FindControl<QAbstractButton>(c.radio)->click();
    EXPECT_EQ(Setting("global", "video-format"), c.format);
    EXPECT_EQ(window.containerExtension(), c.format);
    EXPECT_EQ(window.containerName(), c.muxer);
  }

  auto* microphone = window.FindControl<QCheckBox>("microphone-check");
  microphone->click();
  EXPECT_EQ(Setting("global", "microphone-check"), microphone->isChecked() ? "1" : "0");
  microphone->click();
  EXPECT_EQ(Setting("global", "microphone-check"), microphone->isChecked() ? "1" : "0");
  auto* mute = window.FindControl<QCheckBox>("audio-mute-check");
  mute->click();
  EXPECT_EQ(Setting("global", "audio-mute-check"), "1");
  mute->click();
  EXPECT_EQ(Setting("global", "audio-mute-check"), "0");

  window.FindControl<QSlider>("microphone-voice-slider")->setValue(35);
  EXPECT_EQ(Setting("global", "voice-size"), "35");
  EXPECT_EQ(window.FindControl<QLabel>("microphone-voice-size")->text(), "35dB");
}

TEST_F(MainWndTest, StoredOptionsAreShownAtStart) {
  settings_.SetString(kVideoFormat, "mkv");
  settings_.SetString(kVoiceSource, "2");
  settings_.SetString(kQuality, "0");
  settings_.SetString(kVoiceSize, "7");
  settings_.SetString(kMicrophoneCheck, "0");
  settings_.SetString(kAudioMuteCheck, "1");
  CMainWnd& window = OpenWindow();
  EXPECT_TRUE(window.FindControl<QAbstractButton>("radio_mkv")->isChecked());
  EXPECT_EQ(window.containerExtension(), "mkv");
  EXPECT_EQ(window.containerName(), "matroska");
  EXPECT_TRUE(window.FindControl<QAbstractButton>("voice-source-system")->isChecked());
  EXPECT_TRUE(window.FindControl<QAbstractButton>("quality_high")->isChecked());
  EXPECT_EQ(window.FindControl<QSlider>("microphone-voice-slider")->value(), 7);
  EXPECT_EQ(window.FindControl<QLabel>("microphone-voice-size")->text(), "7dB");
  EXPECT_FALSE(window.FindControl<QCheckBox>("microphone-check")->isChecked());
  EXPECT_TRUE(window.FindControl<QCheckBox>("audio-mute-check")->isChecked());
}

TEST_F(MainWndTest, UnknownOrOtherStoredFormatsPickTheirContainer) {
  settings_.SetString(kVideoFormat, "wmv");
  {
    CMainWnd& window = OpenWindow();
    EXPECT_EQ(window.containerExtension(), "wmv");
    EXPECT_EQ(window.containerName(), "asf");
  }
  // A value the page does not offer keeps MP4 and is left in the file.
  settings_.SetString(kVideoFormat, "webm");
  CMainWnd& window = OpenWindow();
  EXPECT_EQ(window.containerExtension(), "mp4");
  EXPECT_EQ(window.containerName(), "mp4");
  EXPECT_EQ(Setting("global", "video-format"), "webm");
}

TEST_F(MainWndTest, CloseButtonMinimisesWhenAskedAndQuitStillCloses) {
  settings_.SetString(kWindowClose, "1");
  CMainWnd& window = OpenWindow();
  window.close();
  EXPECT_TRUE(window.isMinimized());
  EXPECT_TRUE(window.isVisible());
  EXPECT_EQ(closedCount_, 0);

  // A left click on the tray icon brings it back.
  PostMessage(&window, kWmTrayIcon, 0, kWmLButtonDown);
  ASSERT_TRUE(test::WaitUntil([&] { return !window.isMinimized(); }, 2000));

  // Quit from the tray menu closes, and the hot keys and tray icon go with it.
  PostMessage(&window, kWmAppQuit, 0, 0);
  ASSERT_TRUE(test::WaitUntil([&] { return !window.isVisible(); }, 2000));
  EXPECT_EQ(closedCount_, 1);
  EXPECT_FALSE(window.trayIcon().added());
  EXPECT_TRUE(hotKeys_->stopped);
  EXPECT_TRUE(hotKeys_->registered.empty());
}

TEST_F(MainWndTest, TrayRightClickOpensTheMenuAndHotKeysReachTheirActions) {
  CMainWnd& window = OpenWindow();
  PostMessage(&window, kWmTrayIcon, 0, kWmRButtonDown);
  ASSERT_TRUE(test::WaitUntil([] { return test::VisibleWindowOfClass("CDuiMenu ") != nullptr; }, 2000));
  test::VisibleWindowOfClass("CDuiMenu ")->close();

  // Ctrl+Alt+B opens the log folder.
  ASSERT_TRUE(hotKeys_->Press(3, 0x42));
  ASSERT_TRUE(test::WaitUntil([&] { return !opened_.empty(); }, 2000));
  EXPECT_EQ(opened_.back().toLocalFile().toStdString(), GetAppDataDir(kLogRelativeDir));

  // The help item of the tray menu opens the help page.
  PostMessage(&window, kWmOpenHelp, 0, 0);
  ASSERT_TRUE(test::WaitUntil([&] { return opened_.size() == 2; }, 2000));
  EXPECT_TRUE(opened_.back().toString().endsWith("/help"));
}

}  // namespace
}  // namespace tarn::ui
