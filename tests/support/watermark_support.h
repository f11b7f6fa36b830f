#pragma once
// Helpers for the watermark tests: an opaque one-colour PNG file, screen-like
// BMP packets, and pictures run through a filter.

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "recorder/bmp_packet.h"
#include "recorder/ffmpeg_holders.h"
#include "recorder/video_filter.h"

namespace tarn::test {

struct Bgr {
  std::uint8_t blue = 0, green = 0, red = 0;
};

// Writes an opaque width x height PNG of one colour; false on failure.
inline bool WriteSolidPng(const std::string& path, int width, int height, Bgr colour) {
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_PNG);
  if (codec == nullptr) return false;
  av::CodecContextPtr encoder(avcodec_alloc_context3(codec));
  encoder->width = width;
  encoder->height = height;
  encoder->pix_fmt = AV_PIX_FMT_RGBA;
  encoder->time_base = AVRational{1, 1};
  if (avcodec_open2(encoder.get(), codec, nullptr) < 0) return false;
  av::FramePtr frame = av::MakeFrame();
  frame->format = AV_PIX_FMT_RGBA;
  frame->width = width;
  frame->height = height;
  if (av_frame_get_buffer(frame.get(), 0) < 0) return false;
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = frame->data[0] + static_cast<std::ptrdiff_t>(y) * frame->linesize[0];
    for (int x = 0; x < width; ++x) {
      row[4 * x] = colour.red;
      row[4 * x + 1] = colour.green;
      row[4 * x + 2] = colour.blue;
      row[4 * x + 3] = 255;
    }
  }
  av::PacketPtr packet = av::MakePacket();
  if (avcodec_send_frame(encoder.get(), frame.get()) < 0 || avcodec_send_frame(encoder.get(), nullptr) < 0 ||
      avcodec_receive_packet(encoder.get(), packet.get()) < 0) {
    return false;
  }
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(packet->data, 1, static_cast<std::size_t>(packet->size), file) ==
                       static_cast<std::size_t>(packet->size);
  return std::fclose(file) == 0 && written;
}

// A top-down 32-bit BMP packet of one colour, as the screen source makes
// them; `flags` are those of its buffer (0 or AV_BUFFER_FLAG_READONLY).
inline av::PacketPtr MakeBmpPacket(int width, int height, Bgr colour, std::int64_t stampUs, int flags = 0) {
  const std::size_t size = BmpFileSize(width, height);
  auto* memory = static_cast<std::uint8_t*>(av_malloc(size));
  if (memory == nullptr) return nullptr;
  WriteBmp32TopDownHeader(width, height, memory);
  for (std::size_t i = kBmpHeaderSize; i + 3 < size; i += 4) {
    memory[i] = colour.blue;
    memory[i + 1] = colour.green;
    memory[i + 2] = colour.red;
    memory[i + 3] = 255;
  }
  av::PacketPtr packet = av::MakePacket();
  packet->buf = av_buffer_create(memory, static_cast<int>(size), av_buffer_default_free, nullptr, flags);
  if (packet->buf == nullptr) {
    av_free(memory);
    return nullptr;
  }
  packet->data = memory;
  packet->size = static_cast<int>(size);
  packet->pts = packet->dts = stampUs;
  return packet;
}

// Whether a pixel is plainly red / green (after YUV coding, with margins).
inline bool IsRed(const std::uint8_t* rgb) { return rgb[0] > 150 && rgb[1] < 90 && rgb[2] < 90; }
inline bool IsGreen(const std::uint8_t* rgb) { return rgb[1] > 150 && rgb[0] < 90 && rgb[2] < 90; }

// A black BGRA picture of width x height with its own memory.
inline av::FramePtr BlackBgraPicture(int width, int height) {
  av::FramePtr picture = av::MakeFrame();
  picture->format = AV_PIX_FMT_BGRA;
  picture->width = width;
  picture->height = height;
  if (av_frame_get_buffer(picture.get(), 0) < 0) return nullptr;
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = picture->data[0] + static_cast<std::ptrdiff_t>(y) * picture->linesize[0];
    for (int x = 0; x < width; ++x) {
      row[4 * x] = row[4 * x + 1] = row[4 * x + 2] = 0;
      row[4 * x + 3] = 255;
    }
  }
  picture->pts = 0;
  return picture;
}

// The bytes of a BGRA picture, row by row without padding.
inline std::vector<std::uint8_t> BgraBytes(const AVFrame& picture) {
  std::vector<std::uint8_t> bytes;
  const std::size_t row = static_cast<std::size_t>(picture.width) * 4;
  bytes.reserve(row * static_cast<std::size_t>(picture.height));
  for (int y = 0; y < picture.height; ++y) {
    const std::uint8_t* start = picture.data[0] + static_cast<std::ptrdiff_t>(y) * picture.linesize[0];
    bytes.insert(bytes.end(), start, start + row);
  }
  return bytes;
}

}  // namespace tarn::test
