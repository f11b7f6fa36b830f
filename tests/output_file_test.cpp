// The output file: every container written and read back with its rates,
// durations and times, dropped pictures, an empty recording, folders that
// cannot be written, and finishing by copying in the kernel.

#include "recorder/output/output_file.h"

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "recorder/output/recording_rewriter.h"
#include "tests/support/output_fixture.h"
#include "tests/support/test_media.h"

namespace tarn {
namespace {

using namespace test;  // the fixture and its helpers

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
