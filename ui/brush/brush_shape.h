#pragma once
// The screen brush's drawing as data: the shapes, the palette's tools, sizes
// and colours, and the board that turns pointer presses, moves and releases
// into shapes, with undo and redo. No windows and no drawing here, so every
// rule can be checked on its own.
//
// Coordinates are pixels of the canvas, which covers the primary monitor
// (its top-left corner is (0, 0)). UI thread only.

#include <cstdint>
#include <string>
#include <vector>

namespace tarn::ui {

// The tools, in the palette's numbering.
enum BrushTool : int {
  kToolPen = 0,
  kToolMarker = 1,
  kToolRectangle = 2,
  kToolEllipse = 3,
  kToolLine = 4,
  kToolArrow = 5,
  kToolText = 6,
  kToolSeq = 7,
  kToolEraser = 8,
};
inline constexpr int kToolCount = 9;

// Colours are 0x00BBGGRR values, as the palette holds them.
using ColorRef = std::uint32_t;
inline constexpr int kBrushColourCount = 12;
// "brush-color-01" to "brush-color-12", in order.
inline constexpr ColorRef kBrushColours[kBrushColourCount] = {
    0xFFFFFF, 0x000000, 0x0000FF, 0x51F8FE, 0x27FF64, 0xFF6442,
    0x0B9EFE, 0x1F8307, 0x928A00, 0xF6F63C, 0x935DFF, 0xFF00E9};
inline constexpr int kBrushSizeCount = 4;  // "brush-size-01" .. "-04" give 1 .. 4

inline constexpr int kInitialTool = kToolPen;
inline constexpr int kInitialSize = 2;
inline constexpr ColorRef kInitialColour = 0x0000FF;  // red

// The canvas is cleared to this ARGB value: alpha 1, practically invisible.
inline constexpr std::uint32_t kCanvasClearArgb = 0x013E9AFF;
// The eraser's rectangle while the button is held (drawn over), and once
// released (copied in, replacing what was drawn before it).
inline constexpr std::uint32_t kEraserPreviewArgb = 0x32000000;
inline constexpr std::uint32_t kEraserFillArgb = 0x02000000;
inline constexpr int kMarkerAlpha = 150;
inline constexpr int kMarkerWidth = 16;
inline constexpr int kSeqDiameter = 20;

// The ARGB value 0xAARRGGBB of a colour with the given alpha.
constexpr std::uint32_t ArgbOf(ColorRef colour, int alpha = 0xFF) {
  return (static_cast<std::uint32_t>(alpha) << 24) | ((colour & 0xFF) << 16) | (colour & 0xFF00) |
         ((colour >> 16) & 0xFF);
}

struct BrushPoint {
  int x = 0;
  int y = 0;
  friend bool operator==(const BrushPoint&, const BrushPoint&) = default;
};

// One entry of the shape list.
struct BrushShape {
  int tool = kToolPen;
  int x1 = 0, y1 = 0;  // press point; for text the text's origin
  int x2 = 0, y2 = 0;  // current or release point
  ColorRef colour = kInitialColour;
  int size = kInitialSize;
  bool visible = false;   // has content and is drawn
  bool finished = false;  // eraser only: the button was released
  int number = 0;         // numbered marker only
  std::string text;       // text only, UTF-8, line breaks as LF
  std::vector<BrushPoint> points;  // pen and marker only
  // Unique within a board; lets a picture know which shapes it has drawn.
  std::uint64_t id = 0;
};

// The three corners of an arrow's head: the tip (x2, y2) and the two corners
// 16 pixels back along the shaft and 8 to either side.
struct ArrowHead {
  BrushPoint tip, first, second;
};
ArrowHead ArrowHeadOf(int x1, int y1, int x2, int y2);

// The shapes and the current choices of one canvas.
class BrushBoard {
 public:
  // What a press did.
  enum class PressResult {
    kStarted,   // a new shape was appended, not yet visible
    kNumbered,  // a numbered marker was placed (visible at once)
    kText,      // the text tool: the canvas handles the text window
  };

  PressResult Press(int a, int b);
  // True when the last shape changed (the picture is to be redrawn).
  bool Move(int a, int b);
  // True when the shape list changed.
  bool Release();
  // Each returns true when a shape moved between the lists.
  bool Undo();
  bool Redo();
  // Appends a committed text at its origin with the current colour and size.
  void AddText(int x, int y, const std::string& text);

  int tool = kInitialTool;
  int size = kInitialSize;
  ColorRef colour = kInitialColour;
  int seqCounter = 1;  // next number; never decreases
  bool buttonDown = false;

  const std::vector<BrushShape>& shapeList() const { return shapeList_; }
  const std::vector<BrushShape>& redoList() const { return redoList_; }

 private:
  BrushShape NewShape(int x, int y);

  std::vector<BrushShape> shapeList_;  // drawing order, oldest first
  std::vector<BrushShape> redoList_;   // last undone at the end
  std::uint64_t nextId_ = 1;
};

// Whether a press of `tool` appends a shape that the following moves drag.
constexpr bool IsDraggedTool(int tool) {
  return (tool >= kToolPen && tool <= kToolArrow) || tool == kToolEraser;
}

}  // namespace tarn::ui
