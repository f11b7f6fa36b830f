// The output file: every container written and read back, files left by a
// killed writer, their recovery, full disks and unwritable folders.

#include "recorder/output/output_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <glog/logging.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>

#include "recorder/output/recording_rewriter.h"
#include "tests/support/test_media.h"

namespace tarn {
namespace {

namespace fs = std::filesystem;
using test::FileFacts;
using test::ReadFile;
using test::TestMedia;

const char* const kExtensions[] = {"mp4", "mov", "mkv", "flv", "wmv", "avi"};

bool IsFragmented(const std::string& ext) { return ext == "mp4" || ext == "mov"; }

// Parameter sets in the header where the container keeps them there, as the
// recorder opens its encoder.
bool WantsGlobalHeader(const std::string& path) {
  const AVOutputFormat* format = av_guess_format(nullptr, path.c_str(), nullptr);
  const std::string ext = path.substr(path.rfind('.') + 1);
  return ext == "mp4" || ext == "mov" || ext == "mkv" ||
         (format != nullptr && (format->flags & AVFMT_GLOBALHEADER));
}

std::vector<std::string> FolderEntries(const std::string& dir) {
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
// rates and durations are the recorded ones, seeking lands on a key picture.
TEST_F(OutputFileTest, EveryContainerReadsBackWithItsRatesDurationsAndTimes) {
  for (const std::string ext : kExtensions) {
    SCOPED_TRACE(ext);
    const std::string path = dir_ + "/round." + ext;
    const Recorded recorded = Record(path, 5.0);
    ASSERT_EQ(recorded.pictures, 120);
    const FileFacts facts = ReadFile(path);
    ASSERT_TRUE(facts.opened) << facts.error;
    EXPECT_EQ(facts.video.packets, 120);
    EXPECT_EQ(facts.video.decodedPictures, 120);
    EXPECT_EQ(facts.video.decodeErrors, 0);
    // AVI stores decoding times only.
    if (ext != "avi") {
      EXPECT_EQ(facts.video.packetsWithoutPts, 0);
    }
    // Matroska, FLV and ASF cannot start before 0: both streams are shifted
    // by the sound encoder's priming (1024 samples), keeping them in step.
    // MP4 and MOV skip the priming with an edit list; AVI plays it.
    const double start = facts.video.startSeconds;
    const bool shifted = ext == "mkv" || ext == "flv" || ext == "wmv";
    EXPECT_NEAR(start, shifted ? 1024.0 / 44100 : 0.0, 0.002);
    EXPECT_NEAR(facts.video.endSeconds - start, 5.0, 0.002);
    EXPECT_NEAR(facts.audio.endSeconds - start, 5.0, 0.05);
    EXPECT_NEAR(av_q2d(facts.video.realFrameRate), 24.0, 0.01);
    if (ext == "mp4" || ext == "mov" || ext == "mkv") {
      EXPECT_NEAR(av_q2d(facts.video.avgFrameRate), 24.0, 0.01);
    }
    if (IsFragmented(ext)) {
      // The last picture has its duration: 120 pictures last 5 s exactly.
      EXPECT_NEAR(facts.video.durationSeconds, 5.0, 0.001);
      const auto boxes = test::TopLevelBoxes(path);
      const auto moov = std::find(boxes.begin(), boxes.end(), "moov");
      const auto mdat = std::find(boxes.begin(), boxes.end(), "mdat");
      EXPECT_TRUE(moov < mdat && mdat != boxes.end());
      EXPECT_EQ(std::count(boxes.begin(), boxes.end(), "moof"), 0);
    }
    // The file lasts until its last sound, which may end up to two sound
    // frames (46 ms) after the last picture: the priming shift and the last
    // frame's padding.
    EXPECT_NEAR(facts.durationSeconds, 5.0, 0.07);
    // Key pictures every 70 slots: 0 and 2.917 s.
    EXPECT_NEAR(test::SeekAndRead(path, start + 3.5), start + 70.0 / 24, 0.002);
    if (ext == "flv") {
      // No claim of the encoder's nominal rate (3.7 Mb/s here).
      EXPECT_TRUE(facts.metadataVideoRate.empty() || std::stod(facts.metadataVideoRate) == 0)
          << facts.metadataVideoRate;
    }
    EXPECT_EQ(FolderEntries(dir_), std::vector<std::string>{"round." + ext});
    fs::remove(path);
  }
}

// Pictures dropped for a while: the picture before the gap lasts until the
// next one, and the file still ends where the last picture ends.
TEST_F(OutputFileTest, DroppedPicturesLeaveAGapNotAShorterFile) {
  for (const std::string ext : {"mp4", "mkv"}) {
    SCOPED_TRACE(ext);
    const std::string path = dir_ + "/gap." + ext;
    std::vector<int> skipped;
    for (int slot = 10; slot < 20; ++slot) skipped.push_back(slot);
    const Recorded recorded = Record(path, 3.0, {.frameRate = 10}, skipped);
    EXPECT_EQ(recorded.pictures, 20);
    const FileFacts facts = ReadFile(path);
    EXPECT_EQ(facts.video.decodedPictures, 20);
    EXPECT_NEAR(facts.video.endSeconds - facts.video.startSeconds, 3.0, 0.002);
    if (ext == "mp4") {
      EXPECT_NEAR(facts.video.durationSeconds, 3.0, 0.001);
    }
  }
}

TEST_F(OutputFileTest, FinishWithNothingWrittenGivesAnEmptyFileAndASecondFinishDoesNothing) {
  for (const std::string ext : kExtensions) {
    SCOPED_TRACE(ext);
    const std::string path = dir_ + "/empty." + ext;
    TestMedia media({.globalHeader = WantsGlobalHeader(path)});
    OutputFile output;
    ASSERT_EQ(output.Create(path), 0);
    output.AddStream(media.video());
    output.AddStream(media.audio());
    ASSERT_EQ(output.Open(), 0) << output.error();
    EXPECT_TRUE(output.Finish()) << output.error();
    struct stat first = {};
    ASSERT_EQ(::stat(path.c_str(), &first), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(output.Finish());
    struct stat second = {};
    ASSERT_EQ(::stat(path.c_str(), &second), 0);
    EXPECT_EQ(first.st_ino, second.st_ino);
    EXPECT_EQ(first.st_mtim.tv_nsec, second.st_mtim.tv_nsec);
    EXPECT_EQ(FolderEntries(dir_), std::vector<std::string>{"empty." + ext});
    fs::remove(path);
  }
}

TEST_F(OutputFileTest, AFolderThatIsMissingOrReadOnlyFailsOpenWithAClearError) {
  TestMedia media({});
  {
    OutputFile output;
    const std::string missing = dir_ + "/no/such/folder";
    ASSERT_EQ(output.Create(missing + "/a.mp4"), 0);
    output.AddStream(media.video());
    EXPECT_LT(output.Open(), 0);
    EXPECT_EQ(output.error(), "cannot write into folder " + missing + ": the folder does not exist");
    EXPECT_FALSE(output.Write(av::MakePacket().get(), 0));
    EXPECT_FALSE(output.Finish());
  }
  const std::string readOnly = dir_ + "/ro";
  fs::create_directory(readOnly);
  if (geteuid() == 0) {
    // Permissions do not stop root: a read-only file system does.
    ASSERT_EQ(::mount("tmpfs", readOnly.c_str(), "tmpfs", MS_RDONLY, "size=1m"), 0)
        << std::strerror(errno);
    mountPoint_ = readOnly;
  } else {
    fs::permissions(readOnly, fs::perms::owner_read | fs::perms::owner_exec);
  }
  OutputFile output;
  ASSERT_EQ(output.Create(readOnly + "/a.mkv"), 0);
  output.AddStream(media.video());
  EXPECT_LT(output.Open(), 0);
  EXPECT_EQ(output.error().rfind("cannot write into folder " + readOnly + ": ", 0), 0)
      << output.error();
  EXPECT_TRUE(FolderEntries(readOnly).empty());
  if (geteuid() != 0) fs::permissions(readOnly, fs::perms::owner_all);
}

TEST_F(OutputFileTest, AnUnknownExtensionIsRefused) {
  OutputFile output;
  EXPECT_LT(output.Create(dir_ + "/a.webm"), 0);
  EXPECT_NE(output.error().find("mp4, mov, flv, wmv, avi or mkv"), std::string::npos);
}


// ---------------------------------------------------------------------------
// Killed writers and recovery.

// A child process records into `path` at the pace of the clock (10 pictures
// a second, a key picture every 7 s) and reports through a pipe how much
// media time it has handed to the file; the parent kills it with SIGKILL once
// `seconds` are reported.
struct KilledRecording {
  double reportedSeconds = 0;
  bool killed = false;
};

[[noreturn]] void RecordUntilKilled(const std::string& path, int reportFd) {
  TestMedia media({.frameRate = 10, .gop = 70, .globalHeader = WantsGlobalHeader(path)});
  OutputFile output;
  if (!media.ok() || output.Create(path) != 0) _exit(2);
  const int video = output.AddStream(media.video());
  const int audio = output.AddStream(media.audio());
  if (output.Open() != 0) _exit(3);
  auto write = [&](AVPacket* packet, bool isVideo) {
    return output.Write(packet, isVideo ? video : audio);
  };
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    const double now = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (now > 60 || !media.EncodeUntil(now, write)) _exit(4);
    const std::int64_t written = output.writtenUs();
    if (::write(reportFd, &written, sizeof written) != sizeof written) _exit(5);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

KilledRecording KillWhileRecording(const std::string& path, double seconds) {
  KilledRecording result;
  int fds[2];
  if (::pipe(fds) != 0) return result;
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(fds[0]);
    RecordUntilKilled(path, fds[1]);
  }
  ::close(fds[1]);
  std::int64_t written = 0;
  while (::read(fds[0], &written, sizeof written) == sizeof written) {
    result.reportedSeconds = static_cast<double>(written) / 1e6;
    if (result.reportedSeconds >= seconds) {
      result.killed = ::kill(child, SIGKILL) == 0;
      break;
    }
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  // Reports sent between the last one read and the kill count too.
  while (::read(fds[0], &written, sizeof written) == sizeof written) {
    result.reportedSeconds = static_cast<double>(written) / 1e6;
  }
  ::close(fds[0]);
  result.killed = result.killed && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
  return result;
}

void ExpectRegularFastStart(const std::string& path) {
  const auto boxes = test::TopLevelBoxes(path);
  const auto moov = std::find(boxes.begin(), boxes.end(), "moov");
  const auto mdat = std::find(boxes.begin(), boxes.end(), "mdat");
  EXPECT_TRUE(moov < mdat && mdat != boxes.end());
  EXPECT_EQ(std::count(boxes.begin(), boxes.end(), "moof"), 0);
}

class KilledWriterTest : public OutputFileTest,
                         public ::testing::WithParamInterface<std::tuple<std::string, double>> {};

// The file a killed writer leaves plays and holds all but the last two
// seconds it had written; recovery finishes it with no loss.
TEST_P(KilledWriterTest, LeavesAPlayableFileThatRecoveryFinishes) {
  const auto& [ext, seconds] = GetParam();
  const std::string name = "killed." + ext;
  const std::string path = dir_ + "/" + name;
  const KilledRecording killed = KillWhileRecording(path, seconds);
  ASSERT_TRUE(killed.killed);
  RecordProperty("reported_seconds", std::to_string(killed.reportedSeconds));

  const FileFacts left = ReadFile(path);
  ASSERT_TRUE(left.opened) << left.error;
  const double leftSeconds = left.video.endSeconds;
  std::printf("%s killed after %.2f s written: the file holds %.2f s (%d pictures)\n", ext.c_str(),
              killed.reportedSeconds, leftSeconds, left.video.decodedPictures);
  EXPECT_GE(leftSeconds, killed.reportedSeconds - 2.0);
  EXPECT_GE(left.video.decodedPictures, static_cast<int>((killed.reportedSeconds - 2.0) * 10));
  EXPECT_EQ(FolderEntries(dir_), (std::vector<std::string>{"." + name + ".recording", name}));

  EXPECT_EQ(RecoverUnfinishedRecordings(dir_), std::vector<std::string>{path});
  EXPECT_EQ(FolderEntries(dir_), std::vector<std::string>{name});
  const FileFacts recovered = ReadFile(path);
  ASSERT_TRUE(recovered.opened) << recovered.error;
  // A torn last picture may go.
  EXPECT_GE(recovered.video.decodedPictures, left.video.decodedPictures - 1);
  EXPECT_EQ(recovered.video.decodeErrors, 0);
  EXPECT_NEAR(recovered.video.endSeconds, leftSeconds, 0.15);
  if (IsFragmented(ext)) {
    ExpectRegularFastStart(path);
    EXPECT_NEAR(recovered.video.durationSeconds, recovered.video.endSeconds, 0.001);
  }
  // Nothing is left to recover.
  EXPECT_TRUE(RecoverUnfinishedRecordings(dir_).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Containers, KilledWriterTest,
    ::testing::Combine(::testing::Values<std::string>("mp4", "mov", "mkv", "flv", "wmv", "avi"),
                       ::testing::Values(5.0, 12.0)),
    [](const auto& info) {
      return std::get<0>(info.param) + "_" + std::to_string(static_cast<int>(std::get<1>(info.param))) + "s";
    });

// Recovery run while another process records in the same folder finishes
// the dead recording only.
TEST_F(OutputFileTest, RecoverySkipsALiveRecording) {
  const std::string dead = dir_ + "/dead.mkv";
  ASSERT_TRUE(KillWhileRecording(dead, 2.0).killed);

  const std::string live = dir_ + "/live.mp4";
  TestMedia media({.globalHeader = true});
  OutputFile output;
  ASSERT_EQ(output.Create(live), 0);
  const int video = output.AddStream(media.video());
  const int audio = output.AddStream(media.audio());
  ASSERT_EQ(output.Open(), 0) << output.error();
  auto write = [&](AVPacket* packet, bool isVideo) {
    return output.Write(packet, isVideo ? video : audio);
  };
  ASSERT_TRUE(media.EncodeUntil(2.0, write));
  const auto sizeBefore = fs::file_size(live);

  EXPECT_EQ(RecoverUnfinishedRecordings(dir_), std::vector<std::string>{dead});
  EXPECT_TRUE(fs::exists(dir_ + "/.live.mp4.recording"));
  EXPECT_FALSE(fs::exists(dir_ + "/.dead.mkv.recording"));
  EXPECT_EQ(fs::file_size(live), sizeBefore);

  ASSERT_TRUE(media.EncodeUntil(3.0, write));
  ASSERT_TRUE(media.Drain(write));
  EXPECT_TRUE(output.Finish()) << output.error();
  EXPECT_EQ(FolderEntries(dir_), (std::vector<std::string>{"dead.mkv", "live.mp4"}));
  EXPECT_EQ(ReadFile(live).video.decodedPictures, 72);
}

// An OutputFile destroyed without Finish leaves its file marked; recovery
// finishes it.
TEST_F(OutputFileTest, AnUnfinishedFileIsLeftForRecovery) {
  const std::string path = dir_ + "/dropped.mov";
  {
    TestMedia media({.globalHeader = true});
    OutputFile output;
    ASSERT_EQ(output.Create(path), 0);
    const int video = output.AddStream(media.video());
    const int audio = output.AddStream(media.audio());
    ASSERT_EQ(output.Open(), 0);
    ASSERT_TRUE(media.EncodeUntil(3.0, [&](AVPacket* packet, bool isVideo) {
      return output.Write(packet, isVideo ? video : audio);
    }));
  }
  EXPECT_TRUE(fs::exists(dir_ + "/.dropped.mov.recording"));
  EXPECT_EQ(RecoverUnfinishedRecordings(dir_), std::vector<std::string>{path});
  ExpectRegularFastStart(path);
  EXPECT_GE(ReadFile(path).video.decodedPictures, 24);
}

// ---------------------------------------------------------------------------
// Write errors.

// Records pictures of noise (large packets) into `output` until a write
// fails or a minute of media is written.
void RecordUntilFailure(OutputFile& output, TestMedia& media, int video, int audio) {
  bool writing = true;
  for (double seconds = 0.5; writing && seconds < 60; seconds += 0.5) {
    media.EncodeUntil(seconds, [&](AVPacket* packet, bool isVideo) {
      writing = output.Write(packet, isVideo ? video : audio);
      return writing;
    });
  }
}

// A disk that fills up ends the recording at the first failed write with one
// error line naming the cause; the file keeps what reached the disk, and is
// finished then or, once there is room, by recovery. No temporary file stays.
TEST_F(OutputFileTest, AFullDiskEndsTheRecordingWithOneErrorAndKeepsWhatWasWritten) {
  if (geteuid() != 0) GTEST_SKIP() << "mounting a small tmpfs needs root";
  const std::string small = dir_ + "/small";
  fs::create_directory(small);
  ASSERT_EQ(::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=3m"), 0) << std::strerror(errno);
  mountPoint_ = small;
  for (const std::string ext : kExtensions) {
    SCOPED_TRACE(ext);
    const std::string name = "full." + ext;
    const std::string path = small + "/" + name;
    TestMedia media({.frameRate = 10, .noise = true, .globalHeader = WantsGlobalHeader(path)});
    OutputFile output;
    ASSERT_EQ(output.Create(path), 0);
    const int video = output.AddStream(media.video());
    const int audio = output.AddStream(media.audio());
    ASSERT_EQ(output.Open(), 0) << output.error();
    std::vector<std::string> errors;
    {
      ErrorLines lines;
      RecordUntilFailure(output, media, video, audio);
      ASSERT_TRUE(output.failed());
      av::PacketPtr another = av::MakePacket();
      EXPECT_FALSE(output.Write(another.get(), video));
      errors = lines.lines();
    }
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("No space left on device"), std::string::npos) << errors[0];
    const double writtenSeconds = output.writtenUs() / 1e6;
    const bool finished = output.Finish();
    std::printf("%s: the disk filled after %.1f s; Finish %s\n", ext.c_str(), writtenSeconds,
                finished ? "finished the file" : "kept the file as written");
    const std::string marker = "." + name + ".recording";
    const std::vector<std::string> expected =
        finished ? std::vector<std::string>{name} : std::vector<std::string>{marker, name};
    EXPECT_EQ(FolderEntries(small), expected);
    const FileFacts facts = ReadFile(path);
    ASSERT_TRUE(facts.opened) << facts.error;
    EXPECT_GE(facts.video.endSeconds, writtenSeconds - 2.0);
    EXPECT_GT(facts.video.decodedPictures, 20);
    if (!finished) {
      ASSERT_EQ(::mount("tmpfs", small.c_str(), "tmpfs", MS_REMOUNT, "size=32m"), 0);
      EXPECT_EQ(RecoverUnfinishedRecordings(small), std::vector<std::string>{path});
      EXPECT_EQ(FolderEntries(small), std::vector<std::string>{name});
      if (IsFragmented(ext)) ExpectRegularFastStart(path);
      EXPECT_GE(ReadFile(path).video.decodedPictures, facts.video.decodedPictures - 1);
    }
    fs::remove(path);
    ASSERT_EQ(::mount("tmpfs", small.c_str(), "tmpfs", MS_REMOUNT, "size=3m"), 0);
  }
}

// A file size limit (EFBIG) ends the recording like a full disk; in a child
// process, as the limit is the whole process's.
TEST_F(OutputFileTest, AFileSizeLimitEndsTheRecordingWithItsCause) {
  for (const std::string ext : {"mp4", "mkv"}) {
    SCOPED_TRACE(ext);
    const std::string path = dir_ + "/limited." + ext;
    const pid_t child = ::fork();
    if (child == 0) {
      ::signal(SIGXFSZ, SIG_IGN);
      const rlimit limit = {1 << 20, 1 << 20};
      ::setrlimit(RLIMIT_FSIZE, &limit);
      TestMedia media({.frameRate = 10, .noise = true, .globalHeader = WantsGlobalHeader(path)});
      OutputFile output;
      if (output.Create(path) != 0) _exit(2);
      const int video = output.AddStream(media.video());
      const int audio = output.AddStream(media.audio());
      if (output.Open() != 0) _exit(3);
      RecordUntilFailure(output, media, video, audio);
      if (!output.failed()) _exit(4);
      if (output.error().find("File too large") == std::string::npos) _exit(5);
      output.Finish();
      _exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    const FileFacts facts = ReadFile(path);
    ASSERT_TRUE(facts.opened) << facts.error;
    EXPECT_GT(facts.video.decodedPictures, 5);
    RecoverUnfinishedRecordings(dir_);
    EXPECT_EQ(FolderEntries(dir_), std::vector<std::string>{"limited." + ext});
    if (IsFragmented(ext)) ExpectRegularFastStart(path);
    fs::remove(path);
  }
}

// Finishing an MP4 copies the pictures file to file in the kernel; the
// result is byte for byte what reading and writing them gives.
TEST_F(OutputFileTest, CopyingInTheKernelGivesTheSameFileAsReadingAndWriting) {
  for (const std::string ext : {"mp4", "mov"}) {
    SCOPED_TRACE(ext);
    const std::string fast = dir_ + "/fast." + ext;
    {
      TestMedia media({.width = 320, .height = 240, .frameRate = 10, .noise = true});
      OutputFile output;
      ASSERT_EQ(output.Create(fast), 0);
      const int video = output.AddStream(media.video());
      const int audio = output.AddStream(media.audio());
      ASSERT_EQ(output.Open(), 0);
      ASSERT_TRUE(media.EncodeUntil(4.0, [&](AVPacket* packet, bool isVideo) {
        return output.Write(packet, isVideo ? video : audio);
      }));
    }  // left fragmented and unfinished
    const std::string slow = dir_ + "/slow." + ext;
    fs::copy_file(fast, slow);
    const RewriteResult fastResult = RewriteRecording(fast);
    ASSERT_TRUE(fastResult.ok) << fastResult.error;
    EXPECT_TRUE(fastResult.copiedInKernel);
    const RewriteResult slowResult = RewriteRecording(slow, {}, {.copyInKernel = false});
    ASSERT_TRUE(slowResult.ok) << slowResult.error;
    EXPECT_FALSE(slowResult.copiedInKernel);
    std::ifstream a(fast, std::ios::binary);
    std::ifstream b(slow, std::ios::binary);
    const std::string bytesA((std::istreambuf_iterator<char>(a)), std::istreambuf_iterator<char>());
    const std::string bytesB((std::istreambuf_iterator<char>(b)), std::istreambuf_iterator<char>());
    EXPECT_GT(bytesA.size(), 200000u);
    EXPECT_TRUE(bytesA == bytesB);
    // The last second was still in the muxer when the writer went.
    EXPECT_GE(ReadFile(fast).video.decodedPictures, 30);
    RecoverUnfinishedRecordings(dir_);  // drops the marker of the copied file
  }
}

}  // namespace
}  // namespace tarn
