// The record page's meters during a real recording of the test display: the
// microphone (an FFmpeg test input that is silent for 8 s, then plays a
// tone) shows the warning after 5 s of silence and clears it when the tone
// comes, whatever is chosen meanwhile; after the stop the page's preview
// takes over again.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLabel>
#include <QPushButton>
#include <chrono>
#include <cstdlib>

#include "recorder/audio/capture_devices.h"
#include "tests/support/main_window_fixture.h"
#include "ui/main/record_page_meters.h"
#include "ui/main/sound_meter.h"

namespace tarn::ui {
namespace {

using Clock = std::chrono::steady_clock;

class MainSoundMetersTest : public test::MainWindowFixture {
 protected:
  void SetUp() override {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "DISPLAY is not set: no screen to record";
    MainWindowFixture::SetUp();
    settings_.SetString(kVideoFramerate, "10");
    settings_.SetString(kVoiceSource, "1");
    settings_.SetString(kAudioMuteCheck, "0");
    SetCaptureDevicesForTesting(
        CaptureCategory::kAudio,
        std::vector<CaptureDeviceEntry>{{"test microphone", "test", "lavfi",
                                         "aevalsrc=exprs='0.5*sin(2*PI*1000*t)*gte(t,8)':s=48000,arealtime", ""}});
  }
  void TearDown() override {
    MainWindowFixture::TearDown();
    SetCaptureDevicesForTesting(CaptureCategory::kAudio, std::nullopt);
  }
};

TEST_F(MainSoundMetersTest, SilenceDuringARecordingWarnsAfterFiveSecondsUntilSoundReturns) {
  CMainWnd& window = OpenWindow();
  RecordPageMeters& meters = *window.soundMeters();
  QLabel* warning = meters.warningLabel();
  ASSERT_TRUE(test::WaitUntil([&] { return meters.previewActive(); }, 3000));

  const Clock::time_point started = Clock::now();
  window.FindControl<QPushButton>("recorderStartBtn")->click();
  ASSERT_EQ(window.recorder().state(), kStateRecording);
  EXPECT_FALSE(meters.previewActive()) << "the preview goes when a recording starts";

  // The recording's reports reach the meter: live, and silent.
  ASSERT_TRUE(test::WaitUntil([&] { return meters.microphoneMeter()->available(); }, 5000));
  ASSERT_TRUE(test::WaitUntil([&] { return warning->isVisible(); }, 15000)) << "no warning for silence";
  const double warnedAfter = std::chrono::duration<double>(Clock::now() - started).count();
  EXPECT_GE(warnedAfter, 4.8) << "warned before 5 s of silence";
  EXPECT_EQ(warning->text(), QString::fromUtf8(kMicrophoneSilentText));
  EXPECT_EQ(meters.microphoneMeter()->peakFraction(), 0.0);

  // A new sound choice during the recording is for the next one: the meters
  // keep showing what this one records.
  window.FindControl<QAbstractButton>("voice-source-system")->click();
  test::RunEvents(300);
  EXPECT_TRUE(meters.microphoneMeter()->isVisible());
  EXPECT_FALSE(meters.systemMeter()->isVisible());
  EXPECT_TRUE(warning->isVisible());

  // The tone: the meter rises and the warning clears.
  ASSERT_TRUE(test::WaitUntil([&] { return meters.microphoneMeter()->peakFraction() > 0.8; }, 15000));
  EXPECT_TRUE(test::WaitUntil([&] { return !warning->isVisible(); }, 2000));

  window.FindControl<QPushButton>("recorderStopBtn")->click();
  EXPECT_FALSE(warning->isVisible());
  EXPECT_TRUE(test::WaitUntil([&] { return meters.previewActive(); }, 3000))
      << "the preview comes back after the recording";
  ASSERT_TRUE(test::WaitUntil([&] { return window.recorder().WaitUntilFinished(0); }, 20000));
}

}  // namespace
}  // namespace tarn::ui
