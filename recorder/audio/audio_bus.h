#pragma once
// The tracks of one recording's sound, read together in frames of up to 1024
// samples on the recording's time line. A frame is handed out once every
// track holds its samples or need not be waited for any more, and never
// beyond what the recording has reached: with no track at all (no sound is
// recorded) the frames are silence that keeps pace with the recording. After
// Stop the last frame ends exactly where the recording ended.
//
// AddTrack is called before the sources start; the rest on the encoding
// thread. Thread-safe as AudioTrack is.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "recorder/audio/audio_track.h"
#include "recorder/timeline.h"

namespace tarn {

class AudioBus {
 public:
  static constexpr int kFrameSamples = 1024;

  explicit AudioBus(const RecordingTimeline& timeline) : timeline_(timeline) {}

  AudioTrack& AddTrack(const std::string& name);
  std::size_t trackCount() const { return tracks_.size(); }
  AudioTrack& track(std::size_t index) { return *tracks_[index]; }

  // The size of the next frame when it can be taken at `nowUs`, else 0.
  int NextFrameReady(std::int64_t nowUs) const;
  // Copies the next frame of track `index` into `out` (NextFrameReady's size).
  void TakeTrack(std::size_t index, int samples, float* const out[2]);
  // Moves on past the frame just taken from every track.
  void Advance(int samples) { position_ += samples; }

  // Position of the next frame, in samples of the recording.
  std::int64_t position() const { return position_; }
  // The recording has stopped and every sample up to its end was taken.
  bool Done() const;

 private:
  std::int64_t EndOfRecordingSamples() const;

  const RecordingTimeline& timeline_;
  std::vector<std::unique_ptr<AudioTrack>> tracks_;
  std::int64_t position_ = 0;
};

}  // namespace tarn
