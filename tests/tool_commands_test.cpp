// The transcoder's argument lists, the output names and the tables the tool
// pages choose from.

#include "ui/tools/tool_commands.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <set>

#include "tests/support/temp_dir.h"

namespace tarn::ui::tools {
namespace {

using Args = std::vector<std::string>;

std::tm At(int year, int month, int day, int hour, int minute, int second) {
  std::tm time{};
  time.tm_year = year - 1900;
  time.tm_mon = month - 1;
  time.tm_mday = day;
  time.tm_hour = hour;
  time.tm_min = minute;
  time.tm_sec = second;
  return time;
}

TEST(ToolCommandsTest, ACutFromFiveToTwelveAndAHalfSeconds) {
  const std::string output =
      OutputPath("/home/u/videos", "20261208120000.mp4", At(2026, 12, 8, 9, 5, 7), "mp4", nullptr);
  EXPECT_EQ(output, "/home/u/videos/20261208120000-20261208090507.mp4");
  EXPECT_EQ(CutArguments("/in/a b.mkv", FormatCutTime(5000), FormatCutTime(12500), output),
            (Args{"-y", "-i", "/in/a b.mkv", "-ss", "00:00:05.000", "-to", "00:00:12.500", output}));
  EXPECT_EQ(FormatCutTime(CutTimeMs(1, 2, 3, 4)), "01:02:03.004");
  EXPECT_EQ(FormatCutTime(-5), "00:00:00.000");
}

TEST(ToolCommandsTest, ConvertKeepsTheSizeWithoutSizeArgument) {
  EXPECT_EQ(ConvertArguments("in.mp4", FrameSizeAt(0), "out.mkv"),
            (Args{"-y", "-i", "in.mp4", "out.mkv"}));
  EXPECT_EQ(ConvertArguments("in.mp4", FrameSizeAt(12), "out.flv"),
            (Args{"-y", "-i", "in.mp4", "-s", "320*240", "out.flv"}));
  EXPECT_EQ(FrameSizeArgument(*FrameSizeAt(1)), "1920*1080");
  EXPECT_EQ(FrameSizeArgument(*FrameSizeAt(10)), "480*272");
  EXPECT_FALSE(FrameSizeAt(13));
  EXPECT_FALSE(FrameSizeAt(-1));
}

TEST(ToolCommandsTest, CompressQualityAndPreset) {
  EXPECT_EQ(CompressRateFactor(CompressType::kGeneral, false, 40), 28);
  EXPECT_EQ(CompressRateFactor(CompressType::kDeep, false, 40), 34);
  EXPECT_EQ(CompressRateFactor(CompressType::kLimit, false, 40), 38);
  EXPECT_EQ(CompressRateFactor(CompressType::kDeep, true, 40), 40);
  EXPECT_STREQ(CompressPreset(true), "fast");
  EXPECT_STREQ(CompressPreset(false), "ultrafast");
  EXPECT_EQ(CompressArguments("in.mp4", FrameSizeAt(0), "ultrafast", 34, "out.mp4"),
            (Args{"-y", "-i", "in.mp4", "-preset", "ultrafast", "-crf", "34", "out.mp4"}));
  EXPECT_EQ(CompressArguments("in.mp4", FrameSizeAt(2), "fast", 28, "out.flv"),
            (Args{"-y", "-i", "in.mp4", "-s", "1280*720", "-preset", "fast", "-crf", "28",
                  "out.flv"}));
}

TEST(ToolCommandsTest, OutputNamesNeverReuseATakenName) {
  std::set<std::string> taken = {"/v/clip-20260102030405.mp4", "/v/clip-20260102030405-1.mp4"};
  const auto isTaken = [&](const std::string& path) { return taken.count(path) != 0; };
  EXPECT_EQ(OutputPath("/v", "clip.avi", At(2026, 1, 2, 3, 4, 5), "mp4", isTaken),
            "/v/clip-20260102030405-2.mp4");
  // Only the last point starts the extension.
  EXPECT_EQ(OutputPath("/v", "my.clip.v2.mov", At(2026, 1, 2, 3, 4, 5), "flv", isTaken),
            "/v/my.clip.v2-20260102030405.flv");
}

TEST(ToolCommandsTest, TheTranscoderBesideTheProgramComesBeforePath) {
  test::TempDir dir;
  const std::string program = dir / "program";
  const std::string onPath = dir / "bin";
  const std::string folderNamedFfmpeg = dir / "other";
  for (const std::string& d : {program, onPath, folderNamedFfmpeg}) ::mkdir(d.c_str(), 0755);
  ::mkdir((folderNamedFfmpeg + "/ffmpeg").c_str(), 0755);
  const auto makeExecutable = [](const std::string& path) {
    std::ofstream(path) << "#!/bin/sh\n";
    ::chmod(path.c_str(), 0755);
  };
  EXPECT_EQ(FindTranscoder(program, folderNamedFfmpeg + ":" + onPath), "");
  makeExecutable(onPath + "/ffmpeg");
  EXPECT_EQ(FindTranscoder(program, folderNamedFfmpeg + "::" + onPath), onPath + "/ffmpeg");
  makeExecutable(program + "/ffmpeg");
  EXPECT_EQ(FindTranscoder(program, onPath), program + "/ffmpeg");
}

}  // namespace
}  // namespace tarn::ui::tools
