#pragma once
// The player's sound output: the SDL audio device and the resampled sound
// waiting for SDL's callback. Only the callback touches the buffer, except
// under AudioDeviceLock (seeking).

#include <SDL.h>

#include <cstdint>
#include <vector>

#include "recorder/ffmpeg_holders.h"

namespace tarn::preview {

struct VideoPlayer::AudioOut {
  static constexpr std::size_t kBufferBytes = 288000;

  SDL_AudioDeviceID device = 0;
  SDL_AudioSpec obtained{};
  bool subsystem = false;  // holds one use of SDL's audio subsystem
  std::vector<std::uint8_t> buffer = std::vector<std::uint8_t>(kBufferBytes);
  int size = 0;   // bytes of sound in the buffer
  int index = 0;  // bytes already played
  av::FramePtr frame = av::MakeFrame();
  av::SwrPtr resampler;
  // The input the resampler was made for.
  int resamplerRate = 0;
  int resamplerFormat = -1;
  AVChannelLayout resamplerLayout{};

  AudioOut() = default;
  AudioOut(const AudioOut&) = delete;
  AudioOut& operator=(const AudioOut&) = delete;
  ~AudioOut();

  // Makes the resampler for `frame`'s layout, format and `rate` unless the
  // current one fits; false when it cannot be made.
  bool Prepare(AVFrame* frame, int rate);
  // Closes the device; waits for a running callback to return.
  void Close();
  int BytesPerSecond() const { return obtained.freq * obtained.channels * 2; }
  // Forgets the sound waiting to be played (after a seek).
  void Reset();
};

// Holds off SDL's audio callback for its lifetime (no-op without a device).
class AudioDeviceLock {
 public:
  explicit AudioDeviceLock(VideoPlayer::AudioOut* out);
  ~AudioDeviceLock();
  AudioDeviceLock(const AudioDeviceLock&) = delete;
  AudioDeviceLock& operator=(const AudioDeviceLock&) = delete;

 private:
  SDL_AudioDeviceID device_ = 0;
};

}  // namespace tarn::preview
