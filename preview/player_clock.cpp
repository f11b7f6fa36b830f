#include "preview/player_clock.h"

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

namespace tarn::preview {

namespace {
constexpr double kFrameDupThresholdSeconds = 0.1;
constexpr double kNoSyncSeconds = 3600.0;
}  // namespace

std::int64_t NowUs() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void PlayerClock::Set(double valueSeconds, std::int64_t nowUs) {
  value_ = valueSeconds;
  driftSeconds_ = valueSeconds - static_cast<double>(nowUs) / 1e6;
}

double PlayerClock::At(std::int64_t nowUs) const {
  return driftSeconds_ + static_cast<double>(nowUs) / 1e6;
}

bool PlayerClock::valid() const { return !std::isnan(value_); }

void PlayerClock::Reset() {
  value_ = std::nan("");
  driftSeconds_ = std::nan("");
}

double CorrectedFrameDelay(double delaySeconds, double diffSeconds) {
  if (std::isnan(diffSeconds) || std::fabs(diffSeconds) >= kNoSyncSeconds) return delaySeconds;
  if (diffSeconds < 0) return std::max(0.0, delaySeconds + diffSeconds);
  // Ahead: wait longer, by at most one more delay (0.1 s for short ones) per
  // picture, so that a jump of the master clock is caught up smoothly.
  return delaySeconds + std::min(diffSeconds, std::max(delaySeconds, kFrameDupThresholdSeconds));
}

namespace {
std::int64_t StreamDurationUs(const AVStream* stream) {
  if (stream == nullptr || stream->duration == AV_NOPTS_VALUE || stream->duration <= 0) return -1;
  return av_rescale_q(stream->duration, stream->time_base, AVRational{1, 1000000});
}
}  // namespace

std::int64_t PlayingDurationUs(const AVFormatContext* input, const AVStream* video,
                               const AVStream* audio) {
  const std::int64_t longest = std::max(StreamDurationUs(video), StreamDurationUs(audio));
  if (longest > 0) return longest;
  if (input != nullptr && input->duration != AV_NOPTS_VALUE && input->duration > 0) {
    return input->duration;
  }
  return 0;
}

void MixAtVolume(std::uint8_t* out, const std::uint8_t* in, int bytes, int volume) {
  std::memset(out, 0, static_cast<std::size_t>(bytes));
  SDL_MixAudioFormat(out, in, AUDIO_S16SYS, static_cast<Uint32>(bytes),
                     std::clamp(volume, 0, SDL_MIX_MAXVOLUME));
}

}  // namespace tarn::preview
