#pragma once
// Screen pictures travel from the capture thread to the decoder as complete
// BMP files: "BM", the file size, the pixel offset, a 40-byte header with the
// height (positive: rows bottom-up; negative: top-down, as the screen copy
// lands in the packet without moving a row) and 32 bits per pixel, then the
// pixels.

#include <cstddef>
#include <cstdint>

namespace tarn {

inline constexpr std::size_t kBmpHeaderSize = 54;

// Size of the BMP file for a 32-bit picture of width x height.
std::size_t BmpFileSize(int width, int height);

// Writes the BMP file of a 32-bit top-down picture into `out`, which must hold
// BmpFileSize(width, height) bytes; the rows are stored bottom-up.
void WriteBmp32(const std::uint8_t* topDownPixels, int width, int height, int stride,
                std::uint8_t* out);

// Writes only the 54 header bytes of a 32-bit BMP file whose rows follow
// top-down (a negative height), for pixels already in place after it.
void WriteBmp32TopDownHeader(int width, int height, std::uint8_t* out);

// The pixels of a BMP file with 32 bits per pixel and no compression.
struct Bmp32View {
  int width = 0;
  int height = 0;        // rows, whichever direction they are stored in
  bool bottomUp = true;  // a positive height in the header
  const std::uint8_t* pixels = nullptr;  // the first stored row
  int stride = 0;                        // bytes per row
};

// Reads the header of such a file; false when the bytes are not one (another
// depth, compression, or a size that does not match the data).
bool ParseBmp32(const std::uint8_t* data, std::size_t size, Bmp32View& view);

}  // namespace tarn
