#include "recorder/bmp_packet.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace tarn {
namespace {

constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint16_t kBitsPerPixel = 32;

// Byte-wise little-endian stores: `out` has no alignment guarantee.
std::uint8_t* Put16(std::uint8_t* out, std::uint16_t value) {
  out[0] = static_cast<std::uint8_t>(value);
  out[1] = static_cast<std::uint8_t>(value >> 8);
  return out + 2;
}

std::uint8_t* Put32(std::uint8_t* out, std::uint32_t value) {
  out[0] = static_cast<std::uint8_t>(value);
  out[1] = static_cast<std::uint8_t>(value >> 8);
  out[2] = static_cast<std::uint8_t>(value >> 16);
  out[3] = static_cast<std::uint8_t>(value >> 24);
  return out + 4;
}

std::uint32_t Get32(const std::uint8_t* in) {
  return static_cast<std::uint32_t>(in[0]) | static_cast<std::uint32_t>(in[1]) << 8 |
         static_cast<std::uint32_t>(in[2]) << 16 | static_cast<std::uint32_t>(in[3]) << 24;
}

std::uint16_t Get16(const std::uint8_t* in) {
  return static_cast<std::uint16_t>(in[0] | in[1] << 8);
}

}  // namespace

bool ParseBmp32(const std::uint8_t* data, std::size_t size, Bmp32View& view) {
  if (data == nullptr || size < kBmpHeaderSize || data[0] != 'B' || data[1] != 'M') return false;
  const std::uint32_t offset = Get32(data + 10);
  const std::uint32_t infoSize = Get32(data + 14);
  const auto width = static_cast<std::int32_t>(Get32(data + 18));
  const auto height = static_cast<std::int32_t>(Get32(data + 22));
  const std::uint16_t bits = Get16(data + 28);
  const std::uint32_t compression = Get32(data + 30);
  if (infoSize < kInfoHeaderSize || bits != kBitsPerPixel || compression != 0) return false;
  if (width <= 0 || height == 0 || height == INT32_MIN || width > 65535 || height > 65535 ||
      height < -65535) {
    return false;
  }
  const std::size_t rows = static_cast<std::size_t>(height < 0 ? -height : height);
  const std::size_t stride = static_cast<std::size_t>(width) * 4;
  if (offset < kBmpHeaderSize || offset > size || (size - offset) / stride < rows) return false;
  view.width = width;
  view.height = static_cast<int>(rows);
  view.bottomUp = height > 0;
  view.pixels = data + offset;
  view.stride = static_cast<int>(stride);
  return true;
}

// A size that is not positive counts as an empty picture, so the header never
// describes more pixels than the file holds.
std::size_t BmpFileSize(int width, int height) {
  if (width <= 0 || height <= 0) return kBmpHeaderSize;
  return kBmpHeaderSize + static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
}

namespace {

// "BM", the sizes and the 40-byte BITMAPINFOHEADER with `storedHeight`.
void PutHeader(int width, int height, std::int32_t storedHeight, std::uint8_t* out) {
  std::uint8_t* p = out;
  *p++ = 'B';
  *p++ = 'M';
  p = Put32(p, static_cast<std::uint32_t>(BmpFileSize(width, height)));
  p = Put32(p, 0);  // two reserved words
  p = Put32(p, static_cast<std::uint32_t>(kBmpHeaderSize));
  p = Put32(p, kInfoHeaderSize);
  p = Put32(p, static_cast<std::uint32_t>(width));
  p = Put32(p, static_cast<std::uint32_t>(storedHeight));
  p = Put16(p, 1);  // planes
  p = Put16(p, kBitsPerPixel);
  p = Put32(p, 0);  // BI_RGB
  // Image size, resolution and colour counts: all 0.
  std::memset(p, 0, kBmpHeaderSize - static_cast<std::size_t>(p - out));
}

}  // namespace

void WriteBmp32(const std::uint8_t* topDownPixels, int width, int height, int stride,
                std::uint8_t* out) {
  if (width <= 0 || height <= 0) width = height = 0;
  // A positive height means the rows are stored bottom-up.
  PutHeader(width, height, height, out);
  std::uint8_t* p = out + kBmpHeaderSize;
  // 32-bit rows need no padding to 4 bytes.
  const std::size_t rowBytes = static_cast<std::size_t>(width) * 4;
  for (int row = height - 1; row >= 0; --row) {
    std::memcpy(p, topDownPixels + static_cast<std::ptrdiff_t>(row) * stride, rowBytes);
    p += rowBytes;
  }
}

void WriteBmp32TopDownHeader(int width, int height, std::uint8_t* out) {
  if (width <= 0 || height <= 0) width = height = 0;
  PutHeader(width, height, -height, out);
}

}  // namespace tarn
