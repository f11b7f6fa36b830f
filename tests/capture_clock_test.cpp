#include "recorder/capture_clock.h"

#include <gtest/gtest.h>

#include <vector>

namespace tarn {
namespace {

// Simulated time: sleeping moves it on, and each capture costs `captureCostUs`.
class FakeTime : public TimeSource {
 public:
  std::int64_t NowUs() override { return nowUs; }
  void SleepUs(std::int64_t durationUs) override { nowUs += durationUs; }
  std::int64_t nowUs = 1'000'000'000;
};

// Runs the source loop: captures until `untilUs`, pausing over [pauseFrom, pauseTo).
std::vector<std::int64_t> Record(FakeTime& time, CaptureClock& clock, std::int64_t durationUs,
                                 std::int64_t pauseFromUs, std::int64_t pauseToUs,
                                 std::int64_t captureCostUs) {
  std::vector<std::int64_t> captureTimes;
  const std::int64_t start = time.nowUs;
  clock.Start();
  bool paused = false;
  while (time.nowUs - start < durationUs) {
    clock.BeginFrame();
    const std::int64_t t = time.nowUs - start;
    if (!paused && t >= pauseFromUs && t < pauseToUs) {
      clock.EnterPause();
      time.nowUs = start + pauseToUs;  // the pause passes
      clock.LeavePause();
    }
    clock.WaitForFrame();
    if (time.nowUs - start >= durationUs) break;
    captureTimes.push_back(time.nowUs - start);
    time.nowUs += captureCostUs;
    clock.FrameTaken();
  }
  return captureTimes;
}

TEST(CaptureClockTest, PicturesFollowTheUnpausedTime) {
  FakeTime time;
  CaptureClock clock(25, time);
  // 15 s with a 5 s pause in the middle: 10 s of pictures, not 15.
  const auto times = Record(time, clock, 15'000'000, 5'000'000, 10'000'000, 2'000);
  EXPECT_NEAR(static_cast<double>(times.size()), 250.0, 2.0);
  EXPECT_NEAR(static_cast<double>(clock.ActiveTimeUs()), 10e6, 50e3);
}

TEST(CaptureClockTest, ResumeBringsNoBurstAndNoGap) {
  FakeTime time;
  CaptureClock clock(25, time);
  const auto times = Record(time, clock, 8'000'000, 3'000'000, 6'000'000, 2'000);
  // After the pause the pictures come one interval apart again.
  std::size_t first = 0;
  while (first < times.size() && times[first] < 6'000'000) ++first;
  ASSERT_GT(times.size(), first + 3);
  EXPECT_GE(times[first] - 6'000'000, 30'000);  // one interval after the resumption
  for (std::size_t i = first + 1; i < first + 4; ++i) {
    EXPECT_NEAR(static_cast<double>(times[i] - times[i - 1]), 40'000.0, 1'000.0) << i;
  }
}

TEST(CaptureClockTest, SlowCapturesCatchUpBackToBack) {
  FakeTime time;
  CaptureClock clock(30, time);
  // Each capture costs 50 ms, more than the 33 ms interval: the count follows
  // as closely as the cost allows, with no sleeping in between.
  const auto times = Record(time, clock, 3'000'000, -1, -1, 50'000);
  ASSERT_GT(times.size(), 10u);
  EXPECT_NEAR(static_cast<double>(times.size()), 60.0, 3.0);
  for (std::size_t i = 5; i < times.size(); ++i) {
    EXPECT_EQ(times[i] - times[i - 1], 50'000) << i;
  }
}

TEST(CaptureClockTest, ALongStallDoesNotLeaveTheScheduleBehind) {
  FakeTime time;
  CaptureClock clock(10, time);
  clock.Start();
  clock.BeginFrame();
  clock.WaitForFrame();
  clock.FrameTaken();
  time.nowUs += 2'000'000;  // the machine stalls for two seconds
  // The count catches up with the active time, then the pacing sleeps again.
  int burst = 0;
  for (int i = 0; i < 40; ++i) {
    clock.BeginFrame();
    const std::int64_t before = time.nowUs;
    clock.WaitForFrame();
    if (time.nowUs == before) ++burst;
    clock.FrameTaken();
  }
  EXPECT_NEAR(clock.frameCount(), clock.ExpectedFrames(), 1);
  EXPECT_LE(burst, 22);
}

}  // namespace
}  // namespace tarn
