#pragma once
// Screen pictures travel from the capture thread to the decoder as complete
// BMP files: "BM", the file size, the pixel offset, a 40-byte header with a
// positive height (rows bottom-up) and 32 bits per pixel, then the pixels.

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

}  // namespace tarn
