#include "ui/overlay/suspend_dialog.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QWindow>

#include "platform/window_hints.h"
#include "settings/settings_store.h"
#include "ui/main/main_messages.h"

namespace tarn::ui {
namespace {

// A drag sends many moves a second and every settings write flushes the file
// to disk: the place is written once the window has stayed still this long
// (and at once when the panel hides or goes).
constexpr int kStoreDelayMs = 200;

}  // namespace

QString ElapsedTimeText(qint64 seconds) {
  if (seconds < 0) seconds = 0;
  return QString::asprintf("%02d:%02d:%02d", static_cast<int>(seconds / 3600),
                           static_cast<int>((seconds % 3600) / 60),
                           static_cast<int>(seconds % 60));
}

SuspendDialog::SuspendDialog(QWidget* mainWindow, SettingsStore& settings)
    : mainWindow_(mainWindow), settings_(settings) {
  storeTimer_.setSingleShot(true);
  connect(&storeTimer_, &QTimer::timeout, this, [this] { StorePendingPosition(); });
}

SuspendDialog::~SuspendDialog() { StorePendingPosition(); }

void SuspendDialog::InitWindow() {
  startButton_ = RequireControl<QPushButton>("recorderStartBtn");
  pauseButton_ = RequireControl<QPushButton>("recorderPauseBtn");
  stopButton_ = RequireControl<QPushButton>("recorderStopBtn");
  timeText_ = RequireControl<QLabel>("recorderTimeText");
  // On top of everything, out of the task bar, without a frame; it takes no
  // keyboard focus from the program being recorded when it is clicked.
  setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                 Qt::WindowDoesNotAcceptFocus);
  setAttribute(Qt::WA_ShowWithoutActivating);
  setFixedSize(kSuspendDialogWidth, kSuspendDialogHeight);
  timeText_->setText(ElapsedTimeText(0));
  ShowRunning(true);
}

void SuspendDialog::ShowRunning(bool running) {
  // Start and pause share one place: only one of them is visible.
  pauseButton_->setVisible(running);
  startButton_->setVisible(!running);
}

void SuspendDialog::Notify(const TNotifyUI& msg) {
  if (msg.sType != kNotifyClick) return;
  const quintptr wParam = static_cast<quintptr>(msg.wParam);
  if (msg.senderName == "recorderStopBtn") {
    hide();
    timeText_->setText(ElapsedTimeText(0));
    PostMessage(mainWindow_.data(), kWmRecordStop, wParam, 0);
  } else if (msg.senderName == "recorderPauseBtn") {
    ShowRunning(false);
    PostMessage(mainWindow_.data(), kWmRecordPause, wParam, 0);
  } else if (msg.senderName == "recorderStartBtn") {
    ShowRunning(true);
    PostMessage(mainWindow_.data(), kWmRecordStart, wParam, 0);
  }
}

qintptr SuspendDialog::HandleCustomMessage(unsigned message, quintptr wParam, qintptr lParam,
                                           bool& handled) {
  switch (message) {
    case kWmPanelRunning:
      ShowRunning(true);
      handled = true;
      return 0;
    case kWmPanelPaused:
      ShowRunning(false);
      handled = true;
      return 0;
    case kWmRecordSecondsMessage:
      timeText_->setText(ElapsedTimeText(static_cast<qint64>(lParam)));
      handled = true;
      return 0;
    default:
      return WindowImplBase::HandleCustomMessage(message, wParam, lParam, handled);
  }
}

bool SuspendDialog::event(QEvent* event) {
  // Sent before the native window is mapped, when the window manager still
  // reads the states from the property.
  if (event->type() == QEvent::Show && isWindow()) {
    if (auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>()) {
      platform::SetSkipTaskbar(x11->connection(), static_cast<std::uint32_t>(winId()));
    }
  }
  return WindowImplBase::event(event);
}

void SuspendDialog::setVisible(bool visible) {
  WindowImplBase::setVisible(visible);
  // Qt marks a tool window as belonging to the program's other windows; some
  // window managers then minimise it with the main window, which is exactly
  // when the panel must stay. It has no owner.
  if (!visible || !isWindow()) return;
  if (auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>()) {
    platform::ClearTransientFor(x11->connection(), static_cast<std::uint32_t>(winId()));
  }
}

// --- Place -----------------------------------------------------------------------

void SuspendDialog::moveEvent(QMoveEvent* event) {
  WindowImplBase::moveEvent(event);
  RememberPosition();
}

void SuspendDialog::hideEvent(QHideEvent* event) {
  WindowImplBase::hideEvent(event);
  StorePendingPosition();
}

void SuspendDialog::RememberPosition() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  // Both distances are taken from the work area, as the placement at the
  // start of a recording reads them.
  const QRect workArea = screen->availableGeometry();
  const QRect frame = frameGeometry();
  const int top = frame.y() - workArea.y();
  const int right = (workArea.x() + workArea.width()) - (frame.x() + frame.width());
  pendingPosition_ = std::make_pair(top, right);
  storeTimer_.start(kStoreDelayMs);
}

void SuspendDialog::StorePendingPosition() {
  storeTimer_.stop();
  if (!pendingPosition_) return;
  const std::pair<int, int> position = *pendingPosition_;
  pendingPosition_.reset();
  if (storedPosition_ == position) return;
  // A failed write is logged by the store; the panel keeps working.
  const bool topStored = settings_.SetInt(kSuspendTop, position.first);
  const bool rightStored = settings_.SetInt(kSuspendRight, position.second);
  if (topStored && rightStored) storedPosition_ = position;
}

// --- Dragging ----------------------------------------------------------------------

void SuspendDialog::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    WindowImplBase::mousePressEvent(event);
    return;
  }
  event->accept();
  // The window manager moves the window the way it moves any window (with
  // its snapping and limits); without one that can, the panel follows the
  // pointer itself.
  if (QWindow* window = windowHandle(); window != nullptr && window->startSystemMove()) return;
  dragging_ = true;
  dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void SuspendDialog::mouseMoveEvent(QMouseEvent* event) {
  if (!dragging_) {
    WindowImplBase::mouseMoveEvent(event);
    return;
  }
  event->accept();
  move(event->globalPosition().toPoint() - dragOffset_);
}

void SuspendDialog::mouseReleaseEvent(QMouseEvent* event) {
  if (!dragging_ || event->button() != Qt::LeftButton) {
    WindowImplBase::mouseReleaseEvent(event);
    return;
  }
  event->accept();
  dragging_ = false;
}

}  // namespace tarn::ui
