#pragma once
// The child window the cut page's player and the camera preview draw on.
//
// It has a native X11 window of its own (SDL draws into it from a render
// thread); Qt never paints it. Its owner moves and sizes it with MoveArea,
// under the process-wide render lock so that no picture is drawn while the
// window changes size. UI thread only, except the DrawingArea methods.

#include <QWidget>
#include <atomic>
#include <functional>

#include "preview/video_surface.h"

namespace tarn::ui {

class CVideoArea : public QWidget, public preview::DrawingArea {
  Q_OBJECT

 public:
  explicit CVideoArea(QWidget* parent);
  ~CVideoArea() override;

  // Moves and sizes the window (parent coordinates, device-independent
  // pixels) under the render lock.
  void MoveArea(int x, int y, int width, int height);

  // Called on the UI thread when the window's content was lost (exposed or
  // resized): the drawer repaints its last picture.
  void SetExposeHandler(std::function<void()> handler);
  // Called once on the UI thread before the native window is destroyed: the
  // drawer stops using it.
  void SetDestroyHandler(std::function<void()> handler);

  std::uintptr_t NativeWindow() const override;
  int AreaWidth() const override { return width_.load(); }
  int AreaHeight() const override { return height_.load(); }

  QPaintEngine* paintEngine() const override { return nullptr; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void StoreSize(const QSize& size);

  std::uintptr_t window_ = 0;     // written at construction only
  std::atomic<int> width_{0};     // written by the UI thread, read by render threads
  std::atomic<int> height_{0};
  std::function<void()> onExposed_;
  std::function<void()> onDestroy_;
};

}  // namespace tarn::ui
