#pragma once
// A small level meter of one sound source: a bar lit up to the RMS level of
// the last report and a mark at its peak, on a scale from -60 dBFS (empty)
// to 0 dBFS (full). A source that cannot be measured shows the bar greyed,
// with why in its tooltip. UI thread only.

#include <QString>
#include <QWidget>

namespace tarn::ui {

class SoundMeter : public QWidget {
  Q_OBJECT

 public:
  // The quietest level the bar shows.
  static constexpr double kFloorDbfs = -60.0;

  explicit SoundMeter(QWidget* parent = nullptr);

  // A report's levels, linear 0 (silence) to 1 (full scale).
  void SetLevel(float peak, float rms);
  // The source cannot be measured: greyed, with `why` as the tooltip.
  void SetUnavailable(const QString& why);
  // Nothing is measured now: an empty bar.
  void Clear();

  bool available() const { return available_; }
  // How much of the bar the RMS lights and where the peak mark sits, 0 to 1.
  double rmsFraction() const { return rmsFraction_; }
  double peakFraction() const { return peakFraction_; }
  // Where a linear level falls on the bar, 0 to 1.
  static double FractionForLevel(float level);

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  bool available_ = true;
  double rmsFraction_ = 0;
  double peakFraction_ = 0;
};

}  // namespace tarn::ui
