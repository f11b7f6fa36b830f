#include "recorder/screen_geometry.h"

#include <algorithm>

namespace tarn {

CaptureRect FitToScreen(CaptureRect rect, int screenWidth, int screenHeight) {
  CaptureRect fitted;
  if (screenWidth <= 0 || screenHeight <= 0 || rect.width <= 0 || rect.height <= 0) return fitted;
  fitted.x = std::clamp(rect.x, 0, screenWidth - 1);
  fitted.y = std::clamp(rect.y, 0, screenHeight - 1);
  fitted.width = std::min(rect.width, screenWidth - fitted.x) & ~1;
  fitted.height = std::min(rect.height, screenHeight - fitted.y) & ~1;
  return fitted;
}

FollowPosition FollowMouse(int cursorX, int cursorY, int videoWidth, int videoHeight,
                           int screenWidth, int screenHeight) {
  FollowPosition position;
  const int halfWidth = videoWidth / 2;
  const int halfHeight = videoHeight / 2;
  const int left = cursorX - halfWidth;
  if (left < 0) {
    position.sourceX = 0;
    position.pictureX = cursorX;
  } else {
    position.sourceX = left;
    position.pictureX = halfWidth;
  }
  const int top = cursorY - halfHeight;
  if (top < 0) {
    position.sourceY = 0;
    position.pictureY = cursorY;
  } else {
    position.sourceY = top;
    position.pictureY = halfHeight;
  }
  if (halfWidth + cursorX > screenWidth) {
    position.sourceX = screenWidth - videoWidth;
    position.pictureX = videoWidth - screenWidth + cursorX;
  }
  if (halfHeight + cursorY > screenHeight) {
    position.sourceY = screenHeight - videoHeight;
    position.pictureY = videoHeight - screenHeight + cursorY;
  }
  return position;
}

}  // namespace tarn
