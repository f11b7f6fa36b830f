// A camera and the sound server together: a flash shown by the camera when a
// tone is heard from the speaker is found in the recording with that tone.

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
  const std::vector<double> tones = test::ToneOnsets(path);
  ASSERT_EQ(flashes.size(), 1u);
  ASSERT_EQ(tones.size(), 1u);
  std::cout << "  flash at " << flashes[0] << " s, tone at " << tones[0] << " s in the file" << std::endl;
  // The first white picture was due within a picture interval after the tone.
  EXPECT_GE(flashes[0] - tones[0], -0.020);
  EXPECT_LE(flashes[0] - tones[0], 1.0 / 30 + 0.020);
}

}  // namespace
}  // namespace tarn
