#include "ui/main/recorded_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "recorder/media_info.h"
#include "tests/support/temp_dir.h"

namespace tarn::ui {
namespace {

TEST(RecordedFileTest, SizesAreShownInTheirUnit) {
  struct Case {
    std::int64_t size;
    const char* text;
  };
  const Case cases[] = {
      {0, "0B"},
      {1023, "1023B"},
      {1024, "1KB"},
      {1048575, "1023KB"},  // truncated, not rounded
      {1048576, "1.00M"},
      {1572864, "1.50M"},
      {1073741823, "1024.00M"},  // one byte short of 1 G, rounded up in single precision
      {1073741824, "1.00G"},
      {5368709120LL, "5.00G"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    EXPECT_EQ(FormatFileSize(c.size), c.text);
  }
}

TEST(RecordedFileTest, DurationsAndNames) {
  EXPECT_EQ(FormatDuration(3725), "01:02:05");
  EXPECT_EQ(FormatDuration(59.99), "00:00:59");
  EXPECT_EQ(FormatDuration(-1), "00:00:00");
  EXPECT_EQ(FormatDuration(360000), "100:00:00");
  for (const char* name : {"a.mp4", "20261208093000.mkv", "x.y.wmv", ".avi"}) {
    EXPECT_TRUE(IsRecordingName(name)) << name;
  }
  for (const char* name : {"a.MP4", "a.mp4.txt", "mkv", "a.", "notes.txt", "a.webm"}) {
    EXPECT_FALSE(IsRecordingName(name)) << name;
  }
}

TEST(RecordedFileTest, MediaDurationOfGoodBadAndStreamlessFiles) {
  if (std::system("command -v ffmpeg >/dev/null 2>&1") != 0) GTEST_SKIP() << "ffmpeg is not installed";
  test::TempDir dir;
  ASSERT_EQ(std::system(("ffmpeg -v error -f lavfi -i testsrc=duration=2:size=64x48:rate=10 "
                         "-f lavfi -i sine=duration=2 -c:v libx264 -c:a aac -shortest '" +
                         (dir / "clip.mp4") + "'").c_str()),
            0);
  EXPECT_NEAR(GetMediaDuration(dir / "clip.mp4"), 2.0, 0.1);

  std::ofstream(dir / "text.mp4") << "this is not a video";
  EXPECT_EQ(GetMediaDuration(dir / "text.mp4"), 0);
  std::filesystem::create_directory(dir / "folder.mp4");
  EXPECT_EQ(GetMediaDuration(dir / "folder.mp4"), 0);
  EXPECT_EQ(GetMediaDuration(dir / "missing.mp4"), 0);

  // Subtitles only: a media file without a video or audio stream.
  std::ofstream(dir / "only.srt") << "1\n00:00:00,000 --> 00:00:01,000\nhello\n\n";
  EXPECT_EQ(GetMediaDuration(dir / "only.srt"), -1);
}

}  // namespace
}  // namespace tarn::ui
