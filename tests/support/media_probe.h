#pragma once
// Reads a recording back with libavformat: its streams, packet counts and
// durations, and decoded pictures as RGB.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "recorder/ffmpeg_holders.h"
#include "tests/support/command_output.h"

namespace tarn::test {

struct StreamInfo {
  AVMediaType type = AVMEDIA_TYPE_UNKNOWN;
  std::string codec;
  std::string pixelFormat;
  int width = 0;
  int height = 0;
  int sampleRate = 0;
  int channels = 0;
  std::int64_t packets = 0;
  double startSeconds = 0;
  double endSeconds = 0;  // end of the last packet
  double duration() const { return endSeconds - startSeconds; }
};

struct MediaInfo {
  bool opened = false;
  std::string format;
  std::vector<StreamInfo> streams;
  const StreamInfo* Find(AVMediaType type) const {
    for (const StreamInfo& s : streams)
      if (s.type == type) return &s;
    return nullptr;
  }
};

inline MediaInfo ProbeMedia(const std::string& path) {
  MediaInfo info;
  AVFormatContext* context = nullptr;
  if (avformat_open_input(&context, path.c_str(), nullptr, nullptr) < 0) return info;
  if (avformat_find_stream_info(context, nullptr) < 0) {
    avformat_close_input(&context);
    return info;
  }
  info.opened = true;
  info.format = context->iformat->name;
  std::vector<std::int64_t> first(context->nb_streams, std::numeric_limits<std::int64_t>::max());
  std::vector<std::int64_t> last(context->nb_streams, std::numeric_limits<std::int64_t>::min());
  for (unsigned i = 0; i < context->nb_streams; ++i) {
    const AVCodecParameters* par = context->streams[i]->codecpar;
    StreamInfo s;
    s.type = par->codec_type;
    s.codec = avcodec_get_name(par->codec_id);
    if (par->codec_type == AVMEDIA_TYPE_VIDEO) {
      const char* name = av_get_pix_fmt_name(static_cast<AVPixelFormat>(par->format));
      s.pixelFormat = name != nullptr ? name : "";
      s.width = par->width;
      s.height = par->height;
    } else if (par->codec_type == AVMEDIA_TYPE_AUDIO) {
      s.sampleRate = par->sample_rate;
      s.channels = par->ch_layout.nb_channels;
    }
    info.streams.push_back(s);
  }
  AVPacket* packet = av_packet_alloc();
  while (av_read_frame(context, packet) >= 0) {
    const unsigned index = static_cast<unsigned>(packet->stream_index);
    if (index < info.streams.size()) {
      ++info.streams[index].packets;
      const std::int64_t pts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
      if (pts != AV_NOPTS_VALUE) {
        first[index] = std::min(first[index], pts);
        last[index] = std::max(last[index], pts + packet->duration);
      }
    }
    av_packet_unref(packet);
  }
  av_packet_free(&packet);
  for (unsigned i = 0; i < context->nb_streams; ++i) {
    if (info.streams[i].packets == 0) continue;
    const double tb = av_q2d(context->streams[i]->time_base);
    info.streams[i].startSeconds = first[i] * tb;
    info.streams[i].endSeconds = last[i] * tb;
  }
  avformat_close_input(&context);
  return info;
}

struct RgbPicture {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;  // width * height * 3
  const std::uint8_t* At(int x, int y) const { return rgb.data() + (static_cast<std::size_t>(y) * width + x) * 3; }
};

// Decodes up to `maxPictures` pictures of the first video stream.
inline std::vector<RgbPicture> DecodePictures(const std::string& path, int maxPictures) {
  std::vector<RgbPicture> pictures;
  AVFormatContext* context = nullptr;
  if (avformat_open_input(&context, path.c_str(), nullptr, nullptr) < 0) return pictures;
  avformat_find_stream_info(context, nullptr);
  const int index = av_find_best_stream(context, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (index < 0) {
    avformat_close_input(&context);
    return pictures;
  }
  const AVCodecParameters* par = context->streams[index]->codecpar;
  const AVCodec* codec = avcodec_find_decoder(par->codec_id);
  AVCodecContext* decoder = avcodec_alloc_context3(codec);
  avcodec_parameters_to_context(decoder, par);
  avcodec_open2(decoder, codec, nullptr);
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  SwsContext* scaler = nullptr;
  std::vector<std::uint8_t> padded;
  auto take = [&]() {
    while (avcodec_receive_frame(decoder, frame) == 0 && static_cast<int>(pictures.size()) < maxPictures) {
      RgbPicture picture;
      picture.width = frame->width;
      picture.height = frame->height;
      picture.rgb.resize(static_cast<std::size_t>(frame->width) * frame->height * 3);
      scaler = sws_getCachedContext(scaler, frame->width, frame->height,
                                    static_cast<AVPixelFormat>(frame->format), frame->width,
                                    frame->height, AV_PIX_FMT_RGB24, SWS_POINT, nullptr, nullptr, nullptr);
      // swscale's vector code may write past the end of a row and of the last
      // row, so it writes into padded rows that are then packed.
      const std::size_t rowBytes = static_cast<std::size_t>(frame->width) * 3;
      const std::size_t paddedRow = (rowBytes + 63) / 64 * 64;
      padded.resize(paddedRow * static_cast<std::size_t>(frame->height + 1));
      std::uint8_t* dst[1] = {padded.data()};
      const int dstStride[1] = {static_cast<int>(paddedRow)};
      sws_scale(scaler, frame->data, frame->linesize, 0, frame->height, dst, dstStride);
      for (int y = 0; y < frame->height; ++y) {
        std::memcpy(picture.rgb.data() + y * rowBytes, padded.data() + y * paddedRow, rowBytes);
      }
      pictures.push_back(std::move(picture));
      av_frame_unref(frame);
    }
  };
  while (static_cast<int>(pictures.size()) < maxPictures && av_read_frame(context, packet) >= 0) {
    if (packet->stream_index == index && avcodec_send_packet(decoder, packet) >= 0) take();
    av_packet_unref(packet);
  }
  avcodec_send_packet(decoder, nullptr);
  take();
  sws_freeContext(scaler);
  av_frame_free(&frame);
  av_packet_free(&packet);
  avcodec_free_context(&decoder);
  avformat_close_input(&context);
  return pictures;
}



// Decodes the first audio stream to mono float samples (the channels averaged)
// at its own rate; `rate` receives that rate and `firstSampleSeconds` (when
// given) the file time of the first sample, priming samples left out as a
// player leaves them out.
inline std::vector<float> DecodeAudioMono(const std::string& path, int& rate,
                                          double* firstSampleSeconds = nullptr) {
  std::vector<float> samples;
  rate = 0;
  AVFormatContext* context = nullptr;
  if (avformat_open_input(&context, path.c_str(), nullptr, nullptr) < 0) return samples;
  avformat_find_stream_info(context, nullptr);
  const int index = av_find_best_stream(context, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
  if (index < 0) {
    avformat_close_input(&context);
    return samples;
  }
  const AVCodecParameters* par = context->streams[index]->codecpar;
  const AVCodec* codec = avcodec_find_decoder(par->codec_id);
  AVCodecContext* decoder = avcodec_alloc_context3(codec);
  avcodec_parameters_to_context(decoder, par);
  avcodec_open2(decoder, codec, nullptr);
  rate = decoder->sample_rate;
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  decoder->pkt_timebase = context->streams[index]->time_base;
  bool first = true;
  auto take = [&]() {
    while (avcodec_receive_frame(decoder, frame) == 0) {
      if (first && firstSampleSeconds != nullptr && frame->best_effort_timestamp != AV_NOPTS_VALUE) {
        *firstSampleSeconds = frame->best_effort_timestamp * av_q2d(context->streams[index]->time_base);
      }
      first = false;
      const int channels = frame->ch_layout.nb_channels;
      for (int i = 0; i < frame->nb_samples; ++i) {
        float sum = 0;
        for (int c = 0; c < channels; ++c) {
          if (frame->format == AV_SAMPLE_FMT_FLTP) sum += reinterpret_cast<const float*>(frame->extended_data[c])[i];
        }
        samples.push_back(channels > 0 ? sum / channels : 0.0f);
      }
      av_frame_unref(frame);
    }
  };
  while (av_read_frame(context, packet) >= 0) {
    if (packet->stream_index == index && avcodec_send_packet(decoder, packet) >= 0) take();
    av_packet_unref(packet);
  }
  avcodec_send_packet(decoder, nullptr);
  take();
  av_frame_free(&frame);
  av_packet_free(&packet);
  avcodec_free_context(&decoder);
  avformat_close_input(&context);
  return samples;
}

// Power of `samples[begin, end)` at `frequency` (Goertzel), normalised so a
// full-scale sine at that frequency gives about 0.25.
inline double TonePower(const std::vector<float>& samples, std::size_t begin, std::size_t end,
                        double frequency, int rate) {
  if (end <= begin || rate <= 0) return 0;
  const double w = 2 * 3.14159265358979323846 * frequency / rate;
  const double coeff = 2 * std::cos(w);
  double s1 = 0, s2 = 0;
  for (std::size_t i = begin; i < end; ++i) {
    const double s = samples[i] + coeff * s1 - s2;
    s2 = s1;
    s1 = s;
  }
  const double n = static_cast<double>(end - begin);
  return (s1 * s1 + s2 * s2 - coeff * s1 * s2) / (n * n);
}

// Power summed over a band, in steps of `step` Hz.
inline double BandPower(const std::vector<float>& samples, std::size_t begin, std::size_t end,
                        double low, double high, double step, int rate) {
  double total = 0;
  for (double f = low; f <= high; f += step) total += TonePower(samples, begin, end, f, rate);
  return total;
}

// Start times (seconds in the file) of the runs of white pictures.
inline std::vector<double> WhiteRunStarts(const std::string& path) {
  std::vector<double> times;
  AVFormatContext* context = nullptr;
  if (avformat_open_input(&context, path.c_str(), nullptr, nullptr) < 0) return times;
  avformat_find_stream_info(context, nullptr);
  const int index = av_find_best_stream(context, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  const AVCodecParameters* par = context->streams[index]->codecpar;
  const AVCodec* codec = avcodec_find_decoder(par->codec_id);
  av::CodecContextPtr decoder(avcodec_alloc_context3(codec));
  avcodec_parameters_to_context(decoder.get(), par);
  decoder->pkt_timebase = context->streams[index]->time_base;
  avcodec_open2(decoder.get(), codec, nullptr);
  av::PacketPtr packet = av::MakePacket();
  av::FramePtr frame = av::MakeFrame();
  bool white = false;
  auto take = [&] {
    while (avcodec_receive_frame(decoder.get(), frame.get()) == 0) {
      const bool isWhite = frame->data[0][frame->linesize[0] * (frame->height / 2) + frame->width / 2] > 150;
      if (isWhite && !white) {
        times.push_back(frame->best_effort_timestamp * av_q2d(context->streams[index]->time_base));
      }
      white = isWhite;
      av_frame_unref(frame.get());
    }
  };
  while (av_read_frame(context, packet.get()) >= 0) {
    if (packet->stream_index == index && avcodec_send_packet(decoder.get(), packet.get()) >= 0) take();
    av_packet_unref(packet.get());
  }
  avcodec_send_packet(decoder.get(), nullptr);
  take();
  avformat_close_input(&context);
  return times;
}

// Start times (seconds in the file) of the runs of a 1 kHz tone, in 2 ms steps.
inline std::vector<double> ToneOnsets(const std::string& path) {
  double start = 0;
  int rate = 0;
  const std::vector<float> samples = DecodeAudioMono(path, rate, &start);
  std::vector<double> times;
  if (rate == 0) return times;
  const std::size_t window = static_cast<std::size_t>(rate / 500);  // 2 ms
  bool beeping = false;
  for (std::size_t w = 0; w + window <= samples.size(); w += window) {
    const bool loud = TonePower(samples, w, w + window, 1000, rate) > 1e-3;
    if (loud && !beeping) times.push_back(start + static_cast<double>(w) / rate);
    beeping = loud;
  }
  return times;
}

}  // namespace tarn::test
