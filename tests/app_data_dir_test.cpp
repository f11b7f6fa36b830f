#include "platform/app_data_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "platform/user_dirs.h"
#include "tests/support/temp_dir.h"

namespace tarn {
namespace {

namespace fs = std::filesystem;
using test::ScopedEnv;
using test::TempDir;

class AppDataDirTest : public ::testing::Test {
 protected:
  TempDir home_;
  ScopedEnv homeEnv_{"HOME", home_.path()};
  ScopedEnv dataEnv_{"XDG_DATA_HOME", std::nullopt};
};

TEST_F(AppDataDirTest, FreshHomeGetsEveryMissingLevel) {
  // Neither .local nor .local/share exists yet.
  const std::string dir = GetAppDataDir(kLogRelativeDir);
  EXPECT_EQ(dir, home_.path() + "/.local/share/TarnRecorder/Log");
  EXPECT_TRUE(fs::is_directory(dir));
  // A second call finds everything in place and returns the same path.
  EXPECT_EQ(GetAppDataDir(kLogRelativeDir), dir);
}

TEST_F(AppDataDirTest, DataHomeVariableIsTheRootWhenAbsolute) {
  ScopedEnv data("XDG_DATA_HOME", home_ / "data/deep/");
  EXPECT_EQ(GetAppDataDir(kConfigRelativeDir), home_.path() + "/data/deep/TarnRecorder/Config");
  EXPECT_TRUE(fs::is_directory(home_ / "data/deep/TarnRecorder/Config"));
}

TEST_F(AppDataDirTest, RelativeDataHomeIsIgnored) {
  ScopedEnv data("XDG_DATA_HOME", std::string("relative/data"));
  EXPECT_EQ(GetAppDataDir(kConfigRelativeDir),
            home_.path() + "/.local/share/TarnRecorder/Config");
}

TEST_F(AppDataDirTest, UncreatableLevelIsReportedAndThePathStillReturned) {
  // A regular file stands where a folder level should be.
  fs::create_directories(home_ / ".local");
  std::ofstream(home_ / ".local/share") << "not a folder";
  testing::internal::CaptureStdout();
  const std::string dir = GetAppDataDir(kLogRelativeDir);
  const std::string console = testing::internal::GetCapturedStdout();
  EXPECT_EQ(dir, home_.path() + "/.local/share/TarnRecorder/Log");
  EXPECT_FALSE(fs::exists(dir));
  EXPECT_NE(console.find("create dir error fullPath: " + home_.path() + "/.local/share/TarnRecorder"),
            std::string::npos)
      << console;
  EXPECT_NE(console.find("create dir error curPath: " + dir), std::string::npos) << console;
}

TEST_F(AppDataDirTest, CreateDirectoryLevelsHandlesTrailingAndDoubledSlashes) {
  EXPECT_TRUE(CreateDirectoryLevels(home_ / "a//b/c/"));
  EXPECT_TRUE(fs::is_directory(home_ / "a/b/c"));
  EXPECT_FALSE(CreateDirectoryLevels(""));
}

TEST_F(AppDataDirTest, NoHomeFallsBackToThePasswordDatabase) {
  ScopedEnv noHome("HOME", std::nullopt);
  const std::string home = platform::HomeDir();
  ASSERT_FALSE(home.empty());
  EXPECT_EQ(home.front(), '/');
  EXPECT_EQ(platform::LocalAppDataDir(), (home == "/" ? "" : home) + "/.local/share");
}

TEST_F(AppDataDirTest, RuntimeDirFallbackIsPrivatePerUser) {
  ScopedEnv noRuntime("XDG_RUNTIME_DIR", std::nullopt);
  const std::string dir = platform::RuntimeDir();
  ASSERT_TRUE(platform::IsDirectory(dir));
  struct stat info {};
  ASSERT_EQ(::stat(dir.c_str(), &info), 0);
  EXPECT_EQ(info.st_uid, ::getuid());
  EXPECT_EQ(info.st_mode & 0077, 0u);
}

}  // namespace
}  // namespace tarn
