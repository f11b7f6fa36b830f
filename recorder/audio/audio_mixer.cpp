// Which sound a recording takes, the graph that mixes microphone and system
// sound, and the encoding of the sound on the recording's time line, one
// frame of up to 1024 samples at a time.

#include <glog/logging.h>

extern "C" {
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libavutil/samplefmt.h>
}

#include <array>
#include <chrono>
#include <cstdio>
#include <thread>

#include "recorder/audio/sound_choice.h"
#include "recorder/recorder.h"

namespace tarn {
namespace {

constexpr int kAudioOutRate = 44100;

}  // namespace

void Recorder::SelectSoundSources() {
  if (audioMuted_) return;
  std::string micName;
  const bool micPresent = sources().HasDefaultMicrophone(micName);
  const bool speakerPresent = sources().HasDefaultSpeaker();
  LOG(INFO) << "sound sources: setting " << voiceSource_ << ", microphone "
            << (micPresent ? micName : "none") << ", speaker " << (speakerPresent ? "yes" : "no");
  const int resolved = ResolveVoiceSource(voiceSource_, micPresent, speakerPresent);
  if (resolved < 0) {
    audioMuted_ = 1;
  } else {
    voiceSource_ = resolved;
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
  mixPts_ = 0;
  return 0;
}

av::FramePtr Recorder::MakeAudioFrame(int samples) {
  av::FramePtr frame = av::MakeFrame();
  frame->nb_samples = samples;
  frame->format = AV_SAMPLE_FMT_FLTP;
  frame->sample_rate = kAudioOutRate;
  av_channel_layout_default(&frame->ch_layout, 2);
  if (av_frame_get_buffer(frame.get(), 0) < 0) return nullptr;
  return frame;
}

bool Recorder::EncodeAudioFrame(std::int64_t nowUs) {
  const int samples = audioBus_->NextFrameReady(nowUs);
  if (samples <= 0) return false;
  const std::int64_t position = audioBus_->position();
  av::FramePtr first = MakeAudioFrame(samples);
  if (!first) return false;
  auto planes = [](AVFrame* frame) {
    return std::array<float*, 2>{reinterpret_cast<float*>(frame->data[0]),
                                 reinterpret_cast<float*>(frame->data[1])};
  };
  av::FramePtr toEncode;
  if (audioBus_->trackCount() == 0) {
    av_samples_set_silence(first->data, 0, samples, 2, AV_SAMPLE_FMT_FLTP);
    toEncode = std::move(first);
  } else if (audioBus_->trackCount() == 1) {
    audioBus_->TakeTrack(0, samples, planes(first.get()).data());
    toEncode = std::move(first);
  } else {
    av::FramePtr second = MakeAudioFrame(samples);
    av::FramePtr mixed = av::MakeFrame();
    if (!second) return false;
    audioBus_->TakeTrack(static_cast<std::size_t>(micTrack_), samples, planes(first.get()).data());
    audioBus_->TakeTrack(static_cast<std::size_t>(speakerTrack_), samples, planes(second.get()).data());
    if (!MixFrames(first.get(), second.get(), mixed.get())) {
      // The graph failed: mix by hand so the sound is not lost.
      float* const a[2] = {planes(first.get())[0], planes(first.get())[1]};
      const float* const b[2] = {planes(second.get())[0], planes(second.get())[1]};
      for (int c = 0; c < 2; ++c) {
        for (int i = 0; i < samples; ++i) a[c][i] = 0.5f * (a[c][i] + b[c][i]);
      }
      toEncode = std::move(first);
    } else {
      toEncode = std::move(mixed);
    }
  }
  audioBus_->Advance(samples);
  toEncode->pts = position;
  const int sent = avcodec_send_frame(audioEncoder_.get(), toEncode.get());
  if (sent < 0) {
    LOG(ERROR) << "audio encode err, ret=" << sent << " " << av::ErrorText(sent);
    return true;
  }
  WriteEncodedPackets(audioEncoder_.get(), audioStreamIndex_, false);
  return true;
}

bool Recorder::MixFrames(AVFrame* microphone, AVFrame* speaker, AVFrame* mixed) {
  microphone->pts = speaker->pts = mixPts_;
  const int samples = microphone->nb_samples;
  mixPts_ += samples;
  if (const int ret = av_buffersrc_add_frame_flags(mixMicSource_, microphone, AV_BUFFERSRC_FLAG_KEEP_REF);
      ret < 0) {
    LOG_EVERY_N(ERROR, 100) << "audio mic frame add  filtergraph error, ret=" << ret;
    return false;
  }
  if (const int ret = av_buffersrc_add_frame_flags(mixSpeakerSource_, speaker, AV_BUFFERSRC_FLAG_KEEP_REF);
      ret < 0) {
    LOG_EVERY_N(ERROR, 100) << "audio spk frame add  filtergraph error, ret=" << ret;
    return false;
  }
  const int got = av_buffersink_get_samples(mixSink_, mixed, samples);
  if (got < 0) {
    LOG_EVERY_N(ERROR, 100) << "get audio frame from filtergraph error, ret=" << got;
    return false;
  }
  return true;
}

}  // namespace tarn
