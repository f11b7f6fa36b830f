#pragma once
// A rectangle with eight handles that the user drags with the pointer: the
// handle geometry, the hit test and the drag arithmetic are plain integer
// code; drawing and the modal drag loop use Qt. Coordinates are whatever
// pixels the owner works in (the snapshot selector's device pixels).
// UI thread only.

#include <QPoint>
#include <Qt>
#include <functional>
#include <optional>

class QPainter;
class QPointF;
class QWidget;

namespace tarn::ui {

// A rectangle by its edges; right and bottom lie one past the last pixel.
// While a handle is dragged across the opposite edge it is inverted (right
// left of left, or bottom above top).
struct TrackerRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  // No area: zero width or height (an inverted rectangle is not empty).
  bool IsEmpty() const { return Width() == 0 || Height() == 0; }
  TrackerRect Normalized() const;
  // Grown by `by` on every side (shrunk when negative); not normalised.
  TrackerRect Inflated(int by) const { return {left - by, top - by, right + by, bottom + by}; }
  // Whether (x, y) lies in it: left <= x < right, top <= y < bottom.
  bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
  bool operator==(const TrackerRect&) const = default;
};

// What a point hits: a handle, the inside, or nothing.
enum TrackerHit {
  kHitNothing = -1,
  kHitTopLeft = 0,
  kHitTopRight = 1,
  kHitBottomRight = 2,
  kHitBottomLeft = 3,
  kHitTop = 4,
  kHitRight = 5,
  kHitBottom = 6,
  kHitLeft = 7,
  kHitMiddle = 8,
};

class CXRectTracker {
 public:
  // The handle size when nothing else is asked for.
  static constexpr int kDefaultHandleSize = 4;
  // The outline runs this far outside the rectangle.
  static constexpr int kOutlineDistance = 3;

  explicit CXRectTracker(int handleSize = kDefaultHandleSize);
  virtual ~CXRectTracker() = default;
  CXRectTracker(const CXRectTracker&) = delete;
  CXRectTracker& operator=(const CXRectTracker&) = delete;

  const TrackerRect& rect() const { return rect_; }
  void SetRect(const TrackerRect& rect) { rect_ = rect; }
  // Drags keep the rectangle inside `bounds`; an empty rectangle means none.
  const TrackerRect& bounds() const { return bounds_; }
  void SetBounds(const TrackerRect& bounds) { bounds_ = bounds; }
  int handleSize() const { return handleSize_; }
  void SetHandleSize(int size) { handleSize_ = size > 0 ? size : 1; }
  // The smallest width and height a handle drag leaves: twice the handle size.
  int minimumSize() const { return 2 * handleSize_; }
  // Drawing decorations (the outline's width and distance) are multiplied by
  // this: the number of pixels to one logical pixel.
  void SetDecorationScale(double scale) { decorationScale_ = scale; }

  // The handle size for `rect`: the handle size, or half the smaller side of
  // a rectangle smaller than two handles.
  virtual int GetHandleSize(const TrackerRect& rect) const;
  // Bit i set when handle i exists for the current rectangle: the corners
  // always, the top and bottom handles when |width| - 3 n >= 5, the left and
  // right ones when |height| - 3 n >= 5 (n: the handle size).
  virtual unsigned GetHandleMask() const;
  // Moves the edge `handle` drags so that the rectangle is at least the
  // minimum size across it, on the side it lies on now.
  virtual void AdjustRect(int handle, TrackerRect& rect) const;

  // Handle `handle` (kHitTopLeft .. kHitLeft) of the current rectangle: a
  // square of the rectangle's handle size just outside its corners and edge
  // midpoints.
  TrackerRect GetHandleRect(int handle) const;
  // What (x, y) hits. Handles of an inverted rectangle are named by the
  // edges they move: a hit on the handle drawn at the left of a rectangle
  // whose right lies left of its left is kHitRight.
  int HitTest(int x, int y) const;
  static Qt::CursorShape CursorForHit(int hit);

  // The rectangle `start` after the pointer moved by (dx, dy) since the
  // press on `handle`: the handle's edges follow the pointer (the inside
  // moves the whole rectangle), dragged edges stay within the bounds, the
  // minimum size holds across dragged edges, and the rectangle is moved back
  // inside the bounds keeping its size.
  TrackerRect DraggedRect(const TrackerRect& start, int handle, int dx, int dy) const;

  // Draws the outline and the handles of a non-empty rectangle. The painter
  // works in the tracker's pixels.
  void Draw(QPainter& painter) const;

  // The widget that takes the pointer while tracking, how its event
  // positions map to the tracker's pixels, and what to do after each step
  // (with the pointer in the tracker's pixels).
  void SetOwner(QWidget* owner, std::function<QPoint(const QPointF&)> toPixels,
                std::function<void(QPoint pointer)> onStep);

  // Drags `handle` from `press` until the left button is released: a nested
  // event loop runs while the owner holds the pointer. Escape or the right
  // button restore the rectangle; so does a release without any move.
  // Nothing happens when a widget holds the mouse grab already, the left
  // button is up, or tracking runs. The rectangle is normalised when the drag
  // ends. Returns whether the rectangle changed.
  bool Track(int handle, QPoint press);
  // Starts a new rectangle at `start` and drags its bottom-right corner,
  // beginning at `pointer`; otherwise as Track.
  bool TrackRubberBand(QPoint start, QPoint pointer);
  bool tracking() const { return tracking_; }
  // The pointer at the end of the last tracking, in the tracker's pixels.
  QPoint lastPointer() const { return lastPointer_; }

 private:
  class TrackingFilter;
  // Runs the drag; `firstPointer` is a pointer position to apply at once.
  bool RunTracking(int handle, QPoint press, TrackerRect restore,
                   std::optional<QPoint> firstPointer);

  TrackerRect rect_;
  TrackerRect bounds_;
  int handleSize_;
  double decorationScale_ = 1.0;
  QWidget* owner_ = nullptr;
  std::function<QPoint(const QPointF&)> toPixels_;
  std::function<void(QPoint)> onStep_;
  bool tracking_ = false;
  QPoint lastPointer_;
};

}  // namespace tarn::ui
