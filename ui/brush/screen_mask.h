#pragma once
// The screen brush's canvas: a window over the whole primary monitor that
// shows the shapes drawn with the pointer, above the live desktop.
//
// The desktop under it keeps moving, and a recording of the screen shows it
// with the strokes on top:
// - with a compositor, the canvas is a translucent window showing the
//   picture with its alpha (the clear colour is practically invisible);
// - without one, only the drawn pixels of the canvas exist (an X bounding
//   shape that follows the picture after every render).
// In both cases an invisible input window above the canvas takes the pointer
// over the whole monitor, so drawing works everywhere. The palette and the
// text entry window are stacked above both.
//
// The canvas closes (and deletes itself, its palette and its text window)
// on "brush-close", Escape, or CloseBrush. Canvas coordinates are device
// pixels of the primary monitor. UI thread only.

#include <QAbstractNativeEventFilter>
#include <QPoint>
#include <QPointer>
#include <chrono>
#include <memory>

#include "platform/input_window.h"
#include "platform/screen_capture.h"
#include "ui/brush/brush_picture.h"
#include "ui/brush/brush_shape.h"
#include "ui/brush/edit_window.h"
#include "ui/brush/screen_brush_dialog.h"
#include "ui/brush/shape_mask.h"
#include "ui/framework/window_impl_base.h"

namespace tarn::ui {

// The first render's timer.
inline constexpr int kBrushFirstRenderTimerId = 1002;
inline constexpr int kBrushFirstRenderDelayMs = 20;

class CScreenMask : public WindowImplBase, public QAbstractNativeEventFilter {
  Q_OBJECT

 public:
  CScreenMask();
  ~CScreenMask() override;

  // Creates the canvas over the primary monitor, its input window and its
  // palette, and shows them. Throws WindowInitError when a layout is missing.
  void Open();
  // Closes the palette, the text window and the canvas; the canvas deletes
  // itself afterwards.
  void CloseBrush();

  // The palette's choices.
  void SetTool(int tool);
  void SetSize(int size);
  void SetColour(ColorRef colour);

  // The pointer, in canvas pixels (from the input window; tests may call
  // them directly).
  void PointerPressed(int a, int b);
  void PointerMoved(int a, int b);
  void PointerReleased();
  // Escape: an open text window goes first, then the brush.
  void OnEscape();

  // Brings the picture up to the shape list and shows it now.
  void Render();

  const BrushBoard& board() const { return board_; }
  const QImage& picture() const { return picture_->image(); }
  ScreenBrushDialog* palette() const { return palette_.data(); }
  CEditWindow* textWindow() const { return textWindow_.data(); }
  // Whether the canvas is blended by a compositor (else it is shaped).
  bool compositing() const { return compositing_; }
  // Whether the canvas's X shape shows the canvas pixel (x, y) (no compositor).
  bool ShapeShows(int x, int y) const;
  std::uint32_t inputWindowId() const { return input_ ? input_->id() : 0; }
  int renderCount() const { return renderCount_; }

  // QAbstractNativeEventFilter: the input window's pointer events.
  bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

 protected:
  QString GetSkinFile() const override { return "ScreenMask.ui"; }
  QString GetWindowClassName() const override { return "CScreenMask"; }
  void InitWindow() override;
  qintptr HandleCustomMessage(unsigned message, quintptr wParam, qintptr lParam,
                              bool& handled) override;
  void OnFinalMessage() override;
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void ReadMonitor();
  void CreateInputWindow();
  // Gathers the canvas's exposures into one repaint; true when it took one.
  bool TakeExposure(const void* message);
  // Removes the input window and its event filter.
  void ReleaseInput();
  void OpenPalette();
  void OnTextClick(int a, int b);
  void CommitText();
  void DiscardText();
  void GiveKeyboardToPalette();
  void ApplyCursor();
  void UpdateShape(const QRect& changed);
  void RaiseTopWindows();
  QRect ToLogical(const QRect& device) const;
  void* XConnection() const;

  BrushBoard board_;
  std::unique_ptr<BrushPicture> picture_;
  std::unique_ptr<ShapeMask> mask_;
  std::unique_ptr<platform::InputWindow> input_;
  QPointer<ScreenBrushDialog> palette_;
  QPointer<CEditWindow> textWindow_;
  QPoint textClick_;
  platform::ScreenRect monitor_;
  double ratio_ = 1.0;
  bool compositing_ = false;
  bool filterInstalled_ = false;
  bool compressedMoves_ = true;  // the toolkit's setting before the brush opened
  bool closing_ = false;
  int renderCount_ = 0;
  QRect pendingExposure_;  // logical pixels, until the last of a series
  bool exposureSeen_ = false;  // the toolkit has had its first exposure
};

}  // namespace tarn::ui
