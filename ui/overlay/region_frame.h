#pragma once
// The arithmetic of the region frame: the red frame drawn around the recorded
// rectangle, its hit zones, and what each drag step does to it. No windows
// here, so every rule can be checked on its own.
//
// All coordinates are pixels of the primary monitor, relative to its top-left
// corner (the mask window covers that monitor, so they are window coordinates
// too). The frame includes its 3-pixel border on every side; the stored region
// is the rectangle inside it, the one that is recorded.

namespace tarn::ui {

inline constexpr int kFrameBorder = 3;
// The smallest side an edge drag leaves.
inline constexpr int kMinFrameSide = 20;
// Half-width of the hit zones around the frame lines.
inline constexpr int kHitTolerance = 5;

struct FrameRect {
  int x = 0;
  int y = 0;
  int w = 0;
  int h = 0;
  friend bool operator==(const FrameRect&, const FrameRect&) = default;
};

// The four region keys: the recorded rectangle.
struct StoredRegion {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  friend bool operator==(const StoredRegion&, const StoredRegion&) = default;
};

// The even number at or below n.
int EvenDown(int n);
FrameRect FrameFromRegion(const StoredRegion& region);
// Stored sizes are always even and never negative.
StoredRegion RegionFromFrame(const FrameRect& frame);

// What a press at a point would drag; the values are the drag modes.
enum class DragMode {
  kNone = 0,
  kTop = 1,
  kBottom = 2,
  kLeft = 3,
  kRight = 4,
  kTopLeft = 5,
  kTopRight = 6,
  kBottomLeft = 7,
  kBottomRight = 8,
  kMove = 9,
};

enum class ZoneCursor { kArrow, kSizeVertical, kSizeHorizontal, kSizeFDiagonal, kSizeBDiagonal, kSizeAll };

// The zone of the point (a, b) against `frame`: edges first, then corners,
// then the inside; every comparison is strict.
DragMode HitZone(const FrameRect& frame, int a, int b, int tolerance = kHitTolerance);
ZoneCursor CursorForZone(DragMode mode);

// The state of one frame being moved and resized with the pointer.
class RegionFrame {
 public:
  // What a pointer move did.
  struct MoveResult {
    bool frameChanged = false;       // a drag step changed the frame
    bool dragStep = false;           // the move was a drag step (the toolbar follows)
    bool cursorChanged = false;      // `cursor` is to be shown
    ZoneCursor cursor = ZoneCursor::kArrow;
  };

  // The window's new place and size (place-width / place-height). Then the
  // initial-frame rule: a frame already set stays; else the stored region's,
  // else one of half the bounds, centred. Returns true when that last case
  // made a region that is to be stored in `toStore`.
  bool PlaceWidth(int x, int y, int width, const StoredRegion& stored, StoredRegion* toStore);
  bool PlaceHeight(int x, int y, int height, const StoredRegion& stored, StoredRegion* toStore);

  void Press(int a, int b);
  void Release();
  MoveResult PointerMoved(int a, int b);

  // The frame moved by the toolbar: new top-left, size kept.
  void MoveTo(int x, int y);
  void SetFrame(const FrameRect& frame) { frame_ = frame; }

  // Locked while recording: pointer moves change neither cursor nor frame.
  void SetAdjustable(bool adjustable);
  bool adjustable() const { return adjustable_; }

  const FrameRect& frame() const { return frame_; }
  int boundsWidth() const { return boundsWidth_; }
  int boundsHeight() const { return boundsHeight_; }
  DragMode mode() const { return mode_; }
  bool dragging() const { return dragging_; }
  bool buttonDown() const { return buttonDown_; }

 private:
  bool InitialFrame(const StoredRegion& stored, StoredRegion* toStore);
  bool DragStep(int a, int b);
  void DragTop(int b);
  void DragBottom(int b);
  void DragLeft(int a);
  void DragRight(int a);
  void DragCorner(int a, int b);
  void DragMove(int a, int b);

  DragMode mode_ = DragMode::kNone;
  bool dragging_ = false;
  bool buttonDown_ = false;
  bool adjustable_ = true;
  int lastX_ = 0;
  int lastY_ = 0;
  int pressX_ = 0;
  int pressY_ = 0;
  FrameRect pressRect_;
  int originX_ = 0;
  int originY_ = 0;
  int boundsWidth_ = 0;
  int boundsHeight_ = 0;
  FrameRect frame_;
};

// The toolbar above the frame, dragged by the pointer (dx, dy) from where
// the drag began. `anchorLeft`/`anchorTop` is the toolbar's place at the
// press; the toolbar is `toolbarWidth` x `toolbarHeight`, the frame below it
// `frameHeight` high, the screen `screenWidth` x `screenHeight`. A toolbar
// `belowFrame` (a frame at the top of the screen leaves no room above it)
// keeps the frame above itself on the screen instead.
struct ToolbarDrag {
  int left = 0;
  int top = 0;
  bool clampedX = false;  // a limit applied on this axis: the anchor restarts here
  bool clampedY = false;
};
ToolbarDrag DragToolbar(int anchorLeft, int anchorTop, int dx, int dy, int toolbarWidth,
                        int toolbarHeight, int frameHeight, int screenWidth, int screenHeight,
                        bool belowFrame = false);

// Whether the toolbar goes below `frame` because the screen has no room
// for it above (and has room below).
bool ToolbarGoesBelow(const FrameRect& frame, int toolbarHeight, int screenHeight);

}  // namespace tarn::ui
