#include "ui/brush/screen_brush_dialog.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>
#include <QToolButton>

#include "ui/brush/brush_icons.h"
#include "ui/brush/screen_mask.h"
#include "ui/overlay/overlay_messages.h"

namespace tarn::ui {
namespace {

// The palette's tool options, in tool order.
constexpr const char* kToolControls[kToolCount] = {
    "brush-type-pen",     "brush-type-marker", "brush-type-rectangle",
    "brush-type-arc",     "brush-type-beeline", "brush-type-arrow",
    "brush-type-text",    "brush-type-seq",    "brush-type-eraser"};

QString SizeControl(int size) { return QString::asprintf("brush-size-%02d", size); }
QString ColourControl(int index) { return QString::asprintf("brush-color-%02d", index + 1); }

}  // namespace

ScreenBrushDialog::ScreenBrushDialog(CScreenMask* canvas) : canvas_(canvas) {}

void ScreenBrushDialog::InitWindow() {
  // Above the canvas and its input window, which are not managed by the
  // window manager either; the palette stacks itself.
  setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                 Qt::X11BypassWindowManagerHint);
  setFixedSize(kPaletteWidth, kPaletteHeight);
  for (int tool = 0; tool < kToolCount; ++tool) {
    RequireControl<QToolButton>(kToolControls[tool])->setIcon(ToolIcon(tool));
  }
  for (int size = 1; size <= kBrushSizeCount; ++size) {
    RequireControl<QToolButton>(SizeControl(size))->setIcon(SizeIcon(size));
  }
  for (int i = 0; i < kBrushColourCount; ++i) {
    auto* button = RequireControl<QToolButton>(ColourControl(i));
    const QColor colour = QColor::fromRgb(ArgbOf(kBrushColours[i]));
    button->setStyleSheet(QString("QToolButton { background: %1; }").arg(colour.name()));
  }
  for (const char* name : {"brush-undo", "brush-redo", "brush-close"}) RequireControl<QToolButton>(name);
  // The canvas's initial choices are shown checked.
  RequireControl<QToolButton>(kToolControls[kInitialTool])->setChecked(true);
  RequireControl<QToolButton>(SizeControl(kInitialSize))->setChecked(true);
  RequireControl<QToolButton>(ColourControl(2))->setChecked(true);
  title_ = RequireControl<QWidget>("brush-title");
  title_->installEventFilter(this);
  title_->setCursor(Qt::SizeAllCursor);
}

void ScreenBrushDialog::PlaceAndShow() {
  QScreen* screen = QGuiApplication::primaryScreen();
  const QPoint origin = screen != nullptr ? screen->geometry().topLeft() : QPoint();
  move(origin + QPoint(kPaletteX, kPaletteY));
  show();
  raise();
  activateWindow();
}

void ScreenBrushDialog::Notify(const TNotifyUI& msg) {
  if (!canvas_) return;
  const QString& name = msg.senderName;
  if (msg.sType == kNotifyClick) {
    if (name == "brush-undo") {
      PostMessage(canvas_.data(), kWmBrushUndo);
    } else if (name == "brush-redo") {
      PostMessage(canvas_.data(), kWmBrushRedo);
    } else if (name == "brush-close") {
      canvas_->CloseBrush();
    }
    return;
  }
  if (msg.sType != kNotifySelectChanged || msg.wParam == 0) return;
  for (int tool = 0; tool < kToolCount; ++tool) {
    if (name == kToolControls[tool]) canvas_->SetTool(tool);
  }
  for (int size = 1; size <= kBrushSizeCount; ++size) {
    if (name == SizeControl(size)) canvas_->SetSize(size);
  }
  for (int i = 0; i < kBrushColourCount; ++i) {
    if (name == ColourControl(i)) canvas_->SetColour(kBrushColours[i]);
  }
}

void ScreenBrushDialog::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && canvas_) {
    canvas_->OnEscape();
    return;
  }
  WindowImplBase::keyPressEvent(event);
}

bool ScreenBrushDialog::eventFilter(QObject* watched, QEvent* event) {
  // The title strip moves the palette.
  if (watched == title_) {
    if (event->type() == QEvent::MouseButtonPress) {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() == Qt::LeftButton) {
        dragging_ = true;
        dragOffset_ = mouse->globalPosition().toPoint() - pos();
        return true;
      }
    } else if (event->type() == QEvent::MouseMove && dragging_) {
      move(static_cast<QMouseEvent*>(event)->globalPosition().toPoint() - dragOffset_);
      return true;
    } else if (event->type() == QEvent::MouseButtonRelease && dragging_) {
      dragging_ = false;
      return true;
    }
  }
  return WindowImplBase::eventFilter(watched, event);
}

}  // namespace tarn::ui
