// The time stamps of sound captures against the test rig's sound server
// ($PULSE_SERVER: plain PulseAudio or PipeWire): the loopback of the default
// sink "speaker" and the source "microphone", which hears the sink
// "mic_feed". A fresh stream's stamps follow the sample count and stay near
// the present; a tone played at a known time is found at its stamp.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/audio_devices.h"
#include "tests/support/sound_capture_support.h"
#include "tests/support/sound_loss_watch.h"

namespace tarn::platform {
namespace {

using test::Captured;
using test::CapturedBlock;
using test::SoundClock;
using test::SteadyNowUs;

// One kind of capture and the sink whose sound it hears.
struct CaptureCase {
  const char* name;
  bool loopback;       // else the source `source`
  const char* source;  // "": the default source
  const char* sink;    // where a player's sound reaches the capture
};

const CaptureCase kCases[] = {
    {"Loopback", true, "", "speaker"},
    {"Microphone", false, "microphone", "mic_feed"},
    {"DefaultSource", false, "", "mic_feed"},
};

std::unique_ptr<SoundCapture> Create(const CaptureCase& test) {
  return test.loopback ? CreateLoopbackCapture() : CreateSourceCapture(test.source);
}

class SoundCaptureTimingTest : public testing::TestWithParam<CaptureCase> {
 protected:
  void SetUp() override {
    if (!test::SoundServerReachable()) {
      GTEST_SKIP() << "no sound server is reachable ($PULSE_SERVER); start it with "
                      "scripts/test-rig.sh";
    }
  }
};

std::int64_t FramesUs(std::size_t bytes, int rate, int channels) {
  return static_cast<std::int64_t>(bytes / (static_cast<std::size_t>(channels) * 4)) * 1000000 /
         rate;
}

// A fresh stream: when the first sound comes, what its stamp says, and
// whether each stamp continues the last by the sample count.
// Whether the server (not the capture) lost 10 ms or more of sound between
// `fromUs` and `toUs`, by a watch started after the capture opened, so the
// fresh stream starts as it would alone; said when it did. Without readings
// to tell, it did not.
bool ServerLostSound(const test::SoundLossWatch& watch, std::int64_t fromUs, std::int64_t toUs) {
  std::this_thread::sleep_for(std::chrono::milliseconds(400));  // the readings after `toUs`
  const std::optional<std::int64_t> lostUs = watch.LostUs(fromUs, toUs);
  if (!lostUs || *lostUs < 10000) return false;
  std::cout << "  the sound server lost " << *lostUs / 1000.0 << " ms of sound meanwhile" << std::endl;
  return true;
}

TEST_P(SoundCaptureTimingTest, FreshStreamStampsFollowTheSampleCount) {
  auto capture = Create(GetParam());
  const std::int64_t openUs = SteadyNowUs();
  ASSERT_TRUE(capture->Open());
  const std::int64_t openedUs = SteadyNowUs();
  test::SoundLossWatch watch(std::string(GetParam().sink) + ".monitor");
  const int rate = capture->sampleRate();
  const int channels = capture->channels();
  const Captured captured =
      test::ReadWhile(*capture, std::chrono::seconds(3), [] { return false; });
  ASSERT_FALSE(captured.blocks.empty()) << "no sound in 3 s";

  const CapturedBlock& first = captured.blocks.front();
  std::cout << "  open took " << (openedUs - openUs) / 1000.0 << " ms; first sound "
            << (first.readUs - openedUs) / 1000.0 << " ms after it; first stamp "
            << (first.stampUs - openUs) / 1000.0 << " ms from the open call" << std::endl;

  // Stamp continuity, and the age of each block's end when it was read.
  std::int64_t worstStepUs = 0;
  int jumps = 0;
  std::int64_t minAgeUs = INT64_MAX, maxAgeUs = INT64_MIN;
  for (std::size_t k = 0; k < captured.blocks.size(); ++k) {
    const CapturedBlock& block = captured.blocks[k];
    const std::int64_t endUs = block.stampUs + FramesUs(block.bytes, rate, channels);
    minAgeUs = std::min(minAgeUs, block.readUs - endUs);
    maxAgeUs = std::max(maxAgeUs, block.readUs - endUs);
    if (k + 1 == captured.blocks.size()) break;
    const std::int64_t stepUs = captured.blocks[k + 1].stampUs - endUs;
    if (std::abs(stepUs) > 2000) {
      ++jumps;
      std::cout << "  jump of " << stepUs / 1000.0 << " ms after block " << k << std::endl;
    } else {
      worstStepUs = std::max(worstStepUs, std::abs(stepUs));
    }
  }
  std::cout << "  " << captured.blocks.size() << " blocks, " << jumps
            << " jumps, worst step otherwise " << worstStepUs << " us; age of a block's end when "
            << "read " << minAgeUs / 1000.0 << " to " << maxAgeUs / 1000.0 << " ms" << std::endl;

  // Jumps are where the server says sound was lost; a fresh stream may lose
  // a little while it settles, but not keep losing it, unless the server
  // itself keeps losing sound (PipeWire held up on a loaded machine).
  if (!ServerLostSound(watch, openedUs + 500000, captured.blocks.back().readUs)) {
    EXPECT_LE(jumps, 3);
  }
  EXPECT_LE(worstStepUs, 2000);
  // The stamps stay near the present: no block ends far in the future (a
  // monitor may deliver what its sink plays a little later) or is read long
  // after it was captured.
  EXPECT_GT(minAgeUs, -300000);
  EXPECT_LT(maxAgeUs, 500000);
}

// A tone whose start is heard at a known time is found at that time in the
// capture, by its stamp and its place in the block.
TEST_P(SoundCaptureTimingTest, ToneIsFoundAtTheTimeItIsHeard) {
  auto capture = Create(GetParam());
  ASSERT_TRUE(capture->Open());
  test::SoundLossWatch watch(std::string(GetParam().sink) + ".monitor");
  const int rate = capture->sampleRate();
  const int channels = capture->channels();
  test::TonePlayer player(GetParam().sink, rate, 0.5, 0.3);
  std::optional<SoundClock::time_point> playerDone;
  const Captured captured = test::ReadWhile(*capture, std::chrono::seconds(8), [&] {
    if (!playerDone && player.done()) playerDone = SoundClock::now();
    return playerDone && SoundClock::now() - *playerDone > std::chrono::milliseconds(300);
  });
  ASSERT_TRUE(player.done()) << "the player did not finish in 8 s";
  ASSERT_TRUE(player.played()) << "the player could not play into " << GetParam().sink;
  const std::int64_t foundUs = test::FirstLoudSampleUs(captured, rate, channels, 0.1);
  ASSERT_GE(foundUs, 0) << "the tone is not in the capture";
  const std::int64_t errorUs = foundUs - player.toneHeardUs();
  std::cout << "  player latency " << player.latencyUs() / 1000.0 << " ms; tone found "
            << errorUs / 1000.0 << " ms from when it is heard" << std::endl;
  // A server that lost sound after the latency was read played the tone
  // later than it said.
  const std::int64_t scheduledUs = player.toneHeardUs() - player.latencyUs();
  if (ServerLostSound(watch, scheduledUs - 300000, player.toneHeardUs())) {
    GTEST_SKIP() << "the sound server lost sound while the tone was on its way";
  }
  EXPECT_LT(std::abs(errorUs), 40000);
}

INSTANTIATE_TEST_SUITE_P(Captures, SoundCaptureTimingTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<CaptureCase>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace tarn::platform
