// The stamps of consecutive capture blocks: they follow the sample count
// through the server's jitter, follow a drifting clock, ignore one stale
// report, and jump where two reports agree that sound was lost.

#include "platform/pulse/capture_stamps.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <vector>

namespace tarn::platform::pulse {
namespace {

constexpr int kRate = 48000;
constexpr std::int64_t kBlockFrames = 480;  // 10 ms
constexpr std::int64_t kBlockUs = 10000;
constexpr std::int64_t kStartUs = 5000000;

// Feeds `count` blocks whose true start times come from `truthUs` and whose
// server reports are the truth plus `reportErrorUs(k)` (nullopt: no report).
template <typename Truth, typename ReportError>
std::vector<std::int64_t> Feed(CaptureStamps& stamps, int count, Truth truthUs,
                               ReportError reportErrorUs) {
  std::vector<std::int64_t> result;
  for (int k = 0; k < count; ++k) {
    const std::optional<std::int64_t> error = reportErrorUs(k);
    std::optional<std::int64_t> reportUs;
    if (error) reportUs = truthUs(k) + *error;
    result.push_back(stamps.Next(reportUs, kBlockFrames, truthUs(k) + 12345));
  }
  return result;
}

TEST(CaptureStampsTest, JitteryReportsLeaveTheSampleCountsSteps) {
  CaptureStamps stamps(kRate);
  // Reports off by up to +-4 ms, as the servers' are.
  const std::int64_t jitterUs[] = {0, 3000, -4000, 1500, -2500, 4000, -1000};
  const auto stampsUs = Feed(
      stamps, 300, [](int k) { return kStartUs + k * kBlockUs; },
      [&](int k) -> std::optional<std::int64_t> { return jitterUs[k % 7]; });
  EXPECT_EQ(stampsUs.front(), kStartUs) << "the first report is taken as it is";
  for (std::size_t k = 1; k < stampsUs.size(); ++k) {
    SCOPED_TRACE(k);
    // Each step is the block's duration, corrected by a sixteenth of the
    // difference between a report and the count (within twice the jitter).
    EXPECT_LE(std::llabs(stampsUs[k] - stampsUs[k - 1] - kBlockUs), 2 * 4000 / 16);
    EXPECT_LE(std::llabs(stampsUs[k] - (kStartUs + static_cast<std::int64_t>(k) * kBlockUs)), 4000);
  }
  EXPECT_EQ(stamps.resyncs(), 0);
}

TEST(CaptureStampsTest, ADriftingClockIsFollowed) {
  CaptureStamps stamps(kRate);
  // The sound card runs 0.2 % slow against the monotonic clock: each block
  // of 10 ms takes 10.02 ms; after 10 s the count alone would be 20 ms early.
  const auto truthUs = [](int k) { return kStartUs + k * (kBlockUs + 20); };
  const auto stampsUs =
      Feed(stamps, 1000, truthUs, [](int) { return std::optional<std::int64_t>(0); });
  EXPECT_LE(std::llabs(stampsUs.back() - truthUs(999)), 1000);
  EXPECT_EQ(stamps.resyncs(), 0);
}

TEST(CaptureStampsTest, OneStaleReportIsIgnored) {
  CaptureStamps stamps(kRate);
  const auto stampsUs = Feed(
      stamps, 100, [](int k) { return kStartUs + k * kBlockUs; },
      [](int k) -> std::optional<std::int64_t> { return k == 50 ? -30000 : 0; });
  for (std::size_t k = 0; k < stampsUs.size(); ++k) {
    EXPECT_EQ(stampsUs[k], kStartUs + static_cast<std::int64_t>(k) * kBlockUs) << k;
  }
  EXPECT_EQ(stamps.resyncs(), 0);
}

TEST(CaptureStampsTest, LostSoundMovesTheStampsWhenTwoReportsAgree) {
  CaptureStamps stamps(kRate);
  // From block 50 on, 80 ms of sound were lost before each block; reports
  // come only every other block, as when the server answers late.
  const auto truthUs = [](int k) { return kStartUs + k * kBlockUs + (k >= 50 ? 80000 : 0); };
  const auto stampsUs = Feed(stamps, 100, truthUs, [](int k) -> std::optional<std::int64_t> {
    if (k % 2 == 1) return std::nullopt;
    return 0;
  });
  // Blocks 50 to 52 are still counted (52 brings the second report); from
  // there on the stamps are the truth again.
  EXPECT_EQ(stampsUs[50], kStartUs + 50 * kBlockUs);
  for (int k = 52; k < 100; ++k) EXPECT_EQ(stampsUs[static_cast<std::size_t>(k)], truthUs(k)) << k;
  EXPECT_EQ(stamps.resyncs(), 1);
  EXPECT_EQ(stamps.lastJumpUs(), 80000);
}

TEST(CaptureStampsTest, WithoutReportsTheFirstBlockTakesTheFallback) {
  CaptureStamps stamps(kRate);
  EXPECT_FALSE(stamps.started());
  EXPECT_EQ(stamps.Next(std::nullopt, kBlockFrames, 777000), 777000);
  EXPECT_TRUE(stamps.started());
  EXPECT_EQ(stamps.Next(std::nullopt, kBlockFrames, 0), 777000 + kBlockUs);
  // Blocks that are no whole number of microseconds long (480 frames at
  // 44.1 kHz) are stamped from the whole frame count, not from rounded
  // durations added up.
  CaptureStamps odd(44100);
  std::int64_t last = 0;
  for (int k = 0; k < 4410; ++k) last = odd.Next(std::nullopt, 480, 0);
  EXPECT_EQ(last, std::int64_t{4409} * 480 * 1000000 / 44100);
}

}  // namespace
}  // namespace tarn::platform::pulse
