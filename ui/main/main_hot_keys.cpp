#include "ui/main/main_hot_keys.h"

#include <glog/logging.h>

#include <utility>

namespace tarn::ui {

MainHotKeys::MainHotKeys(SettingsStore& settings, std::unique_ptr<platform::GlobalHotKeys> keys,
                         std::function<int(const std::string&)> identify)
    : settings_(settings), keys_(std::move(keys)), identify_(std::move(identify)) {}

MainHotKeys::~MainHotKeys() { UnregisterAll(); }

bool MainHotKeys::RegisterOne(int id, HotKey hotKey) {
  if (!started_ || id < 0) return false;
  const bool ok = keys_->Register(id, hotKey.modifiers, hotKey.virtualKey);
  if (!ok) {
    LOG(WARNING) << "hot key " << hotKey.modifiers << "+" << hotKey.virtualKey
                 << " could not be registered (held by another program?)";
  }
  return ok;
}

void MainHotKeys::RegisterAll(std::function<void(int id)> onPress) {
  if (keys_ == nullptr) return;
  started_ = keys_->Start(std::move(onPress));
  if (!started_) LOG(WARNING) << "global hot keys are not available";

  // Each reading falls back to the built-in pair when either half is unset.
  const HotKey startPause = ReadStartPauseHotKey(settings_);
  startPauseId_ = identify_(kHotKeyNamePlayPause);
  startPauseActive_ = RegisterOne(startPauseId_, startPause);
  if (startPauseActive_) WriteStartPauseHotKey(settings_, startPause);

  const HotKey stop = ReadStopHotKey(settings_);
  stopId_ = identify_(kHotKeyNameStop);
  stopActive_ = RegisterOne(stopId_, stop);
  if (stopActive_) WriteStopHotKey(settings_, stop);

  logId_ = identify_(kHotKeyNameLog);
  RegisterOne(logId_, kLogFolderHotKey);
  screenBrushId_ = identify_(kHotKeyNameScreenBrush);
  RegisterOne(screenBrushId_, kScreenBrushHotKey);
  screenshotId_ = identify_(kHotKeyNameScreenshot);
  RegisterOne(screenshotId_, kScreenshotHotKey);
}

void MainHotKeys::UnregisterAll() {
  if (!started_) return;
  for (int id : {startPauseId_, stopId_, logId_, screenBrushId_, screenshotId_}) {
    if (id >= 0) keys_->Unregister(id);
  }
  keys_->Stop();
  started_ = false;
  startPauseActive_ = stopActive_ = false;
}

bool MainHotKeys::ReplaceStartPause(HotKey hotKey) {
  if (startPauseId_ >= 0 && started_) keys_->Unregister(startPauseId_);
  startPauseActive_ = RegisterOne(startPauseId_, hotKey);
  return startPauseActive_;
}

bool MainHotKeys::ReplaceStop(HotKey hotKey) {
  if (stopId_ >= 0 && started_) keys_->Unregister(stopId_);
  stopActive_ = RegisterOne(stopId_, hotKey);
  return stopActive_;
}

HotKeyAction MainHotKeys::ActionFor(int id) const {
  if (id < 0) return HotKeyAction::kNone;
  if (id == startPauseId_) return HotKeyAction::kStartPause;
  if (id == stopId_) return HotKeyAction::kStop;
  if (id == logId_) return HotKeyAction::kOpenLog;
  if (id == screenBrushId_) return HotKeyAction::kScreenBrush;
  if (id == screenshotId_) return HotKeyAction::kScreenshot;
  return HotKeyAction::kNone;
}

int MainHotKeys::IdentifierOf(HotKeyAction action) const {
  switch (action) {
    case HotKeyAction::kStartPause: return startPauseId_;
    case HotKeyAction::kStop: return stopId_;
    case HotKeyAction::kOpenLog: return logId_;
    case HotKeyAction::kScreenBrush: return screenBrushId_;
    case HotKeyAction::kScreenshot: return screenshotId_;
    case HotKeyAction::kNone: break;
  }
  return -1;
}

}  // namespace tarn::ui
