// Finishing benchmark: writes a long 1080p recording of synthetic packets
// (random bytes of the sizes a screen recording at ~16 Mb/s makes, with the
// parameter sets of a real 1920x1080 libx264 encoder, and AAC sound) through
// OutputFile, then times Finish: the fragmented MP4 made a regular fast-start
// file, or another container's trailer.
//
// Usage: output_finish_bench [folder] [seconds] [fps] [video Mb/s] [extension] [paced]
// Defaults: /tmp 300 30 16 mp4 0. Prints the file size, the writing time and
// the time from Finish's start to the complete file on disk. With paced 1
// the packets come at the pace of the clock, as in a recording, and the
// longest Write calls are reported (the disk is synced meanwhile by the
// file's sync thread, not by the writing thread).

#include <glog/logging.h>

extern "C" {
#include <libavutil/channel_layout.h>
}

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "recorder/ffmpeg_holders.h"
#include "recorder/output/output_file.h"

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

tarn::av::CodecContextPtr OpenVideoEncoder(int fps) {
  const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
  tarn::av::CodecContextPtr encoder(avcodec_alloc_context3(codec));
  encoder->width = 1920;
  encoder->height = 1080;
  encoder->pix_fmt = AV_PIX_FMT_YUV420P;
  encoder->time_base = AVRational{1, fps};
  encoder->framerate = AVRational{fps, 1};
  encoder->max_b_frames = 0;
  encoder->gop_size = 70;
  encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  AVDictionary* options = nullptr;
  av_dict_set(&options, "preset", "ultrafast", 0);
  av_dict_set(&options, "tune", "zerolatency", 0);
  const int opened = avcodec_open2(encoder.get(), codec, &options);
  av_dict_free(&options);
  if (opened < 0) encoder.reset();
  return encoder;
}

tarn::av::CodecContextPtr OpenAudioEncoder() {
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
  tarn::av::CodecContextPtr encoder(avcodec_alloc_context3(codec));
  encoder->sample_fmt = AV_SAMPLE_FMT_FLTP;
  encoder->sample_rate = 44100;
  encoder->bit_rate = 128000;
  av_channel_layout_default(&encoder->ch_layout, 2);
  encoder->time_base = AVRational{1, 44100};
  encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  if (avcodec_open2(encoder.get(), codec, nullptr) < 0) encoder.reset();
  return encoder;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string folder = argc > 1 ? argv[1] : "/tmp";
  const int seconds = argc > 2 ? std::stoi(argv[2]) : 300;
  const int fps = argc > 3 ? std::stoi(argv[3]) : 30;
  const double megabits = argc > 4 ? std::stod(argv[4]) : 16;
  const std::string extension = argc > 5 ? argv[5] : "mp4";
  const bool paced = argc > 6 && std::string(argv[6]) == "1";
  FLAGS_logtostderr = true;
  google::InitGoogleLogging(argv[0]);
  av_log_set_level(AV_LOG_ERROR);

  tarn::av::CodecContextPtr video = OpenVideoEncoder(fps);
  tarn::av::CodecContextPtr audio = OpenAudioEncoder();
  if (!video || !audio) {
    std::fprintf(stderr, "bench: cannot open the encoders\n");
    return 1;
  }
  const std::string path = folder + "/output-finish-bench." + extension;
  tarn::OutputFile output;
  if (output.Create(path) != 0) return 1;
  const int videoIndex = output.AddStream(video.get());
  const int audioIndex = output.AddStream(audio.get());
  if (output.Open() != 0) {
    std::fprintf(stderr, "bench: %s\n", output.error().c_str());
    return 1;
  }

  // Random bytes (no zero bytes, so no start codes inside) to copy packets
  // from: a key picture every 70 is 6 times the size of the others, and the
  // average gives the asked rate.
  const auto averageBytes = static_cast<std::int64_t>(megabits * 1e6 / 8 / fps);
  const std::int64_t otherBytes = averageBytes * 70 / 75;
  const std::int64_t keyBytes = otherBytes * 6;
  std::vector<std::uint8_t> pool(keyBytes + 4096);
  std::mt19937 random(7);
  for (auto& byte : pool) byte = static_cast<std::uint8_t>(1 + random() % 255);

  const auto writeStart = Clock::now();
  tarn::av::PacketPtr packet = tarn::av::MakePacket();
  std::int64_t nextSample = -1024;  // the AAC encoder's priming
  const std::int64_t pictures = static_cast<std::int64_t>(seconds) * fps;
  std::vector<double> writeMs;
  for (std::int64_t slot = 0; slot < pictures; ++slot) {
    if (paced) std::this_thread::sleep_until(writeStart + std::chrono::microseconds(slot * 1000000 / fps));
    const bool key = slot % 70 == 0;
    const std::int64_t bytes = (key ? keyBytes : otherBytes) + static_cast<std::int64_t>(random() % 4096);
    av_new_packet(packet.get(), static_cast<int>(bytes));
    std::copy_n(pool.begin(), bytes, packet->data);
    // One Annex B slice NAL unit, as libx264 gives them: MP4 muxers rewrite
    // start codes into lengths.
    const std::uint8_t startCode[] = {0, 0, 0, 1, static_cast<std::uint8_t>(key ? 0x65 : 0x41)};
    std::copy_n(startCode, sizeof startCode, packet->data);
    packet->pts = packet->dts = slot;
    packet->duration = 1;
    if (key) packet->flags |= AV_PKT_FLAG_KEY;
    const auto callStart = Clock::now();
    const bool written = output.Write(packet.get(), videoIndex);
    writeMs.push_back(Since(callStart) * 1000);
    if (!written) {
      std::fprintf(stderr, "bench: writing stopped at picture %lld\n", static_cast<long long>(slot));
      break;
    }
    while (static_cast<double>(nextSample + 1024) / 44100 <= static_cast<double>(slot + 1) / fps) {
      av_new_packet(packet.get(), 372);
      std::copy_n(pool.begin(), 372, packet->data);
      packet->pts = packet->dts = nextSample;
      packet->duration = 1024;
      packet->flags |= AV_PKT_FLAG_KEY;
      if (!output.Write(packet.get(), audioIndex)) break;
      nextSample += 1024;
    }
  }
  const double writeSeconds = Since(writeStart);
  if (paced && !writeMs.empty()) {
    std::sort(writeMs.begin(), writeMs.end());
    std::printf("paced writing: Write of a picture took %.2f ms at the median, %.2f ms at the 99th "
                "percentile, %.1f ms at most\n",
                writeMs[writeMs.size() / 2], writeMs[writeMs.size() * 99 / 100], writeMs.back());
  }
  // A real recording takes minutes, during which the sync thread keeps the
  // file on disk; here the packets came in a fraction of a second, so the
  // disk is given that time before finishing.
  ::sync();
  if (output.failed()) std::fprintf(stderr, "bench: %s\n", output.error().c_str());
  struct stat before = {};
  ::stat(path.c_str(), &before);

  int progressCalls = 0;
  const auto finishStart = Clock::now();
  const bool finished = output.Finish([&](double) { ++progressCalls; });
  const double finishSeconds = Since(finishStart);
  struct stat after = {};
  ::stat(path.c_str(), &after);
  std::printf("%s: %d s of 1920x1080 at %d fps, %.1f Mb/s: %.0f MB written in %.2f s\n",
              extension.c_str(), seconds, fps, megabits, before.st_size / 1e6, writeSeconds);
  std::printf("finish: %s in %.3f s (%d progress reports); the finished file has %.0f MB\n",
              finished ? "complete" : "FAILED", finishSeconds, progressCalls, after.st_size / 1e6);
  ::unlink(path.c_str());
  return finished ? 0 : 1;
}
