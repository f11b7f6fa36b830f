// Where the program's shipped files are found: beside the executable in the
// build tree, under <prefix>/share/tarnrecorder in an installed tree.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/program_dir.h"
#include "tests/support/temp_dir.h"

namespace tarn {
namespace {

namespace fs = std::filesystem;

TEST(DataDirTest, BuildTreeWithSkinBesideTheProgram) {
  test::TempDir tree;
  fs::create_directories(tree / "bin/skin");
  // A share folder of an older install next to the build must not win.
  fs::create_directories(tree / "share/tarnrecorder/skin");
  EXPECT_EQ(platform::DataDirFor(tree / "bin"), tree / "bin");
}

TEST(DataDirTest, InstalledTreeUnderAnyPrefix) {
  test::TempDir tree;
  for (const char* prefix : {"usr", "opt/tarn", "home/user/.local"}) {
    SCOPED_TRACE(prefix);
    const std::string root = tree / prefix;
    fs::create_directories(root + "/bin");
    fs::create_directories(root + "/share/tarnrecorder/skin");
    EXPECT_EQ(platform::DataDirFor(root + "/bin"), root + "/share/tarnrecorder");
  }
}

TEST(DataDirTest, NeitherPlaceHoldsTheSkin) {
  test::TempDir tree;
  fs::create_directories(tree / "bin");
  // A share folder without its skin is not the program's.
  fs::create_directories(tree / "share/tarnrecorder");
  // A file named skin is not the skin folder.
  std::ofstream(tree / "bin/skin") << "not a folder";
  EXPECT_EQ(platform::DataDirFor(tree / "bin"), tree / "bin");
  EXPECT_EQ(platform::DataDirFor(""), "");
}

}  // namespace
}  // namespace tarn
