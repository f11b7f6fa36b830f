// Pictures and sound that happen together are found together in the file: a
// flash on the screen or shown by a camera when a tone is heard from the
// speaker lands with that tone.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <thread>

#include "recorder/audio/capture_devices.h"
#include "recorder/recorder.h"
#include "settings/settings_keys.h"
#include "settings/settings_store.h"
#include "tests/support/media_probe.h"
#include "tests/support/pipe_camera.h"
#include "tests/support/private_x_server.h"
#include "tests/support/sound_capture_support.h"
#include "tests/support/sound_loss_watch.h"
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

// Each moment is tried until kCalmTries tries found the sound server calm
// (kMaxTries at most), kTrySpacing seconds apart, and judged by the median of
// those, if at least kFewestCalmTries were. A server that loses sound
// (PipeWire held up on a loaded machine) plays a tone later than the latency
// of its stream said, and the recording settles a loss within a second, so
// such a try says nothing about the recording; an error of the recording's
// own shows in every try.
constexpr int kCalmTries = 3;
constexpr int kFewestCalmTries = 2;
constexpr int kMaxTries = 12;
constexpr double kTrySpacing = 1.5;
// A try is calm when the server lost less than this from one and a half
// seconds before the tone was scheduled until it was heard.
constexpr std::int64_t kCalmLossUs = 10000;
constexpr std::int64_t kCalmBeforeUs = 1500000;

bool Calm(const test::SoundLossWatch& watch, std::int64_t scheduledUs, std::int64_t heardUs) {
  const std::optional<std::int64_t> lostUs = watch.LostUs(scheduledUs - kCalmBeforeUs, heardUs);
  const bool calm = lostUs && *lostUs < kCalmLossUs;
  std::cout << "  the sound server lost "
            << (lostUs ? std::to_string(*lostUs / 1000.0) + " ms" : std::string("an unknown amount"))
            << " of sound around this tone"
            << (calm ? "" : ": it says nothing about the recording") << std::endl;
  return calm;
}

// The middle value; of an even number, the mean of the middle two.
double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t half = values.size() / 2;
  return values.size() % 2 == 1 ? values[half] : (values[half - 1] + values[half]) / 2;
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
// Only the tries during which the sound server lost no sound are judged; a
// moment with none is not judged at all (and the test says so).
TEST_F(RecorderSyncTest, AFlashAndATonePlayedTogetherAreFoundTogether) {
  const char* longSetting = std::getenv("TARN_SYNC_SECONDS");
  const double lastMomentAt = longSetting != nullptr ? std::atof(longSetting) : 0;
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
  // Started after the recording, so the recording starts as it would alone.
  test::SoundLossWatch watch("speaker.monitor");
  const auto begin = std::chrono::steady_clock::now();

  std::vector<double> moments = {2.5};
  if (lastMomentAt > 5 + kMaxTries * kTrySpacing) moments.push_back(lastMomentAt);
  struct Shown {
    std::size_t moment;    // index into moments
    std::int64_t flashUs;  // the middle of the time xsetroot took
    std::int64_t toneUs;   // when the tone was heard
    bool calm;             // the server lost no sound meanwhile
  };
  std::vector<Shown> shown;
  double lastAt = 0;
  for (std::size_t m = 0; m < moments.size(); ++m) {
    int calmTries = 0;
    for (int t = 0; t < kMaxTries && calmTries < kCalmTries; ++t) {
      lastAt = moments[m] + t * kTrySpacing;
      std::this_thread::sleep_until(begin + std::chrono::duration<double>(lastAt - 0.7));
      test::TonePlayer player("speaker", 48000, 0.5, 0.4);
      // The flash goes up when the tone is heard.
      while (player.toneHeardUs() == 0 && !player.done()) std::this_thread::sleep_for(1ms);
      ASSERT_NE(player.toneHeardUs(), 0) << "the tone could not be played";
      std::this_thread::sleep_until(
          std::chrono::steady_clock::time_point(std::chrono::microseconds(player.toneHeardUs())));
      const std::int64_t before = MonotonicNowUs();
      ASSERT_TRUE(root("white"));
      const std::int64_t after = MonotonicNowUs();
      std::this_thread::sleep_for(500ms);
      ASSERT_TRUE(root("black"));
      while (!player.done()) std::this_thread::sleep_for(10ms);
      const bool calm = Calm(watch, player.toneHeardUs() - player.latencyUs(), player.toneHeardUs());
      shown.push_back({m, (before + after) / 2, player.toneHeardUs(), calm});
      if (calm) ++calmTries;
    }
  }
  std::this_thread::sleep_until(begin + std::chrono::duration<double>(lastAt + 1.5));
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
  std::vector<std::vector<double>> errors(moments.size());
  for (std::size_t i = 0; i < shown.size(); ++i) {
    // The flash was shown somewhere in the frame interval before the picture
    // that shows it: its best estimate is half an interval earlier.
    const double flashInFile = flashes[i] - 0.5 / kFps;
    const double measured = tones[i] - flashInFile;
    const double expected = (shown[i].toneUs - shown[i].flashUs) / 1e6;
    std::cout << "  flash at " << flashes[i] << " s, tone at " << tones[i]
              << " s in the file; tone after flash " << measured * 1000 << " ms, shown "
              << expected * 1000 << " ms apart" << (shown[i].calm ? "" : " (not judged)") << std::endl;
    if (shown[i].calm) errors[shown[i].moment].push_back(measured - expected);
  }
  bool allJudged = true;
  for (std::size_t m = 0; m < moments.size(); ++m) {
    if (errors[m].size() < static_cast<std::size_t>(kFewestCalmTries)) {
      std::cout << "  at " << moments[m] << " s: too few calm tries to judge" << std::endl;
      allJudged = false;
      continue;
    }
    const double median = Median(errors[m]);
    std::cout << "  at " << moments[m] << " s: the tone is off by " << median * 1000 << " ms (median of "
              << errors[m].size() << ")" << std::endl;
    EXPECT_NEAR(median, 0, 0.020) << "at " << moments[m] << " s";
  }
  if (!allJudged) GTEST_SKIP() << "the sound server lost sound around almost every try of a moment";
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
  test::SoundLossWatch watch("speaker.monitor");
  std::this_thread::sleep_for(1s);
  std::vector<bool> calm;
  for (int calmTries = 0; calm.size() < static_cast<std::size_t>(kMaxTries) && calmTries < kCalmTries;) {
    test::TonePlayer player("speaker", 48000, 0.5, 0.4);
    while (player.toneHeardUs() == 0 && !player.done()) std::this_thread::sleep_for(1ms);
    const std::int64_t toneHeardUs = player.toneHeardUs();
    ASSERT_NE(toneHeardUs, 0) << "the tone could not be played";
    // The camera's pictures due from the moment the tone is heard are white.
    whiteUntilUs = toneHeardUs + 400000;
    whiteFromUs = toneHeardUs;
    while (!player.done()) std::this_thread::sleep_for(10ms);
    calm.push_back(Calm(watch, toneHeardUs - player.latencyUs(), toneHeardUs));
    if (calm.back()) ++calmTries;
    std::this_thread::sleep_for(300ms);
  }
  std::this_thread::sleep_for(1s);
  recorder.Stop();
  ASSERT_TRUE(recorder.WaitUntilFinished(20000));
  ASSERT_TRUE(recorder.lastFinishOk()) << recorder.lastResult().reason;

  const std::string path = out.path() + "/camera.mkv";
  const std::vector<double> flashes = test::WhiteRunStarts(path);
  const std::vector<double> tones = TonesOf(path);
  ASSERT_EQ(flashes.size(), calm.size());
  ASSERT_EQ(tones.size(), calm.size());
  std::vector<double> flashAfterTone;
  for (std::size_t t = 0; t < calm.size(); ++t) {
    std::cout << "  flash at " << flashes[t] << " s, tone at " << tones[t] << " s in the file"
              << (calm[t] ? "" : " (not judged)") << std::endl;
    if (calm[t]) flashAfterTone.push_back(flashes[t] - tones[t]);
  }
  if (flashAfterTone.size() < static_cast<std::size_t>(kFewestCalmTries)) {
    GTEST_SKIP() << "the sound server lost sound around almost every try";
  }
  // The first white picture was due within a picture interval after the tone.
  const double median = Median(flashAfterTone);
  EXPECT_GE(median, -0.020);
  EXPECT_LE(median, 1.0 / 30 + 0.020);
}

}  // namespace
}  // namespace tarn
