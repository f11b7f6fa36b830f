// The options of a recording as the main window and tarn-record build them.

#include "recorder/recording_options.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "settings/settings_keys.h"
#include "settings/settings_store.h"
#include "tests/support/temp_dir.h"

namespace tarn {
namespace {

constexpr std::time_t kNoon = 1796731200;  // some moment; its local text is what matters

std::string Stamp(std::time_t t) {
  std::tm local{};
  localtime_r(&t, &local);
  char text[32] = {};
  std::strftime(text, sizeof text, "%Y%m%d%H%M%S", &local);
  return text;
}

TEST(RecordingOptionsTest, NamesNeverReplaceAFileOrAnUnfinishedRecording) {
  test::TempDir dir;
  const std::string stamp = Stamp(kNoon);
  EXPECT_EQ(RecordingFileName(dir.path(), "mp4", kNoon), stamp + ".mp4");
  std::ofstream(dir / (stamp + ".mp4")) << "taken";
  EXPECT_EQ(RecordingFileName(dir.path(), "mp4", kNoon), stamp + "-1.mp4");
  // A crash left "-1" unfinished: its marker keeps the name taken too.
  std::ofstream(dir / ("." + stamp + "-1.mp4.recording"));
  EXPECT_EQ(RecordingFileName(dir.path(), "mp4", kNoon), stamp + "-2.mp4");
  EXPECT_EQ(RecordingFileName(dir.path(), "mkv", kNoon), stamp + ".mkv");
}

TEST(RecordingOptionsTest, SettingsOutsideTheirRangeFallBackAndOverridesWin) {
  test::TempDir dir;
  SettingsStore store(dir / "configure.ini");
  store.SetString(kOutputDir, dir / "videos");
  struct Case {
    const char* rate;
    int expected;
  };
  for (const Case& c : {Case{"0", 24}, Case{"121", 24}, Case{"100000", 24}, Case{"-5", 24},
                        Case{"1", 1}, Case{"120", 120}, Case{"30", 30}}) {
    SCOPED_TRACE(c.rate);
    store.SetString(kVideoFramerate, c.rate);
    EXPECT_EQ(MakeRecordingOptions(store, {}, kNoon).frameRate, c.expected);
  }
  store.SetString(kQuality, "7");
  store.SetString(kVideoFormat, "webm");  // not offered: MP4
  RecordingOptions options = MakeRecordingOptions(store, {}, kNoon);
  EXPECT_EQ(options.quality, 1);
  EXPECT_EQ(options.containerExt, "mp4");
  EXPECT_EQ(options.outputDir, dir / "videos");
  EXPECT_EQ(options.path(), dir / ("videos/" + Stamp(kNoon) + ".mp4"));

  RecordingOverrides overrides;
  overrides.format = "wmv";
  overrides.frameRate = 60;
  overrides.quality = 0;
  overrides.outputDir = dir / "elsewhere/";
  options = MakeRecordingOptions(store, overrides, kNoon);
  EXPECT_EQ(options.containerExt, "wmv");
  EXPECT_EQ(options.containerName, "asf");
  EXPECT_EQ(options.frameRate, 60);
  EXPECT_EQ(options.quality, 0);
  EXPECT_EQ(options.outputDir, dir / "elsewhere");  // made, without its trailing slash
  EXPECT_TRUE(std::filesystem::is_directory(dir / "elsewhere"));
}

}  // namespace
}  // namespace tarn
