#include "settings/settings_store.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/user_dirs.h"
#include "settings/ini_document.h"
#include "tests/support/temp_dir.h"

namespace tarn {
namespace {

namespace fs = std::filesystem;

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

class SettingsStoreTest : public ::testing::Test {
 protected:
  test::TempDir dir_;
  std::string iniPath_ = dir_ / "configure.ini";
  SettingsStore store_{iniPath_};
};

TEST_F(SettingsStoreTest, GetIntParsesLeadingDecimalDigits) {
  WriteFile(iniPath_,
            "[global]\n"
            "plain=42\nminus=-5\nplus=+7\nblank=\" \t7\"\nletters=abc\nsuffix=12abc\n"
            "sign-only=-\nempty=\nwrap=4294967295\nwrap-zero=4294967296\nmin=2147483648\n"
            "long=" + std::string(28, '0') + "12\n");
  const struct {
    const char* key;
    int expected;
  } cases[] = {
      {"plain", 42},     {"minus", -5},         {"plus", 7},          {"blank", 7},
      {"letters", 0},    {"suffix", 12},        {"sign-only", 0},     {"empty", 99},
      {"wrap", -1},      {"wrap-zero", 0},      {"min", INT_MIN},     {"absent", 99},
      {"long", 1},  // only the first 29 characters count
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key);
    EXPECT_EQ(store_.GetInt("global", c.key, 99), c.expected);
  }
  EXPECT_EQ(store_.GetInt("other-section", "plain", 99), 99);
  EXPECT_EQ(SettingsStore(dir_ / "absent.ini").GetInt(kQuality, kQualityDefault), kQualityDefault);
}

TEST_F(SettingsStoreTest, GetStringTruncatesToCapacityInCharacters) {
  WriteFile(iniPath_,
            "[global]\nascii=abcdef\nwide=屏幕录制\nbad=\xFF\xFE" "ab\ncut=a\xE5\xB1\nempty=\n");
  const struct {
    const char* what;
    const char* key;
    std::size_t capacity;
    std::string expected;
  } cases[] = {
      {"fits", "ascii", 7, "abcdef"},
      {"truncated", "ascii", 4, "abc"},
      {"capacity 1 copies nothing", "ascii", 1, ""},
      {"capacity 0", "ascii", 0, ""},
      {"multi-byte characters stay whole", "wide", 3, "屏幕"},
      {"default used when absent", "absent", kWatermarkTextDescCapacity, "TARN屏幕录制"},
      {"default truncated", "absent", 6, "TARN屏"},
      {"invalid bytes count one each", "bad", 3, "\xFF\xFE"},
      {"incomplete sequence", "cut", 3, "a\xE5"},
      {"empty value is not the default", "empty", 20, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string out = "stale";
    EXPECT_EQ(store_.GetString("global", c.key, kWatermarkTextDescDefault, out, c.capacity),
              !c.expected.empty());
    EXPECT_EQ(out, c.expected);
  }
  EXPECT_EQ(store_.GetString(kWatermarkColor, kWatermarkColorDefault, kWatermarkColorCapacity),
            "red");
}

TEST_F(SettingsStoreTest, SetStringCreatesFoldersAndKeepsOtherLines) {
  SettingsStore deep(dir_ / "a/b/c/configure.ini");
  ASSERT_TRUE(deep.SetInt(kVoiceSize, 30));
  EXPECT_EQ(ReadFile(deep.path()), "[global]\nvoice-size=30\n");
  EXPECT_EQ(deep.GetInt(kVoiceSize, kVoiceSizeDefault), 30);

  const std::string before = "; keep me\r\n[Global]\r\nVOICE-SIZE = 10\r\nbroken line\r\n";
  WriteFile(iniPath_, before);
  ASSERT_TRUE(store_.SetString("global", "voice-size", "-3"));
  ASSERT_TRUE(store_.SetString(kVideoFormat, "flv"));
  EXPECT_EQ(ReadFile(iniPath_),
            "; keep me\n[Global]\nVOICE-SIZE = -3\nbroken line\nvideo-format=flv\n");
  EXPECT_EQ(store_.GetInt(kVoiceSize, kVoiceSizeDefault), -3);
}

TEST_F(SettingsStoreTest, WriteKeepsPermissionsAndSymlinks) {
  fs::create_directory(dir_ / "real");
  WriteFile(dir_ / "real/target.ini", "[global]\nquality=2\n");
  ::chmod((dir_ / "real/target.ini").c_str(), 0640);
  fs::create_symlink("real/target.ini", iniPath_);

  ASSERT_TRUE(store_.SetInt(kQuality, 0));
  EXPECT_TRUE(fs::is_symlink(iniPath_));
  EXPECT_EQ(ReadFile(dir_ / "real/target.ini"), "[global]\nquality=0\n");
  struct stat info {};
  ASSERT_EQ(::stat((dir_ / "real/target.ini").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST_F(SettingsStoreTest, FailuresGiveDefaultsAndFalse) {
  // A folder where the file should be cannot be read, even by root.
  fs::create_directory(iniPath_);
  EXPECT_EQ(store_.GetInt(kVoiceSize, kVoiceSizeDefault), kVoiceSizeDefault);
  EXPECT_EQ(store_.GetString(kVideoFormat, kVideoFormatDefault, kVideoFormatCapacity), "mp4");
  EXPECT_FALSE(store_.SetInt(kVoiceSize, 5));
  EXPECT_TRUE(fs::is_directory(iniPath_));

  // A folder that cannot exist because its parent is a regular file.
  WriteFile(dir_ / "plain-file", "x");
  SettingsStore unwritable(dir_ / "plain-file/sub/configure.ini");
  EXPECT_FALSE(unwritable.SetString(kVideoFormat, "mkv"));
  EXPECT_EQ(unwritable.GetString(kVideoFormat, kVideoFormatDefault, kVideoFormatCapacity), "mp4");
  EXPECT_EQ(ReadFile(dir_ / "plain-file"), "x");

  EXPECT_FALSE(store_.SetString("global", "bad=key", "1"));
}

// A writer killed at any moment leaves either the old or the new file, never
// a partial one, and its temporary file is never taken for the settings.
TEST_F(SettingsStoreTest, KilledWriterNeverLeavesPartialFile) {
  constexpr std::size_t kBaseSize = 256 * 1024;
  ASSERT_TRUE(store_.SetString("global", "keep", "kept"));
  ASSERT_TRUE(store_.SetString("global", "big", std::string(kBaseSize, 'a')));

  std::set<char> seenValues;
  for (int round = 0; round < 8; ++round) {
    SCOPED_TRACE(round);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      for (int i = 1;; ++i) {
        const char fill = static_cast<char>('a' + i % 26);
        store_.SetString("global", "big", std::string(kBaseSize + i % 5, fill));
      }
    }
    ::usleep(2000 + round * 3000);
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);

    const IniDocument document = IniDocument::Parse(ReadFile(iniPath_));
    EXPECT_EQ(document.Get("global", "keep"), "kept");
    const std::optional<std::string> big = document.Get("global", "big");
    ASSERT_TRUE(big.has_value());
    ASSERT_GE(big->size(), kBaseSize);
    EXPECT_LT(big->size(), kBaseSize + 5);
    EXPECT_EQ(big->find_first_not_of(big->front()), std::string::npos) << "mixed value";
    seenValues.insert(big->front());
  }
  EXPECT_GT(seenValues.size(), 1u) << "the writer never completed a write";

  // Only the ini, its lock file and leftover temporaries may exist; the next
  // write clears the leftovers.
  ASSERT_TRUE(store_.SetString("global", "keep", "again"));
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir_.path())) {
    names.insert(entry.path().filename());
  }
  EXPECT_EQ(names, (std::set<std::string>{"configure.ini", ".configure.ini.lock"}));
}

TEST_F(SettingsStoreTest, ConcurrentWritersLoseNoKey) {
  constexpr int kWrites = 200;
  SettingsStore second(iniPath_);  // a separate object syncs through the lock file only
  for (SettingsStore* other : {&store_, &second}) {
    SCOPED_TRACE(other == &store_ ? "one shared store" : "two stores");
    fs::remove(iniPath_);
    auto writer = [](SettingsStore* store, const std::string& prefix) {
      for (int i = 0; i < kWrites; ++i) store->SetInt("global", prefix + std::to_string(i), i);
    };
    std::thread first(writer, &store_, "a-");
    std::thread next(writer, other, "b-");
    first.join();
    next.join();
    const IniDocument document = IniDocument::Parse(ReadFile(iniPath_));
    int missing = 0;
    for (int i = 0; i < kWrites; ++i) {
      if (document.Get("global", "a-" + std::to_string(i)) != std::to_string(i)) ++missing;
      if (document.Get("global", "b-" + std::to_string(i)) != std::to_string(i)) ++missing;
    }
    EXPECT_EQ(missing, 0);
  }
}

TEST_F(SettingsStoreTest, OverridesAreReadButNeverWritten) {
  WriteFile(iniPath_, "[global]\nvideo-framerate=30\nvideo-format=avi\n");
  store_.SetOverride(kVideoFramerate, "60fps");
  store_.SetOverride("GLOBAL", "Video-Format", "mkv");
  store_.SetOverride(kQuality, "");
  EXPECT_EQ(store_.GetInt(kVideoFramerate, kVideoFramerateRecordDefault), 60);
  EXPECT_EQ(store_.GetString(kVideoFormat, kVideoFormatDefault, kVideoFormatCapacity), "mkv");
  EXPECT_EQ(store_.GetInt(kQuality, kQualityDefault), kQualityDefault);
  EXPECT_EQ(ReadFile(iniPath_), "[global]\nvideo-framerate=30\nvideo-format=avi\n");

  ASSERT_TRUE(store_.SetInt(kVideoFramerate, 15));
  EXPECT_EQ(store_.GetInt(kVideoFramerate, kVideoFramerateRecordDefault), 60);
  EXPECT_EQ(ReadFile(iniPath_), "[global]\nvideo-framerate=15\nvideo-format=avi\n");

  store_.ClearOverrides();
  EXPECT_EQ(store_.GetInt(kVideoFramerate, kVideoFramerateRecordDefault), 15);
  EXPECT_EQ(store_.GetString(kVideoFormat, kVideoFormatDefault, kVideoFormatCapacity), "avi");
}

// The only test that calls Instance(): the store keeps the path of its first call.
TEST(SettingsStoreInstanceTest, OneStoreUnderTheDataFolder) {
  test::TempDir dir;
  test::ScopedEnv data("XDG_DATA_HOME", dir / "data");
  std::vector<SettingsStore*> seen(8, nullptr);
  std::vector<std::thread> threads;
  for (auto& slot : seen) threads.emplace_back([&slot] { slot = &SettingsStore::Instance(); });
  for (auto& thread : threads) thread.join();
  for (SettingsStore* store : seen) EXPECT_EQ(store, seen.front());
  EXPECT_EQ(seen.front()->path(), dir / "data/TarnRecorder/Config/configure.ini");
  EXPECT_TRUE(platform::IsDirectory(dir / "data/TarnRecorder/Config"));
  EXPECT_FALSE(platform::PathExists(seen.front()->path())) << "no defaults are written";
}

}  // namespace
}  // namespace tarn
