// The player's pacing arithmetic, its duration rule and its mixing step.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "preview/player_clock.h"

namespace tarn::preview {
namespace {

TEST(PlayerClockTest, FrameDelaysMoveTowardTheMasterClockAndNeverBelowZero) {
  struct Case {
    double delay, diff, expected;
    const char* what;
  };
  const Case cases[] = {
      {0.04, 0.01, 0.05, "slightly ahead: waits the difference more"},
      {0.04, -0.01, 0.03, "slightly behind: waits the difference less"},
      {0.04, -0.05, 0.0, "behind by more than the wait: shown at once"},
      {2.0, -0.5, 1.5, "a 2 s step behind the sound waits less"},
      {2.0, -3.0, 0.0, "a 2 s step far behind the sound never waits below 0"},
      {2.0, 0.5, 2.5, "a long step ahead waits longer by the difference"},
      {0.04, 0.2, 0.14, "far ahead: at most 0.1 s more for a short step"},
      {0.0, 0.033, 0.033, "a picture due now but ahead waits for the clock"},
      {0.04, 4000.0, 0.04, "an hour or more apart: a broken stamp, ignored"},
      {0.04, std::nan(""), 0.04, "no master clock yet"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_NEAR(CorrectedFrameDelay(c.delay, c.diff), c.expected, 1e-9);
  }
}

TEST(PlayerClockTest, AClockRunsWithTimeFromItsLastSetting) {
  PlayerClock clock;
  EXPECT_FALSE(clock.valid());
  EXPECT_TRUE(std::isnan(clock.At(1000)));
  clock.Set(5.0, 2'000'000);
  EXPECT_DOUBLE_EQ(clock.At(2'500'000), 5.5);
  EXPECT_DOUBLE_EQ(clock.value(), 5.0);
}

TEST(PlayerClockTest, AFileWhoseStreamsStateNoDurationUsesTheContainers) {
  AVFormatContext* input = avformat_alloc_context();
  AVStream* video = avformat_new_stream(input, nullptr);
  AVStream* audio = avformat_new_stream(input, nullptr);
  video->time_base = AVRational{1, 90000};
  audio->time_base = AVRational{1, 44100};
  video->duration = AV_NOPTS_VALUE;
  audio->duration = AV_NOPTS_VALUE;
  input->duration = 7'250'000;
  EXPECT_EQ(PlayingDurationUs(input, video, audio), 7'250'000);
  // With stated durations the longest stream counts, to the microsecond.
  video->duration = 90000 * 3;
  audio->duration = 44100 * 3 + 22050;
  EXPECT_EQ(PlayingDurationUs(input, video, audio), 3'500'000);
  EXPECT_EQ(PlayingDurationUs(input, video, nullptr), 3'000'000);
  input->duration = AV_NOPTS_VALUE;
  EXPECT_EQ(PlayingDurationUs(input, nullptr, nullptr), 0);
  avformat_free_context(input);
}

TEST(PlayerClockTest, VolumeZeroIsSilenceAndFullVolumeTheDecodedLevel) {
  std::vector<std::int16_t> in = {0, 1000, -1000, 32767, -32768, 12345};
  const int bytes = static_cast<int>(in.size() * sizeof(std::int16_t));
  std::vector<std::int16_t> out(in.size(), 77);
  const auto* source = reinterpret_cast<const std::uint8_t*>(in.data());
  auto* target = reinterpret_cast<std::uint8_t*>(out.data());

  MixAtVolume(target, source, bytes, 0);
  for (std::int16_t sample : out) EXPECT_EQ(sample, 0);

  MixAtVolume(target, source, bytes, 128);
  EXPECT_EQ(out, in);

  MixAtVolume(target, source, bytes, 64);
  EXPECT_NEAR(out[1], 500, 2);
  EXPECT_NEAR(out[3], 16383, 2);

  MixAtVolume(target, source, bytes, 500);  // out of range: full level, not louder
  EXPECT_EQ(out, in);
}

}  // namespace
}  // namespace tarn::preview
