// Whole recordings of synthetic sources (no X or sound server): where the
// flashes and beeps captured together land in the file, with sound sources
// that start late, stall, deliver late or run on a drifting clock.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <iostream>
#include <thread>

#include "recorder/recorder.h"
#include "settings/settings_keys.h"
#include "settings/settings_store.h"
#include "tests/support/media_probe.h"
#include "tests/support/synthetic_sources.h"
#include "tests/support/temp_dir.h"

namespace tarn {
namespace {

using namespace std::chrono_literals;

class RecorderTimelineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    store_.SetInt(kVoiceSource, 1);
    store_.SetInt(kAudioMuteCheck, 0);
  }

  struct Result {
    std::string path;
    double beginSeconds = 0;  // the recording's begin, from the epoch (up to `slack`)
    double slack = 0;
    test::MediaInfo info;
  };

  // Records `seconds` of synthetic sources into `ext`; the flashes and beeps
  // are counted from `epoch`, half a second before the recording begins.
  Result Record(const std::string& ext, double seconds, test::SoundFaults faults = {}, int fps = 30,
                std::vector<std::pair<double, double>> pauses = {}) {
    const std::int64_t epoch = MonotonicNowUs() + 200000;
    test::SyntheticSources sources(epoch, faults);
    Recorder recorder(nullptr, &store_, &sources);
    Result result;
    const std::string name = "sync" + std::to_string(++counter_) + "." + ext;
    EXPECT_EQ(recorder.Start(name, out_.path(), ext, ext, fps, 1), 0) << recorder.startError();
    std::this_thread::sleep_until(std::chrono::steady_clock::time_point(std::chrono::microseconds(epoch + 500000)));
    const std::int64_t before = MonotonicNowUs();
    recorder.Resume();
    const std::int64_t after = MonotonicNowUs();
    const auto begin = std::chrono::steady_clock::now();
    for (const auto& [pauseAt, resumeAt] : pauses) {
      std::this_thread::sleep_until(begin + std::chrono::duration<double>(pauseAt));
      recorder.Pause();
      std::this_thread::sleep_until(begin + std::chrono::duration<double>(resumeAt));
      recorder.Resume();
    }
    std::this_thread::sleep_until(begin + std::chrono::duration<double>(seconds));
    recorder.Stop();
    EXPECT_TRUE(recorder.WaitUntilFinished(20000));
    EXPECT_TRUE(recorder.lastFinishOk()) << recorder.lastResult().reason;
    result.path = out_.path() + "/" + name;
    result.beginSeconds = (before - epoch) / 1e6;
    result.slack = (after - before) / 1e6;
    result.info = test::ProbeMedia(result.path);
    // Containers that shift every stream by the sound's priming start the
    // pictures that much later; the recording's time 0 is the first picture.
    if (const test::StreamInfo* video = result.info.Find(AVMEDIA_TYPE_VIDEO)) {
      result.beginSeconds -= video->startSeconds;
    }
    return result;
  }

  test::TempDir dir_;
  test::TempDir out_;
  SettingsStore store_{dir_.path() + "/configure.ini"};
  int counter_ = 0;
};

TEST_F(RecorderTimelineTest, RecordingsLastAsLongAsAskedFromTheStart) {
  for (const char* ext : {"mkv", "mp4"}) {
    for (double seconds : {2.0, 4.0}) {
      SCOPED_TRACE(testing::Message() << ext << " " << seconds << " s");
      const Result result = Record(ext, seconds);
      const test::StreamInfo* video = result.info.Find(AVMEDIA_TYPE_VIDEO);
      const test::StreamInfo* audio = result.info.Find(AVMEDIA_TYPE_AUDIO);
      ASSERT_TRUE(video && audio);
      EXPECT_NEAR(video->endSeconds, seconds, 0.1);
      EXPECT_NEAR(audio->endSeconds, seconds, 0.1);
      EXPECT_NEAR(video->startSeconds, 0, 0.05);
    }
  }
}

// Each beep starts where it was captured, and each flash in the picture
// taken next: `expect` maps a second k after the epoch to recording time.
void ExpectBeepsAndFlashesAt(const std::vector<double>& beeps, const std::vector<double>& flashes,
                             const std::function<std::optional<double>(int)>& expect, int fps,
                             double slack) {
  ASSERT_FALSE(beeps.empty());
  ASSERT_FALSE(flashes.empty());
  for (double beep : beeps) {
    bool matched = false;
    for (int k = 0; k < 60 && !matched; ++k) {
      const std::optional<double> at = expect(k);
      if (at && std::abs(beep - *at) < 0.003 + slack) matched = true;
    }
    EXPECT_TRUE(matched) << "a beep at " << beep << " s belongs to no captured beep";
  }
  for (double flash : flashes) {
    bool matched = false;
    for (int k = 0; k < 60 && !matched; ++k) {
      const std::optional<double> at = expect(k);
      if (at && flash >= *at - 0.003 - slack && flash <= *at + 1.0 / fps + 0.003 + slack) matched = true;
    }
    EXPECT_TRUE(matched) << "a flash at " << flash << " s belongs to no captured flash";
  }
}

TEST_F(RecorderTimelineTest, SoundAndPicturesCapturedTogetherLandTogether) {
  const Result result = Record("mkv", 4.3);
  const std::vector<double> beeps = test::ToneOnsets(result.path);
  const std::vector<double> flashes = test::WhiteRunStarts(result.path);
  std::cout << "  begin " << result.beginSeconds << " beeps";
  for (double b : beeps) std::cout << " " << b;
  std::cout << " flashes";
  for (double f : flashes) std::cout << " " << f;
  std::cout << std::endl;
  // One beep and one flash for each whole second inside the recording.
  EXPECT_EQ(beeps.size(), 4u);
  EXPECT_EQ(flashes.size(), 4u);
  const double begin = result.beginSeconds;
  ExpectBeepsAndFlashesAt(beeps, flashes, [begin](int k) -> std::optional<double> {
    return k - begin >= 0 ? std::optional<double>(k - begin) : std::nullopt;
  }, 30, result.slack);
}

TEST_F(RecorderTimelineTest, AMisbehavingSoundSourceIsSilenceWhereItCapturedNothing) {
  struct Case {
    const char* what;
    test::SoundFaults faults;
    double silentFrom, silentTo;  // seconds after the epoch
  };
  std::vector<Case> cases(3);
  cases[0] = {"starts late", {}, 0, 2.2};
  cases[0].faults.startUs = 2'200'000;
  cases[1] = {"stalls for 3 s", {}, 1.2, 4.2};
  cases[1].faults.stallFromUs = 1'200'000;
  cases[1].faults.stallToUs = 4'200'000;
  cases[2] = {"answers 2 s late", {}, 0, 0};
  cases[2].faults.deliveryDelayUs = 2'000'000;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Result result = Record("mkv", 5.6, c.faults);
    const test::StreamInfo* video = result.info.Find(AVMEDIA_TYPE_VIDEO);
    const test::StreamInfo* audio = result.info.Find(AVMEDIA_TYPE_AUDIO);
    ASSERT_TRUE(video && audio);
    EXPECT_NEAR(video->endSeconds, 5.6, 0.1);
    EXPECT_NEAR(audio->endSeconds, 5.6, 0.1);
    const std::vector<double> beeps = test::ToneOnsets(result.path);
    const std::vector<double> flashes = test::WhiteRunStarts(result.path);
    const double begin = result.beginSeconds;
    std::cout << "  " << c.what << ": begin " << begin << " video from " << video->startSeconds
              << " audio from " << audio->startSeconds << " beeps";
    for (double b : beeps) std::cout << " " << b;
    std::cout << std::endl;
    // Beeps where the source captured, at their place; flashes every second.
    std::size_t expectedBeeps = 0;
    for (int k = 1; k <= 6; ++k) {
      const bool captured = !(k >= c.silentFrom && k < c.silentTo);
      if (k - begin >= 0 && k - begin < 5.55 && captured) ++expectedBeeps;
    }
    EXPECT_EQ(beeps.size(), expectedBeeps);
    EXPECT_EQ(flashes.size(), 6u);
    ExpectBeepsAndFlashesAt(beeps, flashes, [begin](int k) -> std::optional<double> {
      return k - begin >= 0 ? std::optional<double>(k - begin) : std::nullopt;
    }, 30, result.slack);
  }
}

TEST_F(RecorderTimelineTest, ADriftingSoundClockIsCorrectedWithoutJumps) {
  // 400 parts per million fast: 8 ms over 20 s if nothing corrected it.
  test::SoundFaults faults;
  faults.clockRatio = 1.0 / 1.0004;
  const Result result = Record("mkv", 20.5, faults, 10);
  const std::vector<double> beeps = test::ToneOnsets(result.path);
  ASSERT_GE(beeps.size(), 19u);
  const double begin = result.beginSeconds;
  double worst = 0;
  for (double beep : beeps) {
    const double expected = std::round(beep + begin) - begin;
    worst = std::max(worst, std::abs(beep - expected));
  }
  std::cout << "  worst beep offset " << worst * 1000 << " ms" << std::endl;
  EXPECT_LT(worst, 0.004 + result.slack);
}

TEST_F(RecorderTimelineTest, APauseCutsBothTracksAtTheSameMoment) {
  // Paused from 1.3 s to 3.1 s of the recording: the beeps and flashes of
  // that time are left out, and those after it move back by 1.8 s together.
  const Result result = Record("mp4", 5.0, {}, 30, {{1.3, 3.1}});
  const test::StreamInfo* video = result.info.Find(AVMEDIA_TYPE_VIDEO);
  ASSERT_TRUE(video);
  EXPECT_NEAR(video->endSeconds, 3.2, 0.1);
  const double begin = result.beginSeconds;
  ExpectBeepsAndFlashesAt(test::ToneOnsets(result.path), test::WhiteRunStarts(result.path),
                          [begin](int k) -> std::optional<double> {
                            const double at = k - begin;
                            if (at < 0 || (at >= 1.3 && at < 3.1)) return std::nullopt;
                            return at < 1.3 ? at : at - 1.8;
                          },
                          30, result.slack + 0.01);
}

}  // namespace
}  // namespace tarn
