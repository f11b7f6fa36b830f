#pragma once
// Notices a chosen sound source that has delivered only silence for a while
// during a recording: it is fed each level report with the time it arrived
// and says whether the "no sound" warning shows. One thread.

#include <cstdint>

#include "recorder/audio/sound_levels.h"

namespace tarn {

class SilenceWatch {
 public:
  // How long a chosen source stays silent before the warning shows.
  static constexpr std::int64_t kSilentForUs = 5000000;
  // A period whose peak stays below this (-60 dBFS) is silent.
  static constexpr float kSilentPeak = 0.001f;

  // One report of the source at `nowUs` (monotonic). A source that is not
  // chosen never warns; one that is chosen but delivered nothing, or did not
  // open, counts as silent. Returns whether the warning shows.
  bool Feed(const SourceLevel& level, std::int64_t nowUs);
  // Forgets the silence so far (a pause, a new recording).
  void Reset();
  bool warning() const { return warning_; }

 private:
  bool silent_ = false;
  std::int64_t silentSinceUs_ = 0;
  bool warning_ = false;
};

}  // namespace tarn
