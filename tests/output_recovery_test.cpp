// The output file when things go wrong: a writer killed in every container
// and the recovery of what it left, recovery beside a live recording, an
// output dropped unfinished, a full disk and a file size limit.

#include "recorder/output/output_file.h"

#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>
#include <tuple>

#include "tests/support/output_fixture.h"
#include "tests/support/test_media.h"

namespace tarn {
namespace {

using namespace test;  // the fixture and its helpers

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
  // Flushed (as for a pause), the live file holds all that was written.
  ASSERT_TRUE(output.Flush());
  EXPECT_GE(ReadFile(live).video.decodedPictures, 48);
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

}  // namespace
}  // namespace tarn
