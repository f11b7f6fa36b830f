#pragma once
// The snapshot region selector: a frozen, dimmed picture of the primary
// monitor over the whole of it, where pointing at a window outlines it, a
// press takes its rectangle, a drag draws a new one, the handles adjust it
// and a double click stores it as the recording region. UI thread only.
//
// Every rectangle and point here is in device pixels of the primary monitor,
// relative to its top-left corner, as the recorder takes the region; only
// the information box and the magnifier are laid out in logical pixels, so
// they scale with the rest of the program's windows.

#include <QFont>
#include <QImage>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/screen_capture.h"
#include "platform/window_stack.h"
#include "ui/framework/window_impl_base.h"
#include "ui/overlay/rect_tracker.h"
#include "ui/overlay/region_frame.h"

namespace tarn {
class SettingsStore;
}

namespace tarn::ui {

// What a double click stores for `selection` on a screen of the given size:
// the selection's top-left, and its size rounded up to even; a side under 3
// pixels or larger than the screen gives the whole screen's size instead.
StoredRegion RegionToStore(const TrackerRect& selection, int screenWidth, int screenHeight);

class CUserDefineRegion : public WindowImplBase {
  Q_OBJECT

 public:
  // Runs once the selector has closed: whether a region was stored.
  using ClosedCallback = std::function<void(bool stored)>;

  // Minimises `mainWindow` (when shown), waits until it is off the screen,
  // then freezes the screen and shows the selector over the primary
  // monitor. On closing the selector shows `mainWindow` normally, calls
  // `onClosed` (never from within Open) and deletes itself. Returns the
  // selector, or null (after a log line, with `mainWindow` shown again and
  // `onClosed(false)` queued) when its layout cannot be loaded. A screen that
  // cannot be read is found out later: the selector then closes unshown.
  // `mainWindow` may be null; `settings` must outlive the selector.
  static CUserDefineRegion* Open(QWidget* mainWindow, SettingsStore& settings,
                                 ClosedCallback onClosed);

  CUserDefineRegion(QWidget* mainWindow, SettingsStore& settings, ClosedCallback onClosed);
  ~CUserDefineRegion() override;

  // What the selector shows, for tests and measurements.
  // Shown with the picture, holding the keyboard.
  bool isReady() const { return ready_; }
  const TrackerRect& selection() const { return tracker_.rect(); }
  const TrackerRect& highlight() const { return highlight_; }
  QPoint magnifierPoint() const { return magnifierPoint_; }
  const CXRectTracker& tracker() const { return tracker_; }
  // The primary monitor on the root window.
  const platform::ScreenRect& monitor() const { return monitor_; }
  const std::vector<platform::WindowNode>& windowTree() const { return windowTree_; }
  int paintCount() const { return paintCount_; }
  // How long the last paint took, in microseconds.
  std::int64_t lastPaintUs() const { return lastPaintUs_; }
  // Logical pixels: the information box and the magnifier now.
  QRect infoBoxRect() const { return ComputeBoxes().box; }
  QRect magnifierRect() const { return ComputeBoxes().magnifier; }

 signals:
  // The selector shows the frozen screen and takes key presses.
  void Ready();
  // The selection changed (also at every step of a drag).
  void SelectionChanged();

 protected:
  QString GetSkinFile() const override { return "UserDefineRegion.ui"; }
  QString GetWindowClassName() const override { return "CUserDefineRegion"; }
  void InitWindow() override;
  void OnFinalMessage() override;

  bool eventFilter(QObject* watched, QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  struct Boxes {
    QRect box;        // the information box
    QRect magnifier;  // the magnified picture, beside the box
  };

  // Opening: wait for the main window to leave the screen, then freeze it.
  void Begin();
  void MainWindowGone();
  void Present();
  bool Freeze();
  void TakeKeyboard();
  // Closes without showing (the screen could not be read).
  void Abandon();

  // Pointer handling in device pixels.
  QPoint ToPixels(const QPointF& logical) const;
  // The device pixel of a widget event's position.
  QPoint PointerPixels(const QPointF& widgetPosition) const;
  void PointerAt(QPoint pointer);
  void UpdateCursor(QPoint pointer);
  TrackerRect HighlightAt(QPoint pointer) const;
  void TrackerStep(QPoint pointer);
  void Confirm();
  void CloseSelector();

  // Painting (user_define_region_paint.cpp).
  TrackerRect InfoRect() const;
  Boxes ComputeBoxes() const;
  QRect ToLogical(const TrackerRect& rect) const;
  QRegion DecorationRegion(const TrackerRect& selection, const Boxes& boxes) const;
  void PaintScreen(QPainter& painter) const;
  void PaintInfoBox(QPainter& painter) const;
  void PaintMagnifier(QPainter& painter, const QRect& target) const;

  QPointer<QWidget> mainWindow_;
  SettingsStore& settings_;
  ClosedCallback onClosed_;
  bool stored_ = false;
  bool ready_ = false;
  bool keyboardQueued_ = false;
  bool keyboardTaken_ = false;
  int keyboardAttempts_ = 0;
  // While the main window leaves the screen.
  bool waitingForMainWindow_ = false;
  QTimer mainWindowTimer_;
  QPointer<QWindow> watchedMainWindow_;

  // The frozen screen, and the same dimmed once and twice.
  QImage screenshot_;
  QImage dimmedOnce_;
  QImage dimmedTwice_;
  platform::ScreenRect monitor_;
  double pixelRatio_ = 1.0;  // device pixels per logical pixel
  std::vector<platform::WindowNode> windowTree_;
  QFont infoFont_;

  bool buttonDown_ = false;
  bool fresh_ = false;  // the selection was just taken from the highlight
  QPoint last_;
  QPointF windowPointer_;  // the last pointer event's position on the window
  QPoint magnifierPoint_;
  TrackerRect highlight_;
  CXRectTracker tracker_;
  // The selection and boxes painted at the last drag step: what the next
  // step repaints over.
  TrackerRect stepSelection_;
  Boxes stepBoxes_;
  Qt::CursorShape cursorShape_ = Qt::ArrowCursor;
  int paintCount_ = 0;
  std::int64_t lastPaintUs_ = 0;
};

}  // namespace tarn::ui
