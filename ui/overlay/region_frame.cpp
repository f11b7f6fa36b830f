#include "ui/overlay/region_frame.h"

#include <algorithm>

namespace tarn::ui {

int EvenDown(int n) { return n - (n & 1); }

FrameRect FrameFromRegion(const StoredRegion& region) {
  return {region.x - kFrameBorder, region.y - kFrameBorder, region.width + 2 * kFrameBorder,
          region.height + 2 * kFrameBorder};
}

StoredRegion RegionFromFrame(const FrameRect& frame) {
  return {frame.x + kFrameBorder, frame.y + kFrameBorder,
          std::max(0, EvenDown(frame.w) - 2 * kFrameBorder),
          std::max(0, EvenDown(frame.h) - 2 * kFrameBorder)};
}

DragMode HitZone(const FrameRect& f, int a, int b, int t) {
  const bool innerX = f.x + t < a && a < f.x + f.w - t;
  const bool innerY = f.y + t < b && b < f.y + f.h - t;
  const bool nearLeft = f.x - t < a && a < f.x + t;
  const bool nearRight = f.x + f.w - t < a && a < f.x + f.w + t;
  const bool nearTop = f.y - t < b && b < f.y + t;
  const bool nearBottom = f.y + f.h - t < b && b < f.y + f.h + t;
  if (innerX && nearTop) return DragMode::kTop;
  if (innerX && nearBottom) return DragMode::kBottom;
  if (nearLeft && innerY) return DragMode::kLeft;
  if (nearRight && innerY) return DragMode::kRight;
  if (nearLeft && nearTop) return DragMode::kTopLeft;
  if (nearRight && nearBottom) return DragMode::kBottomRight;
  if (nearLeft && nearBottom) return DragMode::kBottomLeft;
  if (nearRight && nearTop) return DragMode::kTopRight;
  if (innerX && innerY) return DragMode::kMove;
  return DragMode::kNone;
}

ZoneCursor CursorForZone(DragMode mode) {
  switch (mode) {
    case DragMode::kTop:
    case DragMode::kBottom:
      return ZoneCursor::kSizeVertical;
    case DragMode::kLeft:
    case DragMode::kRight:
      return ZoneCursor::kSizeHorizontal;
    case DragMode::kTopLeft:
    case DragMode::kBottomRight:
      return ZoneCursor::kSizeFDiagonal;
    case DragMode::kTopRight:
    case DragMode::kBottomLeft:
      return ZoneCursor::kSizeBDiagonal;
    case DragMode::kMove:
      return ZoneCursor::kSizeAll;
    case DragMode::kNone:
      break;
  }
  return ZoneCursor::kArrow;
}

// --- Placing -------------------------------------------------------------------

bool RegionFrame::PlaceWidth(int x, int y, int width, const StoredRegion& stored,
                             StoredRegion* toStore) {
  originX_ = x;
  originY_ = y;
  boundsWidth_ = std::max(0, width);
  return InitialFrame(stored, toStore);
}

bool RegionFrame::PlaceHeight(int x, int y, int height, const StoredRegion& stored,
                              StoredRegion* toStore) {
  originX_ = x;
  originY_ = y;
  boundsHeight_ = std::max(0, height);
  return InitialFrame(stored, toStore);
}

bool RegionFrame::InitialFrame(const StoredRegion& stored, StoredRegion* toStore) {
  if (frame_.w > 0 && frame_.h > 0) return false;
  if (stored.width > 0 && stored.height > 0) {
    frame_ = FrameFromRegion(stored);
    return false;
  }
  const int w = boundsWidth_ / 2;
  const int h = boundsHeight_ / 2;
  frame_ = {(boundsWidth_ - w) / 2, (boundsHeight_ - h) / 2, w, h};
  if (toStore != nullptr) *toStore = RegionFromFrame(frame_);
  return true;
}

void RegionFrame::MoveTo(int x, int y) {
  frame_.x = x;
  frame_.y = y;
}

void RegionFrame::SetAdjustable(bool adjustable) {
  adjustable_ = adjustable;
  if (!adjustable_) {
    // A drag in progress ends where it is.
    dragging_ = false;
    mode_ = DragMode::kNone;
  }
}

// --- Pointer -------------------------------------------------------------------

void RegionFrame::Press(int a, int b) {
  buttonDown_ = true;
  lastX_ = pressX_ = a;
  lastY_ = pressY_ = b;
  pressRect_ = frame_;
}

void RegionFrame::Release() {
  dragging_ = false;
  buttonDown_ = false;
  mode_ = DragMode::kNone;
  lastX_ = 0;
  lastY_ = 0;
}

RegionFrame::MoveResult RegionFrame::PointerMoved(int a, int b) {
  MoveResult result;
  if (!adjustable_) return result;
  if (dragging_) {
    result.dragStep = true;
    result.frameChanged = DragStep(a, b);
    return result;
  }
  const DragMode zone = HitZone(frame_, a, b);
  result.cursorChanged = true;
  result.cursor = CursorForZone(zone);
  if (buttonDown_ && zone != DragMode::kNone) {
    mode_ = zone;
    dragging_ = true;
  }
  return result;
}

bool RegionFrame::DragStep(int a, int b) {
  const bool aInside = a >= 0 && a <= boundsWidth_;
  const bool bInside = b >= 0 && b <= boundsHeight_;
  const FrameRect before = frame_;
  switch (mode_) {
    case DragMode::kTop:
      if (bInside) DragTop(b);
      break;
    case DragMode::kBottom:
      if (bInside) DragBottom(b);
      break;
    case DragMode::kLeft:
      if (aInside) DragLeft(a);
      break;
    case DragMode::kRight:
      if (aInside) DragRight(a);
      break;
    case DragMode::kTopLeft:
    case DragMode::kTopRight:
    case DragMode::kBottomLeft:
    case DragMode::kBottomRight:
      if (aInside && bInside) DragCorner(a, b);
      break;
    case DragMode::kMove:
      if (aInside && bInside) DragMove(a, b);
      break;
    case DragMode::kNone:
      break;
  }
  return !(frame_ == before);
}

// The edge rules keep the opposite edge where it is. A step that would carry
// an edge past the minimum (one large pointer jump) stops it at the minimum,
// so the frame never turns inside out.
void RegionFrame::DragTop(int b) {
  FrameRect& f = frame_;
  if (f.h > kMinFrameSide || b < f.y) {
    const int bottom = f.y + f.h;
    f.y = std::min(b, bottom - kMinFrameSide);
    f.h = bottom - f.y;
  }
}

void RegionFrame::DragBottom(int b) {
  FrameRect& f = frame_;
  if (f.h > kMinFrameSide || b > f.y + f.h) f.h = std::max(b - f.y, kMinFrameSide);
}

void RegionFrame::DragLeft(int a) {
  FrameRect& f = frame_;
  const int pressedWidth = pressRect_.w + pressX_;
  if (f.w > kMinFrameSide && f.x + f.w <= boundsWidth_) {
    f.x = a;
    f.w = pressedWidth - a;
  }
  if (f.w == kMinFrameSide && a < pressX_) {
    f.x = a;
    f.w = pressedWidth - a;
  }
  if (f.w < kMinFrameSide) {
    // Stopped at the minimum with its right edge where the rule puts it.
    f.x = pressedWidth - kMinFrameSide;
    f.w = kMinFrameSide;
  }
  if (f.x + f.w > boundsWidth_) f.w = boundsWidth_ - f.x;
}

void RegionFrame::DragRight(int a) {
  FrameRect& f = frame_;
  if (f.w >= kMinFrameSide && f.x + f.w <= boundsWidth_) f.w = pressRect_.w + a - pressX_;
  f.w = std::max(f.w, kMinFrameSide);
  // Within the screen: a frame past the right edge could not be grabbed again.
  f.w = std::min(f.w, boundsWidth_ - f.x);
}

void RegionFrame::DragCorner(int a, int b) {
  FrameRect& f = frame_;
  const int la = lastX_;
  const int lb = lastY_;
  lastX_ = a;
  lastY_ = b;
  if (f.w <= kMinFrameSide || f.h <= kMinFrameSide) return;
  const int right = f.x + f.w;
  const int bottom = f.y + f.h;
  switch (mode_) {
    case DragMode::kTopLeft:
      if (f.x + (a - la) < 0 || f.y + (b - lb) < 0) return;
      f.x += a - la;
      f.y += b - lb;
      f.w -= a - la;
      f.h -= b - lb;
      break;
    case DragMode::kTopRight:
      if (right >= boundsWidth_ || bottom >= boundsHeight_) return;
      f.y = b;
      f.w += a - la;
      f.h += lb - b;
      break;
    case DragMode::kBottomLeft:
      if (right >= boundsWidth_ || bottom >= boundsHeight_) return;
      f.x = a;
      f.w += la - a;
      f.h += b - lb;
      break;
    case DragMode::kBottomRight:
      if (right >= boundsWidth_ || bottom >= boundsHeight_) return;
      f.w += a - la;
      f.h += b - lb;
      break;
    default:
      return;
  }
  // One large step stops at the minimum, the moving edge giving way, and at
  // the screen's edges.
  const bool movesLeft = mode_ == DragMode::kTopLeft || mode_ == DragMode::kBottomLeft;
  const bool movesTop = mode_ == DragMode::kTopLeft || mode_ == DragMode::kTopRight;
  if (f.w < kMinFrameSide) {
    if (movesLeft) f.x += f.w - kMinFrameSide;
    f.w = kMinFrameSide;
  }
  if (f.h < kMinFrameSide) {
    if (movesTop) f.y += f.h - kMinFrameSide;
    f.h = kMinFrameSide;
  }
  f.w = std::min(f.w, boundsWidth_ - f.x);
  f.h = std::min(f.h, boundsHeight_ - f.y);
}

void RegionFrame::DragMove(int a, int b) {
  FrameRect& f = frame_;
  f.x += a - lastX_;
  f.y += b - lastY_;
  lastX_ = a;
  lastY_ = b;
  f.x = std::max(f.x, 0);
  f.y = std::max(f.y, 0);
  if (f.x + f.w > boundsWidth_) f.x = boundsWidth_ - f.w;
  if (f.y + f.h > boundsHeight_) f.y = boundsHeight_ - f.h;
}

// --- Toolbar ---------------------------------------------------------------------

ToolbarDrag DragToolbar(int anchorLeft, int anchorTop, int dx, int dy, int toolbarWidth,
                        int toolbarHeight, int frameHeight, int screenWidth, int screenHeight,
                        bool belowFrame) {
  ToolbarDrag drag;
  const int wantedTop = anchorTop + dy;
  // The frame and the toolbar together stay on the screen.
  const int lowest = belowFrame ? frameHeight : 0;
  const int highest = belowFrame ? screenHeight - toolbarHeight : screenHeight - frameHeight - toolbarHeight;
  drag.top = std::clamp(wantedTop, lowest, std::max(lowest, highest));
  drag.clampedY = drag.top != wantedTop;
  const int wantedLeft = anchorLeft + dx;
  drag.left = std::clamp(wantedLeft, 0, std::max(0, screenWidth - toolbarWidth));
  drag.clampedX = drag.left != wantedLeft;
  return drag;
}

bool ToolbarGoesBelow(const FrameRect& frame, int toolbarHeight, int screenHeight) {
  return frame.y - toolbarHeight < 0 && frame.y + frame.h + toolbarHeight <= screenHeight;
}

}  // namespace tarn::ui
