#pragma once
// Which pixels of the brush canvas exist for the X server when no compositor
// blends the canvas over the desktop: only the drawn ones (a bounding shape),
// so the desktop stays live around and under the strokes. The mask follows
// the picture area by area and reports only what changed, so a pointer move
// sends a few rectangles rather than the whole screen's shape. No windows
// here. UI thread only.

#include <cstdint>
#include <vector>

namespace tarn::ui {

struct MaskRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

class ShapeMask {
 public:
  // Pixels at least this opaque are shown; the clear colour (alpha 1), the
  // erased areas (alpha 2) and the faint rims of smoothed edges are not.
  static constexpr int kShownAlpha = 96;

  ShapeMask(int width, int height);

  // Reads `area` of a premultiplied ARGB picture of the mask's size
  // (`strideBytes` per row), updates the mask there and appends the runs
  // that became shown to `shown` and those that became hidden to `hidden`.
  void Update(const std::uint32_t* pixels, int strideBytes, MaskRect area,
              std::vector<MaskRect>& shown, std::vector<MaskRect>& hidden);

  bool IsShown(int x, int y) const { return bits_[static_cast<std::size_t>(y) * width_ + x] != 0; }
  int width() const { return width_; }
  int height() const { return height_; }

 private:
  int width_;
  int height_;
  std::vector<std::uint8_t> bits_;
};

}  // namespace tarn::ui
