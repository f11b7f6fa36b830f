#include "ui/overlay/video_mask.h"

#include <glog/logging.h>

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <cmath>

#include "platform/native_window.h"
#include "settings/settings_store.h"
#include "ui/main/main_messages.h"
#include "ui/overlay/overlay_messages.h"
#include "ui/overlay/tool_window.h"

namespace tarn::ui {
namespace {

Qt::CursorShape ShapeOf(ZoneCursor cursor) {
  switch (cursor) {
    case ZoneCursor::kSizeVertical:
      return Qt::SizeVerCursor;
    case ZoneCursor::kSizeHorizontal:
      return Qt::SizeHorCursor;
    case ZoneCursor::kSizeFDiagonal:
      return Qt::SizeFDiagCursor;
    case ZoneCursor::kSizeBDiagonal:
      return Qt::SizeBDiagCursor;
    case ZoneCursor::kSizeAll:
      return Qt::SizeAllCursor;
    case ZoneCursor::kArrow:
      break;
  }
  return Qt::ArrowCursor;
}

}  // namespace

CVideoMask::CVideoMask(QWidget* mainWindow, SettingsStore& settings)
    : mainWindow_(mainWindow), settings_(settings) {}

CVideoMask::~CVideoMask() = default;

void CVideoMask::CreateHidden() {
  Create(nullptr, "VideoMask");
  // Not managed by the window manager: it sits exactly on the monitor, above
  // the desktop, and never takes the focus.
  setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                 Qt::X11BypassWindowManagerHint | Qt::WindowDoesNotAcceptFocus);
  setAttribute(Qt::WA_ShowWithoutActivating);
  setMouseTracking(true);
  hide();
}

void CVideoMask::InitWindow() {
  // The layout's one control only paints; the window hears the pointer.
  if (QWidget* area = RequireControl<QWidget>("videoMask")) {
    area->setAttribute(Qt::WA_TransparentForMouseEvents);
  }
  ReadMonitor();
}

void CVideoMask::ReadMonitor() {
  platform::ScreenRect monitor;
  if (platform::QueryPrimaryMonitor(monitor) && monitor.width > 0 && monitor.height > 0) {
    monitor_ = monitor;
  } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const double ratio = screen->devicePixelRatio();
    const QRect g = screen->geometry();
    monitor_ = {static_cast<int>(std::lround(g.x() * ratio)), static_cast<int>(std::lround(g.y() * ratio)),
                static_cast<int>(std::lround(g.width() * ratio)),
                static_cast<int>(std::lround(g.height() * ratio))};
  }
}

double CVideoMask::devicePixelRatioOfScreen() const {
  QScreen* screen = QGuiApplication::primaryScreen();
  return screen != nullptr ? screen->devicePixelRatio() : 1.0;
}

// --- The stored region -------------------------------------------------------------

StoredRegion CVideoMask::ReadStoredRegion() const {
  return {settings_.GetInt(kRegionOffsetX, kRegionOffsetDefault),
          settings_.GetInt(kRegionOffsetY, kRegionOffsetDefault),
          settings_.GetInt(kRegionWidth, kRegionWidthSelectionDefault),
          settings_.GetInt(kRegionHeight, kRegionHeightSelectionDefault)};
}

void CVideoMask::StoreRegion(const StoredRegion& region) {
  settings_.SetInt(kRegionOffsetX, region.x);
  settings_.SetInt(kRegionOffsetY, region.y);
  settings_.SetInt(kRegionWidth, region.width);
  settings_.SetInt(kRegionHeight, region.height);
}

// --- Placing ---------------------------------------------------------------------

void CVideoMask::PlaceWidth(int x, int y, int width) {
  StoredRegion toStore;
  if (frame_.PlaceWidth(x, y, width, ReadStoredRegion(), &toStore)) StoreRegion(toStore);
  UpdateShape();
}

void CVideoMask::PlaceHeight(int x, int y, int height) {
  StoredRegion toStore;
  if (frame_.PlaceHeight(x, y, height, ReadStoredRegion(), &toStore)) StoreRegion(toStore);
  UpdateShape();
}

void CVideoMask::ShowToolbar() {
  if (!toolbar_) {
    toolbar_ = new CToolWindow(this, mainWindow_.data(), settings_);
    toolbar_->CreateAbove(frame_.frame());
  } else {
    toolbar_->FollowFrame(frame_.frame(), false);
  }
  toolbar_->show();
  toolbar_->raise();
}

void CVideoMask::ShowOnPrimaryMonitor() {
  ReadMonitor();
  const double ratio = devicePixelRatioOfScreen();
  setGeometry(static_cast<int>(std::lround(monitor_.x / ratio)),
              static_cast<int>(std::lround(monitor_.y / ratio)),
              static_cast<int>(std::lround(monitor_.width / ratio)),
              static_cast<int>(std::lround(monitor_.height / ratio)));
  show();
  raise();
  UpdateShape();
  if (toolbar_ && toolbar_->isVisible()) toolbar_->raise();
}

void CVideoMask::EnterRegionMode() {
  ReadMonitor();
  PlaceWidth(0, 0, monitor_.width);
  PlaceHeight(0, 0, monitor_.height);
  ShowToolbar();
  ShowOnPrimaryMonitor();
}

void CVideoMask::ReloadStoredRegion() {
  const StoredRegion stored = ReadStoredRegion();
  if (stored.width <= 0 || stored.height <= 0) return;
  frame_.SetFrame(FrameFromRegion(stored));
  UpdateShape();
  if (toolbar_) toolbar_->FollowFrame(frame_.frame(), false);
}

void CVideoMask::SetAdjustable(bool adjustable) {
  frame_.SetAdjustable(adjustable);
  if (!adjustable) {
    unsetCursor();
    if (QWidget::mouseGrabber() == this) releaseMouse();
  }
}

// --- Messages ---------------------------------------------------------------------

qintptr CVideoMask::HandleCustomMessage(unsigned message, quintptr wParam, qintptr lParam,
                                        bool& handled) {
  switch (message) {
    case kWmRecordStop:
      // The recording is over: the frame can be changed again.
      frame_.SetAdjustable(true);
      if (toolbar_) toolbar_->RecordingStopped();
      handled = true;
      break;
    case kWmRegionLeave:
      frame_.SetAdjustable(true);
      if (toolbar_) toolbar_->hide();
      hide();
      if (mainWindow_) {
        if (mainWindow_->isMinimized()) {
          mainWindow_->showNormal();
        } else {
          mainWindow_->show();
        }
      }
      if (onLeave_) onLeave_();
      handled = true;
      break;
    case kWmRegionMove: {
      FrameRect moved = frame_.frame();
      moved.x = static_cast<int>(static_cast<qintptr>(wParam));
      moved.y = static_cast<int>(lParam);
      frame_.MoveTo(moved.x, moved.y);
      UpdateShape();
      handled = true;
      break;
    }
    default:
      break;
  }
  return WindowImplBase::HandleCustomMessage(message, wParam, lParam, handled);
}

// --- Shape and painting ------------------------------------------------------------

bool CVideoMask::event(QEvent* event) {
  // The shape is set before the window is first mapped: it never shows as a
  // whole red screen, not even for a moment.
  if (event->type() == QEvent::Show) UpdateShape();
  return WindowImplBase::event(event);
}

void CVideoMask::UpdateShape() {
  if (!testAttribute(Qt::WA_WState_Created)) return;
  auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
  if (x11 == nullptr) return;
  const FrameRect& f = frame_.frame();
  const int b = kFrameBorder;
  const std::vector<platform::ShapeRect> bars = {
      {f.x, f.y, b, f.h}, {f.x + f.w - b, f.y, b, f.h}, {f.x, f.y, f.w, b}, {f.x, f.y + f.h - b, f.w, b}};
  if (!platform::SetWindowShape(x11->connection(), static_cast<std::uint32_t>(winId()), bars)) {
    LOG_FIRST_N(WARNING, 1) << "the X server has no Shape extension: the region frame covers the screen";
  }
}

void CVideoMask::paintEvent(QPaintEvent* event) {
  (void)event;
  // Only the bars are visible (the shape); they are opaque red.
  QPainter painter(this);
  painter.fillRect(rect(), QColor(255, 0, 0));
}

// --- Pointer ----------------------------------------------------------------------

QPoint CVideoMask::DevicePoint(const QMouseEvent* event) const {
  const double ratio = devicePixelRatioOfScreen();
  return {static_cast<int>(std::floor(event->position().x() * ratio)),
          static_cast<int>(std::floor(event->position().y() * ratio))};
}

void CVideoMask::ApplyCursor(ZoneCursor cursor) { setCursor(ShapeOf(cursor)); }

void CVideoMask::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const QPoint p = DevicePoint(event);
  frame_.Press(p.x(), p.y());
  // A press on the frame drags at once, without waiting for the next move.
  const RegionFrame::MoveResult result = frame_.PointerMoved(p.x(), p.y());
  if (result.cursorChanged) ApplyCursor(result.cursor);
  update();
}

void CVideoMask::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  frame_.Release();
  update();
}

void CVideoMask::mouseMoveEvent(QMouseEvent* event) {
  const QPoint p = DevicePoint(event);
  const RegionFrame::MoveResult result = frame_.PointerMoved(p.x(), p.y());
  if (result.cursorChanged) ApplyCursor(result.cursor);
  if (result.dragStep && toolbar_) PostMessage(toolbar_.data(), kWmRegionChanged, 0, 0);
  if (result.frameChanged) UpdateShape();
}

}  // namespace tarn::ui
