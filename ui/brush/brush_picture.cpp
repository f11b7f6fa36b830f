#include "ui/brush/brush_picture.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPolygon>
#include <algorithm>
#include <cstring>

#include "ui/brush/brush_text.h"

namespace tarn::ui {
namespace {

// Text layout: top-left at the origin, lines as given, never clipped.
constexpr int kTextFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip | Qt::TextExpandTabs;
constexpr qreal kLayoutExtent = 100000;

QColor ColourOf(ColorRef colour, int alpha = 0xFF) {
  return QColor::fromRgba(ArgbOf(colour, alpha));
}

QRect Normalised(int x1, int y1, int x2, int y2) {
  return QRect(QPoint(std::min(x1, x2), std::min(y1, y2)), QPoint(std::max(x1, x2), std::max(y1, y2)));
}

QString NumberText(const BrushShape& shape) { return QString::number(shape.number); }

QRectF NumberRect(const BrushShape& shape) {
  const QFontMetricsF metrics(NumberFont());
  QRectF box = metrics.boundingRect(NumberText(shape));
  box.moveCenter(QPointF(shape.x1, shape.y1));
  return box;
}

QPolygon StrokeOf(const BrushShape& shape) {
  QPolygon polygon(static_cast<int>(shape.points.size()));
  for (std::size_t i = 0; i < shape.points.size(); ++i) {
    polygon.setPoint(static_cast<int>(i), shape.points[i].x, shape.points[i].y);
  }
  return polygon;
}

void DrawArrow(QPainter& painter, const BrushShape& shape, const QPen& pen) {
  painter.setPen(pen);
  painter.drawLine(shape.x1, shape.y1, shape.x2, shape.y2);
  const ArrowHead head = ArrowHeadOf(shape.x1, shape.y1, shape.x2, shape.y2);
  QPainterPath path;
  path.setFillRule(Qt::OddEvenFill);
  path.moveTo(head.tip.x, head.tip.y);
  path.lineTo(head.first.x, head.first.y);
  path.lineTo(head.second.x, head.second.y);
  path.closeSubpath();
  painter.fillPath(path, ColourOf(shape.colour));
}

void DrawEraser(QPainter& painter, const BrushShape& shape) {
  const QRect area = Normalised(shape.x1, shape.y1, shape.x2, shape.y2);
  if (shape.finished) {
    // Replaces whatever was drawn before it in its rectangle.
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(area, QColor::fromRgba(kEraserFillArgb));
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
  } else {
    painter.fillRect(area, QColor::fromRgba(kEraserPreviewArgb));
  }
}

}  // namespace

void DrawShape(QPainter& painter, const BrushShape& shape) {
  if (!shape.visible) return;
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setRenderHint(QPainter::TextAntialiasing, true);
  painter.setBrush(Qt::NoBrush);
  QPen pen(ColourOf(shape.colour), shape.size, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
  switch (shape.tool) {
    case kToolPen:
      if (shape.points.size() < 2) return;
      painter.setPen(pen);
      painter.drawPolyline(StrokeOf(shape));
      break;
    case kToolMarker:
      if (shape.points.size() < 2) return;
      painter.setPen(QPen(ColourOf(shape.colour, kMarkerAlpha), kMarkerWidth, Qt::SolidLine,
                          Qt::RoundCap, Qt::MiterJoin));
      painter.drawPolyline(StrokeOf(shape));
      break;
    case kToolRectangle:
      painter.setPen(pen);
      painter.drawRect(QRectF(shape.x1, shape.y1, shape.x2 - shape.x1, shape.y2 - shape.y1));
      break;
    case kToolEllipse:
      painter.setPen(pen);
      painter.drawEllipse(QRectF(shape.x1, shape.y1, shape.x2 - shape.x1, shape.y2 - shape.y1));
      break;
    case kToolLine:
      painter.setPen(pen);
      painter.drawLine(shape.x1, shape.y1, shape.x2, shape.y2);
      break;
    case kToolArrow:
      DrawArrow(painter, shape, pen);
      break;
    case kToolText:
      if (shape.text.empty()) return;
      painter.setFont(TextFont());
      painter.setPen(ColourOf(shape.colour));
      painter.drawText(QRectF(shape.x1, shape.y1, kLayoutExtent, kLayoutExtent), kTextFlags,
                       QString::fromStdString(shape.text));
      break;
    case kToolSeq:
      painter.setPen(Qt::NoPen);
      painter.setBrush(ColourOf(shape.colour));
      painter.drawEllipse(QRectF(shape.x1 - kSeqDiameter / 2.0, shape.y1 - kSeqDiameter / 2.0,
                                 kSeqDiameter, kSeqDiameter));
      painter.setBrush(Qt::NoBrush);
      painter.setFont(NumberFont());
      painter.setPen(Qt::white);
      painter.drawText(NumberRect(shape), Qt::AlignCenter | Qt::TextDontClip, NumberText(shape));
      break;
    case kToolEraser:
      DrawEraser(painter, shape);
      break;
    default:
      break;
  }
}

QRect ShapeBounds(const BrushShape& shape) {
  if (!shape.visible) return {};
  QRect box;
  int margin = shape.size + 3;
  switch (shape.tool) {
    case kToolPen:
    case kToolMarker:
      for (const BrushPoint& p : shape.points) box |= QRect(p.x, p.y, 1, 1);
      if (shape.tool == kToolMarker) margin = kMarkerWidth + 3;
      break;
    case kToolArrow: {
      const ArrowHead head = ArrowHeadOf(shape.x1, shape.y1, shape.x2, shape.y2);
      box = Normalised(shape.x1, shape.y1, shape.x2, shape.y2);
      for (const BrushPoint& p : {head.first, head.second}) box |= QRect(p.x, p.y, 1, 1);
      break;
    }
    case kToolText: {
      const QFontMetricsF metrics(TextFont());
      box = metrics
                .boundingRect(QRectF(shape.x1, shape.y1, kLayoutExtent, kLayoutExtent), kTextFlags,
                              QString::fromStdString(shape.text))
                .toAlignedRect();
      margin = 4;
      break;
    }
    case kToolSeq:
      box = QRect(shape.x1 - kSeqDiameter / 2, shape.y1 - kSeqDiameter / 2, kSeqDiameter + 1,
                  kSeqDiameter + 1) |
            NumberRect(shape).toAlignedRect();
      margin = 3;
      break;
    default:  // rectangle, ellipse, line, eraser
      box = Normalised(shape.x1, shape.y1, shape.x2, shape.y2);
      break;
  }
  return box.adjusted(-margin, -margin, margin + 1, margin + 1);
}

QImage NewCanvasImage(const QSize& size) {
  QImage image(size, QImage::Format_ARGB32_Premultiplied);
  image.fill(QColor::fromRgba(kCanvasClearArgb));
  return image;
}

void RenderAll(QImage& image, const std::vector<BrushShape>& shapes) {
  image.fill(QColor::fromRgba(kCanvasClearArgb));
  QPainter painter(&image);
  for (const BrushShape& shape : shapes) DrawShape(painter, shape);
}

BrushPicture::BrushPicture(const QSize& size)
    : base_(NewCanvasImage(size)), frame_(NewCanvasImage(size)) {}

void BrushPicture::CopyFromBase(const QRect& area) {
  const QRect clipped = area & frame_.rect();
  if (clipped.isEmpty()) return;
  const int bytes = clipped.width() * 4;
  for (int y = clipped.top(); y <= clipped.bottom(); ++y) {
    std::memcpy(frame_.scanLine(y) + clipped.left() * 4, base_.constScanLine(y) + clipped.left() * 4,
                static_cast<std::size_t>(bytes));
  }
}

QRect BrushPicture::Update(const std::vector<BrushShape>& shapes) {
  const std::size_t want = shapes.empty() ? 0 : shapes.size() - 1;
  QRect changed;
  const bool baseIntact = valid_ && baseCount_ <= want &&
                          (baseCount_ == 0 || shapes[baseCount_ - 1].id == baseLastId_);
  if (!baseIntact) {
    RenderAll(base_, {shapes.begin(), shapes.begin() + static_cast<std::ptrdiff_t>(want)});
    frame_ = base_.copy();
    changed = frame_.rect();
    liveArea_ = QRect();
    valid_ = true;
  } else if (baseCount_ < want) {
    // The shapes that stopped being last are drawn into the base once.
    QPainter painter(&base_);
    QRect baked;
    for (std::size_t i = baseCount_; i < want; ++i) {
      DrawShape(painter, shapes[i]);
      baked |= ShapeBounds(shapes[i]);
    }
    painter.end();
    CopyFromBase(baked | liveArea_);
    changed |= baked | liveArea_;
    liveArea_ = QRect();
  }
  baseCount_ = want;
  baseLastId_ = want > 0 ? shapes[want - 1].id : 0;

  if (!shapes.empty() && changed.isEmpty() && GrowStroke(shapes.back(), changed)) return changed;

  // The last shape: its old area back from the base, then drawn again.
  CopyFromBase(liveArea_);
  changed |= liveArea_;
  liveArea_ = QRect();
  liveId_ = 0;
  if (!shapes.empty()) {
    const BrushShape& last = shapes.back();
    liveArea_ = ShapeBounds(last) & frame_.rect();
    if (!liveArea_.isEmpty()) {
      QPainter painter(&frame_);
      DrawShape(painter, last);
      changed |= liveArea_;
    }
    liveId_ = last.id;
    livePoints_ = last.points.size();
  }
  return changed & frame_.rect();
}

bool BrushPicture::GrowStroke(const BrushShape& last, QRect& changed) {
  // A pen or marker stroke that only gained points since it was drawn
  // changes only around its new segments and the join before them: that
  // area is restored and the whole stroke drawn again, clipped to it.
  if (last.id != liveId_ || (last.tool != kToolPen && last.tool != kToolMarker) ||
      livePoints_ < 2 || last.points.size() <= livePoints_) {
    return false;
  }
  QRect area;
  for (std::size_t i = livePoints_ - 2; i < last.points.size(); ++i) {
    area |= QRect(last.points[i].x, last.points[i].y, 1, 1);
  }
  // Joins and caps reach at most a pen width beyond their point.
  const int margin = (last.tool == kToolMarker ? kMarkerWidth : last.size) * 2 + 3;
  area = area.adjusted(-margin, -margin, margin, margin) & frame_.rect();
  livePoints_ = last.points.size();
  if (area.isEmpty()) return true;
  CopyFromBase(area);
  QPainter painter(&frame_);
  painter.setClipRect(area);
  DrawShape(painter, last);
  liveArea_ |= area;
  changed = area;
  return true;
}

}  // namespace tarn::ui
