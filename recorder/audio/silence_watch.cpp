#include "recorder/audio/silence_watch.h"

namespace tarn {

bool SilenceWatch::Feed(const SourceLevel& level, std::int64_t nowUs) {
  if (level.state == LevelState::kOff) {
    Reset();
    return warning_;
  }
  const bool silent = level.state == LevelState::kUnavailable || level.peak < kSilentPeak;
  if (!silent) {
    Reset();
    return warning_;
  }
  if (!silent_) {
    silent_ = true;
    silentSinceUs_ = nowUs;
  }
  // A clock that went back (it should not) restarts the count.
  if (nowUs < silentSinceUs_) silentSinceUs_ = nowUs;
  warning_ = nowUs - silentSinceUs_ >= kSilentForUs;
  return warning_;
}

void SilenceWatch::Reset() {
  silent_ = false;
  silentSinceUs_ = 0;
  warning_ = false;
}

}  // namespace tarn
