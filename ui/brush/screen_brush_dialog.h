#pragma once
// The screen brush's palette: the tools, the pen widths and the colours,
// and the undo, redo and close buttons. A small window above the canvas and
// its input window, placed at (40, 100); it is dragged by its title strip.
// It belongs to the canvas and goes with it. UI thread only.

#include <QPoint>
#include <QPointer>

#include "ui/brush/brush_shape.h"
#include "ui/framework/ui_text.h"
#include "ui/framework/window_impl_base.h"

namespace tarn::ui {

class CScreenMask;

inline constexpr const char* kScreenBrushTitle = QT_TRANSLATE_NOOP("TarnRecorder", "屏幕画笔");
inline constexpr int kPaletteX = 40;
inline constexpr int kPaletteY = 100;
inline constexpr int kPaletteWidth = 108;
inline constexpr int kPaletteHeight = 440;

class ScreenBrushDialog : public WindowImplBase {
  Q_OBJECT

 public:
  explicit ScreenBrushDialog(CScreenMask* canvas);

  // Places the palette at (40, 100) on the primary monitor, shows it on top
  // and gives it the keyboard (Tab moves between its buttons, Escape closes).
  void PlaceAndShow();

 protected:
  QString GetSkinFile() const override { return "ScreenBrush.ui"; }
  QString GetWindowClassName() const override { return QString::fromUtf8(kScreenBrushTitle); }
  void InitWindow() override;
  void Notify(const TNotifyUI& msg) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void PaintIcons();

  QPointer<CScreenMask> canvas_;
  QWidget* title_ = nullptr;
  bool dragging_ = false;
  QPoint dragOffset_;
};

}  // namespace tarn::ui
