#pragma once
// The floating control panel: a small always-on-top strip shown while a
// recording runs in panel mode, with the elapsed time and the start (resume),
// pause and stop buttons. It shows state and passes the user's requests to the
// main window as messages; the main window owns the recording and the panel.
// The user moves it by dragging its body; its place is remembered in the
// settings ("suspend": "top" and "right", relative to the work area) so that
// the next recording opens it there. UI thread only.

#include <QPoint>
#include <QPointer>
#include <QTimer>
#include <optional>
#include <utility>

#include "ui/framework/window_impl_base.h"

class QLabel;
class QPushButton;

namespace tarn {
class SettingsStore;
}

namespace tarn::ui {

// Size of the panel, logical pixels.
inline constexpr int kSuspendDialogWidth = 120;
inline constexpr int kSuspendDialogHeight = 28;

// "%02d:%02d:%02d" of a number of elapsed seconds; negative counts as 0.
QString ElapsedTimeText(qint64 seconds);

class SuspendDialog : public WindowImplBase {
  Q_OBJECT

 public:
  // Requests go to `mainWindow`; the position is stored in `settings`, which
  // must outlive the panel.
  SuspendDialog(QWidget* mainWindow, SettingsStore& settings);
  // Writes a position still waiting to be stored.
  ~SuspendDialog() override;

  // The position kept for the settings and not written yet, for diagnostics.
  bool positionPending() const { return pendingPosition_.has_value(); }

  void setVisible(bool visible) override;

 protected:
  QString GetSkinFile() const override { return "suspend.ui"; }
  QString GetWindowClassName() const override { return "SuspendDialog"; }
  void InitWindow() override;
  void Notify(const TNotifyUI& msg) override;
  qintptr HandleCustomMessage(unsigned message, quintptr wParam, qintptr lParam,
                              bool& handled) override;

  bool event(QEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  // Shows pause while the recording runs and start while it is paused.
  void ShowRunning(bool running);
  // Keeps the window's place for the settings and writes it shortly after the
  // moves settle.
  void RememberPosition();
  void StorePendingPosition();

  QPointer<QWidget> mainWindow_;
  SettingsStore& settings_;
  QPushButton* startButton_ = nullptr;
  QPushButton* pauseButton_ = nullptr;
  QPushButton* stopButton_ = nullptr;
  QLabel* timeText_ = nullptr;

  // Dragging without the window manager's help: where in the window the
  // pointer was pressed.
  bool dragging_ = false;
  QPoint dragOffset_;

  // ("top", "right") waiting to be written, and the last values written.
  std::optional<std::pair<int, int>> pendingPosition_;
  std::optional<std::pair<int, int>> storedPosition_;
  QTimer storeTimer_;
};

}  // namespace tarn::ui
