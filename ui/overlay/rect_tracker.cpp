#include "ui/overlay/rect_tracker.h"

#include <QColor>
#include <QCursor>
#include <QEventLoop>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QObject>
#include <QPainter>
#include <QPointer>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <utility>

namespace tarn::ui {
namespace {

// The outline and handle colour, RGB(40, 163, 238).
const QColor kTrackerColor(40, 163, 238);

// The smallest distance between a middle handle and the corners beside it.
constexpr int kMiddleHandleRoom = 5;

// Which edges a handle moves.
struct HandleEdges {
  bool left, top, right, bottom;
};

HandleEdges EdgesOf(int handle) {
  switch (handle) {
    case kHitTopLeft: return {true, true, false, false};
    case kHitTopRight: return {false, true, true, false};
    case kHitBottomRight: return {false, false, true, true};
    case kHitBottomLeft: return {true, false, false, true};
    case kHitTop: return {false, true, false, false};
    case kHitRight: return {false, false, true, false};
    case kHitBottom: return {false, false, false, true};
    case kHitLeft: return {true, false, false, false};
    case kHitMiddle: return {true, true, true, true};
    default: return {false, false, false, false};
  }
}

// The handle drawn at the other side when the rectangle is inverted.
int MirrorHit(int hit, bool invertedX, bool invertedY) {
  static constexpr int kSwapX[] = {kHitTopRight, kHitTopLeft, kHitBottomLeft, kHitBottomRight,
                                   kHitTop,      kHitLeft,    kHitBottom,     kHitRight};
  static constexpr int kSwapY[] = {kHitBottomLeft, kHitBottomRight, kHitTopRight, kHitTopLeft,
                                   kHitBottom,     kHitRight,       kHitTop,      kHitLeft};
  if (hit < kHitTopLeft || hit > kHitLeft) return hit;
  if (invertedX) hit = kSwapX[hit];
  if (invertedY) hit = kSwapY[hit];
  return hit;
}

// The shift that brings [low, high) inside [min, max); a span wider than the
// range is aligned with its start.
int ShiftInside(int low, int high, int min, int max) {
  if (high > max) return std::max(max - high, min - low);
  if (low < min) return min - low;
  return 0;
}

}  // namespace

TrackerRect TrackerRect::Normalized() const {
  return {std::min(left, right), std::min(top, bottom), std::max(left, right),
          std::max(top, bottom)};
}

CXRectTracker::CXRectTracker(int handleSize) : handleSize_(std::max(1, handleSize)) {}

int CXRectTracker::GetHandleSize(const TrackerRect& rect) const {
  const int smaller = std::min(std::abs(rect.Width()), std::abs(rect.Height()));
  return smaller < 2 * handleSize_ ? smaller / 2 : handleSize_;
}

unsigned CXRectTracker::GetHandleMask() const {
  unsigned mask = 0x0F;  // the corners
  if (std::abs(rect_.Width()) - 3 * handleSize_ >= kMiddleHandleRoom) {
    mask |= (1u << kHitTop) | (1u << kHitBottom);
  }
  if (std::abs(rect_.Height()) - 3 * handleSize_ >= kMiddleHandleRoom) {
    mask |= (1u << kHitLeft) | (1u << kHitRight);
  }
  return mask;
}

void CXRectTracker::AdjustRect(int handle, TrackerRect& rect) const {
  if (handle == kHitMiddle) return;  // a move keeps the size
  const HandleEdges edges = EdgesOf(handle);
  const int minimum = minimumSize();
  // The dragged edge goes to the minimum distance from the fixed one, on
  // the side where it is now (beyond it when they meet).
  if (edges.left != edges.right && std::abs(rect.Width()) < minimum) {
    const int side = rect.Width() < 0 ? -1 : 1;
    if (edges.right) rect.right = rect.left + side * minimum;
    if (edges.left) rect.left = rect.right - side * minimum;
  }
  if (edges.top != edges.bottom && std::abs(rect.Height()) < minimum) {
    const int side = rect.Height() < 0 ? -1 : 1;
    if (edges.bottom) rect.bottom = rect.top + side * minimum;
    if (edges.top) rect.top = rect.bottom - side * minimum;
  }
}

TrackerRect CXRectTracker::GetHandleRect(int handle) const {
  const int size = GetHandleSize(rect_);
  // The handles sit just outside the rectangle, one pixel away.
  const TrackerRect outer = rect_.Normalized().Inflated(1).Inflated(size - 1);
  const int middleX = outer.left + (outer.Width() - size) / 2;
  const int middleY = outer.top + (outer.Height() - size) / 2;
  int x = outer.left;
  int y = outer.top;
  switch (handle) {
    case kHitTopLeft: break;
    case kHitTopRight: x = outer.right - size; break;
    case kHitBottomRight:
      x = outer.right - size;
      y = outer.bottom - size;
      break;
    case kHitBottomLeft: y = outer.bottom - size; break;
    case kHitTop: x = middleX; break;
    case kHitRight:
      x = outer.right - size;
      y = middleY;
      break;
    case kHitBottom:
      x = middleX;
      y = outer.bottom - size;
      break;
    case kHitLeft: y = middleY; break;
    default: return {};
  }
  return {x, y, x + size, y + size};
}

int CXRectTracker::HitTest(int x, int y) const {
  const TrackerRect normal = rect_.Normalized();
  if (!normal.Inflated(GetHandleSize(rect_)).Contains(x, y)) return kHitNothing;
  const unsigned mask = GetHandleMask();
  for (int handle = kHitTopLeft; handle <= kHitLeft; ++handle) {
    if ((mask & (1u << handle)) != 0 && GetHandleRect(handle).Contains(x, y)) {
      return MirrorHit(handle, rect_.Width() < 0, rect_.Height() < 0);
    }
  }
  return normal.Inflated(1).Contains(x, y) ? kHitMiddle : kHitNothing;
}

Qt::CursorShape CXRectTracker::CursorForHit(int hit) {
  switch (hit) {
    case kHitTopLeft:
    case kHitBottomRight: return Qt::SizeFDiagCursor;
    case kHitTopRight:
    case kHitBottomLeft: return Qt::SizeBDiagCursor;
    case kHitTop:
    case kHitBottom: return Qt::SizeVerCursor;
    case kHitRight:
    case kHitLeft: return Qt::SizeHorCursor;
    case kHitMiddle: return Qt::SizeAllCursor;
    default: return Qt::ArrowCursor;
  }
}

TrackerRect CXRectTracker::DraggedRect(const TrackerRect& start, int handle, int dx, int dy) const {
  const HandleEdges edges = EdgesOf(handle);
  TrackerRect rect = start;
  if (edges.left) rect.left += dx;
  if (edges.right) rect.right += dx;
  if (edges.top) rect.top += dy;
  if (edges.bottom) rect.bottom += dy;
  const bool bounded = !bounds_.IsEmpty();
  if (bounded && handle != kHitMiddle) {
    // A dragged edge stops at the bounds; the edges not dragged stay put.
    const TrackerRect b = bounds_.Normalized();
    if (edges.left) rect.left = std::clamp(rect.left, b.left, b.right);
    if (edges.right) rect.right = std::clamp(rect.right, b.left, b.right);
    if (edges.top) rect.top = std::clamp(rect.top, b.top, b.bottom);
    if (edges.bottom) rect.bottom = std::clamp(rect.bottom, b.top, b.bottom);
  }
  AdjustRect(handle, rect);
  if (bounded) {
    // The minimum size or a move may have carried it out: back in, same size.
    const TrackerRect b = bounds_.Normalized();
    const TrackerRect n = rect.Normalized();
    const int shiftX = ShiftInside(n.left, n.right, b.left, b.right);
    const int shiftY = ShiftInside(n.top, n.bottom, b.top, b.bottom);
    rect = {rect.left + shiftX, rect.top + shiftY, rect.right + shiftX, rect.bottom + shiftY};
  }
  return rect;
}

void CXRectTracker::Draw(QPainter& painter) const {
  if (rect_.IsEmpty()) return;
  const TrackerRect normal = rect_.Normalized();
  const int distance = static_cast<int>(std::lround(kOutlineDistance * decorationScale_));
  const int pen = std::max(1, static_cast<int>(std::lround(decorationScale_)));
  const TrackerRect o = normal.Inflated(distance);
  // Four bands rather than a stroked rectangle: each lands on whole pixels.
  painter.fillRect(o.left, o.top, o.Width(), pen, kTrackerColor);
  painter.fillRect(o.left, o.bottom - pen, o.Width(), pen, kTrackerColor);
  painter.fillRect(o.left, o.top, pen, o.Height(), kTrackerColor);
  painter.fillRect(o.right - pen, o.top, pen, o.Height(), kTrackerColor);
  const unsigned mask = GetHandleMask();
  for (int handle = kHitTopLeft; handle <= kHitLeft; ++handle) {
    if ((mask & (1u << handle)) == 0) continue;
    const TrackerRect h = GetHandleRect(handle);
    painter.fillRect(h.left, h.top, h.Width(), h.Height(), kTrackerColor);
  }
}

void CXRectTracker::SetOwner(QWidget* owner, std::function<QPoint(const QPointF&)> toPixels,
                             std::function<void(QPoint)> onStep) {
  owner_ = owner;
  toPixels_ = std::move(toPixels);
  onStep_ = std::move(onStep);
}

// Takes the owner's pointer and key events while a drag runs.
class CXRectTracker::TrackingFilter : public QObject {
 public:
  TrackingFilter(CXRectTracker& tracker, QEventLoop& loop, int handle, QPoint press)
      : tracker_(tracker), loop_(loop), handle_(handle), press_(press), start_(tracker.rect_) {}

  bool cancelled() const { return cancelled_; }
  bool moved() const { return moved_; }

  void Step(QPoint pointer) {
    tracker_.lastPointer_ = pointer;
    if (pointer != press_) moved_ = true;
    tracker_.rect_ =
        tracker_.DraggedRect(start_, handle_, pointer.x() - press_.x(), pointer.y() - press_.y());
    if (tracker_.onStep_) tracker_.onStep_(pointer);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    // Events that arrive in the same batch after the end belong to the owner.
    if (ended_) return QObject::eventFilter(watched, event);
    switch (event->type()) {
      case QEvent::MouseMove: Step(PointerOf(event)); return true;
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonDblClick:
        if (static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) End(true);
        return true;
      case QEvent::MouseButtonRelease:
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
          Step(PointerOf(event));
          End(false);
        }
        return true;
      case QEvent::KeyPress:
        if (static_cast<QKeyEvent*>(event)->key() != Qt::Key_Escape) break;
        End(true);
        return true;
      case QEvent::Hide: End(true); break;
      default: break;
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  QPoint PointerOf(QEvent* event) const {
    return tracker_.toPixels_(static_cast<QMouseEvent*>(event)->position());
  }
  void End(bool cancel) {
    ended_ = true;
    cancelled_ = cancel;
    loop_.quit();
  }

  CXRectTracker& tracker_;
  QEventLoop& loop_;
  const int handle_;
  const QPoint press_;
  const TrackerRect start_;
  bool ended_ = false;
  bool cancelled_ = false;
  bool moved_ = false;
};

bool CXRectTracker::Track(int handle, QPoint press) {
  if (handle < kHitTopLeft || handle > kHitMiddle) return false;
  return RunTracking(handle, press, rect_, std::nullopt);
}

bool CXRectTracker::TrackRubberBand(QPoint start, QPoint pointer) {
  const TrackerRect before = rect_;
  rect_ = {start.x(), start.y(), start.x(), start.y()};
  return RunTracking(kHitBottomRight, start, before, pointer);
}

bool CXRectTracker::RunTracking(int handle, QPoint press, TrackerRect restore,
                                std::optional<QPoint> firstPointer) {
  const bool leftDown = (QGuiApplication::mouseButtons() & Qt::LeftButton) != 0;
  if (tracking_ || owner_ == nullptr || !toPixels_ || QWidget::mouseGrabber() != nullptr ||
      !leftDown) {
    rect_ = restore;
    return false;
  }
  tracking_ = true;
  QEventLoop loop;
  TrackingFilter filter(*this, loop, handle, press);
  QPointer<QWidget> owner(owner_);
  owner->installEventFilter(&filter);
  owner->grabMouse(QCursor(CursorForHit(handle)));
  // The owner may hold the keyboard for itself already; then it keeps it.
  const bool takeKeyboard = QWidget::keyboardGrabber() == nullptr;
  if (takeKeyboard) owner->grabKeyboard();
  if (firstPointer) filter.Step(*firstPointer);
  loop.exec();
  // The owner, and this tracker with it, may be gone when the loop ends.
  if (!owner) return false;
  owner->removeEventFilter(&filter);
  owner->releaseMouse();
  if (takeKeyboard) owner->releaseKeyboard();
  tracking_ = false;
  rect_ = filter.cancelled() || !filter.moved() ? restore : rect_.Normalized();
  if (onStep_) onStep_(lastPointer_);
  return rect_ != restore;
}

}  // namespace tarn::ui
