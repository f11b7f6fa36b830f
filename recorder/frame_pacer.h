#pragma once
// The pace of a source that takes pictures on its own schedule (the screen):
// one picture every 1/frameRate seconds on the monotonic clock. A schedule
// that fell behind by more than an interval (a slow copy, a loaded machine)
// skips the pictures it missed instead of taking them in a burst; their
// slots stay empty in the file and the time line stays right. Used by one
// thread.

#include <cstdint>

namespace tarn {

// Where the pacer gets its time; a test substitutes a simulated one.
class TimeSource {
 public:
  virtual ~TimeSource() = default;
  virtual std::int64_t NowUs() = 0;
  virtual void SleepUs(std::int64_t durationUs) = 0;
};

// Monotonic time with real sleeps.
class SteadyTimeSource : public TimeSource {
 public:
  std::int64_t NowUs() override;
  void SleepUs(std::int64_t durationUs) override;
};

class FramePacer {
 public:
  FramePacer(int frameRate, TimeSource& time);

  // The schedule starts over: the next picture is due now (at the start and
  // after a pause).
  void Restart();
  // Returns when the next picture is due, sleeping as needed; at most
  // `maxSleepUs` at a time so the caller can look at its stop flag (false:
  // not due yet, call again).
  bool WaitForNext(std::int64_t maxSleepUs = 50000);
  // Pictures skipped because the schedule fell behind.
  std::int64_t skipped() const { return skipped_; }
  // Pictures due so far.
  std::int64_t taken() const { return taken_; }

 private:
  std::int64_t DueUs(std::int64_t index) const;

  const int frameRate_;
  TimeSource& time_;
  std::int64_t anchorUs_ = 0;
  std::int64_t next_ = 0;  // index of the next picture since the anchor
  std::int64_t skipped_ = 0;
  std::int64_t taken_ = 0;
};

}  // namespace tarn
