#pragma once
// The recording toolbar: sits directly above the region frame (below it when
// the frame is at the top of the screen), exactly as wide, shows the recorded size and the recording time, can be dragged (the
// frame follows and the region is stored), and closes region mode. Its
// parent is the mask window, which it lives and dies with. UI thread only.

#include <QPoint>
#include <QPointer>
#include <QRect>

#include "ui/framework/ui_text.h"
#include "ui/framework/window_impl_base.h"
#include "ui/overlay/region_frame.h"

class QLabel;

namespace tarn {
class SettingsStore;
}

namespace tarn::ui {

class CVideoMask;

inline constexpr const char* kToolbarReadyText = QT_TRANSLATE_NOOP("TarnRecorder", "准备录制 00:00:00");

// "正在录制 hh:mm:ss".
QString ToolbarRecordingText(std::int64_t seconds);

class CToolWindow : public WindowImplBase {
  Q_OBJECT

 public:
  CToolWindow(CVideoMask* mask, QWidget* mainWindow, SettingsStore& settings);

  // Creates the window and places it above `frame` (mask coordinates).
  void CreateAbove(const FrameRect& frame);
  // Moves above `frame` at its width; with `store`, the region under it is
  // stored too.
  void FollowFrame(const FrameRect& frame, bool store);
  // Dragging moves it (and the frame) only while no recording runs.
  void SetDraggable(bool draggable) { draggable_ = draggable; }
  bool draggable() const { return draggable_; }
  // The recording is over: draggable again, "ready" shown.
  void RecordingStopped();

  // The toolbar's height in device pixels.
  int heightInPixels() const;

 protected:
  QString GetSkinFile() const override { return "ToolWindow.ui"; }
  QString GetWindowClassName() const override { return "CToolWindow"; }
  void InitWindow() override;
  void Notify(const TNotifyUI& msg) override;
  qintptr HandleCustomMessage(unsigned message, quintptr wParam, qintptr lParam,
                              bool& handled) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  void ShowRatio(int width, int height);
  // Places the window at (left, top) with `width`, all device pixels of the
  // primary monitor.
  void PlaceAt(int left, int top, int width);
  void OnClose();
  QPoint CursorInPixels(const QMouseEvent* event) const;
  double Ratio() const;

  QPointer<CVideoMask> mask_;
  QPointer<QWidget> mainWindow_;
  SettingsStore& settings_;
  QLabel* ratioLabel_ = nullptr;
  QLabel* durationLabel_ = nullptr;
  // Where the toolbar and the cursor were when a drag began (device pixels).
  QPoint anchorWindow_;
  QPoint anchorCursor_;
  int left_ = 0;
  int top_ = 0;
  int width_ = 0;
  // Below the frame: a frame at the screen's top leaves no room above it.
  bool belowFrame_ = false;
  bool dragging_ = false;
  bool draggable_ = true;
};

}  // namespace tarn::ui
