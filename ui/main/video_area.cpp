#include "ui/main/video_area.h"

#include <QResizeEvent>

#include <cmath>

namespace tarn::ui {

CVideoArea::CVideoArea(QWidget* parent) : QWidget(parent) {
  setObjectName("CVideoArea");
  // A native window of its own that Qt leaves to SDL: no background fill, no
  // painting, and no native windows forced on the siblings.
  setAttribute(Qt::WA_DontCreateNativeAncestors);
  setAttribute(Qt::WA_NativeWindow);
  setAttribute(Qt::WA_PaintOnScreen);
  setAttribute(Qt::WA_NoSystemBackground);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAutoFillBackground(false);
  window_ = static_cast<std::uintptr_t>(winId());
  StoreSize(size());
}

void CVideoArea::StoreSize(const QSize& size) {
  // SDL draws in the native window's pixels: at a scale above 100 % these
  // are more than Qt's device-independent ones.
  const qreal ratio = devicePixelRatioF();
  width_ = static_cast<int>(std::lround(size.width() * ratio));
  height_ = static_cast<int>(std::lround(size.height() * ratio));
}

CVideoArea::~CVideoArea() {
  if (auto handler = std::move(onDestroy_)) handler();
}

void CVideoArea::MoveArea(int x, int y, int width, int height) {
  std::lock_guard<std::mutex> lock(preview::RenderLock());
  setGeometry(x, y, width, height);
  StoreSize(QSize(width, height));
}

void CVideoArea::SetExposeHandler(std::function<void()> handler) { onExposed_ = std::move(handler); }

void CVideoArea::SetDestroyHandler(std::function<void()> handler) { onDestroy_ = std::move(handler); }

std::uintptr_t CVideoArea::NativeWindow() const { return window_; }

void CVideoArea::paintEvent(QPaintEvent*) {
  if (onExposed_) onExposed_();
}

void CVideoArea::resizeEvent(QResizeEvent* event) {
  StoreSize(event->size());
  if (onExposed_) onExposed_();
}

}  // namespace tarn::ui
