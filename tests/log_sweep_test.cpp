#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <fstream>

#include "app/log_setup.h"
#include "tests/support/temp_dir.h"

namespace tarn {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

std::string DateText(std::time_t when) {
  std::tm local {};
  localtime_r(&when, &local);
  char text[16];
  std::strftime(text, sizeof text, "%Y%m%d", &local);
  return text;
}

void Touch(const std::string& path) { std::ofstream(path) << "x"; }

TEST(LogSweepTest, OnlyTodaysFilesAndFoldersSurvive) {
  TempDir dir;
  const std::time_t now = std::time(nullptr);
  const std::string today = DateText(now);
  const std::string yesterday = DateText(now - 24 * 3600);
  const std::string todayFile = "log." + today + "-093000.4242";
  const std::string oldFile = "log." + yesterday + "-235959.17";
  Touch(dir / todayFile);
  Touch(dir / oldFile);
  Touch(dir / "log.2024");         // shorter than 12 characters: its date part is cut off
  Touch(dir / "notes.txt");        // not a log, no date in its place
  Touch(dir / ("xxxx" + today));   // any name with today's date in the date place stays
  fs::create_directory(dir / "archive");
  Touch(dir / "archive/log.19990101-000000.1");  // inside a sub-folder: not looked at

  ASSERT_EQ(SweepStaleLogs(dir.path(), now), 0);

  EXPECT_TRUE(fs::exists(dir / todayFile));
  EXPECT_TRUE(fs::exists(dir / ("xxxx" + today)));
  EXPECT_FALSE(fs::exists(dir / oldFile));
  EXPECT_FALSE(fs::exists(dir / "log.2024"));
  EXPECT_FALSE(fs::exists(dir / "notes.txt"));
  EXPECT_TRUE(fs::is_directory(dir / "archive"));
  EXPECT_TRUE(fs::exists(dir / "archive/log.19990101-000000.1"));
}

TEST(LogSweepTest, DateComesFromTheGivenClock) {
  TempDir dir;
  Touch(dir / "log.20240229-120000.1");
  std::tm leapDay {};
  leapDay.tm_year = 2024 - 1900;
  leapDay.tm_mon = 1;
  leapDay.tm_mday = 29;
  leapDay.tm_hour = 12;
  leapDay.tm_isdst = -1;
  const std::time_t thatDay = std::mktime(&leapDay);
  ASSERT_EQ(SweepStaleLogs(dir.path() + "/", thatDay), 0);
  EXPECT_TRUE(fs::exists(dir / "log.20240229-120000.1"));
  ASSERT_EQ(SweepStaleLogs(dir.path(), thatDay + 24 * 3600), 0);
  EXPECT_FALSE(fs::exists(dir / "log.20240229-120000.1"));
}

TEST(LogSweepTest, UnlistableFolderEndsWithMinusOne) {
  TempDir dir;
  EXPECT_EQ(SweepStaleLogs(dir / "missing", std::time(nullptr)), -1);
  Touch(dir / "file");
  EXPECT_EQ(SweepStaleLogs(dir / "file", std::time(nullptr)), -1);
}

}  // namespace
}  // namespace tarn
