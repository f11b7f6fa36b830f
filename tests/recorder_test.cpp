// Whole recordings of the X screen, read back with libavformat and ffprobe.

#include "recorder/recorder.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <mutex>
#include <thread>

#include "platform/screen_capture.h"
#include "settings/settings_keys.h"
#include "settings/settings_store.h"
#include "tests/support/media_probe.h"
#include "tests/support/process_memory.h"
#include "tests/support/temp_dir.h"
#include "tests/support/timed_recording.h"

namespace tarn {
namespace {

using namespace std::chrono_literals;

class CountingListener : public RecorderListener {
 public:
  void OnRecordSeconds(std::int64_t seconds) override {
    std::lock_guard<std::mutex> lock(mutex);
    reported.push_back(seconds);
  }
  void OnRecordingFinished(const RecordingResult& result) override {
    std::lock_guard<std::mutex> lock(mutex);
    finishedPath = result.path;
    finishedOk = result.ok;
    finishedReason = result.reason;
    ++finishedCount;
  }
  std::mutex mutex;
  std::vector<std::int64_t> reported;
  std::string finishedPath;
  bool finishedOk = false;
  std::string finishedReason;
  int finishedCount = 0;
};

int ThreadCount() {
  int count = 0;
  if (DIR* dir = ::opendir("/proc/self/task")) {
    while (const dirent* entry = ::readdir(dir)) {
      if (entry->d_name[0] != '.') ++count;
    }
    ::closedir(dir);
  }
  return count;
}

bool DisplayAvailable() {
  int width = 0, height = 0;
  return platform::QueryScreenSize(width, height);
}

class RecorderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!DisplayAvailable()) GTEST_SKIP() << "no X display: run the tests through scripts/test.sh";
    // A small region keeps the recordings quick; tests that need more change
    // it. The sound sources have tests of their own: here the track is silence.
    store_.SetInt(kAudioMuteCheck, 1);
    store_.SetInt(kUserDefinedRegionCheck, 1);
    store_.SetInt(kRegionOffsetX, 0);
    store_.SetInt(kRegionOffsetY, 0);
    store_.SetInt(kRegionWidth, 320);
    store_.SetInt(kRegionHeight, 240);
  }

  // Records for `seconds` of wall-clock time, with optional pauses
  // {pauseAt, resumeAt} measured from the Resume.
  std::string Record(Recorder& recorder, const std::string& ext, int fps, double seconds,
                     std::vector<std::pair<double, double>> pauses = {}, int quality = 1) {
    const std::string name = "rec" + std::to_string(++counter_) + "." + ext;
    EXPECT_EQ(recorder.Start(name, out_.path(), ext, ext, fps, quality), 0);
    test::RunTimedRecording(recorder, seconds, pauses);
    return out_.path() + "/" + name;
  }

  test::TempDir dir_;
  test::TempDir out_;
  SettingsStore store_{dir_.path() + "/configure.ini"};
  CountingListener listener_;
  int counter_ = 0;
};

TEST_F(RecorderTest, EveryContainerHoldsH264AndAacOfTheSameLength) {
  Recorder recorder(&listener_, &store_);
  for (const std::string ext : {"mp4", "flv", "wmv", "avi", "mov", "mkv"}) {
    SCOPED_TRACE(ext);
    const std::string path = Record(recorder, ext, 25, 2.0);
    // ffprobe, as a user would check it.
    const std::string probe = test::CommandOutput(
        "ffprobe -v error -show_entries stream=codec_name,pix_fmt,width,height,sample_rate,channels "
        "-of compact=p=0:nk=1 '" + path + "'");
    EXPECT_NE(probe.find("h264|320|240|yuv420p"), std::string::npos) << probe;
    EXPECT_NE(probe.find("aac|44100|2"), std::string::npos) << probe;

    const test::MediaInfo info = test::ProbeMedia(path);
    ASSERT_TRUE(info.opened);
    ASSERT_EQ(info.streams.size(), 2u);
    const test::StreamInfo* video = info.Find(AVMEDIA_TYPE_VIDEO);
    const test::StreamInfo* audio = info.Find(AVMEDIA_TYPE_AUDIO);
    ASSERT_TRUE(video && audio);
    EXPECT_NEAR(video->packets, 50, 3);
    EXPECT_NEAR(audio->endSeconds, video->endSeconds, 0.1);
  }
}

TEST_F(RecorderTest, PictureCountFollowsTheFrameRateAndSecondsAreReported) {
  Recorder recorder(&listener_, &store_);
  const std::string path = Record(recorder, "mp4", 25, 4.0);
  const test::MediaInfo info = test::ProbeMedia(path);
  const test::StreamInfo* video = info.Find(AVMEDIA_TYPE_VIDEO);
  ASSERT_TRUE(video);
  EXPECT_NEAR(video->packets, 100, 2);
  EXPECT_NEAR(video->duration(), 4.0, 0.1);
  EXPECT_EQ(recorder.videoFrameIndex(), video->packets);

  std::lock_guard<std::mutex> lock(listener_.mutex);
  // Each new whole second once, starting with 0.
  ASSERT_FALSE(listener_.reported.empty());
  for (std::size_t i = 0; i < listener_.reported.size(); ++i) {
    EXPECT_EQ(listener_.reported[i], static_cast<std::int64_t>(i));
  }
  EXPECT_GE(listener_.reported.back(), 3);
  EXPECT_EQ(listener_.finishedCount, 1);
  EXPECT_EQ(listener_.finishedPath, path);
  EXPECT_TRUE(listener_.finishedOk);
}

TEST_F(RecorderTest, APauseAddsNothingToTheDuration) {
  Recorder recorder(&listener_, &store_);
  const std::string path = Record(recorder, "mkv", 25, 6.0, {{2.0, 4.0}});
  const test::MediaInfo info = test::ProbeMedia(path);
  const test::StreamInfo* video = info.Find(AVMEDIA_TYPE_VIDEO);
  const test::StreamInfo* audio = info.Find(AVMEDIA_TYPE_AUDIO);
  ASSERT_TRUE(video && audio);
  EXPECT_NEAR(video->duration(), 4.0, 0.12);
  EXPECT_NEAR(video->packets, 100, 3);
  EXPECT_NEAR(audio->endSeconds, video->endSeconds, 0.1);
}

TEST_F(RecorderTest, StopWithoutResumeGivesACompleteFileWithoutPictures) {
  Recorder recorder(&listener_, &store_);
  ASSERT_EQ(recorder.Start("empty.mp4", out_.path(), "mp4", "mp4", 25, 1), 0);
  recorder.Stop();
  recorder.Stop();  // a second stop changes nothing
  ASSERT_TRUE(recorder.WaitUntilFinished(10000));
  EXPECT_TRUE(recorder.lastFinishOk());
  const test::MediaInfo info = test::ProbeMedia(out_.path() + "/empty.mp4");
  ASSERT_TRUE(info.opened) << "the file must be readable";
  // The demuxer may leave out tracks without samples; none holds a packet.
  for (const test::StreamInfo& stream : info.streams) EXPECT_EQ(stream.packets, 0);
  // The header and the trailer (the index) are there.
  EXPECT_GT(std::filesystem::file_size(out_.path() + "/empty.mp4"), 200u);
}

TEST_F(RecorderTest, StopWhilePausedAndASecondRecordingOnTheSameRecorder) {
  Recorder recorder(&listener_, &store_);
  ASSERT_EQ(recorder.Start("first.flv", out_.path(), "flv", "flv", 20, 1), 0);
  recorder.Resume();
  std::this_thread::sleep_for(1s);
  recorder.Pause();
  EXPECT_EQ(recorder.state(), kStatePaused);
  std::this_thread::sleep_for(300ms);
  recorder.Stop();  // while paused
  EXPECT_EQ(recorder.state(), kStateStopped);
  ASSERT_TRUE(recorder.WaitUntilFinished(10000));
  const test::MediaInfo first = test::ProbeMedia(out_.path() + "/first.flv");
  ASSERT_TRUE(first.Find(AVMEDIA_TYPE_VIDEO));
  EXPECT_NEAR(first.Find(AVMEDIA_TYPE_VIDEO)->packets, 20, 2);

  // The second recording starts from zeroed counters with a different size.
  store_.SetInt(kRegionWidth, 161);  // odd: made even
  store_.SetInt(kRegionHeight, 121);
  const std::string second = Record(recorder, "avi", 20, 1.5);
  const test::MediaInfo info = test::ProbeMedia(second);
  const test::StreamInfo* video = info.Find(AVMEDIA_TYPE_VIDEO);
  ASSERT_TRUE(video);
  EXPECT_EQ(video->width, 160);
  EXPECT_EQ(video->height, 120);
  EXPECT_NEAR(video->packets, 30, 2);
  EXPECT_EQ(recorder.videoFrameIndex(), video->packets);
}

TEST_F(RecorderTest, DestroyingARecordingRecorderFinishesTheFile) {
  const int threadsBefore = ThreadCount();
  {
    Recorder recorder(&listener_, &store_);
    ASSERT_EQ(recorder.Start("gone.mov", out_.path(), "mov", "mov", 25, 1), 0);
    recorder.Resume();
    std::this_thread::sleep_for(1s);
  }  // no Stop: the destructor stops and waits
  EXPECT_EQ(ThreadCount(), threadsBefore);
  const test::MediaInfo info = test::ProbeMedia(out_.path() + "/gone.mov");
  ASSERT_TRUE(info.Find(AVMEDIA_TYPE_VIDEO));
  EXPECT_NEAR(info.Find(AVMEDIA_TYPE_VIDEO)->packets, 25, 3);
  std::lock_guard<std::mutex> lock(listener_.mutex);
  EXPECT_EQ(listener_.finishedCount, 1);
}

TEST_F(RecorderTest, FollowMouseRecordsItsOwnSizeAnywhereOnTheScreen) {
  if (std::system("command -v xdotool >/dev/null") != 0) GTEST_SKIP() << "xdotool is not installed";
  store_.SetInt(kUserDefinedRegionCheck, 0);
  store_.SetInt(kMouseFollowCheck, 1);
  store_.SetInt(kMouseFollowRatioWidth, 641);  // odd: made even
  store_.SetInt(kMouseFollowRatioHeight, 480);
  ASSERT_EQ(std::system("xdotool mousemove 1900 1070"), 0);
  Recorder recorder(&listener_, &store_);
  ASSERT_EQ(recorder.Start("follow.mp4", out_.path(), "mp4", "mp4", 10, 1), 0);
  recorder.Resume();
  std::this_thread::sleep_for(500ms);
  ASSERT_EQ(std::system("xdotool mousemove 5 5"), 0);  // the other corner
  std::this_thread::sleep_for(500ms);
  recorder.Stop();
  ASSERT_TRUE(recorder.WaitUntilFinished(10000));
  const test::MediaInfo info = test::ProbeMedia(out_.path() + "/follow.mp4");
  const test::StreamInfo* video = info.Find(AVMEDIA_TYPE_VIDEO);
  ASSERT_TRUE(video);
  EXPECT_EQ(video->width, 640);
  EXPECT_EQ(video->height, 480);
  EXPECT_NEAR(video->packets, 10, 2);
}

TEST_F(RecorderTest, UnwritableFolderFailsTheStartAndLeavesNoThread) {
  std::ofstream(out_ / "file") << "a file, not a folder";
  const int threadsBefore = ThreadCount();
  {
    Recorder recorder(&listener_, &store_);
    testing::internal::CaptureStderr();
    const int result = recorder.Start("x.mp4", out_ / "file/sub", "mp4", "mp4", 25, 1);
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(result, 0);
    // The cause is named: the folder.
    EXPECT_EQ(recorder.startProblem(), StartProblem::kFolder);
    EXPECT_NE(recorder.startError().find(out_ / "file/sub"), std::string::npos) << recorder.startError();
    EXPECT_NE(log.find(recorder.startError()), std::string::npos) << log;
    EXPECT_EQ(ThreadCount(), threadsBefore);
    // Stop and Resume after a failed start do nothing.
    EXPECT_EQ(recorder.Resume(), 0);
    EXPECT_EQ(recorder.Stop(), 0);
    EXPECT_TRUE(recorder.WaitUntilFinished(0));
  }
  EXPECT_EQ(ThreadCount(), threadsBefore);
}

TEST_F(RecorderTest, QualityChoosesTheConstantRateFactor) {
  Recorder recorder(&listener_, &store_);
  for (int quality : {0, 1, 2}) {
    SCOPED_TRACE(quality);
    const std::string path = Record(recorder, "mkv", 10, 0.6, {}, quality);
    // x264 records its settings in the stream.
    std::ifstream file(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const std::string expected = std::string("crf=") + CrfForQuality(quality) + ".0";
    EXPECT_NE(bytes.find(expected), std::string::npos) << expected;
    EXPECT_NE(bytes.find("bframes=0"), std::string::npos);
    EXPECT_NE(bytes.find("keyint=70"), std::string::npos);
  }
  EXPECT_EQ(CrfForQuality(3), nullptr);
}

TEST(RecorderArithmeticTest, RawPicturesWaitingAreBoundedInBytes) {
  // 48 MB of 4:2:0 pictures: 16 of 1080p, 4 of 4K, never fewer than two
  // nor more than 72.
  EXPECT_EQ(QueuedPicturesFor(1920, 1080), 16);
  EXPECT_EQ(QueuedPicturesFor(3840, 2160), 4);
  EXPECT_EQ(QueuedPicturesFor(7680, 4320), 2);
  EXPECT_EQ(QueuedPicturesFor(16384, 16384), 2);
  EXPECT_EQ(QueuedPicturesFor(320, 240), kMaxQueuedPictures);
}

TEST(RecorderArithmeticTest, BitRatesAndColours) {
  const VideoBitRates rates = ComputeVideoBitRates(1280, 720, 25);
  EXPECT_EQ(rates.decoder, 737280000);
  EXPECT_EQ(rates.encoder, 184320000);
  EXPECT_EQ(rates.minimum, 18432000);
  EXPECT_EQ(rates.maximum, 276480000);
  // A huge picture is capped instead of wrapping around to a negative rate.
  EXPECT_EQ(ComputeVideoBitRates(7680, 4320, 120).encoder, 2147483647);

  struct Case {
    const char* text;
    int red, green, blue;
  };
  const Case cases[] = {
      {"255", 255, 0, 0},     {"65280", 0, 255, 0},  {"65535", 255, 255, 0},
      {"16711680", 0, 0, 255}, {"", 255, 0, 0},      {"blue", 255, 0, 0},
      {"99999999999999999999", 255, 0, 0},           {"-1", 255, 255, 255},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const Rgb colour = ParseColourSetting(c.text, "255");
    EXPECT_EQ(colour.red, c.red);
    EXPECT_EQ(colour.green, c.green);
    EXPECT_EQ(colour.blue, c.blue);
  }
}

// The root window's background, set and restored around a test.
class RootColour {
 public:
  explicit RootColour(const std::string& colour) {
    EXPECT_EQ(std::system(("xsetroot -solid '" + colour + "'").c_str()), 0);
  }
  ~RootColour() { std::system("xsetroot -solid black"); }
};

TEST_F(RecorderTest, AScreenOfOneColourComesOutInThatColour) {
  store_.SetInt(kMouseCheck, 0);
  store_.SetInt(kRegionOffsetX, 400);
  store_.SetInt(kRegionOffsetY, 300);
  for (const auto& [name, r, g, b] : std::vector<std::tuple<std::string, int, int, int>>{
           {"#FF8000", 255, 128, 0}, {"#2040C0", 32, 64, 192}}) {
    SCOPED_TRACE(name);
    RootColour colour(name);
    std::this_thread::sleep_for(200ms);
    Recorder recorder(&listener_, &store_);
    const std::string path = Record(recorder, "mp4", 10, 1.0, {}, 0);
    const auto pictures = test::DecodePictures(path, 5);
    ASSERT_FALSE(pictures.empty());
    const test::RgbPicture& picture = pictures.back();
    const std::uint8_t* centre = picture.At(picture.width / 2, picture.height / 2);
    EXPECT_NEAR(centre[0], r, 8);
    EXPECT_NEAR(centre[1], g, 8);
    EXPECT_NEAR(centre[2], b, 8);
  }
}

TEST_F(RecorderTest, AClickPutsARingIntoThePictures) {
  if (std::system("command -v xdotool >/dev/null") != 0) GTEST_SKIP() << "xdotool is not installed";
  RootColour black("black");
  store_.SetInt(kMouseCheck, 0);
  store_.SetInt(kMouseEffectClickCheck, 1);
  ASSERT_EQ(std::system("xdotool mousemove 160 120"), 0);
  auto monitor = platform::CreateClickMonitor();
  ASSERT_TRUE(monitor);
  ASSERT_TRUE(monitor->Start([](int button) { MarkMouseClick(button); }));

  Recorder recorder(&listener_, &store_);
  ASSERT_EQ(recorder.Start("ring.mkv", out_.path(), "mkv", "matroska", 30, 0), 0);
  recorder.Resume();
  std::this_thread::sleep_for(400ms);
  ASSERT_EQ(std::system("xdotool click 1"), 0);
  std::this_thread::sleep_for(900ms);
  recorder.Stop();
  ASSERT_TRUE(recorder.WaitUntilFinished(10000));
  monitor->Stop();

  const auto pictures = test::DecodePictures(out_.path() + "/ring.mkv", 100);
  ASSERT_GT(pictures.size(), 20u);
  int ringPictures = 0;
  int redFar = 0;
  for (const test::RgbPicture& picture : pictures) {
    int redNear = 0;
    for (int y = 0; y < picture.height; ++y) {
      for (int x = 0; x < picture.width; ++x) {
        const std::uint8_t* p = picture.At(x, y);
        if (p[0] > 90 && p[1] < 60 && p[2] < 60) {
          if (std::abs(x - 160) <= 24 && std::abs(y - 120) <= 24) {
            ++redNear;
          } else {
            ++redFar;
          }
        }
      }
    }
    if (redNear > 10) ++ringPictures;
  }
  // The ring lives for half a second: about 15 pictures at 30 fps.
  EXPECT_GE(ringPictures, 5);
  EXPECT_LE(ringPictures, 18);
  EXPECT_EQ(redFar, 0);
}

}  // namespace
}  // namespace tarn

namespace tarn {
namespace {

using test::ResidentKb;

TEST_F(RecorderTest, AHundredRecordingsKeepTheMemoryWhereTheFirstLeftIt) {
  Recorder recorder(&listener_, &store_);
  std::int64_t afterFirstKb = 0;
  std::int64_t peakKb = 0;
  for (int i = 0; i < 100; ++i) {
    const std::string name = "mem" + std::to_string(i) + ".mkv";
    ASSERT_EQ(recorder.Start(name, out_.path(), "mkv", "matroska", 30, 1), 0);
    recorder.Resume();
    std::this_thread::sleep_for(150ms);
    recorder.Stop();
    ASSERT_TRUE(recorder.WaitUntilFinished(20000));
    std::filesystem::remove(out_.path() + "/" + name);
    const std::int64_t kb = ResidentKb();
    if (i == 0) afterFirstKb = kb;
    peakKb = std::max(peakKb, kb);
  }
  std::cout << "  resident after the first recording " << afterFirstKb / 1024 << " MB, peak "
            << peakKb / 1024 << " MB, after the last " << ResidentKb() / 1024 << " MB" << std::endl;
  EXPECT_LT(ResidentKb() - afterFirstKb, 20 * 1024);
}

}  // namespace
}  // namespace tarn
