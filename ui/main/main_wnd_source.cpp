// The record page's choice of what to record (the whole screen, a region, an
// area following the mouse, the camera), the region frame and the snapshot
// selector it opens, the frame rate and the output folder.

#include <glog/logging.h>
#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "recorder/audio/capture_devices.h"
#include "settings/settings_store.h"
#include "ui/framework/ui_text.h"
#include "ui/main/main_messages.h"
#include "ui/main/main_wnd.h"
#include "ui/main/output_folder.h"
#include "ui/main/shell_actions.h"
#include "ui/overlay/overlay_messages.h"
#include "ui/overlay/tool_window.h"
#include "ui/overlay/user_define_region.h"
#include "ui/overlay/video_mask.h"
#include "ui/preview/camera_window.h"

namespace tarn::ui {
namespace {

constexpr const char* kRecordAreaNames[4] = {"record-area-fullscreen", "record-area-region",
                                             "record-area-follow", "record-area-camera"};
// The tooltip a control shows when it is not locked.
constexpr const char* kIdleToolTip = "idleToolTip";

std::vector<std::string> ListCameraNames() {
  std::vector<CaptureDeviceEntry> devices;
  std::vector<std::string> names;
  if (enumerateCaptureDevices(devices, CaptureCategory::kVideo) != 0) return names;
  for (const CaptureDeviceEntry& device : devices) names.push_back(device.friendlyName);
  return names;
}

}  // namespace

void CMainWnd::FindSourceControls() {
  for (int i = 0; i < 4; ++i) recordAreaOptions_[i] = RequireControl<QAbstractButton>(kRecordAreaNames[i]);
  followSizeList_ = RequireControl<QComboBox>("mouse-follow-ratio");
  regionSelectButton_ = RequireControl<QPushButton>("region-select-btn");
  frameRateList_ = RequireControl<QComboBox>("video-framerate");
  outputDirEdit_ = RequireControl<QLineEdit>("output-dir-edit");
  outputChooseButton_ = RequireControl<QPushButton>("output-choose-btn");
  outputOpenButton_ = RequireControl<QPushButton>("output-open-btn");
  cameraPreviewButton_ = RequireControl<QPushButton>("camera-preview-btn");
  for (QWidget* control : std::initializer_list<QWidget*>{
           recordAreaOptions_[0], recordAreaOptions_[1], recordAreaOptions_[2], recordAreaOptions_[3],
           followSizeList_, regionSelectButton_, frameRateList_, outputChooseButton_}) {
    control->setProperty(kIdleToolTip, control->toolTip());
  }
  if (!services_.listCameras) services_.listCameras = ListCameraNames;
  if (!services_.chooseFolder) services_.chooseFolder = ChooseFolderWithDialog;
}

void CMainWnd::LoadSourceOptions() {
  loadingOptions_ = true;
  RefreshCameraChoice();
  RecordArea area = RecordArea::kFullScreen;
  if (settings_.GetInt(kVideoSource, kVideoSourceDefault) != 0) {
    area = RecordArea::kCamera;
  } else if (settings_.GetInt(kUserDefinedRegionCheck, kUserDefinedRegionCheckDefault) != 0) {
    area = RecordArea::kRegion;
  } else if (settings_.GetInt(kMouseFollowCheck, kMouseFollowCheckDefault) != 0) {
    area = RecordArea::kFollowMouse;
  }
  recordAreaOptions_[static_cast<int>(area)]->setChecked(true);
  followSizeList_->setVisible(area == RecordArea::kFollowMouse);
  const int followIndex = settings_.GetInt(kMouseFollowRatioIndex, kMouseFollowRatioIndexDefault);
  if (followIndex >= 0 && followIndex < followSizeList_->count()) {
    followSizeList_->setCurrentIndex(followIndex);
  }

  // The frame rate the next recording uses; a stored rate that is not one
  // of the list's is shown as it is.
  const int frameRate = settings_.GetInt(kVideoFramerate, kVideoFramerateRecordDefault);
  const QString rateText = QString::number(frameRate);
  int rateIndex = frameRateList_->findText(rateText);
  if (rateIndex < 0 && frameRate >= 1 && frameRate <= 120) {
    frameRateList_->addItem(rateText);
    rateIndex = frameRateList_->count() - 1;
  }
  if (rateIndex < 0) rateIndex = frameRateList_->findText(QString::number(kVideoFramerateRecordDefault));
  frameRateList_->setCurrentIndex(rateIndex);

  outputDirEdit_->setText(QString::fromStdString(GetOutputDir(settings_)));
  loadingOptions_ = false;
}

RecordArea CMainWnd::recordArea() const {
  for (int i = 0; i < 4; ++i) {
    if (recordAreaOptions_[i] != nullptr && recordAreaOptions_[i]->isChecked()) {
      return static_cast<RecordArea>(i);
    }
  }
  return RecordArea::kFullScreen;
}

void CMainWnd::RefreshCameraChoice() {
  cameraListed_ = !services_.listCameras().empty();
  QAbstractButton* camera = recordAreaOptions_[static_cast<int>(RecordArea::kCamera)];
  const bool locked = uiState_ == kUiRecording || uiState_ == kUiPaused;
  camera->setEnabled(cameraListed_ && !locked);
  cameraPreviewButton_->setEnabled(cameraListed_ && !locked);
  if (!locked) {
    camera->setToolTip(cameraListed_ ? camera->property(kIdleToolTip).toString()
                                     : UiText(kNoCameraText));
  }
}

void CMainWnd::changeEvent(QEvent* event) {
  // A camera plugged in meanwhile can be chosen when the user comes back.
  if (event->type() == QEvent::ActivationChange && isActiveWindow() && recordAreaOptions_[0] != nullptr) {
    RefreshCameraChoice();
  }
  WindowImplBase::changeEvent(event);
}

void CMainWnd::OnRecordAreaChosen(RecordArea area) {
  followSizeList_->setVisible(area == RecordArea::kFollowMouse);
  if (loadingOptions_) return;
  // Follow-the-mouse and region mode exclude each other; the camera records
  // neither.
  settings_.SetInt(kVideoSource, area == RecordArea::kCamera ? 1 : 0);
  settings_.SetInt(kMouseFollowCheck, area == RecordArea::kFollowMouse ? 1 : 0);
  settings_.SetInt(kUserDefinedRegionCheck, area == RecordArea::kRegion ? 1 : 0);
  if (area == RecordArea::kFollowMouse) OnFollowSizeChosen(followSizeList_->currentIndex());
  if (area == RecordArea::kRegion) {
    ShowRegionFrame();
  } else {
    HideRegionFrame();
  }
}

void CMainWnd::OnFollowSizeChosen(int index) {
  if (loadingOptions_ || index < 0 || index >= 8) return;
  settings_.SetInt(kMouseFollowRatioIndex, index);
  settings_.SetInt(kMouseFollowRatioWidth, kMouseFollowAreas[index].width);
  settings_.SetInt(kMouseFollowRatioHeight, kMouseFollowAreas[index].height);
}

void CMainWnd::OnFrameRateChosen(int index) {
  if (loadingOptions_ || index < 0) return;
  settings_.SetString(kVideoFramerate, frameRateList_->itemText(index).toStdString());
}

void CMainWnd::ChooseOutputFolder() {
  const QString chosen = services_.chooseFolder(this, UiText(kChooseFolderTitle),
                                                QString::fromStdString(GetOutputDir(settings_)));
  if (chosen.isEmpty()) return;  // cancelled
  const std::string folder = chosen.toStdString();
  if (!AcceptOutputFolder(this, settings_, folder)) return;
  outputDir_ = folder;
  outputDirEdit_->setText(chosen);
}

void CMainWnd::LockSourceControls(bool locked) {
  const QString why = UiText(kLockedWhileRecordingText);
  for (QWidget* control : std::initializer_list<QWidget*>{
           recordAreaOptions_[0], recordAreaOptions_[1], recordAreaOptions_[2], recordAreaOptions_[3],
           followSizeList_, regionSelectButton_, frameRateList_, outputChooseButton_}) {
    control->setEnabled(!locked);
    control->setToolTip(locked ? why : control->property(kIdleToolTip).toString());
  }
  if (locked) cameraPreviewButton_->setEnabled(false);
  if (!locked) RefreshCameraChoice();
}

// --- Camera preview ----------------------------------------------------------------------

CCameraWindow* CMainWnd::cameraPreview() const { return cameraWindow_.data(); }

void CMainWnd::OpenCameraPreview() {
  if (cameraWindow_) {
    cameraWindow_->raise();
    return;
  }
  cameraWindow_ = CCameraWindow::Open();
}

void CMainWnd::CloseCameraPreview() {
  if (!cameraWindow_) return;
  // Closing stops the preview's threads and closes the camera at once.
  cameraWindow_->close();
  cameraWindow_ = nullptr;
}

bool CMainWnd::CloseCameraPreviewForRecording() {
  if (!cameraWindow_) return false;
  // The preview holds the camera, which cannot be opened twice: it closes
  // before the recording opens the camera.
  LOG(INFO) << "the camera preview closes: the recording takes the camera";
  CloseCameraPreview();
  return true;
}

// --- Region mode -------------------------------------------------------------------------

void CMainWnd::ShowRegionFrame() {
  if (!videoMask_) return;
  videoMask_->EnterRegionMode();
}

void CMainWnd::HideRegionFrame() {
  if (!videoMask_ || !videoMask_->isVisible()) return;
  SendMessage(videoMask_.get(), kWmRegionLeave, 0, 0);
}

void CMainWnd::LockRegionFrame() {
  if (!videoMask_) return;
  videoMask_->SetAdjustable(false);
  if (CToolWindow* toolbar = videoMask_->toolbar()) toolbar->SetDraggable(false);
}

void CMainWnd::UnlockRegionFrameLater() {
  if (!videoMask_) return;
  // A second after the stop, as the file is being finished, the frame can be
  // changed again.
  QPointer<CVideoMask> mask(videoMask_.get());
  QTimer::singleShot(1000, mask, [mask] {
    if (mask) PostMessage(mask.data(), kWmRecordStop, 0, 0);
  });
}

void CMainWnd::OpenRegionSelector() {
  // The region cannot change under a running recording, and one selector
  // at a time.
  if (uiState_ == kUiRecording || uiState_ == kUiPaused) {
    LOG(INFO) << "the region selector is not opened while a recording runs";
    return;
  }
  if (regionSelector_) return;
  regionSelector_ = CUserDefineRegion::Open(this, settings_, [this](bool stored) {
    if (!stored) return;
    // The chosen rectangle is recorded from now on, shown in its frame.
    settings_.SetInt(kVideoSource, 0);
    settings_.SetInt(kMouseFollowCheck, 0);
    settings_.SetInt(kUserDefinedRegionCheck, 1);
    LoadSourceOptions();
    if (videoMask_) {
      videoMask_->ReloadStoredRegion();
      videoMask_->EnterRegionMode();
    }
  });
}

}  // namespace tarn::ui
