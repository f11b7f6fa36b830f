#include "recorder/frame_pacer.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "recorder/timeline.h"

namespace tarn {

std::int64_t SteadyTimeSource::NowUs() { return MonotonicNowUs(); }

void SteadyTimeSource::SleepUs(std::int64_t durationUs) {
  if (durationUs > 0) std::this_thread::sleep_for(std::chrono::microseconds(durationUs));
}

FramePacer::FramePacer(int frameRate, TimeSource& time)
    : frameRate_(frameRate > 0 ? frameRate : 1), time_(time) {}

std::int64_t FramePacer::DueUs(std::int64_t index) const {
  // Exact to the microsecond however long the schedule runs.
  return anchorUs_ + index * 1000000 / frameRate_;
}

void FramePacer::Restart() {
  anchorUs_ = time_.NowUs();
  next_ = 0;
}

bool FramePacer::WaitForNext(std::int64_t maxSleepUs) {
  const std::int64_t now = time_.NowUs();
  const std::int64_t due = DueUs(next_);
  if (now < due) {
    time_.SleepUs(std::min(due - now, std::max<std::int64_t>(maxSleepUs, 1)));
    if (time_.NowUs() < due) return false;
  } else if (now >= DueUs(next_ + 1)) {
    // Behind by a whole interval or more: the pictures due meanwhile are
    // skipped and this one is taken at once.
    const std::int64_t current = (now - anchorUs_) * frameRate_ / 1000000;
    skipped_ += current - next_;
    next_ = current;
  }
  ++next_;
  ++taken_;
  return true;
}

}  // namespace tarn
