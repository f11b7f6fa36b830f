// Painting of the snapshot selector: the frozen picture dimmed around the
// selection or the highlighted window, the tracker, and the information box
// with the magnifier.

#include <QPaintEvent>
#include <QPainter>
#include <QPen>
#include <QRegion>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cmath>

#include "ui/framework/ui_text.h"
#include "ui/overlay/user_define_region.h"

namespace tarn::ui {
namespace {

// The information box: this far left of and above the rectangle it
// describes, this size, black at this alpha (logical pixels).
constexpr int kBoxOffsetX = 3;
constexpr int kBoxOffsetY = 92;
constexpr int kBoxWidth = 152;
constexpr int kBoxHeight = 82;
constexpr int kBoxAlpha = 140;
// Where the box goes instead when it would leave the screen above: this far
// below the rectangle, or inside its top.
constexpr int kBoxGap = 10;
// Its three lines: left edge and tops, relative to the box.
constexpr int kTextLeft = 11;
constexpr int kTextTop = 8;
constexpr int kLineStep = 22;
// The magnifier: kMagnifiedSide pixels around the pointer shown kMagnifierSide
// logical pixels wide, on a panel of its own beside the box.
constexpr int kMagnifiedSide = 36;
constexpr int kMagnifierSide = 72;
constexpr int kMagnifierMargin = 5;
constexpr int kPanelGap = 4;
constexpr int kCrossHairWidth = 2;
// The outline of the highlighted window (logical pixels).
constexpr int kHighlightPen = 4;

const QColor kHighlightColor(40, 163, 238);

QRect ToQRect(const TrackerRect& rect) {
  return {rect.left, rect.top, rect.Width(), rect.Height()};
}

}  // namespace

TrackerRect CUserDefineRegion::InfoRect() const {
  if (!tracker_.rect().IsEmpty()) return tracker_.rect().Normalized();
  if (!highlight_.IsEmpty()) return highlight_;
  return {magnifierPoint_.x(), magnifierPoint_.y(), magnifierPoint_.x(), magnifierPoint_.y()};
}

QRect CUserDefineRegion::ToLogical(const TrackerRect& rect) const {
  const TrackerRect n = rect.Normalized();
  const int left = static_cast<int>(std::floor(n.left / pixelRatio_));
  const int top = static_cast<int>(std::floor(n.top / pixelRatio_));
  const int right = static_cast<int>(std::ceil(n.right / pixelRatio_));
  const int bottom = static_cast<int>(std::ceil(n.bottom / pixelRatio_));
  return {left, top, right - left, bottom - top};
}

CUserDefineRegion::Boxes CUserDefineRegion::ComputeBoxes() const {
  const int areaWidth = width();
  const int areaHeight = height();
  const QRect described = ToLogical(InfoRect());
  int x = described.left() - kBoxOffsetX;
  int y = described.top() - kBoxOffsetY;
  // No room above: below the rectangle, else inside its top.
  if (y < 0) y = described.top() + described.height() + kBoxGap;
  if (y + kBoxHeight > areaHeight) y = described.top() + kBoxGap;
  x = std::clamp(x, 0, std::max(0, areaWidth - kBoxWidth));
  y = std::clamp(y, 0, std::max(0, areaHeight - kBoxHeight));
  Boxes boxes;
  boxes.box = QRect(x, y, kBoxWidth, kBoxHeight);
  // The magnifier's panel: right of the box, else left of it, else below.
  const int panelSide = kMagnifierSide + 2 * kMagnifierMargin;
  QRect panel(x + kBoxWidth + kPanelGap, y, panelSide, panelSide);
  if (panel.right() >= areaWidth) panel.moveLeft(x - kPanelGap - panelSide);
  if (panel.left() < 0) {
    panel.moveTopLeft(QPoint(x, y + kBoxHeight + kPanelGap));
    if (panel.bottom() >= areaHeight) panel.moveBottom(y - kPanelGap - 1);
  }
  boxes.magnifier = panel;
  return boxes;
}

QRegion CUserDefineRegion::DecorationRegion(const TrackerRect& selection,
                                            const Boxes& boxes) const {
  QRegion region = QRegion(boxes.box) | QRegion(boxes.magnifier);
  if (!selection.IsEmpty()) {
    // The selection, its outline and its handles.
    const int margin =
        tracker_.handleSize() +
        static_cast<int>(std::lround((CXRectTracker::kOutlineDistance + 1) * pixelRatio_)) + 1;
    region |= ToLogical(selection.Normalized().Inflated(margin));
  }
  return region;
}

void CUserDefineRegion::paintEvent(QPaintEvent* event) {
  (void)event;
  if (screenshot_.isNull()) return;
  const auto started = std::chrono::steady_clock::now();
  QPainter painter(this);
  painter.save();
  // The picture, the dimming and the outlines in device pixels.
  painter.scale(1.0 / pixelRatio_, 1.0 / pixelRatio_);
  PaintScreen(painter);
  painter.restore();
  PaintInfoBox(painter);
  painter.end();
  ++paintCount_;
  lastPaintUs_ = std::chrono::duration_cast<std::chrono::microseconds>(
                     std::chrono::steady_clock::now() - started)
                     .count();
  if (!keyboardQueued_) {
    // Shown now: the keyboard can be taken.
    keyboardQueued_ = true;
    QTimer::singleShot(0, this, [this] { TakeKeyboard(); });
  }
}

void CUserDefineRegion::PaintScreen(QPainter& painter) const {
  const QRect screen(0, 0, monitor_.width, monitor_.height);
  // `outside` around `keep`, `inside` within it.
  const auto paintAround = [&](const QImage& outside, const QRect& keep, const QImage& inside) {
    const QRect kept = keep.intersected(screen);
    for (const QRect& band : QRegion(screen) - QRegion(kept)) {
      painter.drawImage(band, outside, band);
    }
    if (!kept.isEmpty()) painter.drawImage(kept, inside, kept);
  };
  if (!tracker_.rect().IsEmpty()) {
    paintAround(dimmedOnce_, ToQRect(tracker_.rect().Normalized()), screenshot_);
    tracker_.Draw(painter);
  } else if (!highlight_.IsEmpty()) {
    // Dimmed once more outside the window under the pointer, and outlined
    // inside its edges so that the outline shows at the screen's edges too.
    const QRect window = ToQRect(highlight_).intersected(screen);
    paintAround(dimmedTwice_, window, dimmedOnce_);
    const int pen = static_cast<int>(std::lround(kHighlightPen * pixelRatio_));
    painter.fillRect(window.left(), window.top(), window.width(), pen, kHighlightColor);
    painter.fillRect(window.left(), window.bottom() + 1 - pen, window.width(), pen,
                     kHighlightColor);
    painter.fillRect(window.left(), window.top(), pen, window.height(), kHighlightColor);
    painter.fillRect(window.right() + 1 - pen, window.top(), pen, window.height(), kHighlightColor);
  } else {
    painter.drawImage(screen, dimmedOnce_, screen);
  }
}

void CUserDefineRegion::PaintInfoBox(QPainter& painter) const {
  const Boxes boxes = ComputeBoxes();
  const QColor background(0, 0, 0, kBoxAlpha);
  painter.fillRect(boxes.box, background);
  painter.fillRect(boxes.magnifier, background);
  const TrackerRect described = InfoRect();
  const QString lines[] = {
      QCoreApplication::translate("TarnRecorder", "Left: %1, Top: %2").arg(described.left).arg(described.top),
      QCoreApplication::translate("TarnRecorder", "宽度: %1, 高度: %2").arg(described.Width()).arg(described.Height()),
      QCoreApplication::translate("TarnRecorder", "双击选择录制区域"),
  };
  painter.setFont(infoFont_);
  painter.setPen(Qt::white);
  const int textLeft = boxes.box.left() + kTextLeft;
  for (int i = 0; i < 3; ++i) {
    const QRect line(textLeft, boxes.box.top() + kTextTop + i * kLineStep,
                     boxes.box.right() + 1 - textLeft, kLineStep);
    painter.drawText(line, Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, lines[i]);
  }
  PaintMagnifier(painter, boxes.magnifier.adjusted(kMagnifierMargin, kMagnifierMargin,
                                                   -kMagnifierMargin, -kMagnifierMargin));
}

void CUserDefineRegion::PaintMagnifier(QPainter& painter, const QRect& target) const {
  const int half = kMagnifiedSide / 2;
  // Pixels beyond the screen's edges show black.
  painter.fillRect(target, Qt::black);
  const QRect source(magnifierPoint_.x() - half, magnifierPoint_.y() - half, kMagnifiedSide,
                     kMagnifiedSide);
  const QRect shown = source.intersected(screenshot_.rect());
  if (!shown.isEmpty()) {
    const double scale = double(target.width()) / kMagnifiedSide;
    const QRectF into(target.left() + (shown.left() - source.left()) * scale,
                      target.top() + (shown.top() - source.top()) * scale, shown.width() * scale,
                      shown.height() * scale);
    painter.drawImage(into, screenshot_, shown);
  }
  // The cross-hair runs through the pointer's own pixel.
  const int x = target.left() + target.width() * half / kMagnifiedSide;
  const int y = target.top() + target.height() * half / kMagnifiedSide;
  painter.fillRect(target.left(), y, target.width(), kCrossHairWidth, Qt::black);
  painter.fillRect(x, target.top(), kCrossHairWidth, target.height(), Qt::black);
  // A frame that shows where the picture ends, also over black.
  painter.setPen(QPen(kHighlightColor, 1));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(target.adjusted(-1, -1, 0, 0));
}

}  // namespace tarn::ui
