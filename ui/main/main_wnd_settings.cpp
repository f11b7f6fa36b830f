// The settings dialog opened from the main window: what the dialog works
// with (the hot keys, the region frame, the camera preview, the choosers),
// and the record page brought up to date once the dialog has closed.

#include <glog/logging.h>

#include <QAbstractButton>
#include <QPushButton>
#include <utility>

#include "settings/hot_key_settings.h"
#include "settings/settings_store.h"
#include "ui/framework/ui_text.h"
#include "ui/main/main_hot_keys.h"
#include "ui/main/main_wnd.h"
#include "ui/main/record_page_meters.h"
#include "ui/overlay/video_mask.h"
#include "ui/settings/seting_dialog.h"

namespace tarn::ui {

SetingDialog* CMainWnd::settingsDialog() const { return settingsDialog_.data(); }

void CMainWnd::OpenSettingsDialog() {
  // One at a time: asked again (the tray menu), the open one comes forward.
  if (settingsDialog_ && settingsDialog_->isVisible()) {
    settingsDialog_->raise();
    settingsDialog_->activateWindow();
    return;
  }
  SetingDialog::Services services;
  services.settings = &settings_;
  services.replaceStartPause = [this](HotKey hotKey) { return hotKeys_->ReplaceStartPause(hotKey); };
  services.replaceStop = [this](HotKey hotKey) { return hotKeys_->ReplaceStop(hotKey); };
  if (videoMask_) {
    services.enterRegionMode = [this] { EnterRegionModeFromSettings(); };
    services.leaveRegionMode = [this] { HideRegionFrame(); };
  }
  services.openCameraPreview = [this] { OpenCameraPreview(); };
  services.chooseFolder = services_.chooseFolder;
  services.chooseColor = services_.chooseColor;
  services.chooseImageFile = services_.chooseImageFile;
  services.recording = uiState_ == kUiRecording || uiState_ == kUiPaused;
  services.cameraAvailable = cameraListed_;
  settingsDialog_ = SetingDialog::Open(this, std::move(services));
  if (!settingsDialog_) return;
  settingsDialog_->ShowModal();

  // The dialog has closed: the page shows what it stored.
  LoadRecordPageOptions();
  ShowHotKeysInToolTips();
  // The sound choice may have changed: the meters follow it.
  if (soundMeters_ != nullptr) soundMeters_->Update();
}

void CMainWnd::EnterRegionModeFromSettings() {
  // The same path as choosing the region on the record page, so the page
  // and the stored choice agree.
  loadingOptions_ = true;
  recordAreaOptions_[static_cast<int>(RecordArea::kRegion)]->setChecked(true);
  loadingOptions_ = false;
  OnRecordAreaChosen(RecordArea::kRegion);
  if (videoMask_) {
    LOG(INFO) << "region mode from the settings: screenWidth:" << videoMask_->monitor().width
              << " screenHeight:" << videoMask_->monitor().height;
  }
}

void CMainWnd::ShowHotKeysInToolTips() {
  const QString startPause = QString::fromStdString(HotKeyText(ReadStartPauseHotKey(settings_)));
  const QString stop = QString::fromStdString(HotKeyText(ReadStopHotKey(settings_)));
  startButton_->setToolTip(QCoreApplication::translate("TarnRecorder", "开始录制 (%1)").arg(startPause));
  pauseButton_->setToolTip(QCoreApplication::translate("TarnRecorder", "暂停录制 (%1)").arg(startPause));
  stopButton_->setToolTip(QCoreApplication::translate("TarnRecorder", "停止录制 (%1)").arg(stop));
}

}  // namespace tarn::ui
