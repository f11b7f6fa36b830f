#pragma once
// Geometry of the recorded rectangle: even picture sizes, regions kept on the
// screen, and the rectangle that follows the mouse.

namespace tarn {

struct CaptureRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

// Keeps a rectangle on a screen of screenWidth x screenHeight: the top-left is
// moved onto the screen, the size cut to what fits, then made even (rounded
// down) so the 4:2:0 chroma planes match the picture. An empty result (width
// or height 0) means nothing can be recorded.
CaptureRect FitToScreen(CaptureRect rect, int screenWidth, int screenHeight);

// The rectangle of videoWidth x videoHeight centred on the cursor and kept on
// the screen, and the cursor's position inside it.
struct FollowPosition {
  int sourceX = 0;
  int sourceY = 0;
  int pictureX = 0;  // cursor inside the picture
  int pictureY = 0;
};
FollowPosition FollowMouse(int cursorX, int cursorY, int videoWidth, int videoHeight,
                           int screenWidth, int screenHeight);

}  // namespace tarn
