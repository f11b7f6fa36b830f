#pragma once
// The screen brush's text entry window: a small semi-transparent window
// with the text control "draw-text", opened where the text tool clicks. It
// grows with its text, and dragging it anywhere moves it (the text control
// ignores the pointer meanwhile). It belongs to the canvas. UI thread only.

#include <QPoint>
#include <QPointer>

#include "ui/brush/brush_shape.h"
#include "ui/brush/brush_text.h"
#include "ui/framework/window_impl_base.h"

class QTextEdit;

namespace tarn::ui {

class CScreenMask;

inline constexpr double kEditWindowOpacity = 200.0 / 255.0;

class CEditWindow : public WindowImplBase {
  Q_OBJECT

 public:
  explicit CEditWindow(CScreenMask* canvas);

  // Shows the window at `topLeft` (global logical coordinates), 100 x 28,
  // and puts the keyboard in its text control.
  void ShowAt(const QPoint& topLeft);
  void SetTextColour(ColorRef colour);
  QString Text() const;
  void Clear();
  QTextEdit* textControl() const { return text_; }
  bool moving() const { return moving_; }

 protected:
  QString GetSkinFile() const override { return "EditWindow.ui"; }
  QString GetWindowClassName() const override { return "CEditWindow"; }
  void InitWindow() override;
  void Notify(const TNotifyUI& msg) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool OnPointer(QEvent* event);

  QPointer<CScreenMask> canvas_;
  QTextEdit* text_ = nullptr;
  TextWindowGrowth growth_;
  bool moving_ = false;
  QPoint moveOffset_;
};

}  // namespace tarn::ui
