#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/user_dirs.h"
#include "settings/settings_store.h"
#include "tests/support/temp_dir.h"

namespace tarn {
namespace {

namespace fs = std::filesystem;

// A fresh home with no user-dirs configuration of its own.
class OutputDirTest : public ::testing::Test {
 protected:
  std::string ReadIni() {
    std::ostringstream text;
    text << std::ifstream(store_.path(), std::ios::binary).rdbuf();
    return text.str();
  }

  test::TempDir dir_;
  const std::string home_ = dir_ / "home";
  test::ScopedEnv homeEnv_{"HOME", home_};
  test::ScopedEnv configEnv_{"XDG_CONFIG_HOME", std::nullopt};
  SettingsStore store_{dir_ / "configure.ini"};
};

TEST_F(OutputDirTest, DesktopWhenDocumentsIsMissing) {
  for (const bool documentsIsFile : {false, true}) {
    SCOPED_TRACE(documentsIsFile ? "Documents is a file" : "no Documents");
    fs::remove_all(home_);
    fs::create_directory(home_);
    if (documentsIsFile) std::ofstream(home_ + "/Documents") << "x";
    const std::string expected = home_ + "/Desktop/TARN屏幕录制";
    EXPECT_EQ(GetOutputDir(store_), expected);
    EXPECT_TRUE(platform::IsDirectory(expected)) << "Desktop and its sub-folder are created";
    EXPECT_EQ(platform::IsDirectory(home_ + "/Documents"), false);
  }
}

TEST_F(OutputDirTest, DocumentsWhenPresent) {
  fs::create_directories(home_ + "/Documents");
  EXPECT_EQ(GetOutputDir(store_), home_ + "/Documents/TARN屏幕录制");
  EXPECT_TRUE(platform::IsDirectory(home_ + "/Documents/TARN屏幕录制"));
  EXPECT_FALSE(platform::PathExists(home_ + "/Desktop"));
  EXPECT_FALSE(platform::PathExists(store_.path())) << "the derived folder is not written back";
}

TEST_F(OutputDirTest, DocumentsNamedByUserDirs) {
  fs::create_directories(home_ + "/.config");
  fs::create_directories(home_ + "/Dokumente");
  fs::create_directories(home_ + "/Documents");
  std::ofstream(home_ + "/.config/user-dirs.dirs") << "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n";
  EXPECT_EQ(GetOutputDir(store_), home_ + "/Dokumente/TARN屏幕录制");
  EXPECT_TRUE(platform::IsDirectory(home_ + "/Dokumente/TARN屏幕录制"));
}

TEST_F(OutputDirTest, StoredFolderCreatedLevelByLevel) {
  const std::string deep = dir_ / "rec/one/two/three";
  ASSERT_TRUE(store_.SetString(kOutputDir, deep));
  const std::string before = ReadIni();
  EXPECT_EQ(GetOutputDir(store_), deep);
  EXPECT_TRUE(platform::IsDirectory(deep));
  EXPECT_EQ(ReadIni(), before);

  // An empty value means the derived folder, which is not stored either.
  ASSERT_TRUE(store_.SetString(kOutputDir, ""));
  const std::string emptied = ReadIni();
  EXPECT_EQ(GetOutputDir(store_), home_ + "/Desktop/TARN屏幕录制");
  EXPECT_EQ(ReadIni(), emptied);
}

}  // namespace
}  // namespace tarn
