#include "ui/overlay/tool_window.h"

#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <cmath>

#include "settings/settings_store.h"
#include "ui/main/main_messages.h"
#include "ui/overlay/overlay_messages.h"
#include "ui/overlay/suspend_dialog.h"
#include "ui/overlay/video_mask.h"

namespace tarn::ui {

QString ToolbarRecordingText(std::int64_t seconds) {
  return QCoreApplication::translate("TarnRecorder", "正在录制 ") + ElapsedTimeText(seconds);
}

CToolWindow::CToolWindow(CVideoMask* mask, QWidget* mainWindow, SettingsStore& settings)
    : mask_(mask), mainWindow_(mainWindow), settings_(settings) {}

void CToolWindow::CreateAbove(const FrameRect& frame) {
  Create(mask_.data(), "ToolWindow");
  // On top of everything and placed exactly; a press on it does not take the
  // focus from the window the user works in.
  setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                 Qt::X11BypassWindowManagerHint | Qt::WindowDoesNotAcceptFocus);
  setAttribute(Qt::WA_ShowWithoutActivating);
  ShowRatio(settings_.GetInt(kRegionWidth, kRegionWidthSelectionDefault),
            settings_.GetInt(kRegionHeight, kRegionHeightSelectionDefault));
  FollowFrame(frame, false);
}

void CToolWindow::InitWindow() {
  ratioLabel_ = RequireControl<QLabel>("record-ratio-info");
  durationLabel_ = RequireControl<QLabel>("record-duration-info");
  RequireControl<QPushButton>("record-close");
  durationLabel_->setText(UiText(kToolbarReadyText));
}

double CToolWindow::Ratio() const {
  QScreen* screen = QGuiApplication::primaryScreen();
  return screen != nullptr ? screen->devicePixelRatio() : 1.0;
}

int CToolWindow::heightInPixels() const {
  return static_cast<int>(std::lround(height() * Ratio()));
}

void CToolWindow::ShowRatio(int width, int height) {
  ratioLabel_->setText(QString::asprintf("%d x %d", width, height));
}

void CToolWindow::PlaceAt(int left, int top, int width) {
  left_ = left;
  top_ = top;
  width_ = width;
  const double ratio = Ratio();
  const int monitorX = mask_ ? mask_->monitor().x : 0;
  const int monitorY = mask_ ? mask_->monitor().y : 0;
  const int logicalWidth = static_cast<int>(std::lround(width / ratio));
  // The labels need their room; a narrower frame gets a toolbar of that width.
  setFixedWidth(std::max(logicalWidth, 1));
  move(static_cast<int>(std::lround((monitorX + left) / ratio)),
       static_cast<int>(std::lround((monitorY + top) / ratio)));
}

void CToolWindow::FollowFrame(const FrameRect& frame, bool store) {
  const int toolbarHeight = heightInPixels();
  belowFrame_ = mask_ && ToolbarGoesBelow(frame, toolbarHeight, mask_->monitor().height);
  PlaceAt(frame.x, belowFrame_ ? frame.y + frame.h : frame.y - toolbarHeight, frame.w);
  if (!store) return;
  const StoredRegion region = RegionFromFrame(frame);
  settings_.SetInt(kRegionOffsetX, region.x);
  settings_.SetInt(kRegionOffsetY, region.y);
  settings_.SetInt(kRegionWidth, region.width);
  settings_.SetInt(kRegionHeight, region.height);
  ShowRatio(region.width, region.height);
}

void CToolWindow::RecordingStopped() {
  draggable_ = true;
  durationLabel_->setText(UiText(kToolbarReadyText));
}

// --- Messages and the close button ---------------------------------------------------

qintptr CToolWindow::HandleCustomMessage(unsigned message, quintptr wParam, qintptr lParam,
                                         bool& handled) {
  if (message == kWmRegionChanged) {
    if (mask_) FollowFrame(mask_->frame(), true);
    handled = true;
    return 0;
  }
  if (message == kWmRecordSecondsMessage) {
    durationLabel_->setText(ToolbarRecordingText(static_cast<std::int64_t>(lParam)));
    handled = true;
    return 0;
  }
  return WindowImplBase::HandleCustomMessage(message, wParam, lParam, handled);
}

void CToolWindow::Notify(const TNotifyUI& msg) {
  if (msg.sType == kNotifyClick && msg.senderName == "record-close") OnClose();
}

void CToolWindow::OnClose() {
  draggable_ = true;
  settings_.SetInt(kUserDefinedRegionCheck, 0);
  // The recording (if any) has stopped before the frame goes.
  if (mainWindow_) SendMessage(mainWindow_.data(), kWmRecordStop, 0, 0);
  if (mask_) PostMessage(mask_.data(), kWmRegionLeave, 0, 0);
  hide();
}

// --- Dragging -------------------------------------------------------------------------

QPoint CToolWindow::CursorInPixels(const QMouseEvent* event) const {
  // Where the event happened, not where the pointer is now: events queue up.
  const QPointF p = event->globalPosition();
  const double ratio = Ratio();
  return {static_cast<int>(std::lround(p.x() * ratio)), static_cast<int>(std::lround(p.y() * ratio))};
}

void CToolWindow::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  dragging_ = true;
  anchorWindow_ = {left_, top_};
  anchorCursor_ = CursorInPixels(event);
}

void CToolWindow::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) dragging_ = false;
}

void CToolWindow::mouseMoveEvent(QMouseEvent* event) {
  if (!dragging_ || !draggable_ || !mask_) return;
  const QPoint cursor = CursorInPixels(event);
  const int toolbarHeight = heightInPixels();
  const ToolbarDrag drag = DragToolbar(
      anchorWindow_.x(), anchorWindow_.y(), cursor.x() - anchorCursor_.x(),
      cursor.y() - anchorCursor_.y(), width_, toolbarHeight, mask_->frame().h,
      mask_->monitor().width, mask_->monitor().height, belowFrame_);
  // Where a limit applied, the drag goes on from here, so the toolbar moves
  // again as soon as the pointer turns back.
  if (drag.clampedX) {
    anchorWindow_.setX(drag.left);
    anchorCursor_.setX(cursor.x());
  }
  if (drag.clampedY) {
    anchorWindow_.setY(drag.top);
    anchorCursor_.setY(cursor.y());
  }
  PlaceAt(drag.left, drag.top, width_);
  const int frameTop = belowFrame_ ? drag.top - mask_->frame().h : drag.top + toolbarHeight;
  PostMessage(mask_.data(), kWmRegionMove, static_cast<quintptr>(drag.left), frameTop);
  settings_.SetInt(kRegionOffsetX, drag.left + kFrameBorder);
  settings_.SetInt(kRegionOffsetY, frameTop + kFrameBorder);
}

}  // namespace tarn::ui
