#pragma once
// Drawing into captured screen pictures: the highlight around the cursor, the
// rings of mouse clicks and the cursor itself. Pictures are 32-bit BGRX rows
// top-down (as ScreenGrabber delivers them).

#include <cstdint>
#include <vector>

#include "platform/screen_capture.h"

namespace tarn {

struct Rgb {
  int red = 0;
  int green = 0;
  int blue = 0;
};

// A picture to draw on; not owned.
struct PictureView {
  std::uint8_t* data = nullptr;
  int width = 0;
  int height = 0;
  int stride = 0;
};

// One ring of a mouse click, in picture coordinates.
struct ClickRing {
  bool done = false;
  int button = 0;  // 0 left, 1 right
  int clickX = 0;
  int clickY = 0;
  int width = 0;
  int height = 0;
  int left = 0;
  int top = 0;
  int age = 0;
  int alpha = 0;
};

// Fills an ellipse of `width` x `height` centred on (centreX, centreY) with
// `colour` at opacity 60 of 255, anti-aliased.
void DrawHighlight(const PictureView& picture, int centreX, int centreY, int width, int height,
                   Rgb colour);

// Advances and draws every ring once (one drawing pass per captured picture):
// removes finished rings, fades each in over the first quarter second and out
// over the second, grows it about its centre, and marks it finished after half
// a second of pictures. A ring is a 2-pixel outline in `leftColour` or
// `rightColour` by its button. `frameRate` below 4 draws no rings and marks
// them finished (the fade has no step then).
void DrawClickRings(const PictureView& picture, std::vector<ClickRing>& rings, int frameRate,
                    Rgb leftColour, Rgb rightColour);

// Adds a ring for a click at (x, y) in picture coordinates.
void AddClickRing(std::vector<ClickRing>& rings, int button, int x, int y);

// Draws the cursor image with its hot spot at (x, y), blending its alpha.
void DrawCursor(const PictureView& picture, const platform::CursorImage& cursor, int x, int y);

}  // namespace tarn
