#include "ui/brush/brush_icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include "ui/brush/brush_shape.h"

namespace tarn::ui {
namespace {

constexpr int kIconSide = 24;
const QColor kInk(0x33, 0x3a, 0x48);

void PaintTool(QPainter& p, int tool) {
  QPen pen(kInk, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  p.setPen(pen);
  switch (tool) {
    case kToolPen: {
      QPainterPath path(QPointF(4, 18));
      path.cubicTo(8, 6, 12, 22, 20, 6);
      p.drawPath(path);
      break;
    }
    case kToolMarker:
      p.setPen(QPen(QColor(254, 200, 40, 200), 7, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(5, 17, 19, 7);
      break;
    case kToolRectangle:
      p.drawRect(4, 6, 16, 12);
      break;
    case kToolEllipse:
      p.drawEllipse(3, 6, 18, 12);
      break;
    case kToolLine:
      p.drawLine(4, 20, 20, 4);
      break;
    case kToolArrow: {
      p.drawLine(4, 20, 18, 6);
      QPainterPath head;
      head.moveTo(20, 4);
      head.lineTo(11, 7);
      head.lineTo(17, 13);
      head.closeSubpath();
      p.fillPath(head, kInk);
      break;
    }
    case kToolText: {
      QFont font;
      font.setPixelSize(18);
      font.setBold(true);
      p.setFont(font);
      p.drawText(QRect(0, 0, kIconSide, kIconSide), Qt::AlignCenter, "T");
      break;
    }
    case kToolSeq: {
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(230, 40, 40));
      p.drawEllipse(3, 3, 18, 18);
      QFont font;
      font.setPixelSize(13);
      font.setBold(true);
      p.setFont(font);
      p.setPen(Qt::white);
      p.drawText(QRect(3, 3, 18, 18), Qt::AlignCenter, "1");
      break;
    }
    case kToolEraser:
      p.setBrush(QColor(0xf2, 0x9c, 0xb0));
      p.drawRoundedRect(QRectF(4, 8, 16, 9), 2, 2);
      p.drawLine(9, 8, 9, 17);
      break;
    default:
      break;
  }
}

}  // namespace

QIcon ToolIcon(int tool) {
  QPixmap pixmap(kIconSide, kIconSide);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  PaintTool(painter, tool);
  painter.end();
  return QIcon(pixmap);
}

QIcon SizeIcon(int size) {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(kInk);
  const qreal diameter = 2.0 + 2.5 * size;
  painter.drawEllipse(QPointF(8, 8), diameter / 2, diameter / 2);
  painter.end();
  return QIcon(pixmap);
}

}  // namespace tarn::ui
