#pragma once
// The player's clocks and the arithmetic of its pacing, free of threads so
// that it can be checked on its own.

#include <cstdint>

extern "C" {
#include <libavformat/avformat.h>
}

namespace tarn::preview {

// The monotonic clock of the program, in microseconds.
std::int64_t NowUs();

// A clock that runs with real time from its last setting: its value at
// `nowUs` is value + (nowUs - set time). NaN until first set. Not
// thread-safe: the player guards each clock with its own lock.
class PlayerClock {
 public:
  void Set(double valueSeconds, std::int64_t nowUs);
  // The value at `nowUs` (NaN when never set).
  double At(std::int64_t nowUs) const;
  // The value when last set (NaN when never set).
  double value() const { return value_; }
  bool valid() const;
  void Reset();

 private:
  double value_ = 0.0 / 0.0;
  double driftSeconds_ = 0.0 / 0.0;  // value - set time
};

// The wait before the next picture: `delaySeconds` is its nominal wait (the
// time stamp step from the previous picture), `diffSeconds` how far ahead of
// the master clock it would be when shown after that wait. Pictures behind
// the master wait less (never below 0), pictures ahead wait longer (by at
// most one more delay, or 0.1 s, per picture); a difference of an hour or
// more, or NaN, is ignored (a broken time stamp).
double CorrectedFrameDelay(double delaySeconds, double diffSeconds);

// The playing time of the file in microseconds: the longest of the given
// streams' durations, the container's when no stream states one, 0 when
// neither does.
std::int64_t PlayingDurationUs(const AVFormatContext* input, const AVStream* video,
                               const AVStream* audio);

// Mixes `bytes` of signed 16-bit native-endian samples from `in` into
// silence in `out` at `volume` (0 silent .. 128 unchanged).
void MixAtVolume(std::uint8_t* out, const std::uint8_t* in, int bytes, int volume);

}  // namespace tarn::preview
