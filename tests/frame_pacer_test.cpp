#include "recorder/frame_pacer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace tarn {
namespace {

// Simulated time: sleeping moves it on.
class FakeTime : public TimeSource {
 public:
  std::int64_t NowUs() override { return nowUs; }
  void SleepUs(std::int64_t durationUs) override { nowUs += durationUs; }
  std::int64_t nowUs = 1'000'000'000;
};

// Takes pictures for `durationUs`, each costing `costUs` (or `slowCostUs` for
// the pictures whose index is in `slow`), and returns when they were taken,
// relative to the start.
std::vector<std::int64_t> TakePictures(FakeTime& time, FramePacer& pacer, std::int64_t durationUs,
                              std::int64_t costUs, std::vector<int> slow = {},
                              std::int64_t slowCostUs = 0) {
  std::vector<std::int64_t> taken;
  const std::int64_t start = time.nowUs;
  pacer.Restart();
  while (time.nowUs - start < durationUs) {
    if (!pacer.WaitForNext()) continue;
    if (time.nowUs - start >= durationUs) break;
    const bool isSlow = std::find(slow.begin(), slow.end(), static_cast<int>(taken.size())) != slow.end();
    taken.push_back(time.nowUs - start);
    time.nowUs += isSlow ? slowCostUs : costUs;
  }
  return taken;
}

TEST(FramePacerTest, TakesOnePictureEveryIntervalWithoutDrift) {
  for (int fps : {10, 24, 30, 60, 120}) {
    SCOPED_TRACE(fps);
    FakeTime time;
    FramePacer pacer(fps, time);
    const auto taken = TakePictures(time, pacer, 10'000'000, 2000);
    ASSERT_EQ(static_cast<int>(taken.size()), 10 * fps);
    // The n-th picture is due at n/fps exactly: sleeps never add up.
    for (std::size_t n = 0; n < taken.size(); ++n) {
      EXPECT_EQ(taken[n], static_cast<std::int64_t>(n) * 1000000 / fps);
    }
    EXPECT_EQ(pacer.skipped(), 0);
  }
}

TEST(FramePacerTest, AStallSkipsTheMissedPicturesInsteadOfABurst) {
  FakeTime time;
  FramePacer pacer(25, time);  // 40 ms apart
  // Picture 10 takes 130 ms: the pictures due at 440, 480 and 520 ms are missed.
  const auto taken = TakePictures(time, pacer, 2'000'000, 1000, {10}, 130'000);
  ASSERT_GT(taken.size(), 12u);
  EXPECT_EQ(taken[10], 400'000);
  // Taken at once when the copy returns (530 ms), then back on the schedule.
  EXPECT_EQ(taken[11], 530'000);
  EXPECT_EQ(taken[12], 560'000);
  EXPECT_EQ(pacer.skipped(), 2);
  // No two pictures closer than an interval but for the one taken late.
  for (std::size_t n = 13; n < taken.size(); ++n) EXPECT_EQ(taken[n] - taken[n - 1], 40'000);
}

TEST(FramePacerTest, RestartPutsTheNextPictureNowAndSleepsInShortSteps) {
  FakeTime time;
  FramePacer pacer(2, time);  // 500 ms apart
  pacer.Restart();
  EXPECT_TRUE(pacer.WaitForNext());       // due at once
  EXPECT_FALSE(pacer.WaitForNext(50000));  // only 50 ms of the 500 slept
  EXPECT_EQ(time.nowUs, 1'000'000'000 + 50'000);
  time.nowUs += 1'000'000;  // a pause of a second
  pacer.Restart();
  const std::int64_t resumed = time.nowUs;
  EXPECT_TRUE(pacer.WaitForNext());
  EXPECT_EQ(time.nowUs, resumed);
  EXPECT_EQ(pacer.skipped(), 0);
}

}  // namespace
}  // namespace tarn
