// The BMP files that carry screen pictures: their header bytes, the row
// order, and FFmpeg's BMP decoder reading them back.

#include "recorder/bmp_packet.h"

#include <gtest/gtest.h>

#include <cstring>

#include <cstdint>
#include <vector>

#include "recorder/ffmpeg_holders.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/pixdesc.h>
}

namespace tarn {
namespace {

// A top-down picture whose every byte tells its position; rows carry
// `padding` extra bytes that must not reach the file.
std::vector<std::uint8_t> MakePicture(int width, int height, int padding) {
  const int stride = width * 4 + padding;
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(stride) * height, 0xEE);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      std::uint8_t* p = pixels.data() + y * stride + x * 4;
      p[0] = static_cast<std::uint8_t>(10 * x + y);  // blue
      p[1] = static_cast<std::uint8_t>(100 + y);     // green
      p[2] = static_cast<std::uint8_t>(200 + x);     // red
      p[3] = 0;                                      // unused
    }
  }
  return pixels;
}

TEST(BmpPacketTest, WritesTheHeaderOfA3x2Picture) {
  EXPECT_EQ(BmpFileSize(3, 2), 54u + 24u);
  EXPECT_EQ(BmpFileSize(1920, 1080), 54u + 1920u * 1080u * 4u);
  const auto pixels = MakePicture(3, 2, 0);
  std::vector<std::uint8_t> file(BmpFileSize(3, 2), 0xCC);
  WriteBmp32(pixels.data(), 3, 2, 12, file.data());
  const std::vector<std::uint8_t> header(file.begin(), file.begin() + 54);
  const std::vector<std::uint8_t> expected = {
      'B', 'M', 78, 0, 0, 0,  // file size
      0,   0,   0,  0,        // reserved
      54,  0,   0,  0,        // pixel offset
      40,  0,   0,  0,        // info header size
      3,   0,   0,  0,        // width
      2,   0,   0,  0,        // height, positive: bottom-up
      1,   0,                 // planes
      32,  0,                 // bits per pixel
      0,   0,   0,  0,        // BI_RGB
      0,   0,   0,  0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // sizes, colours: 0
  };
  EXPECT_EQ(header, expected);
}

TEST(BmpPacketTest, StoresRowsBottomUpWithoutTheirPadding) {
  const int width = 3;
  const int height = 4;
  const int stride = width * 4 + 8;
  const auto pixels = MakePicture(width, height, 8);
  std::vector<std::uint8_t> file(BmpFileSize(width, height) + 4, 0xCC);
  WriteBmp32(pixels.data(), width, height, stride, file.data());
  for (int fileRow = 0; fileRow < height; ++fileRow) {
    SCOPED_TRACE(testing::Message() << "file row " << fileRow);
    const int sourceRow = height - 1 - fileRow;
    const std::uint8_t* stored = file.data() + 54 + fileRow * width * 4;
    const std::uint8_t* source = pixels.data() + sourceRow * stride;
    EXPECT_EQ(std::vector<std::uint8_t>(stored, stored + width * 4),
              std::vector<std::uint8_t>(source, source + width * 4));
  }
  // Nothing is written past the file.
  EXPECT_EQ(file[file.size() - 4], 0xCC);
}

// The engine's decode thread reads these files with FFmpeg's BMP decoder and
// must get the picture back top-down.
TEST(BmpPacketTest, DecodesBackToTheSamePictureBottomUpAndTopDown) {
  const int width = 5;
  const int height = 3;
  const int stride = width * 4 + 4;
  const auto pixels = MakePicture(width, height, 4);
  for (const bool topDown : {false, true}) {
    SCOPED_TRACE(topDown ? "top-down" : "bottom-up");
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_BMP);
    ASSERT_NE(codec, nullptr);
    av::CodecContextPtr decoder(avcodec_alloc_context3(codec));
    ASSERT_TRUE(decoder);
    ASSERT_EQ(avcodec_open2(decoder.get(), codec, nullptr), 0);

    av::PacketPtr packet(av_packet_alloc());
    ASSERT_TRUE(packet);
    ASSERT_EQ(av_new_packet(packet.get(), static_cast<int>(BmpFileSize(width, height))), 0);
    if (topDown) {
      // The header alone, then the rows as the screen copy leaves them.
      WriteBmp32TopDownHeader(width, height, packet->data);
      for (int y = 0; y < height; ++y) {
        std::memcpy(packet->data + kBmpHeaderSize + y * width * 4, pixels.data() + y * stride, width * 4);
      }
      Bmp32View view;
      ASSERT_TRUE(ParseBmp32(packet->data, static_cast<std::size_t>(packet->size), view));
      EXPECT_FALSE(view.bottomUp);
      EXPECT_EQ(view.height, height);
      EXPECT_EQ(view.pixels, packet->data + kBmpHeaderSize);
    } else {
      WriteBmp32(pixels.data(), width, height, stride, packet->data);
    }
    ASSERT_EQ(avcodec_send_packet(decoder.get(), packet.get()), 0);
    av::FramePtr frame(av_frame_alloc());
    ASSERT_TRUE(frame);
    ASSERT_EQ(avcodec_receive_frame(decoder.get(), frame.get()), 0);

    ASSERT_EQ(frame->width, width);
    ASSERT_EQ(frame->height, height);
    // BGRA, or BGR0 when the decoder sees that no pixel has alpha.
    const auto format = static_cast<AVPixelFormat>(frame->format);
    ASSERT_TRUE(format == AV_PIX_FMT_BGRA || format == AV_PIX_FMT_BGR0)
        << av_get_pix_fmt_name(format);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const std::uint8_t* got = frame->data[0] + y * frame->linesize[0] + x * 4;
        const std::uint8_t* want = pixels.data() + y * stride + x * 4;
        ASSERT_TRUE(got[0] == want[0] && got[1] == want[1] && got[2] == want[2])
            << "pixel " << x << "," << y;
      }
    }
  }
}

TEST(BmpPacketTest, ParsesWhatItWritesAndRefusesOtherBytes) {
  std::vector<std::uint8_t> pixels(6 * 4 * 5, 7);
  std::vector<std::uint8_t> file(BmpFileSize(6, 5));
  WriteBmp32(pixels.data(), 6, 5, 6 * 4, file.data());
  Bmp32View view;
  ASSERT_TRUE(ParseBmp32(file.data(), file.size(), view));
  EXPECT_EQ(view.width, 6);
  EXPECT_EQ(view.height, 5);
  EXPECT_TRUE(view.bottomUp);
  EXPECT_EQ(view.stride, 24);
  EXPECT_EQ(view.pixels, file.data() + kBmpHeaderSize);

  // A file cut short, another depth, compression, or no "BM" is not read.
  EXPECT_FALSE(ParseBmp32(file.data(), file.size() - 1, view));
  std::vector<std::uint8_t> other = file;
  other[28] = 24;
  EXPECT_FALSE(ParseBmp32(other.data(), other.size(), view));
  other = file;
  other[30] = 3;
  EXPECT_FALSE(ParseBmp32(other.data(), other.size(), view));
  other = file;
  other[0] = 'X';
  EXPECT_FALSE(ParseBmp32(other.data(), other.size(), view));
  other = file;
  other[18] = other[19] = other[20] = other[21] = 0xFF;  // width -1
  EXPECT_FALSE(ParseBmp32(other.data(), other.size(), view));
  EXPECT_FALSE(ParseBmp32(file.data(), 10, view));
  EXPECT_FALSE(ParseBmp32(nullptr, 0, view));
}

}  // namespace
}  // namespace tarn
