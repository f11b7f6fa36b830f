#pragma once
// The cut page's player: a file chosen there (or a recording sent from the
// list) plays in "player-area", with play, pause, stop, 15-second jumps, a
// position slider, a volume slider and a time label updated every 200 ms.
// UI thread only; the player's end of playback comes back to it queued.

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>

#include "preview/video_player.h"
#include "ui/framework/window_impl_base.h"
#include "ui/main/video_area.h"

class QLabel;
class QPushButton;
class QSlider;
class QTimer;

namespace tarn::ui {

class CutPagePlayer : public QObject {
  Q_OBJECT

 public:
  // The open-file dialog: (parent) → the chosen file, empty when cancelled.
  using ChooseFile = std::function<QString(QWidget*)>;
  static constexpr int kJumpSeconds = 15;
  static constexpr int kProgressPeriodMs = 200;

  // Finds the controls in `page` (throws WindowInitError when one is missing).
  CutPagePlayer(WindowImplBase* window, QWidget* page, ChooseFile chooseFile);
  ~CutPagePlayer() override;

  // Handles a notification of the cut page's player controls; false when it
  // is not one of them.
  bool Notify(const TNotifyUI& msg);

  // Runs each time a file is opened for playing.
  void SetOpenedCallback(std::function<void()> onOpened) { onOpened_ = std::move(onOpened); }

  // Plays `path` from the start (stops what played before); false with a
  // log line when it cannot be played.
  bool Open(const QString& path);
  void Play();
  void Pause();
  void Stop();

  // The player while one exists.
  preview::VideoPlayer* player() const { return player_.get(); }
  CVideoArea* area() const { return area_; }
  const QString& path() const { return path_; }
  QString timeText() const;

  // "%02d:%02d:%02d.%03d" of `seconds`.
  static QString FormatTime(double seconds);

 private:
  // Stops and destroys the player; the controls are left alone.
  void StopPlayer();
  void ShowProgress();
  void OnFinished();
  void ResetControls();
  void ShowPlaying(bool playing);
  void PlaceArea();
  bool eventFilter(QObject* watched, QEvent* event) override;

  WindowImplBase* window_;
  ChooseFile chooseFile_;
  QWidget* playerArea_ = nullptr;
  QPushButton* playButton_ = nullptr;
  QPushButton* pauseButton_ = nullptr;
  QSlider* videoSlider_ = nullptr;
  QSlider* soundSlider_ = nullptr;
  QLabel* timeLabel_ = nullptr;
  QLabel* fileLabel_ = nullptr;
  QPointer<CVideoArea> area_;
  QTimer* progress_ = nullptr;
  QString path_;
  bool settingSlider_ = false;  // the progress sets the slider: no seek
  std::unique_ptr<preview::VideoPlayer> player_;
  std::function<void()> onOpened_;
};

}  // namespace tarn::ui
