#include "ui/brush/brush_text.h"

#include <QFontMetricsF>
#include <QStringList>
#include <cmath>

namespace tarn::ui {

QFont TextFont() {
  QFont font;
  font.setFamilies(QStringList() << QString::fromUtf8("宋体") << QStringLiteral("AR PL UMing CN")
                                 << QStringLiteral("AR PL UMing TW") << QStringLiteral("sans-serif"));
  font.setPixelSize(20);
  font.setWeight(QFont::Normal);
  font.setStyle(QFont::StyleNormal);
  return font;
}

QFont NumberFont() {
  QFont font;
  font.setFamilies(QStringList() << QStringLiteral("Times new Roman") << QStringLiteral("Liberation Serif")
                                 << QStringLiteral("DejaVu Serif") << QStringLiteral("serif"));
  font.setPixelSize(16);
  return font;
}

QSizeF MeasureText(const QString& text) {
  QString lines = text;
  lines.replace('\r', '\n');
  const QFontMetricsF metrics(TextFont());
  // An empty layout rectangle: the text's own extent.
  return metrics.boundingRect(QRectF(), Qt::AlignLeft | Qt::AlignTop | Qt::TextExpandTabs, lines)
      .size();
}

QSize TextWindowGrowth::Grow(const QSize& current, const QString& text) {
  QString lines = text;
  lines.replace('\r', '\n');
  const QSizeF measured = MeasureText(lines);
  const int lineCount = static_cast<int>(lines.count('\n')) + 1;
  QSize size = current;
  if (measured.width() > size.width() - kPadding) {
    size.setWidth(static_cast<int>(std::ceil(measured.width())) + kPadding);
  }
  if (lineCount == 1) {
    lineHeight_ = static_cast<int>(std::ceil(measured.height()));
  } else {
    if (lineHeight_ == 0) lineHeight_ = static_cast<int>(std::ceil(QFontMetricsF(TextFont()).height()));
    size = QSize(static_cast<int>(std::ceil(measured.width())) + kPadding,
                 lineCount * lineHeight_ + kPadding);
  }
  return size;
}

}  // namespace tarn::ui
