// Pictures and sound that happen together are found together in the file: a
// flash on the screen or shown by a camera when a tone is heard from the
// speaker lands with that tone.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <iostream>
#include <thread>

#include "recorder/audio/capture_devices.h"
#include "recorder/recorder.h"
#include "settings/settings_keys.h"
#include "settings/settings_store.h"
#include "tests/support/media_probe.h"
#include "tests/support/pipe_camera.h"
#include "tests/support/private_x_server.h"
#include "tests/support/sound_capture_support.h"
#include "tests/support/temp_dir.h"

namespace tarn {
namespace {

using namespace std::chrono_literals;

// The camera list holds `camera` for the test's lifetime.
class ScopedCameraList {
 public:
  explicit ScopedCameraList(const CaptureDeviceEntry& camera) {
    SetCaptureDevicesForTesting(CaptureCategory::kVideo, std::vector<CaptureDeviceEntry>{camera});
  }
  ~ScopedCameraList() { SetCaptureDevicesForTesting(CaptureCategory::kVideo, std::nullopt); }
};

// The onsets of the 0.4-s tones in the file at `path`. Onsets each within
// 0.45 s of the one before are the same tone, interrupted by gaps the sound
// server reported in what it recorded (dropouts of the server, which say
// nothing about the sync).
std::vector<double> TonesOf(const std::string& path) {
  std::vector<double> tones;
  int interruptions = 0;
  double previous = -1;  // the last onset seen, interruptions included
  for (double onset : test::ToneOnsets(path)) {
    if (!tones.empty() && onset - previous < 0.45) {
      ++interruptions;
    } else {
      tones.push_back(onset);
    }
    previous = onset;
  }
  if (interruptions > 0) std::cout << "  the tones were interrupted " << interruptions << " times" << std::endl;
  return tones;
}

class RecorderSyncTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::system("pactl info >/dev/null 2>&1") != 0) GTEST_SKIP() << "no sound server: run through scripts/test.sh";
    store_.SetInt(kUserDefinedRegionCheck, 1);
    store_.SetInt(kRegionWidth, 160);
    store_.SetInt(kRegionHeight, 120);
  }

  test::TempDir dir_;
  test::TempDir out_;
  SettingsStore store_{dir_.path() + "/configure.ini"};
};

// A flash on the screen and a tone from the speaker at the same moment are
// found together in the file: within 20 ms, at the start of a recording and
// (with TARN_SYNC_SECONDS=600, as the test command sets it) after ten
// minutes. The recording is of an X server of the test's own, so its flashes
// disturb no other test; the tone goes through a playback stream whose
// latency tells when it is heard, and the flash is shown at that moment.
TEST_F(RecorderSyncTest, AFlashAndATonePlayedTogetherAreFoundTogether) {
  const char* longSetting = std::getenv("TARN_SYNC_SECONDS");
  const double lastEventAt = longSetting != nullptr ? std::atof(longSetting) : 0;
  test::PrivateXServer x;
  std::string whyNot;
  if (!x.Start("640x480x24", whyNot)) GTEST_SKIP() << "no X server of our own: " << whyNot;
  test::ScopedEnv display("DISPLAY", x.displayName());
  auto root = [](const char* colour) {
    return std::system((std::string("xsetroot -solid ") + colour).c_str()) == 0;
  };
  ASSERT_TRUE(root("black"));
  constexpr int kFps = 60;
  store_.SetInt(kVoiceSource, 2);
  store_.SetInt(kMouseCheck, 0);
  store_.SetInt(kRegionOffsetX, 200);
  store_.SetInt(kRegionOffsetY, 200);
  Recorder recorder(nullptr, &store_);
  ASSERT_EQ(recorder.Start("together.mkv", out_.path(), "mkv", "matroska", kFps, 1), 0);
  recorder.Resume();
  const auto begin = std::chrono::steady_clock::now();

  std::vector<double> events = {2.5};
  if (lastEventAt > 5) events.push_back(lastEventAt);
  struct Shown {
    std::int64_t flashUs;  // the middle of the time xsetroot took
    std::int64_t toneUs;   // when the tone was heard
  };
  std::vector<Shown> shown;
  for (double at : events) {
    std::this_thread::sleep_until(begin + std::chrono::duration<double>(at - 0.7));
    test::TonePlayer player("speaker", 48000, 0.5, 0.4);
    // The flash goes up when the tone is heard.
    while (player.toneHeardUs() == 0 && !player.done()) std::this_thread::sleep_for(1ms);
    ASSERT_NE(player.toneHeardUs(), 0) << "the tone could not be played";
    std::this_thread::sleep_until(std::chrono::steady_clock::time_point(std::chrono::microseconds(player.toneHeardUs())));
    const std::int64_t before = MonotonicNowUs();
    ASSERT_TRUE(root("white"));
    const std::int64_t after = MonotonicNowUs();
    shown.push_back({(before + after) / 2, player.toneHeardUs()});
    std::this_thread::sleep_for(500ms);
    ASSERT_TRUE(root("black"));
    while (!player.done()) std::this_thread::sleep_for(10ms);
  }
  std::this_thread::sleep_until(begin + std::chrono::duration<double>(events.back() + 1.5));
  recorder.Stop();
  ASSERT_TRUE(recorder.WaitUntilFinished(20000));
  ASSERT_TRUE(recorder.lastFinishOk());

  const std::string path = out_.path() + "/together.mkv";
  const std::vector<double> flashes = test::WhiteRunStarts(path);
  const std::vector<double> tones = TonesOf(path);
  std::cout << "  flashes";
  for (double f : flashes) std::cout << " " << f;
  std::cout << "; tones";
  for (double t : tones) std::cout << " " << t;
  std::cout << std::endl;
  ASSERT_EQ(flashes.size(), shown.size());
  ASSERT_EQ(tones.size(), shown.size());
  for (std::size_t i = 0; i < shown.size(); ++i) {
    // The flash was shown somewhere in the frame interval before the picture
    // that shows it: its best estimate is half an interval earlier.
    const double flashInFile = flashes[i] - 0.5 / kFps;
    const double measured = tones[i] - flashInFile;
    const double expected = (shown[i].toneUs - shown[i].flashUs) / 1e6;
    std::cout << "  event at " << events[i] << " s: flash at " << flashes[i] << " s, tone at "
              << tones[i] << " s in the file; tone after flash " << measured * 1000
              << " ms, shown " << expected * 1000 << " ms apart" << std::endl;
    EXPECT_NEAR(measured, expected, 0.020);
  }
}

TEST(RecorderCameraSoundTest, AFlashOfTheCameraAndAToneOfTheSpeakerHeardTogetherAreFoundTogether) {
  if (std::system("pactl info >/dev/null 2>&1") != 0) GTEST_SKIP() << "no sound server: run through scripts/test.sh";
  test::TempDir dir;
  test::TempDir out;
  SettingsStore store(dir.path() + "/configure.ini");
  store.SetInt(kVideoSource, 1);
  store.SetInt(kVoiceSource, 2);  // what the speaker plays
  store.SetInt(kAudioMuteCheck, 0);
  std::atomic<std::int64_t> whiteFromUs{INT64_MAX};
  std::atomic<std::int64_t> whiteUntilUs{0};
  test::PipeCamera camera(out.path() + "/camera.pipe", [&](std::int64_t dueUs) {
    return dueUs >= whiteFromUs.load() && dueUs < whiteUntilUs.load();
  });
  ScopedCameraList cameras(camera.entry());

  Recorder recorder(nullptr, &store);
  ASSERT_EQ(recorder.Start("camera.mkv", out.path(), "mkv", "matroska", 10, 1), 0) << recorder.startError();
  EXPECT_EQ(recorder.frameRate(), 30);
  recorder.Resume();
  std::this_thread::sleep_for(1s);
  std::int64_t toneHeardUs = 0;
  {
    test::TonePlayer player("speaker", 48000, 0.5, 0.4);
    while (player.toneHeardUs() == 0 && !player.done()) std::this_thread::sleep_for(1ms);
    toneHeardUs = player.toneHeardUs();
    ASSERT_NE(toneHeardUs, 0) << "the tone could not be played";
    // The camera's pictures due from the moment the tone is heard are white.
    whiteUntilUs = toneHeardUs + 400000;
    whiteFromUs = toneHeardUs;
    while (!player.done()) std::this_thread::sleep_for(10ms);
  }
  std::this_thread::sleep_for(1s);
  recorder.Stop();
  ASSERT_TRUE(recorder.WaitUntilFinished(20000));
  ASSERT_TRUE(recorder.lastFinishOk()) << recorder.lastResult().reason;

  const std::string path = out.path() + "/camera.mkv";
  const std::vector<double> flashes = test::WhiteRunStarts(path);
  const std::vector<double> tones = TonesOf(path);
  ASSERT_EQ(flashes.size(), 1u);
  ASSERT_EQ(tones.size(), 1u);
  std::cout << "  flash at " << flashes[0] << " s, tone at " << tones[0] << " s in the file" << std::endl;
  // The first white picture was due within a picture interval after the tone.
  EXPECT_GE(flashes[0] - tones[0], -0.020);
  EXPECT_LE(flashes[0] - tones[0], 1.0 / 30 + 0.020);
}

}  // namespace
}  // namespace tarn
