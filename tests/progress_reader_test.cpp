// The transcoder's output read in pieces: markers cut by chunk boundaries,
// times that must not move the progress, the completion marker, and the line
// kept as the reason of a failure.

#include "ui/tools/progress_reader.h"

#include <gtest/gtest.h>

#include <string>

namespace tarn::ui::tools {
namespace {

// Output as ffmpeg writes it into a pipe: progress lines end in "\r".
const std::string kRun =
    "ffmpeg version 5.1.9 Copyright (c) 2000-2026 the FFmpeg developers\n"
    "Input #0, mov,mp4,m4a,3gp,3g2,mj2, from 'in.mp4':\n"
    "  Duration: 00:01:23.45, start: 0.000000, bitrate: 83 kb/s\n"
    "Output #0, mp4, to 'out.mp4':\n"
    "frame=   10 fps=0.0 q=28.0 size=       0kB time=-00:00:00.02 bitrate=N/A speed=N/A    \r"
    "frame=   20 fps=0.0 q=28.0 size=       0kB time=N/A bitrate=N/A speed=N/A    \r"
    "frame=  300 fps=0.0 q=28.0 size=     256kB time=00:00:10.00 bitrate= 209.7kbits/s    \r"
    "frame=  900 fps=0.0 q=28.0 size=     512kB time=00:00:41.72 bitrate= 100.5kbits/s    \r"
    "frame= 2503 fps=900 q=-1.0 Lsize=    1024kB time=00:01:23.40 bitrate= 100.5kbits/s    \n"
    "video:900kB audio:100kB subtitle:0kB other streams:0kB global headers:0kB muxing overhead: 2.4%\n";

TEST(MarkerTimeTest, TheDigitsAfterThePointArePlainMilliseconds) {
  EXPECT_EQ(MarkerTimeMs("00:00:12.34"), 12034);
  EXPECT_EQ(MarkerTimeMs("01:02:03.04"), 3600000 + 120000 + 3000 + 4);
  EXPECT_EQ(MarkerTimeMs("00:01:23.45"), 83045);
  EXPECT_EQ(MarkerTimeMs("-00:00:00.02"), std::nullopt);
  EXPECT_EQ(MarkerTimeMs("N/A bitrate"), std::nullopt);
  EXPECT_EQ(MarkerTimeMs("00:0x:12.34"), std::nullopt);
}

TEST(ProgressReaderTest, AWholeRunGivesDurationFurthestPositionAndCompletion) {
  ProgressReader reader;
  const ProgressReader::Update update = reader.Feed(kRun);
  EXPECT_TRUE(update.duration);
  EXPECT_TRUE(update.position);
  EXPECT_TRUE(update.completion);
  EXPECT_EQ(reader.durationMs(), 83045);
  EXPECT_EQ(reader.positionMs(), 83040);
  EXPECT_TRUE(reader.completed());
  // The negative and "N/A" times are not counted.
  EXPECT_EQ(reader.positionMarkers(), 3u);
}

TEST(ProgressReaderTest, EverySplitOfTheOutputReadsTheSame) {
  // Two chunks, split at every byte: markers cut anywhere are bridged.
  for (std::size_t split = 0; split <= kRun.size(); ++split) {
    SCOPED_TRACE(split);
    ProgressReader reader;
    reader.Feed(std::string_view(kRun).substr(0, split));
    reader.Feed(std::string_view(kRun).substr(split));
    ASSERT_EQ(reader.durationMs(), 83045);
    ASSERT_EQ(reader.positionMs(), 83040);
    ASSERT_EQ(reader.positionMarkers(), 3u);
    ASSERT_TRUE(reader.completed());
  }
}

TEST(ProgressReaderTest, TheDurationIsTakenOnceItsElevenCharactersHaveArrived) {
  ProgressReader reader;
  EXPECT_FALSE(reader.Feed("Input #0\n  Duration: 00:01:2").duration);
  EXPECT_EQ(reader.durationMs(), -1);
  EXPECT_TRUE(reader.Feed("3.45").duration);
  EXPECT_EQ(reader.durationMs(), 83045);
  // Only the first input's duration counts.
  reader.Feed(", start: 0\n  Duration: 00:00:01.00, start: 0\n");
  EXPECT_EQ(reader.durationMs(), 83045);
}

TEST(ProgressReaderTest, ThePositionNeverGoesBack) {
  ProgressReader reader;
  reader.Feed("Duration: 00:00:10.00, start\n");
  reader.Feed("frame=1 time=00:00:05.00 bitrate=1\r");
  EXPECT_FALSE(reader.Feed("frame=2 time=00:00:04.00 bitrate=1\r").position);
  EXPECT_FALSE(reader.Feed("frame=3 time=-00:00:07.00 bitrate=1\r").position);
  EXPECT_EQ(reader.positionMs(), 5000);
}

TEST(ProgressReaderTest, PercentStaysBelowAHundredUntilTheEnd) {
  EXPECT_EQ(ProgressPercent(10000, 5000, false), 50);
  EXPECT_EQ(ProgressPercent(10000, 10000, false), 99);
  EXPECT_EQ(ProgressPercent(10000, 12000, false), 99);
  EXPECT_EQ(ProgressPercent(10000, 9000, true), 100);
  EXPECT_EQ(ProgressPercent(-1, 5000, false), 0);
  EXPECT_EQ(ProgressPercent(0, 5000, false), 0);
}

TEST(ProgressReaderTest, TheLastMessageLineIsTheReasonOfAFailure) {
  ProgressReader reader;
  reader.Feed("ffmpeg version 5.1\nfoo.mp4: Invalid data found when processing input");
  // The last line has no end yet; the end of the output completes it.
  reader.Finish();
  EXPECT_EQ(reader.lastMessageLine(), "foo.mp4: Invalid data found when processing input");
  EXPECT_FALSE(reader.completed());

  ProgressReader progress;
  progress.Feed("Conversion failed!\nframe=  1 fps=0 time=00:00:01.00 bitrate=1\r\n");
  EXPECT_EQ(progress.lastMessageLine(), "Conversion failed!");
}

}  // namespace
}  // namespace tarn::ui::tools
