#include "tests/support/test_media.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>

namespace tarn::test {
namespace {

constexpr int kSampleRate = 44100;

double Seconds(std::int64_t time, AVRational timeBase) {
  return static_cast<double>(time) * timeBase.num / timeBase.den;
}

}  // namespace

TestMedia::TestMedia(const Options& options) : options_(options) {
  const AVCodec* x264 = avcodec_find_encoder_by_name("libx264");
  const AVCodec* aac = avcodec_find_encoder(AV_CODEC_ID_AAC);
  if (x264 == nullptr || aac == nullptr) return;
  video_.reset(avcodec_alloc_context3(x264));
  AVCodecContext* video = video_.get();
  video->width = options.width;
  video->height = options.height;
  video->pix_fmt = AV_PIX_FMT_YUV420P;
  video->time_base = AVRational{1, options.frameRate};
  video->framerate = AVRational{options.frameRate, 1};
  video->gop_size = options.gop;
  video->max_b_frames = 0;
  video->thread_count = 1;
  // What the recorder's encoder states: a quarter of the raw rate.
  video->bit_rate = static_cast<std::int64_t>(options.width) * options.height * 4 * 8 *
                    options.frameRate / 4;
  if (options.globalHeader) video->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  AVDictionary* settings = nullptr;
  av_dict_set(&settings, "preset", "ultrafast", 0);
  av_dict_set(&settings, "tune", "zerolatency", 0);
  av_dict_set(&settings, "crf", "23", 0);
  const int videoOpened = avcodec_open2(video, x264, &settings);
  av_dict_free(&settings);

  audio_.reset(avcodec_alloc_context3(aac));
  AVCodecContext* audio = audio_.get();
  audio->sample_fmt = AV_SAMPLE_FMT_FLTP;
  audio->sample_rate = kSampleRate;
  audio->bit_rate = 128000;
  av_channel_layout_default(&audio->ch_layout, 2);
  audio->time_base = AVRational{1, kSampleRate};
  audio->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  const int audioOpened = avcodec_open2(audio, aac, nullptr);
  if (videoOpened < 0 || audioOpened < 0) return;

  picture_ = av::MakeFrame();
  picture_->format = AV_PIX_FMT_YUV420P;
  picture_->width = options.width;
  picture_->height = options.height;
  sound_ = av::MakeFrame();
  sound_->format = AV_SAMPLE_FMT_FLTP;
  sound_->sample_rate = kSampleRate;
  sound_->nb_samples = audio->frame_size;
  av_channel_layout_default(&sound_->ch_layout, 2);
  ok_ = av_frame_get_buffer(picture_.get(), 0) >= 0 && av_frame_get_buffer(sound_.get(), 0) >= 0;
}

void TestMedia::FillPicture(AVFrame* frame, std::int64_t slot) {
  for (int plane = 0; plane < 3; ++plane) {
    const int width = plane == 0 ? frame->width : frame->width / 2;
    const int height = plane == 0 ? frame->height : frame->height / 2;
    for (int y = 0; y < height; ++y) {
      std::uint8_t* row = frame->data[plane] + static_cast<std::ptrdiff_t>(y) * frame->linesize[plane];
      for (int x = 0; x < width; ++x) {
        if (options_.noise) {
          seed_ = seed_ * 1664525u + 1013904223u;
          row[x] = static_cast<std::uint8_t>(seed_ >> 24);
        } else {
          row[x] = static_cast<std::uint8_t>(plane == 0 ? x + y + slot * 3 : 128 + slot % 32);
        }
      }
    }
  }
}

bool TestMedia::Receive(AVCodecContext* encoder, bool isVideo, const Sink& sink) {
  av::PacketPtr packet = av::MakePacket();
  for (;;) {
    const int received = avcodec_receive_packet(encoder, packet.get());
    if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) return true;
    if (received < 0) return false;
    const bool more = sink(packet.get(), isVideo);
    av_packet_unref(packet.get());
    if (!more) return false;
  }
}

bool TestMedia::EncodeUntil(double seconds, const Sink& sink, const std::vector<int>& skipSlots) {
  if (!ok_) return false;
  for (;;) {
    const double videoTime = static_cast<double>(nextSlot_) / options_.frameRate;
    const double audioTime = static_cast<double>(nextSample_) / kSampleRate;
    if (std::min(videoTime, audioTime) >= seconds) return true;
    if (videoTime <= audioTime) {
      const std::int64_t slot = nextSlot_++;
      if (std::find(skipSlots.begin(), skipSlots.end(), slot) != skipSlots.end()) continue;
      if (av_frame_make_writable(picture_.get()) < 0) return false;
      FillPicture(picture_.get(), slot);
      picture_->pts = slot;
      if (avcodec_send_frame(video_.get(), picture_.get()) < 0) return false;
      ++picturesEncoded_;
      if (!Receive(video_.get(), true, sink)) return false;
    } else {
      if (av_frame_make_writable(sound_.get()) < 0) return false;
      for (int channel = 0; channel < 2; ++channel) {
        auto* samples = reinterpret_cast<float*>(sound_->data[channel]);
        for (int i = 0; i < sound_->nb_samples; ++i) {
          samples[i] = 0.3f * std::sin(2 * M_PI * 440.0 * (nextSample_ + i) / kSampleRate);
        }
      }
      sound_->pts = nextSample_;
      nextSample_ += sound_->nb_samples;
      if (avcodec_send_frame(audio_.get(), sound_.get()) < 0) return false;
      if (!Receive(audio_.get(), false, sink)) return false;
    }
  }
}

bool TestMedia::Drain(const Sink& sink) {
  if (!ok_) return false;
  avcodec_send_frame(video_.get(), nullptr);
  if (!Receive(video_.get(), true, sink)) return false;
  avcodec_send_frame(audio_.get(), nullptr);
  return Receive(audio_.get(), false, sink);
}

namespace {

av::InputContextPtr OpenForReading(const std::string& path, std::string* error) {
  AVFormatContext* context = nullptr;
  const int opened = avformat_open_input(&context, path.c_str(), nullptr, nullptr);
  av::InputContextPtr input(context);
  if (opened < 0) {
    *error = "open: " + av::ErrorText(opened);
    return nullptr;
  }
  if (const int found = avformat_find_stream_info(context, nullptr); found < 0) {
    *error = "stream info: " + av::ErrorText(found);
    return nullptr;
  }
  return input;
}

}  // namespace

FileFacts ReadFile(const std::string& path) {
  FileFacts facts;
  av::InputContextPtr input = OpenForReading(path, &facts.error);
  if (!input) return facts;
  facts.opened = true;
  AVFormatContext* context = input.get();
  if (context->duration != AV_NOPTS_VALUE) {
    facts.durationSeconds = static_cast<double>(context->duration) / AV_TIME_BASE;
  }
  if (const AVDictionaryEntry* rate = av_dict_get(context->metadata, "videodatarate", nullptr, 0)) {
    facts.metadataVideoRate = rate->value;
  }
  const int videoIndex = av_find_best_stream(context, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  const int audioIndex = av_find_best_stream(context, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
  av::CodecContextPtr decoder;
  for (const int index : {videoIndex, audioIndex}) {
    if (index < 0) continue;
    const AVStream* stream = context->streams[index];
    StreamFacts& facts1 = index == videoIndex ? facts.video : facts.audio;
    facts1.type = stream->codecpar->codec_type;
    facts1.avgFrameRate = stream->avg_frame_rate;
    facts1.realFrameRate = stream->r_frame_rate;
    if (stream->duration != AV_NOPTS_VALUE) {
      facts1.durationSeconds = Seconds(stream->duration, stream->time_base);
    }
  }
  if (videoIndex >= 0) {
    const AVCodecParameters* codec = context->streams[videoIndex]->codecpar;
    decoder.reset(avcodec_alloc_context3(avcodec_find_decoder(codec->codec_id)));
    if (avcodec_parameters_to_context(decoder.get(), codec) < 0 ||
        avcodec_open2(decoder.get(), nullptr, nullptr) < 0) {
      decoder.reset();
    }
  }
  av::PacketPtr packet = av::MakePacket();
  av::FramePtr frame = av::MakeFrame();
  auto takePictures = [&] {
    while (avcodec_receive_frame(decoder.get(), frame.get()) >= 0) ++facts.video.decodedPictures;
  };
  while (av_read_frame(context, packet.get()) >= 0) {
    const int index = packet->stream_index;
    if (index == videoIndex || index == audioIndex) {
      StreamFacts& stream = index == videoIndex ? facts.video : facts.audio;
      ++stream.packets;
      if (packet->pts == AV_NOPTS_VALUE) ++stream.packetsWithoutPts;
      const std::int64_t time = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
      if (time != AV_NOPTS_VALUE && stream.startSeconds < 0) {
        stream.startSeconds = Seconds(time, context->streams[index]->time_base);
      }
      if (time != AV_NOPTS_VALUE) {
        stream.endSeconds = std::max(
            stream.endSeconds, Seconds(time + packet->duration, context->streams[index]->time_base));
      }
      if (index == videoIndex && decoder) {
        if (avcodec_send_packet(decoder.get(), packet.get()) < 0) ++facts.video.decodeErrors;
        takePictures();
      }
    }
    av_packet_unref(packet.get());
  }
  if (decoder && avcodec_send_packet(decoder.get(), nullptr) >= 0) takePictures();
  return facts;
}

double SeekAndRead(const std::string& path, double seconds) {
  std::string error;
  av::InputContextPtr input = OpenForReading(path, &error);
  if (!input) return -1;
  const int videoIndex = av_find_best_stream(input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (videoIndex < 0) return -1;
  const AVRational timeBase = input->streams[videoIndex]->time_base;
  const auto target = static_cast<std::int64_t>(seconds * timeBase.den / timeBase.num);
  if (av_seek_frame(input.get(), videoIndex, target, AVSEEK_FLAG_BACKWARD) < 0) return -1;
  av::PacketPtr packet = av::MakePacket();
  while (av_read_frame(input.get(), packet.get()) >= 0) {
    if (packet->stream_index == videoIndex) {
      const std::int64_t time = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
      return time == AV_NOPTS_VALUE ? -1 : Seconds(time, timeBase);
    }
    av_packet_unref(packet.get());
  }
  return -1;
}

std::vector<std::string> TopLevelBoxes(const std::string& path) {
  std::vector<std::string> boxes;
  std::ifstream file(path, std::ios::binary);
  file.seekg(0, std::ios::end);
  const std::int64_t size = file.tellg();
  std::int64_t offset = 0;
  while (offset + 8 <= size) {
    unsigned char header[16] = {};
    file.seekg(offset);
    file.read(reinterpret_cast<char*>(header), 16);
    std::int64_t length = (std::int64_t{header[0]} << 24) | (header[1] << 16) | (header[2] << 8) |
                          header[3];
    if (length == 1) {
      length = 0;
      for (int i = 8; i < 16; ++i) length = (length << 8) | header[i];
    } else if (length == 0) {
      length = size - offset;
    }
    boxes.emplace_back(reinterpret_cast<char*>(header) + 4, 4);
    if (length < 8) break;
    offset += length;
  }
  return boxes;
}

}  // namespace tarn::test
