#pragma once
// Sources for recordings without an X or sound server: a picture that turns
// white for the first 100 ms of every second and a sound that beeps (1 kHz)
// for the same 100 ms, both on the monotonic clock counted from an epoch the
// test chooses, so that a recording can be checked for where each flash and
// each beep landed. The sound source can misbehave as devices do: start
// late, stall, deliver late, or stamp its sound too early.

#include <pthread.h>

#include <atomic>
#include <cmath>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "recorder/ffmpeg_video_source.h"
#include "recorder/audio/microphone_source.h"
#include "recorder/media_source.h"
#include "recorder/timeline.h"

namespace tarn::test {

constexpr std::int64_t kFlashUs = 100000;  // flash and beep length, each second

inline bool InFlash(std::int64_t monoUs, std::int64_t epochUs) {
  const std::int64_t since = monoUs - epochUs;
  return since >= 0 && since % 1000000 < kFlashUs;
}

// A grey picture, white during each flash, at `frameRate` on its own schedule.
class FlashVideoSource final : public VideoSource {
 public:
  FlashVideoSource(int width, int height, int frameRate, std::int64_t epochUs)
      : width_(width), height_(height), frameRate_(frameRate), epochUs_(epochUs),
        parameters_(avcodec_parameters_alloc()) {}
  ~FlashVideoSource() override {
    Stop();
    avcodec_parameters_free(&parameters_);
  }
  int Open(std::string&) override {
    parameters_->codec_type = AVMEDIA_TYPE_VIDEO;
    parameters_->codec_id = AV_CODEC_ID_RAWVIDEO;
    parameters_->format = AV_PIX_FMT_GRAY8;
    parameters_->width = width_;
    parameters_->height = height_;
    return 0;
  }
  const AVCodecParameters& codecParameters() const override { return *parameters_; }
  void Start(VideoSink& sink) override {
    thread_ = std::thread([this, &sink] {
      pthread_setname_np(pthread_self(), "flash-video");
      std::int64_t next = MonotonicNowUs();
      while (!stop_) {
        bool resumed = false;
        if (!sink.WaitUntilRunning(&resumed)) break;
        if (resumed) next = MonotonicNowUs();
        const std::int64_t now = MonotonicNowUs();
        if (now < next) {
          std::this_thread::sleep_for(std::chrono::microseconds(std::min<std::int64_t>(next - now, 20000)));
          continue;
        }
        next += 1000000 / frameRate_;
        const std::int64_t stampUs = MonotonicNowUs();
        av::PacketPtr packet = av::MakePacket();
        av_new_packet(packet.get(), width_ * height_);
        std::fill_n(packet->data, width_ * height_, InFlash(stampUs, epochUs_) ? 235 : 40);
        packet->pts = packet->dts = stampUs;
        ++taken_;
        sink.OnVideoPacket(std::move(packet));
      }
    });
  }
  void Stop() override {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  std::int64_t picturesTaken() const override { return taken_; }

 private:
  const int width_, height_, frameRate_;
  const std::int64_t epochUs_;
  AVCodecParameters* parameters_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<std::int64_t> taken_{0};
};

// How a synthetic sound device misbehaves; times from the epoch.
struct SoundFaults {
  std::int64_t startUs = INT64_MIN;      // captures nothing before this
  std::int64_t stallFromUs = INT64_MAX;  // captures nothing in [stallFrom, stallTo)
  std::int64_t stallToUs = INT64_MAX;
  std::int64_t deliveryDelayUs = 0;      // hands each block over this much later
  std::int64_t stampErrorUs = 0;         // added to every stamp
  double clockRatio = 1.0;               // the device's sample clock against the monotonic one
};

// 10 ms blocks at 44100 Hz, beeping during each flash.
class BeepAudioSource final : public AudioSource {
 public:
  BeepAudioSource(std::int64_t epochUs, SoundFaults faults) : epochUs_(epochUs), faults_(faults) {}
  ~BeepAudioSource() override { Stop(); }
  int Open(std::string&) override { return 0; }
  void Start(AudioSink& sink) override {
    thread_ = std::thread([this, &sink] { Run(sink); });
  }
  void Stop() override {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }

 private:
  void Run(AudioSink& sink) {
    pthread_setname_np(pthread_self(), "beep-audio");
    constexpr int kBlock = 441;
    struct Pending {
      std::vector<float> samples;
      std::int64_t stampUs;
      std::int64_t dueUs;
    };
    std::vector<Pending> pending;
    // The device's own count of samples decides when a block is complete.
    const std::int64_t startUs = MonotonicNowUs();
    std::int64_t produced = 0;
    while (!stop_) {
      const std::int64_t now = MonotonicNowUs();
      const std::int64_t blockEndUs =
          startUs + static_cast<std::int64_t>((produced + kBlock) * 1e6 / 44100 * faults_.clockRatio);
      if (blockEndUs <= now) {
        const std::int64_t firstUs =
            startUs + static_cast<std::int64_t>(produced * 1e6 / 44100 * faults_.clockRatio);
        produced += kBlock;
        const std::int64_t since = firstUs - epochUs_;
        if (since < faults_.startUs || (since >= faults_.stallFromUs && since < faults_.stallToUs)) continue;
        Pending block{std::vector<float>(kBlock), firstUs + faults_.stampErrorUs, now + faults_.deliveryDelayUs};
        for (int i = 0; i < kBlock; ++i) {
          const std::int64_t t = firstUs + static_cast<std::int64_t>(i * 1e6 / 44100 * faults_.clockRatio);
          block.samples[i] = InFlash(t, epochUs_) ? 0.5f * std::sin(2 * M_PI * 1000.0 * i / 44100) : 0.0f;
        }
        pending.push_back(std::move(block));
      }
      while (!pending.empty() && pending.front().dueUs <= now) {
        const float* planes[2] = {pending.front().samples.data(), pending.front().samples.data()};
        sink.OnAudioBlock(planes, kBlock, pending.front().stampUs);
        pending.erase(pending.begin());
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }

  const std::int64_t epochUs_;
  const SoundFaults faults_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
};

// Flash pictures and beeping sound for every source; both sound devices exist.
class SyntheticSources final : public SourceFactory {
 public:
  SyntheticSources(std::int64_t epochUs, SoundFaults faults = {}) : epochUs_(epochUs), faults_(faults) {}
  int width = 160;
  int height = 120;
  // A lavfi test pattern instead of the flashes.
  bool lavfiVideo = false;
  // What ListCameras gives; each opens as the FFmpeg input it names (or, with
  // the format "flash", as the flashes).
  std::vector<CaptureDeviceEntry> cameras;

  std::unique_ptr<VideoSource> CreateScreenSource(const ScreenSourceOptions& options) override {
    if (lavfiVideo) {
      return std::make_unique<FfmpegVideoSource>(
          "lavfi", "testsrc2=size=" + std::to_string(width) + "x" + std::to_string(height) +
                       ":rate=" + std::to_string(options.frameRate) + ",realtime");
    }
    return std::make_unique<FlashVideoSource>(width, height, options.frameRate, epochUs_);
  }
  std::unique_ptr<AudioSource> CreateMicrophoneSource(const MicrophoneOptions&) override {
    return std::make_unique<BeepAudioSource>(epochUs_, faults_);
  }
  std::unique_ptr<AudioSource> CreateSystemSoundSource() override {
    return std::make_unique<BeepAudioSource>(epochUs_, faults_);
  }
  std::unique_ptr<VideoSource> CreateCameraSource(const CaptureDeviceEntry& camera) override {
    // "flash" cameras deliver the flashes at 15 pictures a second and do
    // not say their rate.
    if (camera.inputFormat == "flash") return std::make_unique<FlashVideoSource>(width, height, 15, epochUs_);
    return std::make_unique<FfmpegVideoSource>(camera.inputFormat, camera.url, camera.inputOptions);
  }
  int ListCameras(std::vector<CaptureDeviceEntry>& list) override {
    list = cameras;
    return 0;
  }
  int ListMicrophones(std::vector<CaptureDeviceEntry>& list) override {
    list = {CaptureDeviceEntry{"Beeps", "beeps", "synthetic", "beeps", ""}};
    return 0;
  }
  bool HasDefaultMicrophone(std::string& name) override {
    name = "Beeps";
    return true;
  }
  bool HasDefaultSpeaker() override { return true; }

 private:
  const std::int64_t epochUs_;
  const SoundFaults faults_;
};

}  // namespace tarn::test
