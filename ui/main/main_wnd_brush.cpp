// The main window's screen brush: "brushBtn" and the screen-brush hot key
// open it, and a request while it is open closes it, so that canvases never
// pile up over each other.

#include <glog/logging.h>

#include "ui/brush/screen_mask.h"
#include "ui/main/main_wnd.h"

namespace tarn::ui {

void CMainWnd::OpenScreenBrush() {
  if (screenBrush_) {
    CloseScreenBrush();
    return;
  }
  auto* canvas = new CScreenMask();
  try {
    canvas->Open();
  } catch (const WindowInitError& error) {
    LOG(ERROR) << "cannot open the screen brush: " << error.what();
    canvas->deleteLater();
    return;
  }
  screenBrush_ = canvas;
}

CScreenMask* CMainWnd::screenBrush() const { return screenBrush_.data(); }

void CMainWnd::CloseScreenBrush() {
  if (screenBrush_) screenBrush_->CloseBrush();
  screenBrush_ = nullptr;
}

}  // namespace tarn::ui
