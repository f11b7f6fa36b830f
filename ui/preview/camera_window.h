#pragma once
// The camera preview: a small always-on-top window with a caption (title
// and the "camera-close" button) above a 230 x 160 drawing area on which a
// CameraDisplay shows the first camera. Without a camera, or once the camera
// stops delivering, the area says "未检测到摄像头" instead. The window deletes
// itself when it has closed; closing stops the display first, which frees
// the camera for others. UI thread only.

#include <QPointer>
#include <memory>

#include "ui/framework/custom_message.h"
#include "ui/framework/ui_text.h"
#include "ui/framework/window_impl_base.h"

class QLabel;

namespace tarn::preview {
class CameraDisplay;
}

namespace tarn::ui {

class CVideoArea;

inline constexpr int kCameraWindowWidth = 230;
inline constexpr int kCameraWindowHeight = 188;
// The drawing area inside the window.
inline constexpr int kCameraAreaX = 0;
inline constexpr int kCameraAreaY = 28;
inline constexpr int kCameraAreaWidth = 230;
inline constexpr int kCameraAreaHeight = 160;

inline constexpr const char* kNoCameraDetectedText = QT_TRANSLATE_NOOP("TarnRecorder", "未检测到摄像头");

// Posted by the display's read thread when the camera stopped delivering.
inline constexpr unsigned kWmCameraEnded = kWmUser + 800;

class CCameraWindow : public WindowImplBase {
  Q_OBJECT

 public:
  CCameraWindow();
  ~CCameraWindow() override;

  // Creates the window, places it at (primary screen width - 250, 20) and
  // shows it, previewing the first camera. The window owns itself.
  static QPointer<CCameraWindow> Open();

  // Whether pictures of a camera are being shown.
  bool previewing() const;
  // The text shown in the area; empty while previewing.
  QString statusText() const;
  CVideoArea* videoArea() const { return area_; }
  const preview::CameraDisplay* display() const { return display_.get(); }

 signals:
  // The window has closed and the camera is free.
  void Closed();

 protected:
  QString GetSkinFile() const override { return "CameraWindow.ui"; }
  QString GetWindowClassName() const override { return "CCameraWindow"; }
  void InitWindow() override;
  void Notify(const TNotifyUI& msg) override;
  qintptr HandleCustomMessage(unsigned message, quintptr wParam, qintptr lParam,
                              bool& handled) override;
  bool OnClose(quintptr wParam) override;
  void OnFinalMessage() override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void StartPreview();
  void StopPreview();
  // Hides the area and shows `text` in its place.
  void ShowStatus(const QString& text);

  CVideoArea* area_ = nullptr;  // child of this window
  QLabel* status_ = nullptr;
  std::unique_ptr<preview::CameraDisplay> display_;
};

}  // namespace tarn::ui
