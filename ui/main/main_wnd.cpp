#include "ui/main/main_wnd.h"

#include <glog/logging.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QCursor>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QStackedWidget>
#include <utility>

#include "platform/app_data_dir.h"
#include "recorder/output/output_file.h"
#include "platform/global_hot_keys.h"
#include "platform/screen_capture.h"
#include "recorder/containers.h"
#include "settings/settings_store.h"
#include "ui/main/cut_page_player.h"
#include "ui/main/finished_notice.h"
#include "ui/main/main_hot_keys.h"
#include "ui/main/main_messages.h"
#include "ui/main/main_task_menu.h"
#include "ui/main/main_tray_icon.h"
#include "ui/main/message_box_dialog.h"
#include "ui/main/pop_menu.h"
#include "ui/main/record_page_meters.h"
#include "ui/main/recorded_file_list.h"
#include "ui/main/shell_actions.h"
#include "ui/overlay/tool_window.h"
#include "ui/overlay/video_mask.h"
#include "ui/tools/tool_pages.h"
#include "ui/update/update_flow.h"

namespace tarn::ui {
namespace {

constexpr const char* kPageOptionNames[4] = {"video-record-page", "video-cut-page",
                                             "video-convert-page", "video-compress-page"};
constexpr const char* kVoiceSourceNames[3] = {"voice-source-default", "voice-source-microphone",
                                              "voice-source-system"};
constexpr const char* kContainerNames[6] = {"radio_mp4", "radio_flv", "radio_wmv",
                                            "radio_avi", "radio_mov", "radio_mkv"};
constexpr const char* kQualityNames[3] = {"quality_high", "quality_middle", "quality_low"};
constexpr const char* kRecordAreaNames[4] = {"record-area-fullscreen", "record-area-region",
                                             "record-area-follow", "record-area-camera"};
constexpr const char* kTopBarNames[5] = {"login", "username", "help", "seting", "feedback"};

QString VoiceSizeText(int value) { return QString::asprintf("%ddB", value); }

}  // namespace

CMainWnd::CMainWnd() : CMainWnd(Services{}) {}

CMainWnd::CMainWnd(Services services)
    : settings_(services.settings != nullptr ? *services.settings : SettingsStore::Instance()),
      services_(std::move(services)) {
  if (!services_.hotKeys) services_.hotKeys = platform::CreateGlobalHotKeys();
  if (!services_.hotKeyIdentifier) services_.hotKeyIdentifier = platform::HotKeyIdentifier;
  if (!services_.clickMonitorFactory) services_.clickMonitorFactory = platform::CreateClickMonitor;
  if (!services_.onClosed) services_.onClosed = [] { QCoreApplication::exit(0); };
}

CMainWnd::~CMainWnd() {
  // An asked-for update check still running ends first.
  updateFlow_.reset();
  // Running transcoders end and their partial outputs go.
  tools_.reset();
  // The engine's threads end first: a recording still being written is
  // finished, and nothing reports to a half-destroyed window.
  recorder_.reset();
  ReleaseDesktopHooks();
}

// --- Initialisation ----------------------------------------------------------

void CMainWnd::InitWindow() {
  // Every start of the program records the whole screen until a region is chosen.
  settings_.SetString(kUserDefinedRegionCheck, "0");

  // Global hot keys; a press reaches the window as a hot-key message.
  hotKeys_ = std::make_unique<MainHotKeys>(settings_, std::move(services_.hotKeys),
                                           services_.hotKeyIdentifier);
  // The grabbing thread hands each press over to the UI thread; it is joined
  // before the window goes.
  hotKeys_->RegisterAll(
      [this](int id) { PostMessage(this, kWmHotKey, static_cast<quintptr>(id), 0); });

  // The marker a second start of the program looks for, and the icon.
  setProperty(kInstanceMarkerProperty, 1);
  setWindowIcon(ProgramIcon(kTrayIconNormal));

  // The region frame, hidden until region mode is chosen. When it is left
  // (its toolbar's close button) the page shows what is recorded then.
  videoMask_ = std::make_unique<CVideoMask>(this, settings_);
  videoMask_->CreateHidden();
  videoMask_->SetLeaveCallback([this] { LoadSourceOptions(); });

  trayIcon_ = std::make_unique<MainTrayIcon>(this);
  trayIcon_->Add();
  CreateFinishedNotice();

  FindControls();
  CreateCutPagePlayer();
  ShowHotKeysInToolTips();

  LoadRecordPageOptions();

  // The recordings folder, created when missing, and its recordings.
  outputDir_ = GetOutputDir(settings_);
  QDir().mkpath(QString::fromStdString(outputDir_));
  // Recordings a crash left unfinished are finished before they are listed
  // (nothing to do, at once, after a normal end).
  for (const std::string& recovered : RecoverUnfinishedRecordings(outputDir_)) {
    LOG(WARNING) << "finished the interrupted recording " << recovered;
  }
  fileList_ = std::make_unique<RecordedFileList>(this);
  fileList_->AttachList(kListRecorded, fileListView_);
  // 50 ms after a finished recording's row appears, the list shows it selected.
  fileList_->SetRecordingRowAddedCallback([this] { SetTimer(kTimerScrollList, 50); });
  fileList_->Fill(outputDir_);
  CreateToolPages();

  CreateUpdateFlow();
  soundMeters_ = std::make_unique<RecordPageMeters>(
      *this, settings_, [this] { return recorder_ != nullptr ? recorder_->state() : kStatePrepared; });
  recorder_ = std::make_unique<Recorder>(this, &settings_);
  soundMeters_->Update();
  FitToScreen();
  // The keyboard starts on the record button.
  startButton_->setFocus(Qt::OtherFocusReason);
}

void CMainWnd::FindControls() {
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
  fileListView_ = RequireControl<QListWidget>("listview");
  brushButton_ = RequireControl<QPushButton>("brushBtn");
  for (const char* name : kTopBarNames) RequireControl<QAbstractButton>(name);
  // The account services are not part of this program.
  FindControl<QAbstractButton>("login")->setVisible(false);
  FindControl<QAbstractButton>("username")->setVisible(false);

  recordStateText_ = RequireControl<QLabel>("recordStateText");
  FindSourceControls();
  ShowRecordingControls();
  recordTimeText_->setText("00:00:00");
  SelectPage(0);
}

void CMainWnd::LoadRecordPageOptions() {
  // Setting the controls from the settings writes nothing back.
  loadingOptions_ = true;
  containerExt_ = "mp4";
  containerName_ = "mp4";
  SelectContainer(settings_.GetString(kVideoFormat, kVideoFormatDefault, kVideoFormatCapacity));

  const int voiceSource = settings_.GetInt(kVoiceSource, kVoiceSourceDefault);
  if (voiceSource >= 0 && voiceSource < 3) voiceSourceOptions_[voiceSource]->setChecked(true);
  quality_ = settings_.GetInt(kQuality, kQualityDefault);
  if (quality_ >= 0 && quality_ < 3) qualityOptions_[quality_]->setChecked(true);

  const int voiceSize = settings_.GetInt(kVoiceSize, kVoiceSizeDefault);
  voiceSlider_->setValue(voiceSize);
  voiceSizeLabel_->setText(VoiceSizeText(voiceSize));
  microphoneCheck_->setChecked(settings_.GetInt(kMicrophoneCheck, kMicrophoneCheckDefault) != 0);
  audioMuteCheck_->setChecked(settings_.GetInt(kAudioMuteCheck, kAudioMuteCheckDefault) != 0);
  ShowSoundChoicesEnabled();
  loadingOptions_ = false;
  LoadSourceOptions();
}

void CMainWnd::SelectContainer(const std::string& format) {
  const auto choice = ContainerForFormat(format);
  if (!choice) return;  // an unknown value leaves the options as they are
  containerExt_ = std::string(choice->extension);
  containerName_ = std::string(choice->muxer);
  for (int i = 0; i < 6; ++i) {
    if (choice->radioName == kContainerNames[i]) containerOptions_[i]->setChecked(true);
  }
}

void CMainWnd::SelectPage(int index) {
  if (index < 0 || index >= mainTab_->count()) return;
  mainTab_->setCurrentIndex(index);
  if (!pageOptions_[index]->isChecked()) pageOptions_[index]->setChecked(true);
}

// --- Notifications -----------------------------------------------------------

void CMainWnd::Notify(const TNotifyUI& msg) {
  const QString& name = msg.senderName;
  if (cutPlayer_ != nullptr && cutPlayer_->Notify(msg)) return;
  if (tools_ != nullptr && tools_->Notify(msg)) return;
  if (msg.sType == kNotifySelectChanged) {
    if (name == "microphone-check" || name == "audio-mute-check") {
      if (!loadingOptions_) {
        settings_.SetString(kGlobalSection, name.toStdString(), msg.wParam != 0 ? "1" : "0");
      }
      if (name == "audio-mute-check") ShowSoundChoicesEnabled();
    } else if (msg.wParam == 1) {
      OnOptionSelected(name);
    }
    return;
  }
  if (msg.sType == kNotifyItemSelect) {
    if (name == "mouse-follow-ratio") OnFollowSizeChosen(msg.wParam);
    if (name == "video-framerate") OnFrameRateChosen(msg.wParam);
    return;
  }
  if (msg.sType == kNotifyValueChanged) {
    if (name == "microphone-voice-slider") {
      voiceSizeLabel_->setText(VoiceSizeText(msg.wParam));
      if (!loadingOptions_) settings_.SetInt(kVoiceSize, msg.wParam);
    }
    return;
  }
  if (msg.sType != kNotifyClick) return;
  if (name == "recorderStartBtn") {
    StartRecording();
  } else if (name == "recorderPauseBtn") {
    PauseRecording();
  } else if (name == "recorderStopBtn") {
    StopRecording();
  } else if (name == "region-select-btn") {
    OpenRegionSelector();
  } else if (name == "camera-preview-btn") {
    OpenCameraPreview();
  } else if (name == "output-choose-btn") {
    ChooseOutputFolder();
  } else if (name == "output-open-btn") {
    OpenFolderOrSay(GetOutputDir(settings_));
  } else if (name == "brushBtn") {
    OpenScreenBrush();
  } else if (name == "seting") {
    OpenSettingsDialog();
  } else if (name == "help") {
    OpenWebPage(WebPageUrl("/help"));
  } else if (name == "feedback") {
    OpenWebPage(WebPageUrl("/feedback"));
  } else if (name == "playBtn" || name == "recorderCutBtn" || name == "listMenuBtn") {
    OnRowButton(msg);
  }
}

void CMainWnd::OnOptionSelected(const QString& name) {
  for (int i = 0; i < 4; ++i) {
    if (name == kPageOptionNames[i]) SelectPage(i);
    if (name == kRecordAreaNames[i]) OnRecordAreaChosen(static_cast<RecordArea>(i));
  }
  if (loadingOptions_) return;
  for (int i = 0; i < 3; ++i) {
    if (name == kVoiceSourceNames[i]) settings_.SetInt(kVoiceSource, i);
    if (name == kQualityNames[i]) {
      quality_ = i;
      settings_.SetInt(kQuality, i);
    }
  }
  for (int i = 0; i < 6; ++i) {
    if (name != kContainerNames[i]) continue;
    const std::string format = kContainerNames[i] + std::string_view("radio_").size();
    if (const auto choice = ContainerForFormat(format)) {
      containerExt_ = std::string(choice->extension);
      containerName_ = std::string(choice->muxer);
      settings_.SetString(kVideoFormat, choice->format);
    }
  }
}

void CMainWnd::OnRowButton(const TNotifyUI& msg) {
  bool ok = false;
  const int index = msg.pSender != nullptr ? msg.pSender->property("tag").toInt(&ok) : 0;
  if (!ok) return;
  const RecordedFile* entry = fileList_->Find(index);
  if (entry == nullptr) return;
  if (msg.senderName == "playBtn") {
    OpenWithDefaultProgram(entry->fullPath);
  } else if (msg.senderName == "recorderCutBtn") {
    LOG(INFO) << "cut page for " << entry->fullPath;
    SendToCutPage(entry->fullPath);
  } else if (msg.senderName == "listMenuBtn") {
    PopMenu::Open(this, kListRecorded, index, QCursor::pos());
  }
}

// --- Private messages ----------------------------------------------------------

qintptr CMainWnd::HandleCustomMessage(unsigned message, quintptr wParam, qintptr lParam,
                                      bool& handled) {
  switch (message) {
    case kWmTimer:
      if (wParam == kTimerScrollList) {
        KillTimer(kTimerScrollList);
        fileList_->ScrollToNewest(kListRecorded);
      } else if (wParam == kTimerWaitForFile) {
        OnWaitForFileTick();
      } else if (wParam == kTimerTrayBlink) {
        trayBlinkPhase_ = !trayBlinkPhase_;
        trayIcon_->Modify(trayBlinkPhase_ ? kTrayIconAlternate : kTrayIconNormal,
                          UiText(kTrayTipRecording), QString());
      }
      break;
    case kWmHotKey:
      OnHotKey(static_cast<int>(wParam), lParam);
      handled = true;
      break;
    case kWmTrayIcon:
      if (lParam == kWmRButtonDown) {
        OpenTrayMenu();
        handled = true;
      } else if (lParam == kWmLButtonDown) {
        ShowAndActivate();
        handled = true;
      }
      break;
    case kWmAppQuit:
      PostMessage(this, kWmClose, kCloseForQuit, 0);
      break;
    case kWmShowMain:
      ShowAndActivate();
      break;
    case kWmOpenHelp:
      OpenWebPage(WebPageUrl("/help"));
      break;
    case kWmOpenSettings:
      ShowAndActivate();
      OpenSettingsDialog();
      break;
    case kWmOpenFeedback:
      ShowAndActivate();
      OpenWebPage(WebPageUrl("/feedback"));
      break;
    case kWmCheckUpdate:
      updateFlow_->CheckNow();
      break;
    case kWmFileOpenDir:
    case kWmFileRename:
    case kWmFileRemove:
    case kWmFileDelete:
      OnFileMenu(message, wParam);
      break;
    case kWmRecordStart:
      StartRecording();
      handled = true;
      break;
    case kWmRecordPause:
      PauseRecording();
      handled = true;
      break;
    case kWmRecordStop:
      StopRecording();
      handled = true;
      break;
    case kWmOpenRegionSelector:
      OpenRegionSelector();
      handled = true;
      break;
    case kWmRecordSecondsMessage:
      ShowElapsed(wParam, static_cast<std::int64_t>(lParam));
      handled = true;
      break;
    case kWmRecordFinished:
      OnRecordFinishedMessage();
      handled = true;
      break;
    case kWmToolProgress:
    case kWmToolFinished:
    case kWmToolCancel:
      if (tools_ != nullptr) tools_->HandleMessage(message, wParam);
      handled = true;
      break;
    case kWmDurationsReady:
      fileList_->TakeDurations();
      handled = true;
      break;
    default:
      break;
  }
  return 0;
}

}  // namespace tarn::ui
