// Recordings of a display of three monitors whose primary one is neither at
// the root window's corner nor its size: the whole screen, a region and the
// rectangle that follows the mouse all lie on the primary monitor, and the
// cursor is drawn only while it is there. Read back with libavformat.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "recorder/recorder.h"
#include "settings/settings_keys.h"
#include "settings/settings_store.h"
#include "tests/support/media_probe.h"
#include "tests/support/monitor_layout.h"
#include "tests/support/temp_dir.h"

namespace tarn {
namespace {

using namespace std::chrono_literals;

class QuietListener : public RecorderListener {
 public:
  void OnRecordSeconds(std::int64_t) override {}
};

// Pixels of `picture` farther than `margin` in any channel from 0xRRGGBB.
int PixelsUnlike(const test::RgbPicture& picture, std::uint32_t rgb, int margin) {
  const int want[3] = {static_cast<int>(rgb >> 16 & 0xFF), static_cast<int>(rgb >> 8 & 0xFF),
                       static_cast<int>(rgb & 0xFF)};
  int unlike = 0;
  for (int y = 0; y < picture.height; ++y) {
    for (int x = 0; x < picture.width; ++x) {
      const std::uint8_t* p = picture.At(x, y);
      for (int channel = 0; channel < 3; ++channel) {
        if (std::abs(p[channel] - want[channel]) > margin) {
          ++unlike;
          break;
        }
      }
    }
  }
  return unlike;
}

class MonitorRecordingTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string whyNot;
    if (!server_.Start(whyNot)) GTEST_SKIP() << whyNot;
    display_.emplace("DISPLAY", server_.displayName());
    // The sound has tests of its own: here the track is silence.
    store_.SetInt(kAudioMuteCheck, 1);
    store_.SetInt(kUserDefinedRegionCheck, 0);
    store_.SetInt(kMouseCheck, 0);
  }

  // Records, calling `during` half-way, and decodes the pictures.
  std::vector<test::RgbPicture> Record(const std::function<void()>& during = [] {}) {
    const std::string name = "rec" + std::to_string(++counter_) + ".mkv";
    Recorder recorder(&listener_, &store_);
    EXPECT_EQ(recorder.Start(name, out_.path(), "mkv", "matroska", 10, 0), 0)
        << recorder.startError();
    recorder.Resume();
    std::this_thread::sleep_for(600ms);
    during();
    std::this_thread::sleep_for(600ms);
    recorder.Stop();
    EXPECT_TRUE(recorder.WaitUntilFinished(20000));
    EXPECT_TRUE(recorder.lastFinishOk());
    return test::DecodePictures(out_.path() + "/" + name, 100);
  }

  static int RootX(int x) { return test::kPrimaryMonitor.rect.x + x; }
  static int RootY(int y) { return test::kPrimaryMonitor.rect.y + y; }

  test::MonitorLayoutServer server_;
  std::optional<test::ScopedEnv> display_;
  test::TempDir dir_;
  test::TempDir out_;
  SettingsStore store_{dir_.path() + "/configure.ini"};
  QuietListener listener_;
  int counter_ = 0;
};

TEST_F(MonitorRecordingTest, TheWholeScreenIsThePrimaryMonitor) {
  const auto pictures = Record();
  ASSERT_FALSE(pictures.empty());
  const test::RgbPicture& picture = pictures.back();
  EXPECT_EQ(picture.width, 1600);
  EXPECT_EQ(picture.height, 900);
  // Another monitor or the grey between them would show at an edge.
  EXPECT_EQ(PixelsUnlike(picture, test::kPrimaryMonitor.rgb, 24), 0);
}

// A region reaching past the primary monitor is cut at its edge, not at the
// root window's, and lies where the monitor does.
TEST_F(MonitorRecordingTest, ARegionIsPlacedOnThePrimaryMonitorAndCutToIt) {
  store_.SetInt(kUserDefinedRegionCheck, 1);
  store_.SetInt(kRegionOffsetX, 1400);
  store_.SetInt(kRegionOffsetY, 800);
  store_.SetInt(kRegionWidth, 320);
  store_.SetInt(kRegionHeight, 240);
  const auto pictures = Record();
  ASSERT_FALSE(pictures.empty());
  const test::RgbPicture& picture = pictures.back();
  EXPECT_EQ(picture.width, 200);
  EXPECT_EQ(picture.height, 100);
  EXPECT_EQ(PixelsUnlike(picture, test::kPrimaryMonitor.rgb, 24), 0);
}

// With the pointer on another monitor the followed rectangle stays on the
// primary one and shows no cursor; once the pointer is on the primary
// monitor, the cursor is drawn.
TEST_F(MonitorRecordingTest, FollowMouseStaysOnThePrimaryMonitor) {
  store_.SetInt(kMouseCheck, 1);
  store_.SetInt(kMouseFollowCheck, 1);
  store_.SetInt(kMouseFollowRatioWidth, 640);
  store_.SetInt(kMouseFollowRatioHeight, 480);
  server_.WarpPointer(100, 300);  // on the left monitor
  ASSERT_TRUE(server_.RoundTrip());
  const auto pictures = Record([this] {
    server_.WarpPointer(RootX(800), RootY(450));
    ASSERT_TRUE(server_.RoundTrip());
  });
  ASSERT_GE(pictures.size(), 2u);
  EXPECT_EQ(pictures.front().width, 640);
  EXPECT_EQ(pictures.front().height, 480);
  EXPECT_EQ(PixelsUnlike(pictures.front(), test::kPrimaryMonitor.rgb, 24), 0);
  EXPECT_GT(PixelsUnlike(pictures.back(), test::kPrimaryMonitor.rgb, 24), 20)
      << "no cursor drawn with the pointer on the primary monitor";
}

}  // namespace
}  // namespace tarn
