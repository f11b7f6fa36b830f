#pragma once
// The region mask window: covers the primary monitor, shows nothing but a
// 3-pixel red frame around the recorded rectangle, and lets the user move and
// resize the frame by dragging its edges and corners. Only the frame's pixels
// exist for the X server (a shaped window), so clicks anywhere else reach the
// windows below, and no frame pixel lies inside the recorded rectangle.
//
// Coordinates are device pixels of the primary monitor, relative to its
// top-left corner, whatever scale the toolkit draws at. UI thread only.

#include <QPointer>
#include <functional>

#include "platform/screen_capture.h"
#include "ui/framework/window_impl_base.h"
#include "ui/overlay/region_frame.h"
#include "ui/overlay/tool_window.h"

namespace tarn {
class SettingsStore;
}

namespace tarn::ui {


class CVideoMask : public WindowImplBase {
  Q_OBJECT

 public:
  // `mainWindow` is shown again when region mode ends; `settings` holds the region.
  CVideoMask(QWidget* mainWindow, SettingsStore& settings);
  ~CVideoMask() override;

  // Creates the (hidden) window.
  void CreateHidden();

  // Place the window at (x, y) with the given width, resp. height, then set
  // the initial frame (the stored region, else a centred one that is stored).
  void PlaceWidth(int x, int y, int width);
  void PlaceHeight(int x, int y, int height);
  // Shows the toolbar above the frame, creating it the first time.
  void ShowToolbar();
  // Shows the mask over the whole primary monitor, on top.
  void ShowOnPrimaryMonitor();
  // The whole path into region mode: place on the primary monitor, toolbar,
  // show. The frame starts at the stored region.
  void EnterRegionMode();
  // Puts the frame at the stored region (after it was chosen elsewhere).
  void ReloadStoredRegion();

  // Runs when region mode is left (the toolbar's close button).
  void SetLeaveCallback(std::function<void()> onLeave) { onLeave_ = std::move(onLeave); }

  // Locked while recording: the frame cannot change.
  void SetAdjustable(bool adjustable);
  bool adjustable() const { return frame_.adjustable(); }

  const FrameRect& frame() const { return frame_.frame(); }
  CToolWindow* toolbar() const { return toolbar_.data(); }
  // The primary monitor in root pixels, as placed.
  const platform::ScreenRect& monitor() const { return monitor_; }
  // The frame rectangle in the toolkit's global coordinates (for placing
  // the toolbar).
  double devicePixelRatioOfScreen() const;

 protected:
  QString GetSkinFile() const override { return "VideoMask.ui"; }
  QString GetWindowClassName() const override { return "CVideoMask"; }
  void InitWindow() override;
  qintptr HandleCustomMessage(unsigned message, quintptr wParam, qintptr lParam,
                              bool& handled) override;

  bool event(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  StoredRegion ReadStoredRegion() const;
  void StoreRegion(const StoredRegion& region);
  // Applies the frame: the window's shape is the four bars.
  void UpdateShape();
  QPoint DevicePoint(const QMouseEvent* event) const;
  void ApplyCursor(ZoneCursor cursor);
  void ReadMonitor();

  QPointer<QWidget> mainWindow_;
  SettingsStore& settings_;
  RegionFrame frame_;
  platform::ScreenRect monitor_;
  QPointer<CToolWindow> toolbar_;
  std::function<void()> onLeave_;
};

}  // namespace tarn::ui
