#include "recorder/audio/voice_processor.h"

#include <glog/logging.h>

#include <algorithm>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"
#include <webrtc/modules/audio_processing/include/audio_processing.h>
#include <webrtc/modules/interface/module_common_types.h>
#pragma GCC diagnostic pop

namespace tarn {
namespace {

// The gain control accepts compression gains in this range only.
constexpr int kMinCompressionGainDb = 0;
constexpr int kMaxCompressionGainDb = 90;
// Peak target of the gain control: 3 dB below full scale.
constexpr int kTargetLevelDbfs = 3;
// A stream that keeps failing logs its first failure and then every 100th.
constexpr long kFailureLogInterval = 100;

// Logs a failed set-up step; true when `code` is a success.
bool Succeeded(int code, const char* step) {
  if (code == webrtc::AudioProcessing::kNoError) return true;
  LOG(ERROR) << step << " failed: " << code;
  return false;
}

}  // namespace

struct VoiceProcessor::State {
  std::unique_ptr<webrtc::AudioProcessing> apm;
  // Reused for every frame; its format never changes, so the processing is
  // never re-initialised between frames.
  webrtc::AudioFrame frame;
  long failures = 0;
};

VoiceProcessor::VoiceProcessor() = default;
VoiceProcessor::~VoiceProcessor() = default;

bool VoiceProcessor::Init(bool gainEnabled, int gainDb) {
  state_.reset();
  auto state = std::make_unique<State>();
  // The library's experimental adaptive gain control is on unless switched off;
  // while it is on, gain_control() hands out a stand-in that accepts the mode,
  // target, compression gain and limiter settings but ignores them.
  webrtc::Config config;
  config.Set<webrtc::ExperimentalAgc>(new webrtc::ExperimentalAgc(false));
  state->apm.reset(webrtc::AudioProcessing::Create(config));
  if (!state->apm) {
    LOG(ERROR) << "voice processing could not be created";
    return false;
  }
  webrtc::AudioProcessing& apm = *state->apm;
  using Layout = webrtc::AudioProcessing::ChannelLayout;
  if (!Succeeded(apm.Initialize(kSampleRate, kSampleRate, kSampleRate, Layout::kMono,
                                Layout::kMono, Layout::kMono),
                 "voice processing set-up")) {
    return false;
  }

  webrtc::NoiseSuppression* noise = apm.noise_suppression();
  if (!Succeeded(noise->set_level(webrtc::NoiseSuppression::kVeryHigh),
                 "noise suppression level set-up") ||
      !Succeeded(noise->Enable(true), "noise suppression set-up")) {
    return false;
  }

  const int compressionGainDb = std::clamp(gainDb, kMinCompressionGainDb, kMaxCompressionGainDb);
  if (compressionGainDb != gainDb) {
    LOG(WARNING) << "microphone gain of " << gainDb << " dB is out of range, using "
                 << compressionGainDb << " dB";
  }
  // The gain control is configured even when it stays off.
  webrtc::GainControl* gain = apm.gain_control();
  if (!Succeeded(gain->set_mode(webrtc::GainControl::kFixedDigital), "gain control mode set-up") ||
      !Succeeded(gain->set_target_level_dbfs(kTargetLevelDbfs),
                 "gain control target level set-up") ||
      !Succeeded(gain->set_compression_gain_db(compressionGainDb),
                 "gain control compression gain set-up") ||
      !Succeeded(gain->enable_limiter(true), "gain control limiter set-up") ||
      !Succeeded(gain->Enable(gainEnabled), "gain control set-up")) {
    return false;
  }
  // A library that accepts a setting without applying it fails here, not
  // silently in the recording.
  if (noise->level() != webrtc::NoiseSuppression::kVeryHigh ||
      gain->mode() != webrtc::GainControl::kFixedDigital ||
      gain->target_level_dbfs() != kTargetLevelDbfs ||
      gain->compression_gain_db() != compressionGainDb || !gain->is_limiter_enabled()) {
    LOG(ERROR) << "voice processing settings were not taken";
    return false;
  }

  state->frame.sample_rate_hz_ = kSampleRate;
  state->frame.num_channels_ = 1;
  state->frame.samples_per_channel_ = kFrameSamples;
  state_ = std::move(state);
  return true;
}

bool VoiceProcessor::ProcessFrame(std::int16_t* samples) {
  if (!state_ || samples == nullptr) return false;
  webrtc::AudioFrame& frame = state_->frame;
  std::copy_n(samples, kFrameSamples, frame.data_);
  const int code = state_->apm->ProcessStream(&frame);
  if (code != webrtc::AudioProcessing::kNoError) {
    if (state_->failures % kFailureLogInterval == 0) {
      LOG(ERROR) << "voice processing of a frame failed: " << code << " (failure "
                 << state_->failures + 1 << ")";
    }
    ++state_->failures;
    return false;
  }
  std::copy_n(frame.data_, kFrameSamples, samples);
  return true;
}

}  // namespace tarn
