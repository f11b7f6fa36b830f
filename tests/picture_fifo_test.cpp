#include "recorder/picture_fifo.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>
#include <vector>

namespace tarn {
namespace {

// A 4x2 picture with line sizes wider than the planes, filled with `value`
// plus the byte's place, so padding or a plane mix-up shows.
struct Picture {
  explicit Picture(int value) {
    for (int p = 0; p < 3; ++p) planes[p].assign(64, 0xEE);  // padding marker
    for (int row = 0; row < 2; ++row)
      for (int col = 0; col < 4; ++col) planes[0][row * 16 + col] = static_cast<std::uint8_t>(value + row * 4 + col);
    planes[1][0] = planes[1][1] = static_cast<std::uint8_t>(value + 100);
    planes[2][0] = planes[2][1] = static_cast<std::uint8_t>(value + 200);
    for (int p = 0; p < 3; ++p) pointers[p] = planes[p].data();
  }
  std::vector<std::uint8_t> planes[3];
  const std::uint8_t* pointers[3];
  int lineSizes[3] = {16, 16, 16};
};

TEST(PictureFifoTest, StoresPlanesWithoutPaddingInOrder) {
  PictureFifo fifo(4, 2, 3);
  ASSERT_EQ(fifo.pictureSize(), 12u);  // 8 luma + 2 + 2 chroma
  Picture first(1), second(50);
  ASSERT_TRUE(fifo.Write(first.pointers, first.lineSizes));
  ASSERT_TRUE(fifo.Write(second.pointers, second.lineSizes));
  std::vector<std::uint8_t> out(fifo.pictureSize());
  ASSERT_EQ(fifo.Read(out.data()), PictureFifo::ReadResult::kPicture);
  const std::vector<std::uint8_t> expected = {1, 2, 3, 4, 5, 6, 7, 8, 101, 101, 201, 201};
  EXPECT_EQ(out, expected);
  ASSERT_EQ(fifo.Read(out.data()), PictureFifo::ReadResult::kPicture);
  EXPECT_EQ(out[0], 50);
  EXPECT_EQ(fifo.Read(out.data(), 5), PictureFifo::ReadResult::kTimeout);
}

TEST(PictureFifoTest, FullFifoMakesTheWriterWaitForTheReader) {
  PictureFifo fifo(4, 2, 2);
  Picture picture(0);
  ASSERT_TRUE(fifo.Write(picture.pointers, picture.lineSizes));
  ASSERT_TRUE(fifo.Write(picture.pointers, picture.lineSizes));
  auto writer = std::async(std::launch::async, [&] { return fifo.Write(picture.pointers, picture.lineSizes); });
  EXPECT_EQ(writer.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
  std::vector<std::uint8_t> out(fifo.pictureSize());
  ASSERT_EQ(fifo.Read(out.data()), PictureFifo::ReadResult::kPicture);
  ASSERT_EQ(writer.wait_for(std::chrono::seconds(2)), std::future_status::ready);
  EXPECT_TRUE(writer.get());
  EXPECT_EQ(fifo.Count(), 2u);
}

TEST(PictureFifoTest, AGoneReaderReleasesAWaitingWriter) {
  PictureFifo fifo(4, 2, 1);
  Picture picture(0);
  ASSERT_TRUE(fifo.Write(picture.pointers, picture.lineSizes));
  auto writer = std::async(std::launch::async, [&] { return fifo.Write(picture.pointers, picture.lineSizes); });
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  fifo.MarkReaderGone();
  ASSERT_EQ(writer.wait_for(std::chrono::seconds(1)), std::future_status::ready);
  EXPECT_FALSE(writer.get());
}

TEST(PictureFifoTest, CloseLetsTheReaderTakeTheRestThenEnds) {
  PictureFifo fifo(4, 2, 4);
  Picture picture(9);
  ASSERT_TRUE(fifo.Write(picture.pointers, picture.lineSizes));
  fifo.Close();
  std::vector<std::uint8_t> out(fifo.pictureSize());
  EXPECT_EQ(fifo.Read(out.data()), PictureFifo::ReadResult::kPicture);
  const auto before = std::chrono::steady_clock::now();
  EXPECT_EQ(fifo.Read(out.data(), 1000), PictureFifo::ReadResult::kEnded);
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(100));
}

}  // namespace
}  // namespace tarn
