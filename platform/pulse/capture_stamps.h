#pragma once
// Time stamps for the consecutive blocks of one record stream, on the
// monotonic clock in microseconds. The sample count gives each block's stamp
// from the last one, so consecutive stamps follow the sound exactly. Each new
// timing report of the server (they jitter by a millisecond or a few) pulls
// that count gently towards the report's stamp, since the sound card's clock
// and the monotonic clock drift apart. A report that disagrees by more than a
// jitter can explain replaces the count only when the next report agrees
// with it: then sound was lost or held back, and the block starts where the
// server says. A single report that far off is a stale one (a busy server
// answers with counters that lag each other) and is ignored.

#include <cstdint>
#include <cstdlib>
#include <optional>

namespace tarn::platform::pulse {

class CaptureStamps {
 public:
  // A server stamp further than this from the sample count's is taken as it is.
  static constexpr std::int64_t kResyncUs = 20 * 1000;
  // Closer ones move the sample count's stamps by this fraction of the difference.
  static constexpr std::int64_t kPullDivisor = 16;

  explicit CaptureStamps(int rate) : rate_(rate > 0 ? rate : 1) {}

  // The stamp of the next block, of `frames` frames. `serverUs` is a new
  // report's stamp of its first sample, if one came since the last block;
  // `fallbackUs` is used for the first block when none did.
  std::int64_t Next(std::optional<std::int64_t> serverUs, std::int64_t frames,
                    std::int64_t fallbackUs) {
    std::int64_t stampUs = 0;
    if (!started_) {
      started_ = true;
      baseUs_ = serverUs.value_or(fallbackUs);
      framesSinceBase_ = 0;
      stampUs = baseUs_;
    } else {
      const std::int64_t countedUs = CountedUs();
      if (!serverUs) {
        stampUs = countedUs;
      } else if (const std::int64_t offUs = *serverUs - countedUs; std::llabs(offUs) > kResyncUs) {
        if (farOff_ && std::llabs(offUs - farOffUs_) <= kResyncUs / 2) {
          ++resyncs_;
          lastJumpUs_ = offUs;
          baseUs_ = *serverUs;
          framesSinceBase_ = 0;
          farOff_ = false;
        } else {
          farOff_ = true;  // wait for the next report
          farOffUs_ = offUs;
        }
        stampUs = CountedUs();
      } else {
        farOff_ = false;
        baseUs_ += offUs / kPullDivisor;
        stampUs = CountedUs();
      }
    }
    framesSinceBase_ += frames;
    return stampUs;
  }

  bool started() const { return started_; }
  // How often the server's stamps replaced the sample count's, and by how
  // much the last time (positive: the sound came later than counted).
  int resyncs() const { return resyncs_; }
  std::int64_t lastJumpUs() const { return lastJumpUs_; }

 private:
  std::int64_t CountedUs() const { return baseUs_ + framesSinceBase_ * 1000000 / rate_; }

  const std::int64_t rate_;
  bool started_ = false;
  // Frame number n since the base was captured at baseUs_ + n / rate_.
  std::int64_t baseUs_ = 0;
  std::int64_t framesSinceBase_ = 0;
  bool farOff_ = false;        // the last report was off by more than kResyncUs,
  std::int64_t farOffUs_ = 0;  // by this much
  int resyncs_ = 0;
  std::int64_t lastJumpUs_ = 0;
};

}  // namespace tarn::platform::pulse
