#include "ui/main/sound_meter.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "recorder/audio/sound_levels.h"

namespace tarn::ui {
namespace {

constexpr int kBarHeight = 8;
// Where the bar turns from green to yellow (-12 dBFS) and to red (-3 dBFS).
constexpr double kYellowFrom = 48.0 / 60.0;
constexpr double kRedFrom = 57.0 / 60.0;

}  // namespace

SoundMeter::SoundMeter(QWidget* parent) : QWidget(parent) {
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  setAttribute(Qt::WA_OpaquePaintEvent, false);
}

double SoundMeter::FractionForLevel(float level) {
  const double dbfs = LevelToDbfs(level);
  return std::clamp((dbfs - kFloorDbfs) / -kFloorDbfs, 0.0, 1.0);
}

void SoundMeter::SetLevel(float peak, float rms) {
  const double peakFraction = FractionForLevel(peak);
  const double rmsFraction = std::min(FractionForLevel(rms), peakFraction);
  const bool changed = !available_ || peakFraction != peakFraction_ || rmsFraction != rmsFraction_;
  available_ = true;
  peakFraction_ = peakFraction;
  rmsFraction_ = rmsFraction;
  if (!toolTip().isEmpty()) setToolTip(QString());
  if (changed) update();
}

void SoundMeter::SetUnavailable(const QString& why) {
  const bool changed = available_ || rmsFraction_ != 0 || peakFraction_ != 0;
  available_ = false;
  rmsFraction_ = 0;
  peakFraction_ = 0;
  if (toolTip() != why) setToolTip(why);
  if (changed) update();
}

void SoundMeter::Clear() { SetLevel(0, 0); }

QSize SoundMeter::sizeHint() const { return QSize(140, kBarHeight + 4); }

QSize SoundMeter::minimumSizeHint() const { return QSize(60, kBarHeight + 4); }

void SoundMeter::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QRectF bar(0.5, (height() - kBarHeight) / 2.0 + 0.5, width() - 1.0, kBarHeight - 1.0);
  QPainterPath outline;
  outline.addRoundedRect(bar, 3, 3);
  if (!available_) {
    // Greyed: no level can be had from this source.
    painter.fillPath(outline, QColor(0xf3, 0xf4, 0xf6));
    painter.setPen(QPen(QColor(0xd1, 0xd5, 0xdb), 1, Qt::DashLine));
    painter.drawPath(outline);
    return;
  }
  painter.fillPath(outline, QColor(0xe5, 0xe7, 0xeb));
  painter.save();
  painter.setClipPath(outline);
  if (rmsFraction_ > 0) {
    QLinearGradient colours(bar.left(), 0, bar.right(), 0);
    colours.setColorAt(0, QColor(0x22, 0xc5, 0x5e));
    colours.setColorAt(kYellowFrom - 0.001, QColor(0x22, 0xc5, 0x5e));
    colours.setColorAt(kYellowFrom, QColor(0xea, 0xb3, 0x08));
    colours.setColorAt(kRedFrom - 0.001, QColor(0xea, 0xb3, 0x08));
    colours.setColorAt(kRedFrom, QColor(0xef, 0x44, 0x44));
    colours.setColorAt(1, QColor(0xef, 0x44, 0x44));
    QRectF lit = bar;
    lit.setWidth(bar.width() * rmsFraction_);
    painter.fillRect(lit, colours);
  }
  if (peakFraction_ > 0) {
    // The peak mark: a dark line, red once the peak nears full scale.
    const double x = bar.left() + bar.width() * peakFraction_;
    const QColor mark = peakFraction_ >= kRedFrom ? QColor(0xb9, 0x1c, 0x1c) : QColor(0x1f, 0x29, 0x37);
    painter.fillRect(QRectF(std::min(x, bar.right() - 2), bar.top(), 2, bar.height()), mark);
  }
  painter.restore();
}

}  // namespace tarn::ui
