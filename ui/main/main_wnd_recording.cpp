// The main window's recording control: start, pause, resume and stop, the
// elapsed time, and the finished file joining the list.

#include <glog/logging.h>

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <ctime>
#include <filesystem>

#include "recorder/recording_options.h"

#include "platform/screen_capture.h"
#include "recorder/containers.h"
#include "settings/settings_store.h"
#include "ui/framework/ui_text.h"
#include "ui/main/finished_notice.h"
#include "ui/main/main_messages.h"
#include "ui/main/main_tray_icon.h"
#include "ui/main/main_wnd.h"
#include "ui/main/message_box_dialog.h"
#include "ui/main/record_page_meters.h"
#include "ui/main/recorded_file_list.h"
#include "ui/overlay/suspend_dialog.h"
#include "ui/overlay/tool_window.h"
#include "ui/overlay/video_mask.h"

namespace tarn::ui {

void CMainWnd::StartRecording() {
  if (quitPending_ || recorder_ == nullptr) return;
  const int previousUiState = uiState_;
  uiState_ = kUiRecording;
  const int engineState = recorder_->state();
  if (engineState == kStateRecording) return;

  if (engineState == kStateStopped && !recorder_->WaitUntilFinished(0)) {
    // The last recording's file is still being finished: the new recording
    // starts once it is complete, and the window stays responsive meanwhile.
    // Until then nothing records, and the window says so.
    uiState_ = previousUiState;
    startPending_ = true;
    SetTimer(kTimerWaitForFile, kWaitForFilePeriodMs);
    return;
  }
  startPending_ = false;

  if (engineState == kStatePaused) {
    recorder_->Resume();
    ShowRecordingControls();
    SetTimer(kTimerTrayBlink, 800);
    trayIcon_->Modify(kTrayIconNormal, UiText(kTrayTipRecording), QString());
    return;
  }

  // A new recording.
  panelMode_ = settings_.GetInt(kSuspendCheck, kSuspendCheckDefault);
  RecordingOverrides overrides;
  overrides.format = containerExt_;  // the format values are the extensions
  const RecordingOptions options = MakeRecordingOptions(settings_, overrides, std::time(nullptr));
  outputDir_ = options.outputDir;
  currentFileName_ = options.fileName;
  quality_ = options.quality;
  ++recordingNumber_;
  const bool previewClosed =
      settings_.GetInt(kVideoSource, kVideoSourceDefault) == 1 && CloseCameraPreviewForRecording();
  const int result = recorder_->Start(options);
  if (result != 0) {
    // Nothing records: the window stays as it was, and says why.
    uiState_ = previousUiState;
    QString text;
    switch (recorder_->startProblem()) {
      case StartProblem::kVideoDevice:
        // A camera that is listed yet does not open says why.
        text = UiText(kNoVideoDeviceText);
        if (result != kStartNoVideoDevice) text += "\n" + QString::fromStdString(recorder_->startError());
        break;
      case StartProblem::kAudioDevice:
        text = UiText(kNoAudioDeviceText);
        break;
      case StartProblem::kScreen:
        text = UiText(kStartScreenFailedText) + QString::fromStdString(recorder_->startError());
        break;
      case StartProblem::kFrameRate:
        text = UiText(kStartFrameRateText) + QString::fromStdString(recorder_->startError());
        break;
      case StartProblem::kEncoder:
        text = UiText(kStartEncoderFailedText) + QString::fromStdString(recorder_->startError());
        break;
      default:
        text = UiText(kStartFailedText) + "\n" + QString::fromStdString(recorder_->startError());
        break;
    }
    LOG(ERROR) << "recording could not start (" << result << "): " << recorder_->startError();
    PromptBoxDialog::Show(this, text);
    return;
  }

  // The floating panel takes over from the window. Without a panel the main
  // window stays up: it is the only place showing the recording's controls.
  if (panelMode_ != 0 && ShowFloatingPanel()) showMinimized();

  if (settings_.GetInt(kMouseEffectClickCheck, kMouseEffectClickCheckDefault) != 0) {
    StartWatchingClicks();
  }
  regionMode_ = settings_.GetInt(kUserDefinedRegionCheck, kUserDefinedRegionCheckDefault);
  // What is recorded cannot change while the recording runs.
  LockSourceControls(true);
  if (regionMode_ != 0) LockRegionFrame();
  recorder_->Resume();
  ShowRecordingControls();
  trayBlinkPhase_ = false;
  SetTimer(kTimerTrayBlink, 800);
  const QString recording = UiText(kTrayTipRecording);
  trayIcon_->Modify(kTrayIconNormal, recording,
                    previewClosed ? recording + "\n" + UiText(kCameraPreviewClosedText) : recording);
  LOG(INFO) << "recording " << options.path() << " (" << options.containerName << ", "
            << options.frameRate << " fps, quality " << quality_ << ")";
  // The recording runs meanwhile; the user learns that it has no watermark.
  if (!recorder_->startWarning().empty()) {
    PromptBoxDialog::Show(this, UiText(kWatermarkFailedText));
  }
}

bool CMainWnd::ShowFloatingPanel() {
  if (!suspendDialog_) {
    auto panel = std::make_unique<SuspendDialog>(this, settings_);
    try {
      panel->Create(nullptr, QString());
    } catch (const WindowInitError& error) {
      LOG(ERROR) << error.what() << ": no floating panel, the main window stays up";
      return false;
    }
    floatingPanel_ = panel.get();
    suspendDialog_ = std::move(panel);
  }
  // Placed within the work area, which need not begin at the desktop's 0,0
  // (a panel on the left or top, several monitors); a remembered place off a
  // smaller work area is brought back inside it.
  QRect workArea;
  if (QScreen* screen = QGuiApplication::primaryScreen()) workArea = screen->availableGeometry();
  const PanelPosition position = PlaceFloatingPanel(
      workArea.width(), workArea.height(), settings_.GetInt(kSuspendTop, kSuspendTopDefault),
      settings_.GetInt(kSuspendRight, kSuspendRightDefault));
  panelPosition_ = workArea.topLeft() + QPoint(position.x, position.y);
  // A panel kept from an earlier recording may have ended paused or with
  // that recording's time.
  SendMessage(suspendDialog_.get(), kWmPanelRunning);
  SendMessage(suspendDialog_.get(), kWmRecordSecondsMessage, 0, 0);
  suspendDialog_->move(panelPosition_);
  suspendDialog_->show();
  suspendDialog_->raise();
  return true;
}

void CMainWnd::PauseRecording() {
  uiState_ = kUiPaused;
  if (recorder_ == nullptr || recorder_->state() != kStateRecording) return;
  recorder_->Pause();
  ShowRecordingControls();
  KillTimer(kTimerTrayBlink);
  const QString paused = UiText(kTrayTipPaused);
  trayIcon_->Modify(kTrayIconAlternate, paused, paused);
}

void CMainWnd::StopRecording() {
  uiState_ = kUiStopped;
  // A start still waiting for the last file is called off.
  startPending_ = false;
  if (recorder_ == nullptr) return;
  const int engineState = recorder_->state();
  if (engineState != kStateRecording && engineState != kStatePaused) return;

  KillTimer(kTimerTrayBlink);
  trayIcon_->Modify(kTrayIconNormal, UiText(kTrayTipIdle),
                    UiText(kTrayBalloonStopped));
  ShowAndActivate();
  if (floatingPanel_) floatingPanel_->hide();
  recordTimeText_->setText("00:00:00");
  StopWatchingClicks();
  // The engine finishes the file on its own thread; the window stays
  // responsive and lists the file when the engine reports it complete.
  recorder_->Stop();
  ShowRecordingControls();
  LockSourceControls(false);
  if (regionMode_ != 0) UnlockRegionFrameLater();
}

void CMainWnd::ShowRecordingControls() {
  const int engineState = recorder_ != nullptr ? recorder_->state() : kStatePrepared;
  const bool recording = engineState == kStateRecording;
  const bool paused = engineState == kStatePaused;
  // Start and pause share one place: only one of them is visible.
  pauseButton_->setVisible(recording);
  startButton_->setVisible(!recording);
  startButton_->setText(paused ? QCoreApplication::translate("TarnRecorder", "继续录制") : QCoreApplication::translate("TarnRecorder", "开始录制"));
  stopButton_->setEnabled(recording || paused);
  recordStateText_->setText(UiText(recording ? QT_TRANSLATE_NOOP("TarnRecorder", "录制中") : paused ? QT_TRANSLATE_NOOP("TarnRecorder", "已暂停") : QT_TRANSLATE_NOOP("TarnRecorder", "录制时长")));
  // The meters follow the recording, or preview the sources without one.
  if (soundMeters_) soundMeters_->Update();
  // The floating panel follows whichever window or key changed the state.
  // Posted, so that it comes after what a hot key posted to the panel first.
  if (floatingPanel_) {
    if (recording || paused) {
      PostMessage(floatingPanel_.data(), recording ? kWmPanelRunning : kWmPanelPaused);
    } else {
      floatingPanel_->hide();
    }
  }
  FollowRecordingInTray();
}

void CMainWnd::ShowElapsed(quintptr recording, std::int64_t seconds) {
  // A report still on its way when the recording stopped, or one of the
  // recording before this one, changes nothing.
  if (uiState_ != kUiRecording && uiState_ != kUiPaused) return;
  if (recording != 0 && recording != recordingNumber_) return;
  if (seconds < 0) seconds = 0;
  recordTimeText_->setText(ElapsedTimeText(seconds));
  trayIcon_->SetElapsed(ElapsedTimeText(seconds));
  if (regionMode_ != 0 && videoMask_ && videoMask_->toolbar() != nullptr) {
    PostMessage(videoMask_->toolbar(), kWmRecordSecondsMessage, 0, static_cast<qintptr>(seconds));
  }
  if (panelMode_ != 0) {
    PostMessage(floatingPanel_.data(), kWmRecordSecondsMessage, 0, static_cast<qintptr>(seconds));
  }
}

void CMainWnd::OnRecordSeconds(std::int64_t seconds) {
  // The engine's threads of one recording all end before the next starts, so
  // the number read here is that of the recording reporting.
  PostMessage(this, kWmRecordSecondsMessage, recordingNumber_.load(),
              static_cast<qintptr>(seconds));
}

void CMainWnd::OnSoundLevels(const SoundLevels& levels) {
  // Made before the engine, destroyed after it.
  soundMeters_->PostRecordingLevels(levels);
}

void CMainWnd::OnRecordingFinished(const RecordingResult& result) {
  {
    std::lock_guard lock(finishedLock_);
    finishedFiles_.push_back(result);
  }
  PostMessage(this, kWmRecordFinished, 0, 0);
}

void CMainWnd::OnRecordFinishedMessage() {
  std::deque<RecordingResult> finished;
  {
    std::lock_guard lock(finishedLock_);
    finished.swap(finishedFiles_);
  }
  for (const RecordingResult& result : finished) {
    const std::string& path = result.path;
    const std::size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string(".") : path.substr(0, slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::error_code error;
    if (std::filesystem::exists(path, error)) fileList_->AddFinishedRecording(dir, name);
    // A recording that ended by itself leaves the controls as a stop does.
    if (recorder_ != nullptr && recorder_->state() == kStateStopped &&
        (uiState_ == kUiRecording || uiState_ == kUiPaused) && !result.reason.empty()) {
      // The window comes back from under the floating panel to say why.
      if (floatingPanel_ && floatingPanel_->isVisible()) ShowAndActivate();
      StopRecording();
      uiState_ = kUiStopped;
      ShowRecordingControls();
      // What is recorded can be chosen again.
      LockSourceControls(false);
      if (regionMode_ != 0) UnlockRegionFrameLater();
    }
    if (quitPending_) continue;
    // A complete file is announced on the desktop; an incomplete one is told
    // by the window's message below.
    if (result.ok && std::filesystem::exists(path, error)) finishedNotice_->Announce(path);
    if (!result.ok) {
      LOG(ERROR) << "the recording " << path << " could not be finished: " << result.reason;
      PromptBoxDialog::Show(this, UiText(kRecordingIncompleteText) +
                                      QString::fromStdString(name) + "\n" +
                                      QString::fromStdString(result.reason));
    } else if (!result.reason.empty()) {
      LOG(WARNING) << "the recording " << path << " ended by itself: " << result.reason;
      PromptBoxDialog::Show(this, UiText(kRecordingEndedText) +
                                      QString::fromStdString(result.reason) + "\n" +
                                      QString::fromStdString(name));
    }
  }
  // The tray menu offers a start again once the file is complete.
  FollowRecordingInTray();
}

void CMainWnd::OnWaitForFileTick() {
  // Waiting for the last recording's file, for a start or for the close that
  // follows it. The engine's report is listed first, whichever comes first.
  if (recorder_ != nullptr && !recorder_->WaitUntilFinished(0)) return;
  KillTimer(kTimerWaitForFile);
  OnRecordFinishedMessage();
  if (quitPending_) {
    PostMessage(this, kWmClose, kCloseForQuit, 0);
  } else if (startPending_) {
    StartRecording();
  }
}

void CMainWnd::StartWatchingClicks() {
  StopWatchingClicks();
  std::unique_ptr<platform::ClickMonitor> monitor = services_.clickMonitorFactory();
  if (monitor == nullptr) return;
  // The monitor's thread marks presses for the screen source's click rings.
  if (!monitor->Start([](int button) { MarkMouseClick(button); })) {
    LOG(WARNING) << "mouse clicks cannot be watched: no click rings in this recording";
    return;
  }
  clickMonitor_ = std::move(monitor);
}

void CMainWnd::StopWatchingClicks() {
  if (clickMonitor_ == nullptr) return;
  clickMonitor_->Stop();
  clickMonitor_.reset();
}

}  // namespace tarn::ui
