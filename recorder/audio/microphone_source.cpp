#include "recorder/audio/microphone_source.h"

#include <glog/logging.h>

extern "C" {
#include <libavutil/channel_layout.h>
}

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "recorder/media_source.h"

namespace tarn {
namespace {

constexpr int kVoiceRate = VoiceProcessor::kSampleRate;
constexpr std::size_t kVoiceBufferSamples = 64000;  // 2 s at 32 kHz

}  // namespace

MicrophoneSource::MicrophoneSource(std::unique_ptr<SoundInput> input, bool gainEnabled, int gainDb)
    : InputAudioSource(std::move(input), "microphone", "microphone"),
      gainEnabled_(gainEnabled),
      gainDb_(gainDb) {
  voiceBuffer_.reserve(kVoiceBufferSamples);
}

bool MicrophoneSource::Prepare() { return voice_.Init(gainEnabled_, gainDb_); }

bool MicrophoneSource::Process(const AVFrame& frame, std::int64_t firstSampleUs, AudioSink& sink) {
  if (!configured_) {
    const AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
    const AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    if (!toVoice_.Configure(frame, mono, AV_SAMPLE_FMT_S16, kVoiceRate)) return false;
    LOG(INFO) << "src_rate: " << frame.sample_rate << " src_sample_fmt: "
              << av_get_sample_fmt_name(static_cast<AVSampleFormat>(frame.format))
              << " src_nb_channels: " << frame.ch_layout.nb_channels
              << " dst_nb_channels: 2 dst_rate: " << kRecordingSampleRate << " dst_sample_fmt: fltp";
    av::FramePtr voiceFormat = av::MakeFrame();
    voiceFormat->format = AV_SAMPLE_FMT_S16;
    voiceFormat->sample_rate = kVoiceRate;
    av_channel_layout_copy(&voiceFormat->ch_layout, &mono);
    if (!toRecording_.Configure(*voiceFormat, stereo, AV_SAMPLE_FMT_FLTP, kRecordingSampleRate)) {
      return false;
    }
    configured_ = true;
  }
  // First stage: the device's format to 32 kHz mono 16-bit.
  std::int64_t convertedUs = 0;
  const int made = toVoice_.Convert(frame, firstSampleUs, convertedUs);
  if (made < 0) return false;
  const auto* converted = reinterpret_cast<const std::int16_t*>(toVoice_.output()[0]);
  // Sound that does not follow on from what waits (the device skipped) starts
  // the buffer afresh, so each block keeps the time it was captured at.
  const std::int64_t bufferEndUs =
      voiceBufferStartUs_ + std::llround(voiceBuffer_.size() * 1e6 / kVoiceRate);
  if (voiceBuffer_.empty() || std::llabs(bufferEndUs - convertedUs) > 20000) {
    voiceBuffer_.clear();
    voiceBufferStartUs_ = convertedUs;
  }
  // The buffer never grows past two seconds: sound that does not fit (the
  // processing fell that far behind) is dropped.
  const std::size_t fits = std::min<std::size_t>(made, kVoiceBufferSamples - voiceBuffer_.size());
  if (fits < static_cast<std::size_t>(made)) {
    LOG(WARNING) << "voice buffer full, " << (made - fits) << " samples dropped";
  }
  voiceBuffer_.insert(voiceBuffer_.end(), converted, converted + fits);

  // 10 ms frames through the voice processing.
  processed_.clear();
  std::size_t consumed = 0;
  std::int16_t work[VoiceProcessor::kFrameSamples];
  while (voiceBuffer_.size() - consumed >= VoiceProcessor::kFrameSamples) {
    std::copy_n(voiceBuffer_.begin() + static_cast<std::ptrdiff_t>(consumed), VoiceProcessor::kFrameSamples, work);
    if (!voice_.ProcessFrame(work)) {
      std::printf("failed in WebRtcAgc_Process\n");
      break;
    }
    processed_.insert(processed_.end(), work, work + VoiceProcessor::kFrameSamples);
    consumed += VoiceProcessor::kFrameSamples;
  }
  const std::int64_t processedUs = voiceBufferStartUs_;
  voiceBuffer_.erase(voiceBuffer_.begin(), voiceBuffer_.begin() + static_cast<std::ptrdiff_t>(consumed));
  voiceBufferStartUs_ += std::llround(consumed * 1e6 / kVoiceRate);
  if (processed_.empty()) return true;

  // Second stage: 32 kHz mono to the recording's format.
  const std::uint8_t* in[1] = {reinterpret_cast<const std::uint8_t*>(processed_.data())};
  std::int64_t outUs = 0;
  const int written = toRecording_.ConvertRaw(in, static_cast<int>(processed_.size()), processedUs, outUs);
  if (written < 0) return false;
  Deliver(sink, toRecording_.output(), written, outUs);
  return true;
}

SpeakerSource::SpeakerSource(std::unique_ptr<SoundInput> input, std::string label)
    : InputAudioSource(std::move(input), "speaker", std::move(label)) {}

bool SpeakerSource::Process(const AVFrame& frame, std::int64_t firstSampleUs, AudioSink& sink) {
  if (!configured_) {
    const AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    LOG(INFO) << "nChannels: " << frame.ch_layout.nb_channels << " nSamplesPerSec: " << frame.sample_rate;
    if (!toRecording_.Configure(frame, stereo, AV_SAMPLE_FMT_FLTP, kRecordingSampleRate)) return false;
    configured_ = true;
  }
  std::int64_t outUs = 0;
  const int made = toRecording_.Convert(frame, firstSampleUs, outUs);
  if (made < 0) {
    LOG(ERROR) << "swr_convert  error";
    return false;
  }
  Deliver(sink, toRecording_.output(), made, outUs);
  return true;
}

}  // namespace tarn
