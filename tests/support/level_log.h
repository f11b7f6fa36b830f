#pragma once
// Collects sound level reports with the monotonic time each arrived, and
// waits for one that matches.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "recorder/audio/sound_levels.h"
#include "recorder/timeline.h"

namespace tarn::test {

struct StampedLevels {
  std::int64_t atUs = 0;
  SoundLevels levels;
};

class LevelLog {
 public:
  // Any thread.
  void Add(const SoundLevels& levels) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      reports_.push_back({MonotonicNowUs(), levels});
    }
    changed_.notify_all();
  }

  // The first report from `from` on that satisfies `match`, waiting up to
  // `timeout` for it to come.
  std::optional<StampedLevels> WaitFor(std::size_t from,
                                       const std::function<bool(const StampedLevels&)>& match,
                                       std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    std::optional<StampedLevels> found;
    changed_.wait_for(lock, timeout, [&] {
      for (std::size_t i = from; i < reports_.size(); ++i) {
        if (match(reports_[i])) {
          found = reports_[i];
          return true;
        }
      }
      return false;
    });
    return found;
  }

  std::size_t size() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return reports_.size();
  }
  std::vector<StampedLevels> reports() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return reports_;
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<StampedLevels> reports_;
};

}  // namespace tarn::test
