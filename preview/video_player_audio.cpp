// The player's sound: the SDL device, its callback, and decoding and
// resampling one frame at a time on SDL's audio thread.

#include <SDL.h>
#include <glog/logging.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "preview/video_player.h"
#include "preview/video_player_audio.h"

extern "C" {
#include <libavutil/opt.h>
}

namespace tarn::preview {

namespace {
constexpr int kDeviceSamples = 2048;
constexpr int kSilenceOnErrorBytes = 1024;
constexpr double kExternalResetSeconds = 10.0;
}  // namespace

void VideoPlayer::AudioOut::Close() {
  if (device != 0) SDL_CloseAudioDevice(device);
  device = 0;
}

VideoPlayer::AudioOut::~AudioOut() {
  Close();
  if (subsystem) SDL_QuitSubSystem(SDL_INIT_AUDIO);
  av_channel_layout_uninit(&resamplerLayout);
}

void VideoPlayer::AudioOut::Reset() {
  size = 0;
  index = 0;
  resampler.reset();
  resamplerRate = 0;
}

bool VideoPlayer::AudioOut::Prepare(AVFrame* frame, int rate) {
  if (resampler && resamplerRate == rate && resamplerFormat == frame->format &&
      av_channel_layout_compare(&resamplerLayout, &frame->ch_layout) == 0) {
    return true;
  }
  AVChannelLayout outLayout{};
  av_channel_layout_default(&outLayout, obtained.channels);
  SwrContext* raw = nullptr;
  const int result = swr_alloc_set_opts2(&raw, &outLayout, AV_SAMPLE_FMT_S16, obtained.freq,
                                         &frame->ch_layout,
                                         static_cast<AVSampleFormat>(frame->format), rate, 0,
                                         nullptr);
  av_channel_layout_uninit(&outLayout);
  resampler.reset(raw);
  if (result < 0 || swr_init(resampler.get()) < 0) {
    resampler.reset();
    return false;
  }
  resamplerRate = rate;
  resamplerFormat = frame->format;
  av_channel_layout_uninit(&resamplerLayout);
  av_channel_layout_copy(&resamplerLayout, &frame->ch_layout);
  return true;
}

AudioDeviceLock::AudioDeviceLock(VideoPlayer::AudioOut* out) {
  if (out != nullptr && out->device != 0) {
    device_ = out->device;
    SDL_LockAudioDevice(device_);
  }
}

AudioDeviceLock::~AudioDeviceLock() {
  if (device_ != 0) SDL_UnlockAudioDevice(device_);
}

bool VideoPlayer::OpenAudioDevice(std::string& why) {
  auto out = std::make_unique<AudioOut>();
  PrepareSdl();
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    why = std::string("no sound output: ") + SDL_GetError();
    return false;
  }
  out->subsystem = true;
  const AVCodecContext* decoder = audio_.context.get();
  SDL_AudioSpec wanted{};
  wanted.freq = decoder->sample_rate;
  wanted.format = AUDIO_S16SYS;
  wanted.channels = static_cast<Uint8>(std::clamp(decoder->ch_layout.nb_channels, 1, 8));
  wanted.silence = 0;
  wanted.samples = kDeviceSamples;
  wanted.callback = &VideoPlayer::AudioCallback;
  wanted.userdata = this;
  out->device = SDL_OpenAudioDevice(nullptr, 0, &wanted, &out->obtained,
                                    SDL_AUDIO_ALLOW_FREQUENCY_CHANGE | SDL_AUDIO_ALLOW_CHANNELS_CHANGE);
  if (out->device == 0) {
    why = std::string("cannot open the sound device: ") + SDL_GetError();
    return false;
  }
  if (out->obtained.format != AUDIO_S16SYS) {
    why = "SDL advised audio format " + std::to_string(out->obtained.format) + " is not supported!";
    return false;
  }
  if (out->obtained.channels != wanted.channels) {
    LOG(INFO) << "SDL advised channel count " << static_cast<int>(out->obtained.channels)
              << " is not supported! Mixing to it.";
  }
  audioOut_ = std::move(out);
  return true;
}

void VideoPlayer::AudioCallback(void* user, std::uint8_t* stream, int length) {
  static_cast<VideoPlayer*>(user)->FillAudio(stream, length);
}

void VideoPlayer::FillAudio(std::uint8_t* stream, int length) {
  AudioOut& out = *audioOut_;
  if (quit_ || seeking_) {
    std::memset(stream, 0, static_cast<std::size_t>(length));
    return;
  }
  const std::int64_t callbackUs = NowUs();
  while (length > 0 && !quit_ && !seeking_) {
    if (out.index >= out.size) {
      const int bytes = DecodeAudioFrame();
      if (bytes < 0) {
        out.size = std::min(kSilenceOnErrorBytes, static_cast<int>(out.buffer.size()));
        std::memset(out.buffer.data(), 0, static_cast<std::size_t>(out.size));
      } else if (bytes == 0) {
        std::memset(stream, 0, static_cast<std::size_t>(length));
        break;
      } else {
        out.size = bytes;
      }
      out.index = 0;
    }
    const int count = std::min(length, out.size - out.index);
    MixAtVolume(stream, out.buffer.data() + out.index, count, volume_);
    length -= count;
    stream += count;
    out.index += count;
  }
  // What the listener hears now: the end of the decoded sound less what is
  // still in the device's two buffers and in ours.
  const int pendingBytes = 2 * static_cast<int>(out.obtained.size) + (out.size - out.index);
  std::lock_guard<std::mutex> clocks(clockLock_);
  if (std::isnan(audioClockSeconds_)) return;
  const double heard = audioClockSeconds_ - static_cast<double>(pendingBytes) / out.BytesPerSecond();
  callbackClock_.Set(heard, callbackUs);
  if (!externalClock_.valid() ||
      std::fabs(externalClock_.At(callbackUs) - heard) > kExternalResetSeconds) {
    externalClock_.Set(heard, callbackUs);
  }
}

int VideoPlayer::DecodeAudioFrame() {
  AudioOut& out = *audioOut_;
  AVFrame* frame = out.frame.get();
  while (!quit_) {
    const int got = DecodeFrom(audio_, frame);
    if (got == AVERROR_EOF) {
      audio_.drained = true;
      return 0;
    }
    if (got <= 0) return 0;
    const int rate = frame->sample_rate > 0 ? frame->sample_rate : audio_.context->sample_rate;
    const double start = StreamSeconds(audio_.stream, frame->best_effort_timestamp);
    const double end = start + static_cast<double>(frame->nb_samples) / rate;
    double skipSeconds = 0;
    const double dropUntil = audioDropUntil_;
    if (!std::isnan(dropUntil) && !std::isnan(start)) {
      if (end <= dropUntil) {  // wholly before a seek's target
        av_frame_unref(frame);
        continue;
      }
      skipSeconds = std::max(0.0, dropUntil - start);
    }
    audioDropUntil_ = std::nan("");
    {
      std::lock_guard<std::mutex> clocks(clockLock_);
      audioClockSeconds_ = end;  // NaN without a time stamp
    }
    if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || frame->ch_layout.nb_channels == 0) {
      const int channels = frame->ch_layout.nb_channels > 0 ? frame->ch_layout.nb_channels
                                                            : audio_.context->ch_layout.nb_channels;
      av_channel_layout_uninit(&frame->ch_layout);
      av_channel_layout_default(&frame->ch_layout, channels);
    }
    if (!out.Prepare(frame, rate)) {
      LOG(WARNING) << "swr set open or swr init error";
      av_frame_unref(frame);
      return -1;
    }
    const int frameBytes = 2 * out.obtained.channels;
    const int capacity = static_cast<int>(out.buffer.size()) / frameBytes;
    const int wanted = static_cast<int>(av_rescale_rnd(
        swr_get_delay(out.resampler.get(), rate) + frame->nb_samples, out.obtained.freq, rate,
        AV_ROUND_UP));
    std::uint8_t* target = out.buffer.data();
    const int samples = swr_convert(out.resampler.get(), &target, std::min(wanted, capacity),
                                    const_cast<const std::uint8_t**>(frame->extended_data),
                                    frame->nb_samples);
    av_frame_unref(frame);
    if (samples < 0) return -1;
    int bytes = samples * frameBytes;
    // The part before a seek's target is not played.
    const int skipBytes =
        std::min(bytes, static_cast<int>(std::lround(skipSeconds * out.obtained.freq)) * frameBytes);
    if (skipBytes > 0) {
      std::memmove(target, target + skipBytes, static_cast<std::size_t>(bytes - skipBytes));
      bytes -= skipBytes;
    }
    if (bytes > 0) return bytes;
  }
  return 0;
}

double VideoPlayer::MasterClock(std::int64_t nowUs) const {
  if (audio_.stream != nullptr && callbackClock_.valid()) return callbackClock_.At(nowUs);
  return externalClock_.At(nowUs);
}

}  // namespace tarn::preview
