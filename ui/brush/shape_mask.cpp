#include "ui/brush/shape_mask.h"

#include <algorithm>

namespace tarn::ui {

ShapeMask::ShapeMask(int width, int height)
    : width_(std::max(width, 0)),
      height_(std::max(height, 0)),
      bits_(static_cast<std::size_t>(width_) * height_, 0) {}

void ShapeMask::Update(const std::uint32_t* pixels, int strideBytes, MaskRect area,
                       std::vector<MaskRect>& shown, std::vector<MaskRect>& hidden) {
  const int left = std::max(area.x, 0);
  const int top = std::max(area.y, 0);
  const int right = std::min(area.x + area.width, width_);
  const int bottom = std::min(area.y + area.height, height_);
  const int stride = strideBytes / 4;
  for (int y = top; y < bottom; ++y) {
    const std::uint32_t* row = pixels + static_cast<std::size_t>(y) * stride;
    std::uint8_t* bits = bits_.data() + static_cast<std::size_t>(y) * width_;
    // Runs of pixels whose state flips, in each direction.
    int runStart = -1;
    bool runShows = false;
    for (int x = left; x <= right; ++x) {
      bool flips = false;
      bool shows = false;
      if (x < right) {
        shows = static_cast<int>(row[x] >> 24) >= kShownAlpha;
        flips = shows != (bits[x] != 0);
        if (flips) bits[x] = shows ? 1 : 0;
      }
      if (runStart >= 0 && (!flips || shows != runShows)) {
        (runShows ? shown : hidden).push_back({runStart, y, x - runStart, 1});
        runStart = -1;
      }
      if (flips && runStart < 0) {
        runStart = x;
        runShows = shows;
      }
    }
  }
}

}  // namespace tarn::ui
