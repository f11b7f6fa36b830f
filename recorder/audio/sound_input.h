#pragma once
// Raw sound of a capture device as it delivers it, with the capture time of
// each block's first sample: from the sound server (a microphone, or what the
// speaker plays), or from any FFmpeg input ("lavfi" for tests and tools).
// One thread owns an input; Interrupt may be called from any thread.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "recorder/ffmpeg_holders.h"

namespace tarn {

class SoundInput {
 public:
  virtual ~SoundInput() = default;
  // Connects to the device. False with `error` in plain words.
  virtual bool Open(std::string& error) = 0;
  enum class ReadResult { kSound, kNothing, kEnded };
  // Waits at most about `timeoutMs` for sound. kSound: `frame` holds it (any
  // sample format, rate and layout) and `firstSampleUs` the monotonic capture
  // time of its first sample. kEnded: the device is gone for good (`error`
  // says why); kNothing: no sound yet.
  virtual ReadResult Read(int timeoutMs, av::FramePtr& frame, std::int64_t& firstSampleUs,
                          std::string& error) = 0;
  // Makes a Read in progress return soon.
  virtual void Interrupt() = 0;
};

// The sound server's source `sourceName` (empty: the default source).
std::unique_ptr<SoundInput> CreateServerSourceInput(const std::string& sourceName);
// What the sound server's default speaker plays.
std::unique_ptr<SoundInput> CreateServerLoopbackInput();
// An FFmpeg input, for example format "lavfi" and url "sine=frequency=440,arealtime".
std::unique_ptr<SoundInput> CreateFfmpegSoundInput(const std::string& format, const std::string& url);

// Turns an FFmpeg input's packet times into monotonic stamps. Inputs stamp in
// one of three ways: with the wall clock (the sound server, most cameras),
// with the monotonic clock, or counting from zero (lavfi, files). The first
// stamp decides which; stamps counting from zero are placed after the moment
// the first packet was read.
class InputClock {
 public:
  // `stampUs`: the packet's time in microseconds; `nowMonoUs`, `nowWallUs`:
  // the clocks read right after the packet arrived.
  std::int64_t ToMonotonicUs(std::int64_t stampUs, std::int64_t nowMonoUs, std::int64_t nowWallUs);
  // Places stamps counting from zero after `monoUs` (the moment the input
  // began to deliver) instead of after the first packet's arrival, which
  // comes late when the input read ahead while it was opened.
  void SetRelativeOrigin(std::int64_t monoUs) { originUs_ = monoUs; }
  // Whether the stamps count from zero (known after the first one): such an
  // input may deliver faster than real time.
  bool relative() const { return kind_ == Kind::kRelative; }

 private:
  enum class Kind { kUnknown, kWall, kMonotonic, kRelative };
  Kind kind_ = Kind::kUnknown;
  std::int64_t offsetUs_ = 0;  // for relative stamps
  std::int64_t originUs_ = -1;  // SetRelativeOrigin's moment, or -1
};

}  // namespace tarn
