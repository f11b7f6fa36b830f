// Sound levels on the rig's sound server: a tone played into the null sink
// "speaker" (the system sound) or into "mic_feed" (whose monitor is the
// microphone "microphone") makes that source's meter rise while it plays and
// fall to silence after, in the idle preview and during a recording, where
// each source is measured apart from the other.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>

#include "platform/screen_capture.h"
#include "recorder/audio/sound_level_monitor.h"
#include "recorder/recorder.h"
#include "settings/settings_keys.h"
#include "settings/settings_store.h"
#include "tests/support/level_log.h"
#include "tests/support/sound_capture_support.h"
#include "tests/support/temp_dir.h"

namespace tarn {
namespace {

using namespace std::chrono_literals;
using test::StampedLevels;

constexpr double kLeadSeconds = 0.5;
constexpr double kToneSeconds = 1.5;
// Half of full scale is about 0.5; silence from a null sink is exact zeros.
constexpr float kLoud = 0.25f;
constexpr float kSilent = 0.001f;

const SourceLevel& Of(const SoundLevels& levels, bool microphone) {
  return microphone ? levels.microphone : levels.systemSound;
}

// Waits for the tone of `player` and checks that the meter of one source
// rises for it and falls after it, while the other (when `otherLive`) stays
// silent throughout the tone.
void ExpectToneFollowed(test::LevelLog& log, test::TonePlayer& player, bool microphone, bool otherLive) {
  const auto loud = log.WaitFor(0, [&](const StampedLevels& r) {
    return player.toneHeardUs() != 0 && r.atUs > player.toneHeardUs() && Of(r.levels, microphone).peak > kLoud;
  }, 20s);
  ASSERT_TRUE(loud) << "the tone never showed on the meter";
  EXPECT_EQ(Of(loud->levels, microphone).state, LevelState::kLive);
  if (otherLive) {
    EXPECT_EQ(Of(loud->levels, !microphone).state, LevelState::kLive);
    EXPECT_LT(Of(loud->levels, !microphone).peak, kSilent) << "the tone leaked into the other source";
  }
  // Once the tone is over (with a wide margin for the server's latency).
  const std::int64_t toneOverUs = player.toneHeardUs() + static_cast<std::int64_t>(kToneSeconds * 1e6) + 500000;
  const auto silent = log.WaitFor(0, [&](const StampedLevels& r) {
    return r.atUs > toneOverUs && Of(r.levels, microphone).samples > 0 && Of(r.levels, microphone).peak < kSilent;
  }, 20s);
  ASSERT_TRUE(silent) << "the meter never fell to silence after the tone";
  EXPECT_EQ(Of(silent->levels, microphone).state, LevelState::kLive);
  // A period wholly within the tone has the sine's RMS, peak / sqrt(2).
  float loudestRms = 0;
  for (const StampedLevels& r : log.reports()) {
    if (r.atUs > player.toneHeardUs() && r.atUs < toneOverUs) {
      loudestRms = std::max(loudestRms, Of(r.levels, microphone).rms);
    }
  }
  EXPECT_NEAR(loudestRms, 0.354f, 0.1f);
}

class SoundLevelsServerTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!test::SoundServerReachable()) GTEST_SKIP() << "no PulseAudio server: run through scripts/test.sh";
  }
  test::LevelLog log_;
};

TEST_F(SoundLevelsServerTest, ThePreviewFollowsAToneIntoEitherSource) {
  struct Case {
    const char* sink;
    int voiceSource;
    bool microphone;
  };
  for (const Case& c : {Case{"speaker", 2, false}, Case{"mic_feed", 1, true}}) {
    SCOPED_TRACE(c.sink);
    test::LevelLog log;
    SoundLevelMonitor monitor([&log](const SoundLevels& levels) { log.Add(levels); });
    SoundChoice choice;
    choice.voiceSource = c.voiceSource;
    monitor.Open(choice);
    ASSERT_TRUE(monitor.WaitUntilSettled(15000));
    test::TonePlayer player(c.sink, 48000, kLeadSeconds, kToneSeconds);
    ExpectToneFollowed(log, player, c.microphone, false);
    while (!player.done()) std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(player.played());
  }
}

class LevelListener : public RecorderListener {
 public:
  explicit LevelListener(test::LevelLog& log) : log_(log) {}
  void OnRecordSeconds(std::int64_t) override {}
  void OnSoundLevels(const SoundLevels& levels) override { log_.Add(levels); }

 private:
  test::LevelLog& log_;
};

TEST_F(SoundLevelsServerTest, ARecordingReportsEachSourceApartBeforeMixing) {
  int width = 0, height = 0;
  if (!platform::QueryScreenSize(width, height)) GTEST_SKIP() << "no X display: run through scripts/test.sh";
  test::TempDir dir;
  test::TempDir out;
  SettingsStore store(dir.path() + "/configure.ini");
  store.SetInt(kUserDefinedRegionCheck, 1);
  store.SetInt(kRegionWidth, 160);
  store.SetInt(kRegionHeight, 120);
  store.SetInt(kVoiceSource, 0);
  LevelListener listener(log_);
  Recorder recorder(&listener, &store);
  ASSERT_EQ(recorder.Start("levels.mkv", out.path(), "mkv", "matroska", 10, 1), 0);
  recorder.Resume();
  {
    // The system sound first, then the microphone.
    test::TonePlayer speaker("speaker", 48000, kLeadSeconds, kToneSeconds);
    ExpectToneFollowed(log_, speaker, false, true);
    while (!speaker.done()) std::this_thread::sleep_for(10ms);
  }
  const std::size_t beforeMicrophone = log_.size();
  {
    test::TonePlayer microphone("mic_feed", 48000, kLeadSeconds, kToneSeconds);
    ExpectToneFollowed(log_, microphone, true, true);
    while (!microphone.done()) std::this_thread::sleep_for(10ms);
  }
  EXPECT_GT(log_.size(), beforeMicrophone);
  recorder.Stop();
  ASSERT_TRUE(recorder.WaitUntilFinished(20000));
  EXPECT_TRUE(recorder.lastFinishOk());
  // The reports end with the recording's sources.
  const std::size_t afterFinish = log_.size();
  EXPECT_FALSE(log_.WaitFor(afterFinish, [](const StampedLevels&) { return true; }, 500ms));
}

}  // namespace
}  // namespace tarn
