#include "ui/preview/camera_window.h"

#include <glog/logging.h>

#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QWindow>

#include "preview/camera_display.h"
#include "ui/main/video_area.h"

namespace tarn::ui {
namespace {

// The window's distance from the primary screen's right and top edges.
constexpr int kRightOffset = 250;
constexpr int kTopOffset = 20;

constexpr const char* kCameraNotOpenedText = QT_TRANSLATE_NOOP("TarnRecorder", "摄像头无法打开");

}  // namespace

CCameraWindow::CCameraWindow() = default;

CCameraWindow::~CCameraWindow() { StopPreview(); }

QPointer<CCameraWindow> CCameraWindow::Open() {
  auto* window = new CCameraWindow();
  try {
    window->Create(nullptr, QString());
  } catch (const WindowInitError& error) {
    LOG(ERROR) << "the camera preview cannot be opened: " << error.what();
    delete window;
    return nullptr;
  }
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect bounds = screen->geometry();
    window->move(bounds.x() + bounds.width() - kRightOffset, bounds.y() + kTopOffset);
  }
  window->show();
  return window;
}

void CCameraWindow::InitWindow() {
  RequireControl<QPushButton>("camera-close");
  status_ = RequireControl<QLabel>("camera-status");
  RequireControl<QWidget>("cameraCaption")->installEventFilter(this);
  // Above every other window, out of the task bar, with its own caption.
  setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
  setFixedSize(kCameraWindowWidth, kCameraWindowHeight);

  area_ = new CVideoArea(this);
  area_->MoveArea(kCameraAreaX, kCameraAreaY, kCameraAreaWidth, kCameraAreaHeight);
  area_->raise();
  area_->SetExposeHandler([this] {
    if (display_) display_->RequestRepaint();
  });
  // The display draws into the area's native window: it stops before that
  // window goes.
  area_->SetDestroyHandler([this] { StopPreview(); });
  StartPreview();
}

void CCameraWindow::StartPreview() {
  display_ = std::make_unique<preview::CameraDisplay>(area_);
  // Called on the display's read thread; the display is stopped (its
  // threads joined) before this window goes, so the post is safe.
  display_->SetEndedHandler([this](const std::string&) { PostMessage(this, kWmCameraEnded); });
  const int started = display_->Start();
  if (started == 0) {
    LOG(INFO) << "camera preview of " << display_->cameraName() << " (" << display_->sourceWidth() << "x"
              << display_->sourceHeight() << ")";
    // The label keeps its place in the layout (under the area), so that the
    // caption stays at the top.
    status_->clear();
    area_->show();
    return;
  }
  LOG(WARNING) << "init error: the camera preview shows no picture ("
               << (started == preview::kNoCameraDevice ? std::string("no camera") : display_->lastError()) << ")";
  display_.reset();
  ShowStatus(UiText(started == preview::kNoCameraDevice ? kNoCameraDetectedText
                                                                   : kCameraNotOpenedText));
}

void CCameraWindow::StopPreview() {
  if (!display_) return;
  display_->Stop();
  display_.reset();
}

void CCameraWindow::ShowStatus(const QString& text) {
  if (area_ != nullptr) area_->hide();
  status_->setText(text);
}

bool CCameraWindow::previewing() const { return display_ != nullptr && display_->running(); }

QString CCameraWindow::statusText() const { return status_ != nullptr ? status_->text() : QString(); }

void CCameraWindow::Notify(const TNotifyUI& msg) {
  if (msg.sType == kNotifyClick && msg.senderName == "camera-close") Close();
}

qintptr CCameraWindow::HandleCustomMessage(unsigned message, quintptr wParam, qintptr lParam, bool& handled) {
  if (message == kWmCameraEnded) {
    handled = true;
    // The camera was pulled out or stopped delivering: the preview ends as
    // if there were none.
    StopPreview();
    ShowStatus(UiText(kNoCameraDetectedText));
    return 0;
  }
  return WindowImplBase::HandleCustomMessage(message, wParam, lParam, handled);
}

bool CCameraWindow::OnClose(quintptr) {
  StopPreview();
  return true;
}

void CCameraWindow::OnFinalMessage() {
  StopPreview();
  emit Closed();
  deleteLater();
}

bool CCameraWindow::eventFilter(QObject* watched, QEvent* event) {
  // The caption moves the window, as a title bar would.
  if (event->type() == QEvent::MouseButtonPress &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton && windowHandle() != nullptr) {
    windowHandle()->startSystemMove();
    return true;
  }
  return WindowImplBase::eventFilter(watched, event);
}

}  // namespace tarn::ui
