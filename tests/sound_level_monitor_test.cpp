// The idle level preview on FFmpeg test inputs in place of the microphone
// (no sound server needed): a tone that falls silent is followed, a missing
// device is reported once and tried again only when asked, a dead or hung
// sound server holds nothing up, and closing stops the reports.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>

#include "recorder/audio/capture_devices.h"
#include "recorder/audio/sound_level_monitor.h"
#include "recorder/timeline.h"
#include "tests/support/level_log.h"
#include "tests/support/silent_socket.h"
#include "tests/support/temp_dir.h"

namespace tarn {
namespace {

using namespace std::chrono_literals;
using test::StampedLevels;

// A microphone that plays 1 kHz at half of full scale for 1.5 s, then silence.
constexpr const char* kToneThenSilence =
    "aevalsrc=exprs='0.5*sin(2*PI*1000*t)*lt(t,1.5)':s=48000,arealtime";

class SoundLevelMonitorTest : public testing::Test {
 protected:
  void UseMicrophone(const std::string& url) {
    SetCaptureDevicesForTesting(CaptureCategory::kAudio,
                                std::vector<CaptureDeviceEntry>{{"test microphone", "test", "lavfi", url, ""}});
  }
  void TearDown() override { SetCaptureDevicesForTesting(CaptureCategory::kAudio, std::nullopt); }

  static SoundChoice Choice(int voiceSource, bool muted = false) {
    SoundChoice choice;
    choice.voiceSource = voiceSource;
    choice.muted = muted;
    return choice;
  }

  test::LevelLog log_;
};

TEST_F(SoundLevelMonitorTest, TheMicrophoneMeterRisesWithAToneAndFallsToSilence) {
  UseMicrophone(kToneThenSilence);
  SoundLevelMonitor monitor([this](const SoundLevels& levels) { log_.Add(levels); });
  monitor.Open(Choice(1));
  auto loud = log_.WaitFor(0, [](const StampedLevels& r) { return r.levels.microphone.peak > 0.4f; }, 10s);
  ASSERT_TRUE(loud) << "the tone was never reported";
  EXPECT_EQ(loud->levels.microphone.state, LevelState::kLive);
  EXPECT_LT(loud->levels.microphone.peak, 0.55f);
  // Only the microphone was chosen.
  EXPECT_EQ(loud->levels.systemSound.state, LevelState::kOff);
  EXPECT_EQ(loud->levels.systemSound.peak, 0.0f);

  const auto silent = log_.WaitFor(0, [&](const StampedLevels& r) {
    return r.atUs > loud->atUs && r.levels.microphone.samples > 0 && r.levels.microphone.peak < 0.001f;
  }, 10s);
  ASSERT_TRUE(silent) << "the silence after the tone was never reported";
  EXPECT_EQ(silent->levels.microphone.state, LevelState::kLive);
  EXPECT_EQ(silent->levels.microphone.rms, 0.0f);

  // A whole period of the tone: its RMS is the sine's, peak / sqrt(2).
  float loudestRms = 0;
  int reportsWhileOpen = 0;
  for (const StampedLevels& r : log_.reports()) {
    loudestRms = std::max(loudestRms, r.levels.microphone.rms);
    if (r.atUs <= silent->atUs) ++reportsWhileOpen;
  }
  EXPECT_NEAR(loudestRms, 0.354f, 0.05f);
  // About ten reports a second: the 1.5 s of tone and what followed cannot
  // have come in fewer than a handful, nor in hundreds.
  const double seconds = (silent->atUs - log_.reports().front().atUs) / 1e6;
  EXPECT_GE(reportsWhileOpen, 5);
  EXPECT_LE(reportsWhileOpen, seconds * 10 + 5);

  // Closed: the reports stop.
  monitor.Close();
  ASSERT_TRUE(monitor.WaitUntilSettled(5000));
  EXPECT_FALSE(monitor.active());
  const std::size_t afterClose = log_.size();
  EXPECT_FALSE(log_.WaitFor(afterClose, [](const StampedLevels&) { return true; }, 500ms))
      << "reports after Close";
}

TEST_F(SoundLevelMonitorTest, AMissingDeviceIsReportedOnceAndTriedAgainOnlyWhenAsked) {
  UseMicrophone("nosuchfilter=x=1");
  SoundLevelMonitor monitor([this](const SoundLevels& levels) { log_.Add(levels); });
  monitor.Open(Choice(1));
  ASSERT_TRUE(monitor.WaitUntilSettled(10000));
  const auto first = log_.WaitFor(0, [](const StampedLevels&) { return true; }, 5s);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->levels.microphone.state, LevelState::kUnavailable);
  EXPECT_EQ(monitor.openCount(), 1);
  // No busy retrying: nothing more happens until the next change.
  EXPECT_FALSE(log_.WaitFor(1, [](const StampedLevels&) { return true; }, 700ms));
  EXPECT_EQ(monitor.openCount(), 1);

  // Asked again (the page shown again, the choice changed): one more try,
  // which finds the device now there.
  UseMicrophone(kToneThenSilence);
  monitor.Open(Choice(1));
  ASSERT_TRUE(monitor.WaitUntilSettled(10000));
  EXPECT_EQ(monitor.openCount(), 2);
  EXPECT_TRUE(log_.WaitFor(1, [](const StampedLevels& r) {
    return r.levels.microphone.state == LevelState::kLive;
  }, 5s));
  // The same choice once more keeps the sources that work.
  monitor.Open(Choice(1));
  ASSERT_TRUE(monitor.WaitUntilSettled(10000));
  EXPECT_EQ(monitor.openCount(), 2);

  // No sound chosen: nothing is opened, both meters are off.
  const std::size_t before = log_.size();
  monitor.Open(Choice(1, true));
  ASSERT_TRUE(monitor.WaitUntilSettled(10000));
  const auto muted = log_.WaitFor(before, [](const StampedLevels&) { return true; }, 5s);
  ASSERT_TRUE(muted);
  EXPECT_EQ(muted->levels.microphone.state, LevelState::kOff);
  EXPECT_EQ(muted->levels.systemSound.state, LevelState::kOff);
}

TEST_F(SoundLevelMonitorTest, ADeadSoundServerHoldsNothingUp) {
  const char* previous = std::getenv("PULSE_SERVER");
  const std::optional<std::string> saved = previous ? std::optional<std::string>(previous) : std::nullopt;
  setenv("PULSE_SERVER", "unix:/nonexistent/tarn-no-server", 1);
  {
    SoundLevelMonitor monitor([this](const SoundLevels& levels) { log_.Add(levels); });
    const std::int64_t beginUs = MonotonicNowUs();
    monitor.Open(Choice(2));
    // Open returns at once whatever the server does.
    EXPECT_LT(MonotonicNowUs() - beginUs, 100000);
    ASSERT_TRUE(monitor.WaitUntilSettled(15000));
    const auto report = log_.WaitFor(0, [](const StampedLevels&) { return true; }, 5s);
    ASSERT_TRUE(report);
    EXPECT_EQ(report->levels.systemSound.state, LevelState::kUnavailable);
    EXPECT_EQ(report->levels.microphone.state, LevelState::kOff);
    EXPECT_FALSE(log_.WaitFor(1, [](const StampedLevels&) { return true; }, 500ms));
  }
  {
    // A server that takes connections and never answers: each question
    // waits for its time limit, but a monitor that is closed meanwhile asks
    // no more of them and ends within about one.
    test::TempDir dir;
    test::SilentSocket silent(dir.path() + "/native");
    ASSERT_TRUE(silent.listening());
    setenv("PULSE_SERVER", ("unix:" + dir.path() + "/native").c_str(), 1);
    auto monitor = std::make_unique<SoundLevelMonitor>([this](const SoundLevels& levels) { log_.Add(levels); });
    const std::size_t before = log_.size();
    monitor->Open(Choice(0));
    std::this_thread::sleep_for(200ms);
    const std::int64_t closeUs = MonotonicNowUs();
    monitor->Close();
    monitor.reset();
    EXPECT_LT(MonotonicNowUs() - closeUs, 3500000) << "the monitor went on asking a hung server";
    EXPECT_EQ(log_.size(), before) << "a request overtaken while opening was reported";
  }
  if (saved) {
    setenv("PULSE_SERVER", saved->c_str(), 1);
  } else {
    unsetenv("PULSE_SERVER");
  }
}

}  // namespace
}  // namespace tarn
