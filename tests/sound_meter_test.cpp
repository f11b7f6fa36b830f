// The record page's sound meters: the meter widget paints the levels it is
// given, and the page's preview opens the chosen microphone (an FFmpeg test
// input here, no sound server needed) only while the page is on screen and
// no recording runs, greying the meter when the device cannot be had.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QImage>
#include <QLabel>
#include <QStackedWidget>

#include "recorder/audio/capture_devices.h"
#include "tests/support/main_window_fixture.h"
#include "ui/main/record_page_meters.h"
#include "ui/main/sound_meter.h"

namespace tarn::test {
namespace {

// The share of the bar's middle row painted in the meter's green, yellow
// or red, as the user sees it.
double LitShare(ui::SoundMeter& meter) {
  const QImage image = meter.grab().toImage();
  const int y = image.height() / 2;
  int lit = 0;
  for (int x = 0; x < image.width(); ++x) {
    const QColor c = image.pixelColor(x, y);
    // The bar's colours are saturated; its empty part and the greyed bar are grey.
    if (c.hsvSaturation() > 120 && c.value() > 120) ++lit;
  }
  return static_cast<double>(lit) / image.width();
}

TEST(SoundMeterTest, TheBarFollowsTheLevelsItIsGiven) {
  ui::SoundMeter meter;
  meter.resize(200, 12);
  struct Case {
    const char* name;
    float peak;
    float rms;
    double share;  // of the bar lit: the RMS on a -60 to 0 dBFS scale
  };
  const Case cases[] = {
      {"silence", 0.0f, 0.0f, 0.0},
      {"below -60 dBFS", 0.0005f, 0.0003f, 0.0},
      {"-20 dBFS", 0.2f, 0.1f, 40.0 / 60},
      {"-6 dBFS", 0.7f, 0.5f, 54.0 / 60},
      {"full scale", 1.0f, 1.0f, 1.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    meter.SetLevel(c.peak, c.rms);
    EXPECT_TRUE(meter.available());
    EXPECT_NEAR(meter.rmsFraction(), c.share, 0.01);
    EXPECT_GE(meter.peakFraction(), meter.rmsFraction());
    // Painted: the lit share matches within a few pixels (rounded ends, mark).
    EXPECT_NEAR(LitShare(meter), c.share, 0.05);
  }
  // A peak is never shown below the RMS of the same period.
  meter.SetLevel(0.1f, 0.5f);
  EXPECT_DOUBLE_EQ(meter.rmsFraction(), meter.peakFraction());

  meter.SetLevel(0.7f, 0.5f);
  meter.SetUnavailable(QString::fromUtf8("没有麦克风"));
  EXPECT_FALSE(meter.available());
  EXPECT_EQ(meter.toolTip(), QString::fromUtf8("没有麦克风"));
  EXPECT_EQ(meter.rmsFraction(), 0.0);
  EXPECT_NEAR(LitShare(meter), 0.0, 0.01);
  // Sound again: live, and the tooltip goes.
  meter.SetLevel(0.7f, 0.5f);
  EXPECT_TRUE(meter.available());
  EXPECT_TRUE(meter.toolTip().isEmpty());
  meter.Clear();
  EXPECT_NEAR(LitShare(meter), 0.0, 0.01);
}

class RecordPageMetersTest : public MainWindowFixture {
 protected:
  void SetUp() override {
    MainWindowFixture::SetUp();
    settings_.SetString(kVoiceSource, "1");  // the microphone only: no sound server needed
  }
  void TearDown() override {
    MainWindowFixture::TearDown();
    SetCaptureDevicesForTesting(CaptureCategory::kAudio, std::nullopt);
  }
  static void UseMicrophone(const std::string& url) {
    SetCaptureDevicesForTesting(CaptureCategory::kAudio,
                                std::vector<CaptureDeviceEntry>{{"test microphone", "test", "lavfi", url, ""}});
  }
  ui::RecordPageMeters& Meters() { return *window_->soundMeters(); }
  QAbstractButton* Option(const char* name) { return window_->FindControl<QAbstractButton>(name); }
  // Waits until the microphone's meter shows a tone at -6 dBFS.
  bool WaitForTone() {
    return WaitUntil([this] { return Meters().microphoneMeter()->peakFraction() > 0.8; }, 10000);
  }
};

TEST_F(RecordPageMetersTest, ThePreviewRunsOnlyWhileThePageIsOnScreen) {
  UseMicrophone("aevalsrc=exprs='0.5*sin(2*PI*1000*t)':s=48000,arealtime");
  OpenWindow();
  ASSERT_TRUE(WaitForTone()) << "the preview never showed the microphone's tone";
  EXPECT_TRUE(Meters().previewActive());
  EXPECT_TRUE(Meters().microphoneMeter()->isVisible());
  EXPECT_FALSE(Meters().systemMeter()->isVisible());  // not chosen
  EXPECT_FALSE(Meters().warningLabel()->isVisible());  // no warning without a recording
  EXPECT_EQ(Meters().microphoneMeter()->accessibleName(), QString::fromUtf8("麦克风音量"));

  struct Step {
    const char* name;
    std::function<void()> leave;
    std::function<void()> back;
  };
  const Step steps[] = {
      {"another page", [this] { Option("video-cut-page")->click(); },
       [this] { Option("video-record-page")->click(); }},
      {"minimised", [this] { window_->showMinimized(); }, [this] { window_->showNormal(); }},
      {"hidden to the tray", [this] { window_->hide(); }, [this] { window_->show(); }},
      {"no sound chosen", [this] { Option("audio-mute-check")->click(); },
       [this] { Option("audio-mute-check")->click(); }},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    step.leave();
    EXPECT_TRUE(WaitUntil([this] { return !Meters().previewActive(); }, 3000));
    // The meter is emptied and later reports of the preview change nothing.
    RunEvents(300);
    EXPECT_EQ(Meters().microphoneMeter()->peakFraction(), 0.0);
    step.back();
    EXPECT_TRUE(WaitUntil([this] { return Meters().previewActive(); }, 3000));
    EXPECT_TRUE(WaitForTone());
  }
  // With no sound chosen the row goes.
  Option("audio-mute-check")->click();
  EXPECT_TRUE(WaitUntil([this] { return !window_->FindControl<QWidget>("soundLevelRow")->isVisible(); }, 3000));
  Option("audio-mute-check")->click();

  // Another source chosen: the system sound's meter shows instead (greyed
  // or live, as the machine's sound server allows).
  Option("voice-source-system")->click();
  EXPECT_TRUE(WaitUntil([this] {
    return Meters().systemMeter()->isVisible() && !Meters().microphoneMeter()->isVisible();
  }, 3000));
}

TEST_F(RecordPageMetersTest, AMicrophoneThatCannotBeOpenedIsGreyedWithWhy) {
  UseMicrophone("nosuchfilter=x=1");
  OpenWindow();
  ui::SoundMeter* meter = Meters().microphoneMeter();
  ASSERT_TRUE(WaitUntil([meter] { return !meter->available(); }, 10000));
  EXPECT_EQ(meter->toolTip(), QString::fromUtf8(ui::kMicrophoneUnavailableText));
  // Tried again when the page comes back, and then live.
  UseMicrophone("aevalsrc=exprs='0.5*sin(2*PI*1000*t)':s=48000,arealtime");
  Option("video-cut-page")->click();
  EXPECT_TRUE(WaitUntil([this] { return !Meters().previewActive(); }, 3000));
  Option("video-record-page")->click();
  EXPECT_TRUE(WaitForTone());
  EXPECT_TRUE(meter->available());
  EXPECT_TRUE(meter->toolTip().isEmpty());
}

}  // namespace
}  // namespace tarn::test
