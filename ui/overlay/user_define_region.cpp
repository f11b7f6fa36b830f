#include "ui/overlay/user_define_region.h"

#include <glog/logging.h>

#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "settings/settings_keys.h"
#include "settings/settings_store.h"
#include "ui/framework/custom_message.h"

namespace tarn::ui {
namespace {

// How long the main window may take to leave the screen once minimised; a
// desktop without a window manager never takes it away.
constexpr int kMainWindowWaitMs = 1000;
// Once it has gone, the programs below it repaint what it covered. No event
// says when they are done; this is ample for a desktop that is not stalled.
constexpr int kRepaintSettleMs = 150;
// Attempts, kKeyboardRetryMs apart, to take the keyboard from another
// program that holds it.
constexpr int kKeyboardAttempts = 20;
constexpr int kKeyboardRetryMs = 25;
// The dimming over the picture: black at this alpha (of 255).
constexpr int kDimAlpha = 50;

// The screen Qt shows the monitor on: the one starting at the monitor's
// top-left corner with its size in device pixels.
QScreen* ScreenOfMonitor(const platform::ScreenRect& monitor) {
  for (QScreen* screen : QGuiApplication::screens()) {
    const QRect g = screen->geometry();
    const double ratio = screen->devicePixelRatio();
    if (g.topLeft() == QPoint(monitor.x, monitor.y) &&
        std::abs(std::lround(g.width() * ratio) - monitor.width) <= 1 &&
        std::abs(std::lround(g.height() * ratio) - monitor.height) <= 1) {
      return screen;
    }
  }
  return QGuiApplication::primaryScreen();
}

QImage Dimmed(const QImage& picture) {
  QImage dimmed = picture.copy();
  QPainter painter(&dimmed);
  painter.fillRect(dimmed.rect(), QColor(0, 0, 0, kDimAlpha));
  return dimmed;
}

}  // namespace

StoredRegion RegionToStore(const TrackerRect& selection, int screenWidth, int screenHeight) {
  int width = std::abs(selection.Width());
  int height = std::abs(selection.Height());
  if (width < 3 || width > screenWidth || height < 3 || height > screenHeight) {
    width = screenWidth;
    height = screenHeight;
  }
  // The top-left corner, also of a rectangle left inverted.
  const TrackerRect normal = selection.Normalized();
  return {normal.left, normal.top, width + (width & 1), height + (height & 1)};
}

CUserDefineRegion::CUserDefineRegion(QWidget* mainWindow, SettingsStore& settings,
                                     ClosedCallback onClosed)
    : mainWindow_(mainWindow), settings_(settings), onClosed_(std::move(onClosed)) {}

CUserDefineRegion::~CUserDefineRegion() = default;

CUserDefineRegion* CUserDefineRegion::Open(QWidget* mainWindow, SettingsStore& settings,
                                           ClosedCallback onClosed) {
  auto selector = std::make_unique<CUserDefineRegion>(mainWindow, settings, std::move(onClosed));
  try {
    selector->Create(nullptr, "UserDefineRegion");
  } catch (const WindowInitError& error) {
    LOG(ERROR) << error.what();
    selector.release()->Abandon();  // deletes itself
    return nullptr;
  }
  selector->Begin();
  // From here the window owns itself: it deletes itself once closed.
  return selector.release();
}

void CUserDefineRegion::InitWindow() {
  // The layout is a plain surface; the pointer belongs to the window.
  RequireControl<QWidget>("UserDefineRegion")->setAttribute(Qt::WA_TransparentForMouseEvents);
  // Exactly over the monitor, above everything, unmoved by a window manager.
  setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                 Qt::X11BypassWindowManagerHint);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_NoSystemBackground);
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  infoFont_.setFamilies({"Microsoft YaHei", "WenQuanYi Micro Hei"});
  infoFont_.setPointSize(10);
  infoFont_.setWeight(QFont::Normal);
  tracker_.SetOwner(
      this, [this](const QPointF& logical) { return PointerPixels(logical); },
      [this](QPoint pointer) { TrackerStep(pointer); });
}

// --- Opening ---------------------------------------------------------------------

void CUserDefineRegion::Begin() {
  QWindow* shown = mainWindow_ ? mainWindow_->windowHandle() : nullptr;
  if (shown == nullptr || !shown->isExposed()) {
    QTimer::singleShot(0, this, [this] { Present(); });
    return;
  }
  if (!mainWindow_->isMinimized()) mainWindow_->showMinimized();
  // The window manager unmaps it; Qt then reports it unexposed.
  waitingForMainWindow_ = true;
  watchedMainWindow_ = shown;
  shown->installEventFilter(this);
  mainWindowTimer_.setSingleShot(true);
  connect(&mainWindowTimer_, &QTimer::timeout, this, [this] {
    LOG(INFO) << "snapshot selector: the main window is still on the screen after "
              << kMainWindowWaitMs << " ms; freezing the screen with it";
    MainWindowGone();
  });
  mainWindowTimer_.start(kMainWindowWaitMs);
}

bool CUserDefineRegion::eventFilter(QObject* watched, QEvent* event) {
  if (watched == windowHandle() && windowHandle() != nullptr) {
    switch (event->type()) {
      case QEvent::MouseMove:
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
        // The window's events keep the fractions of logical pixels that
        // the widget's lose: at 150 % or 200 % they tell device pixels apart.
        windowPointer_ = static_cast<QMouseEvent*>(event)->position();
        break;
      default: break;
    }
  }
  if (watched == watchedMainWindow_ && event->type() == QEvent::Expose &&
      !watchedMainWindow_->isExposed()) {
    QTimer::singleShot(kRepaintSettleMs, this, [this] { MainWindowGone(); });
  }
  return WindowImplBase::eventFilter(watched, event);
}

void CUserDefineRegion::MainWindowGone() {
  if (!waitingForMainWindow_) return;  // the timer and the event both came
  waitingForMainWindow_ = false;
  mainWindowTimer_.stop();
  if (watchedMainWindow_) watchedMainWindow_->removeEventFilter(this);
  watchedMainWindow_ = nullptr;
  Present();
}

void CUserDefineRegion::Present() {
  if (!Freeze()) {
    Abandon();
    return;
  }
  QScreen* screen = ScreenOfMonitor(monitor_);
  pixelRatio_ = screen != nullptr ? screen->devicePixelRatio() : 1.0;
  tracker_.SetHandleSize(
      static_cast<int>(std::lround(CXRectTracker::kDefaultHandleSize * pixelRatio_)));
  tracker_.SetDecorationScale(pixelRatio_);
  tracker_.SetBounds({0, 0, monitor_.width, monitor_.height});
  QRect area = screen != nullptr ? screen->geometry() : QRect();
  area.setSize(QSize(static_cast<int>(std::ceil(monitor_.width / pixelRatio_)),
                     static_cast<int>(std::ceil(monitor_.height / pixelRatio_))));
  create();
  windowHandle()->installEventFilter(this);
  if (screen != nullptr) windowHandle()->setScreen(screen);
  setGeometry(area);
  show();
  raise();
  activateWindow();
  setFocus();
  PointerAt(ToPixels(mapFromGlobal(QPointF(QCursor::pos(screen)))));
}

bool CUserDefineRegion::Freeze() {
  const auto started = std::chrono::steady_clock::now();
  if (!platform::QueryPrimaryMonitor(monitor_)) {
    LOG(ERROR) << "snapshot selector: cannot read the primary monitor (no X display)";
    return false;
  }
  std::unique_ptr<platform::ScreenGrabber> grabber = platform::OpenScreenGrabber();
  if (!grabber) return false;  // it says why
  monitor_.width = grabber->screenWidth();
  monitor_.height = grabber->screenHeight();
  if (!grabber->Init(monitor_.width, monitor_.height) || !grabber->Capture(0, 0)) {
    LOG(ERROR) << "snapshot selector: cannot take the screen's picture: " << grabber->lastError();
    return false;
  }
  screenshot_ = QImage(monitor_.width, monitor_.height, QImage::Format_RGB32);
  for (int y = 0; y < monitor_.height; ++y) {
    std::memcpy(screenshot_.scanLine(y), grabber->pixels() + std::size_t(y) * grabber->stride(),
                std::size_t(monitor_.width) * 4);
  }
  grabber.reset();
  dimmedOnce_ = Dimmed(screenshot_);
  dimmedTwice_ = Dimmed(dimmedOnce_);

  std::vector<std::uint32_t> excluded;
  if (mainWindow_ && mainWindow_->internalWinId() != 0) {
    excluded.push_back(static_cast<std::uint32_t>(mainWindow_->internalWinId()));
  }
  if (internalWinId() != 0) excluded.push_back(static_cast<std::uint32_t>(internalWinId()));
  std::string whyNot;
  if (!platform::ReadWindowStack(excluded, windowTree_, whyNot)) {
    LOG(WARNING) << "snapshot selector: " << whyNot << "; windows cannot be picked";
  }
  const auto tookMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::chrono::steady_clock::now() - started)
                          .count();
  LOG(INFO) << "snapshot selector: froze the monitor " << monitor_.width << "x" << monitor_.height
            << " at " << monitor_.x << "," << monitor_.y << " with " << windowTree_.size()
            << " top-level windows in " << tookMs << " ms";
  return true;
}

void CUserDefineRegion::TakeKeyboard() {
  if (keyboardTaken_ || !isVisible()) return;
  // Escape must reach the selector wherever the focus was.
  QWindow* window = windowHandle();
  keyboardTaken_ = window != nullptr && window->setKeyboardGrabEnabled(true);
  if (keyboardTaken_) {
    grabKeyboard();  // so that the tracker knows and leaves it
  } else if (++keyboardAttempts_ < kKeyboardAttempts) {
    QTimer::singleShot(kKeyboardRetryMs, this, [this] { TakeKeyboard(); });
    return;
  } else {
    LOG(WARNING) << "snapshot selector: another program holds the keyboard; Escape may not "
                    "reach the selector";
  }
  ready_ = true;
  emit Ready();
}

void CUserDefineRegion::Abandon() {
  if (mainWindow_) mainWindow_->showNormal();
  ClosedCallback onClosed = std::move(onClosed_);
  onClosed_ = nullptr;
  if (onClosed) {
    QMetaObject::invokeMethod(
        qApp, [onClosed] { onClosed(false); }, Qt::QueuedConnection);
  }
  deleteLater();
}

// --- Pointer and keys ------------------------------------------------------------

QPoint CUserDefineRegion::PointerPixels(const QPointF& widgetPosition) const {
  // The same event as seen by the window, when it is that one.
  const QPointF precise = windowPointer_;
  if (std::abs(precise.x() - widgetPosition.x()) <= 1.0 &&
      std::abs(precise.y() - widgetPosition.y()) <= 1.0) {
    return ToPixels(precise);
  }
  return ToPixels(widgetPosition);
}

QPoint CUserDefineRegion::ToPixels(const QPointF& logical) const {
  return {static_cast<int>(std::floor(logical.x() * pixelRatio_ + 0.5)),
          static_cast<int>(std::floor(logical.y() * pixelRatio_ + 0.5))};
}

TrackerRect CUserDefineRegion::HighlightAt(QPoint pointer) const {
  const platform::WindowNode* node =
      platform::WindowUnderPoint(windowTree_, pointer.x() + monitor_.x, pointer.y() + monitor_.y);
  // The bare desktop stands for a window of the whole screen.
  if (node == nullptr) return {0, 0, monitor_.width, monitor_.height};
  const platform::ScreenRect& r = node->rect;
  const int left = r.x - monitor_.x;
  const int top = r.y - monitor_.y;
  // Only the part on the screen can be recorded.
  return {std::max(left, 0), std::max(top, 0), std::min(left + r.width, monitor_.width),
          std::min(top + r.height, monitor_.height)};
}

void CUserDefineRegion::PointerAt(QPoint pointer) {
  const Boxes before = ComputeBoxes();
  const TrackerRect oldHighlight = highlight_;
  magnifierPoint_ = pointer;
  if (tracker_.rect().IsEmpty()) highlight_ = HighlightAt(pointer);
  if (highlight_ != oldHighlight) {
    update();  // the dimming outside the highlight moves
  } else {
    update(DecorationRegion({}, before) | DecorationRegion({}, ComputeBoxes()));
  }
}

void CUserDefineRegion::UpdateCursor(QPoint pointer) {
  const int hit =
      tracker_.rect().IsEmpty() ? kHitNothing : tracker_.HitTest(pointer.x(), pointer.y());
  const Qt::CursorShape shape = CXRectTracker::CursorForHit(hit);
  if (shape == cursorShape_) return;
  cursorShape_ = shape;
  setCursor(shape);
}

void CUserDefineRegion::TrackerStep(QPoint pointer) {
  magnifierPoint_ = pointer;
  const Boxes boxes = ComputeBoxes();
  update(DecorationRegion(stepSelection_, stepBoxes_) | DecorationRegion(tracker_.rect(), boxes));
  stepSelection_ = tracker_.rect();
  stepBoxes_ = boxes;
  emit SelectionChanged();
}

void CUserDefineRegion::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !ready_) return;
  const QPoint pointer = PointerPixels(event->position());
  last_ = pointer;
  if (!tracker_.rect().IsEmpty()) {
    const int hit = tracker_.HitTest(pointer.x(), pointer.y());
    if (hit != kHitNothing) {
      stepSelection_ = tracker_.rect();
      stepBoxes_ = ComputeBoxes();
      // The drag ends with the release, which the tracker takes.
      tracker_.Track(hit, pointer);
      UpdateCursor(tracker_.lastPointer());
      return;
    }
  }
  if (!highlight_.IsEmpty()) {
    tracker_.SetRect(highlight_);
    fresh_ = true;
    highlight_ = {};
    update();
    emit SelectionChanged();
  }
  buttonDown_ = true;
}

void CUserDefineRegion::mouseMoveEvent(QMouseEvent* event) {
  if (!ready_) return;
  QPoint pointer = PointerPixels(event->position());
  if (buttonDown_ && fresh_ &&
      (std::abs(pointer.x() - last_.x()) > 1 || std::abs(pointer.y() - last_.y()) > 1)) {
    // A drag from the press draws a new rectangle instead.
    fresh_ = false;
    stepSelection_ = tracker_.rect();
    stepBoxes_ = ComputeBoxes();
    if (tracker_.TrackRubberBand(last_, pointer)) pointer = tracker_.lastPointer();
    buttonDown_ = (QGuiApplication::mouseButtons() & Qt::LeftButton) != 0;
  }
  last_ = pointer;
  UpdateCursor(pointer);
  PointerAt(pointer);
}

void CUserDefineRegion::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  buttonDown_ = false;
  fresh_ = false;
}

void CUserDefineRegion::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && ready_) Confirm();
}

void CUserDefineRegion::keyPressEvent(QKeyEvent* event) {
  if (event->key() != Qt::Key_Escape) {
    WindowImplBase::keyPressEvent(event);
    return;
  }
  // Leaving without a choice: nothing is stored.
  LOG(INFO) << "snapshot selector: left with Escape, nothing stored";
  CloseSelector();
}

void CUserDefineRegion::Confirm() {
  const StoredRegion region = RegionToStore(tracker_.rect(), monitor_.width, monitor_.height);
  // Every key is written even when one fails, so the file holds as much as it can.
  bool written = settings_.SetInt(kRegionOffsetX, region.x);
  written = settings_.SetInt(kRegionOffsetY, region.y) && written;
  written = settings_.SetInt(kRegionWidth, region.width) && written;
  written = settings_.SetInt(kRegionHeight, region.height) && written;
  if (written) {
    LOG(INFO) << "snapshot selector: stored the region " << region.width << "x" << region.height
              << " at " << region.x << "," << region.y;
  } else {
    LOG(ERROR) << "snapshot selector: the region " << region.width << "x" << region.height << " at "
               << region.x << "," << region.y << " could not be stored in " << settings_.path();
  }
  stored_ = written;
  CloseSelector();
}

void CUserDefineRegion::CloseSelector() {
  // Posted: the close runs after the pointer event that asked for it.
  PostMessage(this, kWmClose);
}

void CUserDefineRegion::OnFinalMessage() {
  releaseKeyboard();
  hide();
  if (mainWindow_) {
    mainWindow_->showNormal();
    mainWindow_->raise();
    mainWindow_->activateWindow();
  }
  ClosedCallback onClosed = std::move(onClosed_);
  onClosed_ = nullptr;
  if (onClosed) {
    const bool stored = stored_;
    QMetaObject::invokeMethod(
        qApp, [onClosed, stored] { onClosed(stored); }, Qt::QueuedConnection);
  }
  deleteLater();
}

}  // namespace tarn::ui
