#include "recorder/audio/audio_bus.h"

#include <algorithm>
#include <cmath>

#include "recorder/media_source.h"

namespace tarn {

AudioTrack& AudioBus::AddTrack(const std::string& name) {
  tracks_.push_back(std::make_unique<AudioTrack>(timeline_, name));
  return *tracks_.back();
}

std::int64_t AudioBus::EndOfRecordingSamples() const {
  const std::optional<std::int64_t> stopUs = timeline_.stopRecordingUs();
  if (!stopUs) return INT64_MAX;
  return std::llround(static_cast<double>(*stopUs) * kRecordingSampleRate / 1e6);
}

int AudioBus::NextFrameReady(std::int64_t nowUs) const {
  const std::int64_t end = std::min(position_ + kFrameSamples, EndOfRecordingSamples());
  if (end <= position_) return 0;
  // When the frame's last sample was recorded; not yet reached: not ready.
  std::int64_t endRecordingUs = std::llround(static_cast<double>(end) * 1e6 / kRecordingSampleRate);
  // The last frame ends where the recording did, whatever the rounding says.
  if (const std::optional<std::int64_t> stopUs = timeline_.stopRecordingUs()) {
    endRecordingUs = std::min(endRecordingUs, *stopUs);
  }
  const std::optional<std::int64_t> endMonoUs = timeline_.ToMonotonicUs(endRecordingUs);
  if (!endMonoUs || *endMonoUs > nowUs) return 0;
  for (const auto& track : tracks_) {
    if (!track->Ready(end, *endMonoUs, nowUs)) return 0;
  }
  return static_cast<int>(end - position_);
}

void AudioBus::TakeTrack(std::size_t index, int samples, float* const out[2]) {
  tracks_[index]->Take(position_, samples, out);
}

bool AudioBus::Done() const { return timeline_.stopped() && position_ >= EndOfRecordingSamples(); }

}  // namespace tarn
