#include "ui/main/main_wnd.h"

#include <glog/logging.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QStackedWidget>

namespace tarn::ui {
namespace {

constexpr const char* kPageOptionNames[4] = {"video-record-page", "video-cut-page",
                                             "video-convert-page", "video-compress-page"};
constexpr const char* kVoiceSourceNames[3] = {"voice-source-default", "voice-source-microphone",
                                              "voice-source-system"};
constexpr const char* kContainerNames[6] = {"radio_mp4", "radio_flv", "radio_wmv",
                                            "radio_avi", "radio_mov", "radio_mkv"};
constexpr const char* kQualityNames[3] = {"quality_high", "quality_middle", "quality_low"};
constexpr const char* kTopBarNames[5] = {"login", "username", "help", "seting", "feedback"};

}  // namespace

CMainWnd::CMainWnd() = default;

CMainWnd::~CMainWnd() = default;

void CMainWnd::InitWindow() {
  // The marker a second start of the program looks for.
  setProperty(kInstanceMarkerProperty, 1);

  mainTab_ = RequireControl<QStackedWidget>("main-tab");
  for (int i = 0; i < 4; ++i) pageOptions_[i] = RequireControl<QAbstractButton>(kPageOptionNames[i]);
  for (int i = 0; i < 3; ++i) {
    voiceSourceOptions_[i] = RequireControl<QAbstractButton>(kVoiceSourceNames[i]);
  }
  for (int i = 0; i < 6; ++i) containerOptions_[i] = RequireControl<QAbstractButton>(kContainerNames[i]);
  for (int i = 0; i < 3; ++i) qualityOptions_[i] = RequireControl<QAbstractButton>(kQualityNames[i]);
  microphoneCheck_ = RequireControl<QCheckBox>("microphone-check");
  audioMuteCheck_ = RequireControl<QCheckBox>("audio-mute-check");
  voiceSlider_ = RequireControl<QSlider>("microphone-voice-slider");
  voiceSizeLabel_ = RequireControl<QLabel>("microphone-voice-size");
  startButton_ = RequireControl<QPushButton>("recorderStartBtn");
  pauseButton_ = RequireControl<QPushButton>("recorderPauseBtn");
  stopButton_ = RequireControl<QPushButton>("recorderStopBtn");
  recordTimeText_ = RequireControl<QLabel>("recordTimeText");
  fileList_ = RequireControl<QListWidget>("listview");
  brushButton_ = RequireControl<QPushButton>("brushBtn");
  for (const char* name : kTopBarNames) RequireControl<QAbstractButton>(name);

  // Start and pause share one place: only one of them is visible.
  pauseButton_->setVisible(false);
  startButton_->setVisible(true);
  recordTimeText_->setText("00:00:00");
  SelectPage(0);
}

void CMainWnd::SelectPage(int index) {
  if (index < 0 || index >= mainTab_->count()) return;
  mainTab_->setCurrentIndex(index);
  if (!pageOptions_[index]->isChecked()) pageOptions_[index]->setChecked(true);
}

void CMainWnd::Notify(const TNotifyUI& msg) {
  if (msg.sType == kNotifySelectChanged && msg.wParam == 1) {
    for (int i = 0; i < 4; ++i) {
      if (msg.senderName == kPageOptionNames[i]) SelectPage(i);
    }
  }
}

void CMainWnd::OnFinalMessage() {
  // The main window's end is the program's end.
  LOG(INFO) << "main window closed";
  QCoreApplication::exit(0);
}

}  // namespace tarn::ui
