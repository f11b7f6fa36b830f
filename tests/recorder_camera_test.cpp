// Recording a camera instead of the screen, without X or a sound server: the
// camera's own size and rate, the first of several cameras, a camera that is
// missing, does not open or stops delivering, and its pictures on the same
// time line as the sound.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <iostream>
#include <thread>
#include <vector>

#include "recorder/recorder.h"
#include "settings/settings_keys.h"
#include "settings/settings_store.h"
#include "tests/support/media_probe.h"
#include "tests/support/pipe_camera.h"
#include "tests/support/synthetic_sources.h"
#include "tests/support/temp_dir.h"

namespace tarn {
namespace {

using namespace std::chrono_literals;

CaptureDeviceEntry Camera(const std::string& format, const std::string& url,
                          const std::string& options = {}) {
  return CaptureDeviceEntry{url, url, format, url, options};
}

class RecorderCameraTest : public ::testing::Test {
 protected:
  void SetUp() override {
    store_.SetInt(kVideoSource, 1);
    store_.SetInt(kVoiceSource, 1);
    store_.SetInt(kAudioMuteCheck, 0);
  }

  struct Result {
    int start = 0;
    int frameRate = 0;
    RecordingResult finished;
    std::string path;
    double beginSeconds = 0;  // the recording's begin, from the epoch
    double slack = 0;
    test::MediaInfo info;
  };

  // Starts a recording of `cameras` asking for `fps`, lets it run `seconds`
  // from half a second after the epoch, and reads the file back.
  Result Record(std::vector<CaptureDeviceEntry> cameras, int fps, double seconds,
                std::int64_t epoch = MonotonicNowUs()) {
    test::SyntheticSources sources(epoch);
    sources.cameras = std::move(cameras);
    Recorder recorder(nullptr, &store_, &sources);
    Result result;
    const std::string name = "camera" + std::to_string(++counter_) + ".mkv";
    result.start = recorder.Start(name, out_.path(), "mkv", "matroska", fps, 1);
    if (result.start != 0) return result;
    result.frameRate = recorder.frameRate();
    std::this_thread::sleep_until(std::chrono::steady_clock::time_point(std::chrono::microseconds(epoch + 500000)));
    const std::int64_t before = MonotonicNowUs();
    recorder.Resume();
    const std::int64_t after = MonotonicNowUs();
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < until && recorder.state() != kStateStopped) {
      std::this_thread::sleep_for(5ms);
    }
    recorder.Stop();
    EXPECT_TRUE(recorder.WaitUntilFinished(20000));
    result.finished = recorder.lastResult();
    result.path = out_.path() + "/" + name;
    result.beginSeconds = (before - epoch) / 1e6;
    result.slack = (after - before) / 1e6;
    result.info = test::ProbeMedia(result.path);
    return result;
  }

  test::TempDir dir_;
  test::TempDir out_;
  SettingsStore store_{dir_.path() + "/configure.ini"};
  int counter_ = 0;
};

TEST_F(RecorderCameraTest, TheFirstCameraIsRecordedAtItsOwnSizeAndRate) {
  // The frame rate asked for (10) gives way to the camera's 30; the second
  // camera is never opened.
  const Result result =
      Record({Camera("lavfi", "testsrc2=size=320x240:rate=30"), Camera("lavfi", "testsrc2=size=640x480:rate=15")},
             10, 2.0);
  ASSERT_EQ(result.start, 0);
  EXPECT_EQ(result.frameRate, 30);
  EXPECT_TRUE(result.finished.ok) << result.finished.reason;
  const test::StreamInfo* video = result.info.Find(AVMEDIA_TYPE_VIDEO);
  ASSERT_TRUE(video);
  EXPECT_EQ(video->width, 320);
  EXPECT_EQ(video->height, 240);
  // 30 pictures a second, give or take the start and the stop.
  EXPECT_NEAR(static_cast<double>(video->packets), 60, 4);
  EXPECT_NEAR(video->endSeconds, 2.0, 0.1);
}

TEST_F(RecorderCameraTest, ACameraThatDoesNotSayItsRateIsRecordedAtTheRateAskedFor) {
  const Result result = Record({Camera("flash", "flashes")}, 12, 2.0);
  ASSERT_EQ(result.start, 0);
  EXPECT_EQ(result.frameRate, 12);
  const test::StreamInfo* video = result.info.Find(AVMEDIA_TYPE_VIDEO);
  ASSERT_TRUE(video);
  EXPECT_EQ(video->width, 160);
  EXPECT_NEAR(video->endSeconds, 2.0, 0.15);
}

TEST_F(RecorderCameraTest, AMissingOrBrokenCameraFailsTheStartAndSaysSo) {
  Result result = Record({}, 30, 0);
  EXPECT_EQ(result.start, kStartNoVideoDevice);
  result = Record({Camera("video4linux2", out_.path() + "/no-such-video0")}, 30, 0);
  EXPECT_LT(result.start, 0);
  // Nothing was left behind for the start that failed.
  EXPECT_FALSE(std::filesystem::exists(out_.path() + "/camera2.mkv"));
  test::SyntheticSources sources(MonotonicNowUs());
  sources.cameras = {Camera("lavfi", "nosuchfilter=size=320x240")};
  Recorder broken(nullptr, &store_, &sources);
  EXPECT_LT(broken.Start("broken.mkv", out_.path(), "mkv", "matroska", 30, 1), 0);
  EXPECT_EQ(broken.startProblem(), StartProblem::kVideoDevice);
  EXPECT_NE(broken.startError().find("cannot be opened"), std::string::npos) << broken.startError();
}

TEST_F(RecorderCameraTest, ACameraThatStopsDeliveringEndsTheRecordingWithAFinishedFile) {
  // The test pattern ends 2 s after the camera opened, as a camera pulled
  // out would: the recording ends by itself, says why, and keeps what it has.
  const Result result = Record({Camera("lavfi", "testsrc2=size=160x120:rate=30:duration=2")}, 30, 6.0);
  ASSERT_EQ(result.start, 0);
  EXPECT_TRUE(result.finished.ok) << result.finished.reason;
  EXPECT_NE(result.finished.reason.find("camera"), std::string::npos) << result.finished.reason;
  const test::StreamInfo* video = result.info.Find(AVMEDIA_TYPE_VIDEO);
  ASSERT_TRUE(video);
  // Recorded from half a second after the camera opened until it ended.
  EXPECT_NEAR(video->endSeconds, 1.5, 0.3);
  const test::StreamInfo* audio = result.info.Find(AVMEDIA_TYPE_AUDIO);
  ASSERT_TRUE(audio);
  EXPECT_NEAR(audio->endSeconds, video->endSeconds, 0.1);
}

TEST_F(RecorderCameraTest, TheCamerasPicturesAndTheSoundCapturedTogetherLandTogether) {
  const std::int64_t epoch = MonotonicNowUs() + 300000;
  test::PipeCamera camera(out_.path() + "/camera.pipe",
                         [epoch](std::int64_t dueUs) { return test::InFlash(dueUs, epoch); });
  const Result result = Record({camera.entry()}, 10, 4.3, epoch);
  ASSERT_EQ(result.start, 0);
  EXPECT_EQ(result.frameRate, 30);
  ASSERT_TRUE(result.finished.ok) << result.finished.reason;
  const std::vector<double> beeps = test::ToneOnsets(result.path);
  const std::vector<double> flashes = test::WhiteRunStarts(result.path);
  std::cout << "  begin " << result.beginSeconds << " beeps";
  for (double b : beeps) std::cout << " " << b;
  std::cout << " flashes";
  for (double f : flashes) std::cout << " " << f;
  std::cout << std::endl;
  ASSERT_EQ(beeps.size(), 4u);
  ASSERT_EQ(flashes.size(), 4u);
  // Each flash shows in the picture taken at or right after its beep.
  for (std::size_t i = 0; i < beeps.size(); ++i) {
    EXPECT_GE(flashes[i], beeps[i] - 0.01 - result.slack);
    EXPECT_LE(flashes[i], beeps[i] + 1.0 / 30 + 0.01 + result.slack);
  }
}

}  // namespace
}  // namespace tarn
