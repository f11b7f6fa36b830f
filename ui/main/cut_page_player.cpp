#include "ui/main/cut_page_player.h"

#include <QEvent>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <glog/logging.h>

#include <cmath>

#include "ui/main/video_area.h"

namespace tarn::ui {

namespace {
// The drawing window sits inside "player-area", 2 pixels in from each side.
constexpr int kAreaInset = 2;
}  // namespace

CutPagePlayer::CutPagePlayer(WindowImplBase* window, QWidget* page, ChooseFile chooseFile)
    : QObject(window), window_(window), chooseFile_(std::move(chooseFile)) {
  auto require = [&](auto* type, const char* name) {
    using T = std::remove_pointer_t<decltype(type)>;
    T* control = page->findChild<T*>(name);
    if (control == nullptr) {
      throw WindowInitError(std::string("CMainWnd::InitWindow: the cut page has no ") + name);
    }
    return control;
  };
  playerArea_ = require(static_cast<QWidget*>(nullptr), "player-area");
  playButton_ = require(static_cast<QPushButton*>(nullptr), "play");
  pauseButton_ = require(static_cast<QPushButton*>(nullptr), "pause");
  videoSlider_ = require(static_cast<QSlider*>(nullptr), "video-slider");
  soundSlider_ = require(static_cast<QSlider*>(nullptr), "sound-slider");
  timeLabel_ = require(static_cast<QLabel*>(nullptr), "video-time");
  fileLabel_ = page->findChild<QLabel*>("cut-file-name");
  for (const char* name : {"add-video-file", "stop", "rewind", "forward"}) {
    require(static_cast<QPushButton*>(nullptr), name);
  }
  area_ = new CVideoArea(playerArea_);
  area_->hide();
  // The player stops before the drawing window goes (the window is closing).
  area_->SetDestroyHandler([this] { StopPlayer(); });
  area_->SetExposeHandler([this] {
    if (player_) player_->Repaint();
  });
  playerArea_->installEventFilter(this);
  progress_ = new QTimer(this);
  progress_->setInterval(kProgressPeriodMs);
  connect(progress_, &QTimer::timeout, this, [this] { ShowProgress(); });
  ResetControls();
}

CutPagePlayer::~CutPagePlayer() {
  // The page's controls may be gone already (the window is being destroyed).
  if (area_) area_->SetDestroyHandler(nullptr);
  StopPlayer();
}

bool CutPagePlayer::Notify(const TNotifyUI& msg) {
  const QString& name = msg.senderName;
  if (msg.sType == kNotifyValueChanged) {
    if (name == "video-slider") {
      if (!settingSlider_ && player_ && videoSlider_->maximum() > 0) {
        player_->SeekFraction(static_cast<double>(msg.wParam) / videoSlider_->maximum());
      }
      return true;
    }
    if (name == "sound-slider") {
      if (player_) player_->SetVolume(msg.wParam * 128 / 100);
      return true;
    }
    return false;
  }
  if (msg.sType != kNotifyClick) return false;
  if (name == "add-video-file") {
    const QString chosen = chooseFile_ ? chooseFile_(window_) : QString();
    if (!chosen.isEmpty()) Open(chosen);
  } else if (name == "play") {
    Play();
  } else if (name == "pause") {
    Pause();
  } else if (name == "stop") {
    Stop();
  } else if (name == "rewind") {
    if (player_) player_->SeekBackward(kJumpSeconds);
  } else if (name == "forward") {
    if (player_) player_->SeekForward(kJumpSeconds);
  } else {
    return false;
  }
  return true;
}

bool CutPagePlayer::Open(const QString& path) {
  Stop();
  const bool newFile = path != path_;
  path_ = path;
  if (newFile && onOpened_) onOpened_();
  if (fileLabel_ != nullptr) fileLabel_->setText(QFileInfo(path).fileName());
  PlaceArea();
  area_->show();
  auto player = std::make_unique<preview::VideoPlayer>(area_.data());
  player->SetVolume(soundSlider_->value() * 128 / 100);
  QPointer<CutPagePlayer> self(this);
  player->SetFinishCallback(
      [self](void*) {
        // On the player's read thread: the page acts on the UI thread.
        QMetaObject::invokeMethod(
            self.data(), [self] { if (self) self->OnFinished(); }, Qt::QueuedConnection);
      },
      nullptr);
  player->EnableFinishCallback(true);
  std::string why;
  if (!player->Start(path.toStdString(), why)) {
    LOG(WARNING) << "The cut page cannot play " << path.toStdString() << ": " << why;
    ResetControls();
    return false;
  }
  player_ = std::move(player);
  ShowPlaying(true);
  progress_->start();
  ShowProgress();
  return true;
}

void CutPagePlayer::Play() {
  if (path_.isEmpty()) {
    const QString chosen = chooseFile_ ? chooseFile_(window_) : QString();
    if (!chosen.isEmpty()) Open(chosen);
  } else if (!player_) {
    Open(path_);
  } else if (player_->state() == preview::VideoPlayer::kPaused) {
    player_->TogglePause();
    ShowPlaying(true);
  }
}

void CutPagePlayer::Pause() {
  if (!player_ || player_->state() != preview::VideoPlayer::kPlaying) return;
  player_->TogglePause();
  ShowPlaying(false);
}

void CutPagePlayer::Stop() {
  StopPlayer();
  ResetControls();
}

void CutPagePlayer::StopPlayer() {
  progress_->stop();
  if (player_) {
    player_->Stop();
    player_.reset();
  }
}

void CutPagePlayer::OnFinished() {
  LOG(INFO) << "VideoFinishCallback..............";
  Stop();
}

void CutPagePlayer::ResetControls() {
  if (area_) area_->hide();
  ShowPlaying(false);
  settingSlider_ = true;
  videoSlider_->setMaximum(0);
  videoSlider_->setValue(0);
  settingSlider_ = false;
  timeLabel_->setText("00:00:00 / 00:00:00");
}

void CutPagePlayer::ShowPlaying(bool playing) {
  playButton_->setVisible(!playing);
  pauseButton_->setVisible(playing);
}

QString CutPagePlayer::FormatTime(double seconds) {
  const auto ms = static_cast<long long>(std::llround(std::max(0.0, seconds) * 1000));
  return QString::asprintf("%02lld:%02lld:%02lld.%03lld", ms / 3600000, ms / 60000 % 60,
                           ms / 1000 % 60, ms % 1000);
}

QString CutPagePlayer::timeText() const { return timeLabel_->text(); }

void CutPagePlayer::ShowProgress() {
  if (!player_) return;
  const double position = player_->position();
  const double duration = player_->duration();
  timeLabel_->setText(FormatTime(position) + " / " + FormatTime(duration));
  if (videoSlider_->isSliderDown()) return;  // the user is dragging it
  settingSlider_ = true;
  videoSlider_->setMaximum(static_cast<int>(duration));
  videoSlider_->setValue(static_cast<int>(position));
  settingSlider_ = false;
}

void CutPagePlayer::PlaceArea() {
  if (!area_) return;
  area_->MoveArea(kAreaInset, kAreaInset, std::max(1, playerArea_->width() - 2 * kAreaInset),
                  std::max(1, playerArea_->height() - 2 * kAreaInset));
}

bool CutPagePlayer::eventFilter(QObject* watched, QEvent* event) {
  if (watched == playerArea_ && event->type() == QEvent::Resize) PlaceArea();
  return QObject::eventFilter(watched, event);
}

}  // namespace tarn::ui
