#include "ui/brush/edit_window.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTextEdit>

#include "platform/native_window.h"
#include "ui/brush/screen_mask.h"

namespace tarn::ui {

CEditWindow::CEditWindow(CScreenMask* canvas) : canvas_(canvas) {}

void CEditWindow::InitWindow() {
  // Stacked by the program above the canvas, like the palette.
  setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                 Qt::X11BypassWindowManagerHint);
  setWindowOpacity(kEditWindowOpacity);
  setMinimumSize(1, 1);
  setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  text_ = RequireControl<QTextEdit>("draw-text");
  text_->document()->setDocumentMargin(0);
  text_->setFont(TextFont());
  SetTextColour(kInitialColour);
  // Presses anywhere on the window move it; the window hears them first.
  text_->viewport()->installEventFilter(this);
  text_->installEventFilter(this);
  installEventFilter(this);
}

void CEditWindow::SetTextColour(ColorRef colour) {
  if (text_ == nullptr) return;
  QPalette palette = text_->palette();
  palette.setColor(QPalette::Text, QColor::fromRgb(ArgbOf(colour)));
  text_->setPalette(palette);
  text_->setTextColor(QColor::fromRgb(ArgbOf(colour)));
}

void CEditWindow::ShowAt(const QPoint& topLeft) {
  resize(TextWindowGrowth::kInitialWidth, TextWindowGrowth::kInitialHeight);
  move(topLeft);
  show();
  raise();
  activateWindow();
  // The keyboard goes here whatever took it since the click that opened the
  // window (the palette taking it back after the last text, for one).
  if (auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>()) {
    platform::FocusWindowNow(x11->connection(), static_cast<std::uint32_t>(winId()));
  }
  text_->setFocus();
}

QString CEditWindow::Text() const { return text_ != nullptr ? text_->toPlainText() : QString(); }

void CEditWindow::Clear() {
  if (text_ != nullptr) text_->clear();
}

void CEditWindow::Notify(const TNotifyUI& msg) {
  if (msg.sType != kNotifyTextChanged || msg.senderName != "draw-text") return;
  const QSize grown = growth_.Grow(size(), Text());
  if (grown != size()) resize(grown);
}

bool CEditWindow::OnPointer(QEvent* event) {
  auto* mouse = static_cast<QMouseEvent*>(event);
  const QPoint global = mouse->globalPosition().toPoint();
  switch (event->type()) {
    case QEvent::MouseButtonPress:
      if (mouse->button() != Qt::LeftButton) return false;
      moving_ = true;
      moveOffset_ = global - pos();
      grabMouse(Qt::SizeAllCursor);
      return true;
    case QEvent::MouseMove:
      if (!moving_) return false;
      move(global - moveOffset_);
      return true;
    case QEvent::MouseButtonRelease:
      if (!moving_ || mouse->button() != Qt::LeftButton) return false;
      moving_ = false;
      releaseMouse();
      return true;
    default:
      return false;
  }
}

bool CEditWindow::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::MouseButtonRelease:
      if (event->type() == QEvent::MouseButtonDblClick) return true;
      if (OnPointer(event)) return true;
      break;
    case QEvent::KeyPress:
      if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape && canvas_) {
        canvas_->OnEscape();
        return true;
      }
      break;
    default:
      break;
  }
  return WindowImplBase::eventFilter(watched, event);
}

}  // namespace tarn::ui
