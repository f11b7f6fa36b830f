#pragma once
// The microphone: its sound converted to 32 kHz mono, cleaned by the voice
// processing in 10 ms frames (noise suppression, and gain control when
// enabled), and converted to the recording's format. The capture times
// follow the sound through both conversions and the framing.

#include <memory>
#include <vector>

#include "recorder/audio/input_audio_source.h"
#include "recorder/audio/stamped_resampler.h"
#include "recorder/audio/voice_processor.h"

namespace tarn {

class MicrophoneSource final : public InputAudioSource {
 public:
  MicrophoneSource(std::unique_ptr<SoundInput> input, bool gainEnabled, int gainDb);

 protected:
  bool Prepare() override;
  bool Process(const AVFrame& frame, std::int64_t firstSampleUs, AudioSink& sink) override;
  const char* ExitTrace() const override { return "micophone audio capture thread exit\n"; }

 private:
  const bool gainEnabled_;
  const int gainDb_;
  VoiceProcessor voice_;
  StampedResampler toVoice_;     // the device's format to 32 kHz mono 16-bit
  StampedResampler toRecording_;  // 32 kHz mono to the recording's format
  bool configured_ = false;
  // 32 kHz samples waiting for a whole 10 ms frame; the first was captured
  // at voiceBufferStartUs_.
  std::vector<std::int16_t> voiceBuffer_;
  std::int64_t voiceBufferStartUs_ = 0;
  std::vector<std::int16_t> processed_;
};

// What the speaker plays (or any plain input): converted to the recording's
// format and nothing else.
class SpeakerSource final : public InputAudioSource {
 public:
  explicit SpeakerSource(std::unique_ptr<SoundInput> input, std::string label = "system sound");

 protected:
  bool Process(const AVFrame& frame, std::int64_t firstSampleUs, AudioSink& sink) override;
  const char* ExitTrace() const override { return "speaker audio capture thread exit\n"; }

 private:
  StampedResampler toRecording_;
  bool configured_ = false;
};

}  // namespace tarn
