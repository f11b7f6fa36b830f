#include "tests/support/numbered_media.h"

#include <cmath>

#include "recorder/ffmpeg_holders.h"

namespace tarn::test {

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 240;
constexpr int kBlock = 40;  // 8 blocks per row, two rows: 16 bits
constexpr int kBits = 16;

void DrawNumber(AVFrame* picture, int number) {
  av_frame_make_writable(picture);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const int bit = (y / kBlock) * (kWidth / kBlock) + x / kBlock;
      std::uint8_t value = static_cast<std::uint8_t>(64 + (x + y + number) % 64);
      if (bit < kBits) value = ((number >> bit) & 1) != 0 ? 235 : 16;
      picture->data[0][y * picture->linesize[0] + x] = value;
    }
  }
  for (int plane = 1; plane < 3; ++plane) {
    for (int y = 0; y < kHeight / 2; ++y) {
      for (int x = 0; x < kWidth / 2; ++x) picture->data[plane][y * picture->linesize[plane] + x] = 128;
    }
  }
}

struct Track {
  av::CodecContextPtr encoder;
  AVStream* stream = nullptr;
};

bool Drain(AVFormatContext* output, Track& track, AVFrame* frame, std::string& why) {
  int result = avcodec_send_frame(track.encoder.get(), frame);
  if (result < 0) {
    why = "send: " + av::ErrorText(result);
    return false;
  }
  av::PacketPtr packet = av::MakePacket();
  while ((result = avcodec_receive_packet(track.encoder.get(), packet.get())) == 0) {
    av_packet_rescale_ts(packet.get(), track.encoder->time_base, track.stream->time_base);
    packet->stream_index = track.stream->index;
    if ((result = av_interleaved_write_frame(output, packet.get())) < 0) {
      why = "write: " + av::ErrorText(result);
      return false;
    }
  }
  return result == AVERROR(EAGAIN) || result == AVERROR_EOF;
}

bool OpenTrack(AVFormatContext* output, Track& track, const AVCodec* codec, AVDictionary** options,
               std::string& why) {
  if ((output->oformat->flags & AVFMT_GLOBALHEADER) != 0) {
    track.encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  }
  int result = avcodec_open2(track.encoder.get(), codec, options);
  if (result < 0) {
    why = std::string("open ") + codec->name + ": " + av::ErrorText(result);
    return false;
  }
  track.stream = avformat_new_stream(output, nullptr);
  track.stream->time_base = track.encoder->time_base;
  avcodec_parameters_from_context(track.stream->codecpar, track.encoder.get());
  return true;
}

}  // namespace

bool WriteNumberedMedia(const std::string& path, const NumberedMediaOptions& options,
                        std::string& why) {
  AVFormatContext* raw = nullptr;
  if (avformat_alloc_output_context2(&raw, nullptr, nullptr, path.c_str()) < 0) {
    why = "no container for " + path;
    return false;
  }
  av::OutputContextPtr output(raw);
  Track video;
  Track audio;
  if (options.video) {
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (codec == nullptr) return why = "no libx264", false;
    video.encoder.reset(avcodec_alloc_context3(codec));
    video.encoder->width = kWidth;
    video.encoder->height = kHeight;
    video.encoder->pix_fmt = AV_PIX_FMT_YUV420P;
    video.encoder->time_base = AVRational{1, options.frameRate};
    video.encoder->framerate = AVRational{options.frameRate, 1};
    video.encoder->gop_size = options.gop;
    video.encoder->max_b_frames = 2;
    AVDictionary* settings = nullptr;
    av_dict_set(&settings, "preset", "veryfast", 0);
    av_dict_set(&settings, "x264-params", "scenecut=0", 0);
    const bool opened = OpenTrack(output.get(), video, codec, &settings, why);
    av_dict_free(&settings);
    if (!opened) return false;
  }
  if (options.audio) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
    audio.encoder.reset(avcodec_alloc_context3(codec));
    audio.encoder->sample_rate = 44100;
    audio.encoder->sample_fmt = AV_SAMPLE_FMT_FLTP;
    av_channel_layout_default(&audio.encoder->ch_layout, 2);
    audio.encoder->time_base = AVRational{1, 44100};
    audio.encoder->bit_rate = 96000;
    if (!OpenTrack(output.get(), audio, codec, nullptr, why)) return false;
  }
  if (avio_open(&output->pb, path.c_str(), AVIO_FLAG_WRITE) < 0 ||
      avformat_write_header(output.get(), nullptr) < 0) {
    why = "cannot write " + path;
    return false;
  }
  av::FramePtr picture = av::MakeFrame();
  if (options.video) {
    picture->format = AV_PIX_FMT_YUV420P;
    picture->width = kWidth;
    picture->height = kHeight;
    av_frame_get_buffer(picture.get(), 0);
  }
  av::FramePtr sound = av::MakeFrame();
  std::int64_t nextSample = 0;
  std::int64_t soundSamples = 0;
  if (options.audio) {
    sound->format = AV_SAMPLE_FMT_FLTP;
    sound->nb_samples = audio.encoder->frame_size;
    sound->sample_rate = 44100;
    av_channel_layout_default(&sound->ch_layout, 2);
    av_frame_get_buffer(sound.get(), 0);
    const double seconds = options.audioSeconds >= 0
                               ? options.audioSeconds
                               : static_cast<double>(options.frames) / options.frameRate;
    soundSamples = static_cast<std::int64_t>(seconds * 44100);
  }
  const int frames = options.video ? options.frames : 0;
  for (int n = 0; n < frames || nextSample < soundSamples;) {
    const bool soundFirst =
        nextSample < soundSamples &&
        (n >= frames || nextSample * options.frameRate < static_cast<std::int64_t>(n) * 44100);
    if (soundFirst) {
      av_frame_make_writable(sound.get());
      for (int i = 0; i < sound->nb_samples; ++i) {
        const float value = static_cast<float>(0.3 * std::sin(2 * M_PI * 440 * (nextSample + i) / 44100.0));
        reinterpret_cast<float*>(sound->data[0])[i] = value;
        reinterpret_cast<float*>(sound->data[1])[i] = value;
      }
      sound->pts = nextSample;
      nextSample += sound->nb_samples;
      if (!Drain(output.get(), audio, sound.get(), why)) return false;
    } else {
      DrawNumber(picture.get(), n);
      picture->pts = n;
      ++n;
      if (!Drain(output.get(), video, picture.get(), why)) return false;
    }
  }
  if (options.video && !Drain(output.get(), video, nullptr, why)) return false;
  if (options.audio && !Drain(output.get(), audio, nullptr, why)) return false;
  if (av_write_trailer(output.get()) < 0) return why = "trailer", false;
  return true;
}

int ReadPictureNumber(const AVFrame* frame) {
  if (frame == nullptr || frame->width < kWidth || frame->format != AV_PIX_FMT_YUV420P) return -1;
  int number = 0;
  for (int bit = 0; bit < kBits; ++bit) {
    const int x0 = (bit % (kWidth / kBlock)) * kBlock + kBlock / 4;
    const int y0 = (bit / (kWidth / kBlock)) * kBlock + kBlock / 4;
    int sum = 0;
    for (int y = y0; y < y0 + kBlock / 2; ++y) {
      for (int x = x0; x < x0 + kBlock / 2; ++x) sum += frame->data[0][y * frame->linesize[0] + x];
    }
    if (sum / (kBlock * kBlock / 4) > 128) number |= 1 << bit;
  }
  return number;
}

}  // namespace tarn::test
