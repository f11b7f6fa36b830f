#pragma once
// Shared by the output file tests: the containers, a fixture with a private
// folder (and a small tmpfs when a test mounts one), recording a file from
// real encoders, and checks of the files left behind.

#include <glog/logging.h>
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "recorder/output/output_file.h"
#include "tests/support/test_media.h"

namespace tarn::test {

namespace fs = std::filesystem;

inline constexpr const char* kExtensions[] = {"mp4", "mov", "mkv", "flv", "wmv", "avi"};

inline bool IsFragmented(const std::string& ext) { return ext == "mp4" || ext == "mov"; }

// Parameter sets in the header where the container keeps them there, as the
// recorder opens its encoder.
inline bool WantsGlobalHeader(const std::string& path) {
  const AVOutputFormat* format = av_guess_format(nullptr, path.c_str(), nullptr);
  const std::string ext = path.substr(path.rfind('.') + 1);
  return ext == "mp4" || ext == "mov" || ext == "mkv" ||
         (format != nullptr && (format->flags & AVFMT_GLOBALHEADER));
}

inline std::vector<std::string> FolderEntries(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

// Counts the error lines logged while it exists.
class ErrorLines : public google::LogSink {
 public:
  ErrorLines() { google::AddLogSink(this); }
  ~ErrorLines() override { google::RemoveLogSink(this); }
  void send(google::LogSeverity severity, const char*, const char*, int, const struct ::tm*,
            const char* message, size_t length) override {
    if (severity < google::GLOG_ERROR) return;
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.emplace_back(message, length);
  }
  std::vector<std::string> lines() {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> lines_;
};

class OutputFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    av_log_set_level(AV_LOG_ERROR);
    char pattern[] = "/tmp/tarn-output-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    if (!mountPoint_.empty()) ::umount(mountPoint_.c_str());
    fs::remove_all(dir_);
  }

  // A recording of `seconds` written and finished; the pictures encoded.
  struct Recorded {
    std::int64_t pictures = 0;
    bool finished = false;
  };
  Recorded Record(const std::string& path, double seconds, TestMedia::Options options = {},
                  const std::vector<int>& skipSlots = {}) {
    Recorded result;
    options.globalHeader = WantsGlobalHeader(path);
    TestMedia media(options);
    EXPECT_TRUE(media.ok());
    OutputFile output;
    EXPECT_EQ(output.Create(path), 0) << output.error();
    const int video = output.AddStream(media.video());
    const int audio = output.AddStream(media.audio());
    EXPECT_EQ(output.Open(), 0) << output.error();
    auto write = [&](AVPacket* packet, bool isVideo) {
      return output.Write(packet, isVideo ? video : audio);
    };
    EXPECT_TRUE(media.EncodeUntil(seconds, write, skipSlots));
    EXPECT_TRUE(media.Drain(write));
    result.finished = output.Finish();
    EXPECT_TRUE(result.finished) << output.error();
    result.pictures = media.picturesEncoded();
    return result;
  }

  std::string dir_;
  std::string mountPoint_;
};

// Each container written for five seconds at 24 pictures a second and read
// back: every picture decodes, has its time and its duration, the stated

inline void ExpectRegularFastStart(const std::string& path) {
  const auto boxes = test::TopLevelBoxes(path);
  const auto moov = std::find(boxes.begin(), boxes.end(), "moov");
  const auto mdat = std::find(boxes.begin(), boxes.end(), "mdat");
  EXPECT_TRUE(moov < mdat && mdat != boxes.end());
  EXPECT_EQ(std::count(boxes.begin(), boxes.end(), "moof"), 0);
}

}  // namespace tarn::test
