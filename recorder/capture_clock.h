#pragma once
// The pacing clock of the screen source: it keeps the number of pictures equal
// to the unpaused time multiplied by the frame rate. Behind schedule it lets
// pictures be taken back to back; ahead of it, it sleeps to the next deadline.
// A pause stops the clock, and after it the next picture comes one interval
// after the resumption: no gap and no burst. Used by one thread.

#include <cstdint>

namespace tarn {

// Where the clock gets its time; a test substitutes a simulated one.
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

class CaptureClock {
 public:
  CaptureClock(int frameRate, TimeSource& time);

  // The clock starts now, with no active time and no pictures.
  void Start();
  // Moves the deadline one interval on; called at the top of every picture.
  void BeginFrame();
  // The recording has not really begun yet (sources not ready): time so far
  // does not count, and the next deadline is one interval from now.
  void Restart();
  // The recording is paused from now: the active time stops.
  void EnterPause();
  // The recording runs again from now: the next picture is due one interval on.
  void LeavePause();
  // Returns when the next picture should be taken (sleeping as needed).
  void WaitForFrame();
  // One picture was taken.
  void FrameTaken() { ++frameCount_; }

  std::int64_t frameCount() const { return frameCount_; }
  // Unpaused time so far, microseconds.
  std::int64_t ActiveTimeUs();
  // Pictures the active time calls for, rounded to the nearest.
  std::int64_t ExpectedFrames();

 private:
  const int frameRate_;
  TimeSource& time_;
  // Deadline of the next picture in microseconds multiplied by the frame rate,
  // so that adding 1000000 advances it by exactly one interval.
  std::int64_t deadline_ = 0;
  std::int64_t frameCount_ = 0;
  std::int64_t activeTimeUs_ = 0;  // unpaused time before clockRefUs_
  std::int64_t clockRefUs_ = 0;
};

}  // namespace tarn
