#include "ui/brush/screen_mask.h"

#include <glog/logging.h>

#include <QApplication>
#include <QGuiApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <cmath>
#include <cstdio>

#include "platform/native_window.h"
#include "ui/brush/edit_window.h"
#include "ui/brush/screen_brush_dialog.h"
#include "ui/framework/ui_text.h"
#include "ui/overlay/overlay_messages.h"

namespace tarn::ui {
namespace {

// How long the window manager is given to move the focus after the text
// window closes, before the palette takes it back.
constexpr int kRefocusDelayMs = 100;
// Beyond this many rectangles a repaint draws their bounding rectangle.
constexpr int kMaxPaintRects = 16;

}  // namespace

CScreenMask::CScreenMask() = default;

CScreenMask::~CScreenMask() { ReleaseInput(); }

void* CScreenMask::XConnection() const {
  auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
  return x11 != nullptr ? static_cast<void*>(x11->connection()) : nullptr;
}

void CScreenMask::InitWindow() {
  ReadMonitor();
  const QSize size(std::max(monitor_.width, 1), std::max(monitor_.height, 1));
  picture_ = std::make_unique<BrushPicture>(size);
  mask_ = std::make_unique<ShapeMask>(size.width(), size.height());
  compositing_ = platform::CompositorRunning(XConnection());
  // Not managed by the window manager: it lies exactly on the monitor, at
  // the top of the stacking order when opened, and never takes the focus.
  setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint |
                 Qt::WindowDoesNotAcceptFocus);
  setAttribute(Qt::WA_ShowWithoutActivating);
  setAttribute(Qt::WA_TranslucentBackground, compositing_);
  setAttribute(Qt::WA_NoSystemBackground, true);
  setAttribute(Qt::WA_OpaquePaintEvent, true);
}

void CScreenMask::ReadMonitor() {
  QScreen* screen = QGuiApplication::primaryScreen();
  ratio_ = screen != nullptr ? screen->devicePixelRatio() : 1.0;
  platform::ScreenRect monitor;
  if (platform::QueryPrimaryMonitor(monitor) && monitor.width > 0 && monitor.height > 0) {
    monitor_ = monitor;
  } else if (screen != nullptr) {
    const QRect g = screen->geometry();
    monitor_ = {static_cast<int>(std::lround(g.x() * ratio_)),
                static_cast<int>(std::lround(g.y() * ratio_)),
                static_cast<int>(std::lround(g.width() * ratio_)),
                static_cast<int>(std::lround(g.height() * ratio_))};
  }
}

QRect CScreenMask::ToLogical(const QRect& device) const {
  if (ratio_ == 1.0) return device;
  return QRect(QPoint(static_cast<int>(std::floor(device.left() / ratio_)),
                      static_cast<int>(std::floor(device.top() / ratio_))),
               QPoint(static_cast<int>(std::ceil((device.right() + 1) / ratio_)),
                      static_cast<int>(std::ceil((device.bottom() + 1) / ratio_))));
}

void CScreenMask::Open() {
  Create(nullptr, "ScreenMask");
  setGeometry(ToLogical(QRect(monitor_.x, monitor_.y, monitor_.width, monitor_.height)));
  show();
  raise();
  CreateInputWindow();
  SetTimer(kBrushFirstRenderTimerId, kBrushFirstRenderDelayMs);
  OpenPalette();
}

void CScreenMask::CreateInputWindow() {
  input_ = std::make_unique<platform::InputWindow>(XConnection(), monitor_);
  if (!input_->valid()) {
    LOG(ERROR) << "screen brush: no X connection for the input window; the canvas cannot be drawn on";
    input_.reset();
    return;
  }
  input_->StackAbove(static_cast<std::uint32_t>(winId()));
  ApplyCursor();
  qApp->installNativeEventFilter(this);
  filterInstalled_ = true;
  // The toolkit drops a pointer move when a later one is queued, even past a
  // button release in between; a stroke would then lose its moves whenever
  // the program falls behind. Every move is kept while the brush is open.
  compressedMoves_ = QCoreApplication::testAttribute(Qt::AA_CompressHighFrequencyEvents);
  QCoreApplication::setAttribute(Qt::AA_CompressHighFrequencyEvents, false);
}

void CScreenMask::OpenPalette() {
  palette_ = new ScreenBrushDialog(this);
  palette_->Create(this, UiText(kScreenBrushTitle));
  palette_->PlaceAndShow();
}

void CScreenMask::RaiseTopWindows() {
  if (palette_ && palette_->isVisible()) palette_->raise();
  if (textWindow_ && textWindow_->isVisible()) textWindow_->raise();
}

bool CScreenMask::event(QEvent* event) {
  // Without a compositor nothing of the canvas shows until something is
  // drawn: the empty shape is set before the window is first mapped.
  if (event->type() == QEvent::Show && !compositing_) {
    platform::SetWindowShape(XConnection(), static_cast<std::uint32_t>(winId()), {});
  }
  return WindowImplBase::event(event);
}

// --- Choices ------------------------------------------------------------------

void CScreenMask::SetTool(int tool) {
  if (tool < 0 || tool >= kToolCount) return;
  board_.tool = tool;
  ApplyCursor();
}

void CScreenMask::SetSize(int size) {
  if (size >= 1 && size <= kBrushSizeCount) board_.size = size;
}

void CScreenMask::SetColour(ColorRef colour) { board_.colour = colour; }

void CScreenMask::ApplyCursor() {
  if (!input_) return;
  input_->SetCursor(board_.tool == kToolText ? platform::PointerCursor::kArrow
                                             : platform::PointerCursor::kCross);
}

// --- Pointer ------------------------------------------------------------------

bool CScreenMask::nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) {
  (void)result;
  if (!input_ || eventType != "xcb_generic_event_t") return false;
  if (!compositing_ && TakeExposure(message)) return true;
  platform::PointerEvent pointer;
  if (!input_->Decode(message, pointer)) return false;
  // The left button draws; other buttons do nothing.
  switch (pointer.kind) {
    case platform::PointerEvent::Kind::kPress:
      if (pointer.button == 1) PointerPressed(pointer.x, pointer.y);
      break;
    case platform::PointerEvent::Kind::kMove:
      PointerMoved(pointer.x, pointer.y);
      break;
    case platform::PointerEvent::Kind::kRelease:
      if (pointer.button == 1) PointerReleased();
      break;
  }
  return true;
}

bool CScreenMask::TakeExposure(const void* message) {
  // A shaped canvas is exposed in as many thin runs as its shape changed by,
  // one event each; the toolkit would merge them one by one, which costs
  // far more than painting their bounding rectangle once. The first
  // exposure still goes to the toolkit, which starts painting on it.
  platform::ShapeRect area;
  int remaining = 0;
  if (!platform::ReadExposure(message, static_cast<std::uint32_t>(winId()), area, remaining)) return false;
  if (!exposureSeen_) {
    exposureSeen_ = true;
    return false;
  }
  pendingExposure_ |= ToLogical(QRect(area.x, area.y, area.width, area.height));
  if (remaining == 0) {
    update(pendingExposure_);
    pendingExposure_ = QRect();
  }
  return true;
}

void CScreenMask::PointerPressed(int a, int b) {
  if (closing_) return;
  // A text left open is dropped when another tool is used.
  if (board_.tool != kToolText) DiscardText();
  switch (board_.Press(a, b)) {
    case BrushBoard::PressResult::kNumbered:
      Render();
      break;
    case BrushBoard::PressResult::kText:
      OnTextClick(a, b);
      break;
    case BrushBoard::PressResult::kStarted:
      break;
  }
}

void CScreenMask::PointerMoved(int a, int b) {
  if (closing_) return;
  if (board_.Move(a, b)) Render();
}

void CScreenMask::PointerReleased() {
  if (closing_) return;
  if (board_.Release()) Render();
}

// --- Text ---------------------------------------------------------------------

void CScreenMask::OnTextClick(int a, int b) {
  if (textWindow_ && textWindow_->isVisible()) {
    CommitText();
    return;
  }
  textClick_ = QPoint(a, b);
  if (!textWindow_) {
    textWindow_ = new CEditWindow(this);
    textWindow_->Create(this, "EditWindow");
  }
  textWindow_->SetTextColour(board_.colour);
  // Canvas pixels are relative to the monitor; the window goes on the desktop.
  textWindow_->ShowAt(ToLogical(QRect(monitor_.x + a + 4, monitor_.y + b + 4, 1, 1)).topLeft());
}

void CScreenMask::CommitText() {
  if (!textWindow_) return;
  textWindow_->hide();
  const QRect frame = textWindow_->geometry();
  QString text = textWindow_->Text();
  if (!text.isEmpty()) {
    text.replace('\r', '\n');
    const int x = static_cast<int>(std::lround(frame.left() * ratio_)) - monitor_.x + 2;
    const int y = static_cast<int>(std::lround(frame.top() * ratio_)) - monitor_.y + 2;
    board_.AddText(x, y, text.toStdString());
    Render();
  }
  textWindow_->Clear();
  GiveKeyboardToPalette();
}

void CScreenMask::GiveKeyboardToPalette() {
  // Escape keeps working once the text window is gone. The window manager
  // moves the focus elsewhere when the text window goes, so the palette
  // takes it back once that has happened.
  QTimer::singleShot(kRefocusDelayMs, this, [this] {
    if (!palette_ || !palette_->isVisible() || closing_) return;
    if (textWindow_ && textWindow_->isVisible()) return;
    platform::FocusWindowNow(XConnection(), static_cast<std::uint32_t>(palette_->winId()));
  });
}

void CScreenMask::DiscardText() {
  if (!textWindow_) return;
  textWindow_->Clear();
  textWindow_->hide();
  textWindow_->deleteLater();
  textWindow_ = nullptr;
  GiveKeyboardToPalette();
}

void CScreenMask::OnEscape() {
  if (textWindow_ && textWindow_->isVisible()) {
    DiscardText();
    return;
  }
  CloseBrush();
}

// --- Rendering ----------------------------------------------------------------

qintptr CScreenMask::HandleCustomMessage(unsigned message, quintptr wParam, qintptr lParam,
                                         bool& handled) {
  switch (message) {
    case kWmBrushUndo:
      if (board_.Undo()) Render();
      handled = true;
      break;
    case kWmBrushRedo:
      if (board_.Redo()) Render();
      handled = true;
      break;
    case kWmTimer:
      if (wParam == kBrushFirstRenderTimerId) {
        KillTimer(kBrushFirstRenderTimerId);
        Render();
        handled = true;
      }
      break;
    default:
      break;
  }
  return WindowImplBase::HandleCustomMessage(message, wParam, lParam, handled);
}

void CScreenMask::Render() {
  if (!picture_) return;
  const QRect changed = picture_->Update(board_.shapeList());
  ++renderCount_;
  if (changed.isEmpty()) return;
  if (!compositing_) UpdateShape(changed);
  repaint(ToLogical(changed));
}

void CScreenMask::UpdateShape(const QRect& changed) {
  const QImage& image = picture_->image();
  std::vector<MaskRect> shown;
  std::vector<MaskRect> hidden;
  mask_->Update(reinterpret_cast<const std::uint32_t*>(image.constBits()),
                static_cast<int>(image.bytesPerLine()),
                {changed.x(), changed.y(), changed.width(), changed.height()}, shown, hidden);
  // The X shape is in the window's device pixels, as the picture is.
  auto toShape = [](const std::vector<MaskRect>& runs) {
    std::vector<platform::ShapeRect> rects;
    rects.reserve(runs.size());
    for (const MaskRect& r : runs) rects.push_back({r.x, r.y, r.width, r.height});
    return rects;
  };
  void* connection = XConnection();
  const auto window = static_cast<std::uint32_t>(winId());
  // Pixels that stay shown are not touched: they do not flicker.
  if (!platform::CombineWindowShape(connection, window, platform::ShapeKind::kBounding,
                                    platform::ShapeOp::kSubtract, toShape(hidden)) ||
      !platform::CombineWindowShape(connection, window, platform::ShapeKind::kBounding,
                                    platform::ShapeOp::kUnion, toShape(shown))) {
    LOG_FIRST_N(ERROR, 1) << "the X server has no Shape extension: the brush canvas cannot show "
                             "its strokes without a compositor";
  }
}

bool CScreenMask::ShapeShows(int x, int y) const {
  if (!mask_ || x < 0 || y < 0 || x >= mask_->width() || y >= mask_->height()) return false;
  return mask_->IsShown(x, y);
}

void CScreenMask::paintEvent(QPaintEvent* event) {
  if (!picture_) return;
  const QImage& image = picture_->image();
  QPainter painter(this);
  painter.setCompositionMode(QPainter::CompositionMode_Source);
  // The exposures of a shaped canvas come as many thin runs: they are drawn
  // as one rectangle clipped to them.
  QRegion region = event->region();
  if (region.rectCount() > kMaxPaintRects) {
    painter.setClipRegion(region);
    region = region.boundingRect();
  }
  for (const QRect& logical : region) {
    const QRect device = QRect(static_cast<int>(std::floor(logical.x() * ratio_)),
                               static_cast<int>(std::floor(logical.y() * ratio_)),
                               static_cast<int>(std::ceil(logical.width() * ratio_)),
                               static_cast<int>(std::ceil(logical.height() * ratio_))) &
                         image.rect();
    if (device.isEmpty()) continue;
    if (compositing_) {
      painter.drawImage(QRectF(logical), image, QRectF(device));
    } else {
      // Without blending only the colour shows: the drawn pixels' own colour,
      // not the premultiplied one (which darkens translucent strokes).
      QImage straight = image.copy(device).convertToFormat(QImage::Format_ARGB32);
      const QImage opaque(straight.constBits(), straight.width(), straight.height(),
                          straight.bytesPerLine(), QImage::Format_RGB32);
      painter.drawImage(QRectF(logical), opaque);
    }
  }
}

// --- Closing ------------------------------------------------------------------

void CScreenMask::ReleaseInput() {
  if (filterInstalled_) {
    qApp->removeNativeEventFilter(this);
    QCoreApplication::setAttribute(Qt::AA_CompressHighFrequencyEvents, compressedMoves_);
    filterInstalled_ = false;
  }
  input_.reset();
}

void CScreenMask::CloseBrush() {
  if (closing_) return;
  closing_ = true;
  ReleaseInput();
  if (textWindow_) textWindow_->hide();
  if (palette_) palette_->hide();
  close();
}

void CScreenMask::OnFinalMessage() {
  closing_ = true;
  ReleaseInput();
  // The palette and the text window are children: they go with it.
  deleteLater();
}

}  // namespace tarn::ui
