// Whole recordings with a watermark (no X or sound server): screen-like
// pictures and decoded ones carry the text or the image where the settings
// put it, and a watermark that cannot be made leaves a complete recording
// without it and a warning.

#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "recorder/ffmpeg_video_source.h"
#include "recorder/recorder.h"
#include "settings/settings_keys.h"
#include "settings/settings_store.h"
#include "tests/support/media_probe.h"
#include "tests/support/temp_dir.h"
#include "tests/support/watermark_support.h"

namespace tarn {
namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 240;
constexpr test::Bgr kBackground{80, 40, 20};  // dark blue

// Pictures as the screen source delivers them: top-down BMP packets.
class BmpVideoSource final : public VideoSource {
 public:
  explicit BmpVideoSource(int frameRate) : frameRate_(frameRate), parameters_(avcodec_parameters_alloc()) {}
  ~BmpVideoSource() override {
    Stop();
    avcodec_parameters_free(&parameters_);
  }
  int Open(std::string&) override {
    parameters_->codec_type = AVMEDIA_TYPE_VIDEO;
    parameters_->codec_id = AV_CODEC_ID_BMP;
    parameters_->format = AV_PIX_FMT_BGRA;
    parameters_->width = kWidth;
    parameters_->height = kHeight;
    return 0;
  }
  const AVCodecParameters& codecParameters() const override { return *parameters_; }
  void Start(VideoSink& sink) override {
    thread_ = std::thread([this, &sink] {
      pthread_setname_np(pthread_self(), "bmp-video");
      while (!stop_ && sink.WaitUntilRunning()) {
        if (av::PacketPtr packet = test::MakeBmpPacket(kWidth, kHeight, kBackground, MonotonicNowUs())) {
          ++taken_;
          sink.OnVideoPacket(std::move(packet));
        }
        std::this_thread::sleep_for(std::chrono::microseconds(1000000 / frameRate_));
      }
    });
  }
  void Stop() override {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  std::int64_t picturesTaken() const override { return taken_; }

 private:
  const int frameRate_;
  AVCodecParameters* parameters_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<std::int64_t> taken_{0};
};

// Screen-like pictures, or decoded YUV pictures of the same colour from
// FFmpeg's lavfi; no sound devices (the recordings are muted).
class WatermarkSources final : public SourceFactory {
 public:
  bool decoded = false;
  std::unique_ptr<VideoSource> CreateScreenSource(const ScreenSourceOptions& options) override {
    if (!decoded) return std::make_unique<BmpVideoSource>(options.frameRate);
    return std::make_unique<FfmpegVideoSource>(
        "lavfi", "color=c=0x142850:size=" + std::to_string(kWidth) + "x" + std::to_string(kHeight) +
                     ":rate=" + std::to_string(options.frameRate) + ",format=yuv420p,realtime");
  }
  std::unique_ptr<AudioSource> CreateMicrophoneSource(const MicrophoneOptions&) override { return nullptr; }
  std::unique_ptr<AudioSource> CreateSystemSoundSource() override { return nullptr; }
  int ListMicrophones(std::vector<CaptureDeviceEntry>& list) override {
    list.clear();
    return 0;
  }
  bool HasDefaultMicrophone(std::string&) override { return false; }
  bool HasDefaultSpeaker() override { return false; }
  // A camera delivering packed 4:2:2 pictures, as most webcams do.
  std::unique_ptr<VideoSource> CreateCameraSource(const CaptureDeviceEntry& camera) override {
    return std::make_unique<FfmpegVideoSource>(camera.inputFormat, camera.url);
  }
  int ListCameras(std::vector<CaptureDeviceEntry>& list) override {
    const std::string url = "color=c=0x142850:size=" + std::to_string(kWidth) + "x" +
                            std::to_string(kHeight) + ":rate=30,format=yuyv422";
    list = {CaptureDeviceEntry{"camera", "camera", "lavfi", url, ""}};
    return 0;
  }
};

class RecorderWatermarkTest : public ::testing::Test {
 protected:
  void SetUp() override { store_.SetInt(kAudioMuteCheck, 1); }

  struct Result {
    std::string warning;
    std::vector<test::RgbPicture> pictures;
  };

  // Records until 15 pictures are encoded (or 10 s pass); the warning of the
  // start and the recording's first pictures.
  Result Record() {
    Recorder recorder(nullptr, &store_, &sources_);
    const std::string name = "watermark" + std::to_string(++counter_) + ".mp4";
    Result result;
    EXPECT_EQ(recorder.Start(name, out_.path(), "mp4", "mp4", 30, 1), 0) << recorder.startError();
    result.warning = recorder.startWarning();
    recorder.Resume();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (recorder.videoFrameIndex() < 15 && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    recorder.Stop();
    EXPECT_TRUE(recorder.WaitUntilFinished(20000));
    EXPECT_TRUE(recorder.lastFinishOk()) << recorder.lastResult().reason;
    EXPECT_GE(recorder.videoFrameIndex(), 15);
    result.pictures = test::DecodePictures(out_.path() + "/" + name, 5);
    EXPECT_EQ(result.pictures.size(), 5u);
    return result;
  }

  static int CountIn(const test::RgbPicture& picture, int x0, int y0, int x1, int y1,
                     bool (*test)(const std::uint8_t*)) {
    int count = 0;
    for (int y = y0; y < y1; ++y) {
      for (int x = x0; x < x1; ++x) count += test(picture.At(x, y));
    }
    return count;
  }

  test::TempDir dir_;
  test::TempDir out_;
  SettingsStore store_{dir_.path() + "/configure.ini"};
  WatermarkSources sources_;
  int counter_ = 0;
};

TEST_F(RecorderWatermarkTest, TheTextIsRedAtItsOffsetInScreenAndDecodedPictures) {
  store_.SetInt(kWatermarkType, 2);
  store_.SetString(kWatermarkTextDesc, "TARN");
  store_.SetInt(kWatermarkTextOffsetX, 40);
  store_.SetInt(kWatermarkTextOffsetY, 30);
  store_.SetInt(kWatermarkFontSize, 48);
  for (const char* source : {"screen", "decoded", "camera"}) {
    SCOPED_TRACE(source);
    sources_.decoded = std::string(source) == "decoded";
    store_.SetInt(kVideoSource, std::string(source) == "camera" ? 1 : 0);
    const Result result = Record();
    EXPECT_EQ(result.warning, "");
    for (const test::RgbPicture& picture : result.pictures) {
      ASSERT_EQ(picture.width, kWidth);
      EXPECT_GT(CountIn(picture, 40, 30, 240, 100, test::IsRed), 100);
      // Nowhere else.
      EXPECT_EQ(CountIn(picture, 0, 0, kWidth, 30, test::IsRed), 0);
      EXPECT_EQ(CountIn(picture, 0, 100, kWidth, kHeight, test::IsRed), 0);
    }
  }
}

TEST_F(RecorderWatermarkTest, TheImageCoversItsCornerLessItsMargins) {
  ASSERT_TRUE(test::WriteSolidPng(dir_ / "green.png", 40, 20, {0, 255, 0}));
  store_.SetInt(kWatermarkType, 1);
  store_.SetString(kWatermarkImagePath, dir_ / "green.png");
  store_.SetInt(kWatermarkPos, 3);
  store_.SetInt(kWatermarkRbRight, 10);
  store_.SetInt(kWatermarkRbBottom, 20);
  const Result result = Record();
  EXPECT_EQ(result.warning, "");
  for (const test::RgbPicture& picture : result.pictures) {
    // The image lies at 270,200 to 310,220; its edges blur in 4:2:0.
    EXPECT_EQ(CountIn(picture, 272, 202, 308, 218, test::IsGreen), 36 * 16);
    EXPECT_EQ(CountIn(picture, 0, 0, kWidth, 196, test::IsGreen), 0);
    EXPECT_EQ(CountIn(picture, 0, 196, 266, kHeight, test::IsGreen), 0);
  }
}

TEST_F(RecorderWatermarkTest, NoImagePathMeansTheProgramsOwnImage) {
  store_.SetInt(kWatermarkType, 1);
  const Result result = Record();
  EXPECT_EQ(result.warning, "");
  for (const test::RgbPicture& picture : result.pictures) {
    // The red disc of the image (left of its white triangle) at the top left corner.
    const std::uint8_t* disc = picture.At(15, 25);
    EXPECT_TRUE(test::IsRed(disc)) << int(disc[0]) << "," << int(disc[1]) << "," << int(disc[2]);
    EXPECT_EQ(CountIn(picture, 0, 60, kWidth, kHeight, test::IsRed), 0);
  }
}

TEST_F(RecorderWatermarkTest, AWatermarkThatCannotBeMadeLeavesACompleteRecordingWithoutIt) {
  struct Case {
    const char* what;
    int type;
    const char* key;
    std::string value;
    const char* restore;
    const char* why;
  } cases[] = {
      {"unknown font family", 2, "watermark-font-family", "Comic Sans", "微软雅黑", "has no font file"},
      {"missing image", 1, "watermark-image-path", dir_ / "missing.png", "", "Cannot parse graph args"},
      {"unknown colour", 2, "watermark-color", "not-a-colour", "red", "Cannot parse graph args"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    store_.SetInt(kWatermarkType, c.type);
    store_.SetString("global", c.key, c.value);
    const Result result = Record();
    EXPECT_NE(result.warning.find("watermark cannot be added"), std::string::npos) << result.warning;
    EXPECT_NE(result.warning.find(c.why), std::string::npos) << result.warning;
    for (const test::RgbPicture& picture : result.pictures) {
      EXPECT_EQ(CountIn(picture, 0, 0, kWidth, kHeight, test::IsRed), 0);
    }
    store_.SetString("global", c.key, c.restore);
  }
}

}  // namespace
}  // namespace tarn
