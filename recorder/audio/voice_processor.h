#pragma once
// Cleaning of the microphone's voice: noise suppression and, when enabled, a
// fixed digital gain with a limiter, on 10 ms frames of 32 kHz mono 16-bit
// samples. One instance per microphone thread; not thread-safe.

#include <cstdint>
#include <memory>

namespace tarn {

class VoiceProcessor {
 public:
  static constexpr int kSampleRate = 32000;
  static constexpr int kFrameSamples = 320;  // 10 ms

  VoiceProcessor();
  ~VoiceProcessor();
  VoiceProcessor(const VoiceProcessor&) = delete;
  VoiceProcessor& operator=(const VoiceProcessor&) = delete;

  // Noise suppression at its strongest level; with `gainEnabled`, gain control
  // in fixed-digital mode with `gainDb` dB compression gain, a 3 dBFS target
  // level and the limiter on (it is configured either way). False, with a log
  // line naming the step, when the processing cannot be set up.
  bool Init(bool gainEnabled, int gainDb);

  // Processes one frame of kFrameSamples samples in place. False when the
  // processing failed; the frame's contents are then unspecified.
  bool ProcessFrame(std::int16_t* samples);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace tarn
