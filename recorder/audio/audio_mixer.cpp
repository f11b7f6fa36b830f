// Which sound a recording takes, the graph that mixes microphone and system
// sound, and the hand-off of one 1024-sample frame at a time to the encoder.

#include <glog/logging.h>

extern "C" {
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libavutil/samplefmt.h>
}

#include <chrono>
#include <cstdio>
#include <thread>

#include "recorder/recorder.h"

namespace tarn {
namespace {

constexpr int kFrameSamples = 1024;
constexpr int kAudioOutRate = 44100;

}  // namespace

void Recorder::SelectSoundSources() {
  if (audioMuted_) return;
  std::string micName;
  const bool micPresent = defaultMicrophoneName(micName);
  const bool speakerPresent = hasDefaultSpeaker();
  LOG(INFO) << "sound sources: setting " << voiceSource_ << ", microphone "
            << (micPresent ? micName : "none") << ", speaker " << (speakerPresent ? "yes" : "no");
  if (voiceSource_ == 0) {
    if (!micPresent && !speakerPresent) {
      audioMuted_ = 1;
    } else if (!micPresent) {
      voiceSource_ = 2;
    } else if (!speakerPresent) {
      voiceSource_ = 1;
    }
  } else if (voiceSource_ == 1) {
    if (!micPresent) audioMuted_ = 1;
  } else if (voiceSource_ == 2) {
    if (!speakerPresent) audioMuted_ = 1;
  } else {
    // A value the settings page never writes: no sound rather than a guess.
    audioMuted_ = 1;
  }
}

int Recorder::BuildMixGraph() {
  const AVFilter* source = avfilter_get_by_name("abuffer");
  const AVFilter* sink = avfilter_get_by_name("abuffersink");
  mixGraph_.reset(avfilter_graph_alloc());
  av::FilterInOutPtr outputs(avfilter_inout_alloc());
  av::FilterInOutPtr secondOutput(avfilter_inout_alloc());
  av::FilterInOutPtr inputs(avfilter_inout_alloc());
  if (source == nullptr || sink == nullptr || !mixGraph_ || !outputs || !secondOutput || !inputs) {
    LOG(ERROR) << "Filter: failed to allocate the mixing graph";
    return -1;
  }
  AVCodecContext* encoder = audioEncoder_.get();
  char args[512];
  std::snprintf(args, sizeof args, "time_base=%d/%d:sample_rate=%d:sample_fmt=%s:channel_layout=%d",
                encoder->time_base.num, encoder->time_base.den, encoder->sample_rate,
                av_get_sample_fmt_name(encoder->sample_fmt), 3);
  std::printf("args_spk: %s\n", args);
  std::printf("args_mic: %s\n", args);
  if (avfilter_graph_create_filter(&mixSpeakerSource_, source, "in0", args, nullptr, mixGraph_.get()) < 0) {
    LOG(ERROR) << "Filter: failed to call avfilter_graph_create_filter -- src spk";
    return -1;
  }
  if (avfilter_graph_create_filter(&mixMicSource_, source, "in1", args, nullptr, mixGraph_.get()) < 0) {
    LOG(ERROR) << "Filter: failed to call avfilter_graph_create_filter -- src mic";
    return -1;
  }
  if (avfilter_graph_create_filter(&mixSink_, sink, "out", nullptr, nullptr, mixGraph_.get()) < 0) {
    LOG(ERROR) << "Filter: failed to call avfilter_graph_create_filter -- sink";
    return -1;
  }
  const AVSampleFormat formats[] = {encoder->sample_fmt, AV_SAMPLE_FMT_NONE};
  if (av_opt_set_int_list(mixSink_, "sample_fmts", formats, AV_SAMPLE_FMT_NONE,
                          AV_OPT_SEARCH_CHILDREN) < 0) {
    LOG(ERROR) << "Filter: failed to call av_opt_set_bin -- sample_fmts";
    return -1;
  }
  if (av_opt_set(mixSink_, "ch_layouts", "stereo", AV_OPT_SEARCH_CHILDREN) < 0) {
    LOG(ERROR) << "Filter: failed to call av_opt_set_bin -- channel_layouts";
    return -1;
  }
  const int rates[] = {encoder->sample_rate, -1};
  if (av_opt_set_int_list(mixSink_, "sample_rates", rates, -1, AV_OPT_SEARCH_CHILDREN) < 0) {
    LOG(ERROR) << "Filter: failed to call av_opt_set_bin -- sample_rates";
    return -1;
  }
  // "[in0][in1]amix=inputs=2[out]": the graph's open ends are the two sources'
  // outputs and the sink's input.
  outputs->name = av_strdup("in0");
  outputs->filter_ctx = mixSpeakerSource_;
  outputs->pad_idx = 0;
  outputs->next = secondOutput.release();
  outputs->next->name = av_strdup("in1");
  outputs->next->filter_ctx = mixMicSource_;
  outputs->next->pad_idx = 0;
  outputs->next->next = nullptr;
  inputs->name = av_strdup("out");
  inputs->filter_ctx = mixSink_;
  inputs->pad_idx = 0;
  inputs->next = nullptr;
  AVFilterInOut* in = inputs.release();
  AVFilterInOut* out = outputs.release();
  const int parsed = avfilter_graph_parse_ptr(mixGraph_.get(), "[in0][in1]amix=inputs=2[out]", &in,
                                              &out, nullptr);
  avfilter_inout_free(&in);
  avfilter_inout_free(&out);
  if (parsed < 0) {
    LOG(ERROR) << "Filter: failed to call avfilter_graph_parse_ptr";
    return -1;
  }
  if (avfilter_graph_config(mixGraph_.get(), nullptr) < 0) {
    LOG(ERROR) << "Filter: failed to call avfilter_graph_config";
    return -1;
  }
  // The encoder takes frames of exactly 1024 samples.
  av_buffersink_set_frame_size(mixSink_, kFrameSamples);
  mixPts_ = 0;
  return 0;
}

av::FramePtr Recorder::MakeAudioFrame(bool withBuffer) {
  av::FramePtr frame = av::MakeFrame();
  frame->nb_samples = kFrameSamples;
  frame->format = AV_SAMPLE_FMT_FLTP;
  frame->sample_rate = kAudioOutRate;
  av_channel_layout_default(&frame->ch_layout, 2);
  if (withBuffer && av_frame_get_buffer(frame.get(), 0) < 0) return nullptr;
  return frame;
}

Recorder::AudioFrameResult Recorder::TakeMicrophoneFrame(AVFrame* frame, bool draining) {
  if (!micFifo_) {
    LOG(ERROR) << "audio fifo is null";
    return AudioFrameResult::kFailed;
  }
  av_samples_set_silence(frame->data, 0, kFrameSamples, 2, AV_SAMPLE_FMT_FLTP);
  std::unique_lock<std::mutex> lock(micFifoLock_);
  while (av_audio_fifo_size(micFifo_.get()) < kFrameSamples) {
    // Ending, or the microphone is gone: what is there, then silence.
    if (draining || stopRequested_ || micEnded_) break;
    micFifoCond_.wait_for(lock, std::chrono::milliseconds(10));
  }
  const int available = std::min(av_audio_fifo_size(micFifo_.get()), kFrameSamples);
  if (available < kFrameSamples && stopRequested_ && !draining) return AudioFrameResult::kNone;
  if (available > 0) av_audio_fifo_read(micFifo_.get(), reinterpret_cast<void**>(frame->data), available);
  lock.unlock();
  micFifoCond_.notify_all();
  return AudioFrameResult::kFrame;
}

Recorder::AudioFrameResult Recorder::TakeSpeakerFrame(AVFrame* frame, bool draining) {
  av_samples_set_silence(frame->data, 0, kFrameSamples, 2, AV_SAMPLE_FMT_FLTP);
  if (!speakerActive_ && !draining) return AudioFrameResult::kFrame;  // nothing plays: silence
  auto queued = [this] {
    std::lock_guard<std::mutex> lock(speakerFifoLock_);
    return speakerFifo_ ? av_audio_fifo_size(speakerFifo_.get()) : 0;
  };
  while (!draining && speakerActive_ && !stopRequested_ && queued() < kFrameSamples) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (stopRequested_ && !draining && queued() < kFrameSamples) return AudioFrameResult::kNone;
  std::lock_guard<std::mutex> lock(speakerFifoLock_);
  if (speakerFifo_) {
    const int available = std::min(av_audio_fifo_size(speakerFifo_.get()), kFrameSamples);
    if (available > 0) {
      av_audio_fifo_read(speakerFifo_.get(), reinterpret_cast<void**>(frame->data), available);
    }
  }
  return AudioFrameResult::kFrame;
}

Recorder::AudioFrameResult Recorder::MixFrames(AVFrame* microphone, AVFrame* speaker, AVFrame* mixed) {
  microphone->pts = speaker->pts = mixPts_;
  mixPts_ += kFrameSamples;
  if (const int ret = av_buffersrc_add_frame_flags(mixMicSource_, microphone, AV_BUFFERSRC_FLAG_KEEP_REF);
      ret < 0) {
    LOG(ERROR) << "audio mic frame add  filtergraph error, ret=" << ret;
    return AudioFrameResult::kFailed;
  }
  if (const int ret = av_buffersrc_add_frame_flags(mixSpeakerSource_, speaker, AV_BUFFERSRC_FLAG_KEEP_REF);
      ret < 0) {
    LOG(ERROR) << "audio spk frame add  filtergraph error, ret=" << ret;
    return AudioFrameResult::kFailed;
  }
  const int got = av_buffersink_get_frame(mixSink_, mixed);
  if (got == AVERROR(EAGAIN)) return AudioFrameResult::kNone;  // the mixer wants more first
  if (got < 0) {
    LOG(ERROR) << "get audio frame from filtergraph error, ret=" << got;
    return AudioFrameResult::kFailed;
  }
  return AudioFrameResult::kFrame;
}

}  // namespace tarn
