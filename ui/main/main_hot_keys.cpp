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
  if (RegisterReplaceable(startPause_, kHotKeyNamePlayPause, kHotKeyNamePlayPauseNext, startPause)) {
    WriteStartPauseHotKey(settings_, startPause);
  }
  const HotKey stop = ReadStopHotKey(settings_);
  if (RegisterReplaceable(stop_, kHotKeyNameStop, kHotKeyNameStopNext, stop)) {
    WriteStopHotKey(settings_, stop);
  }

  logId_ = identify_(kHotKeyNameLog);
  RegisterOne(logId_, kLogFolderHotKey);
  screenBrushId_ = identify_(kHotKeyNameScreenBrush);
  RegisterOne(screenBrushId_, kScreenBrushHotKey);
  screenshotId_ = identify_(kHotKeyNameScreenshot);
  RegisterOne(screenshotId_, kScreenshotHotKey);
}

bool MainHotKeys::RegisterReplaceable(Replaceable& action, const char* name,
                                      const char* spareName, HotKey hotKey) {
  action.id = identify_(name);
  action.spareId = identify_(spareName);
  action.current = hotKey;
  action.active = RegisterOne(action.id, hotKey);
  return action.active;
}

void MainHotKeys::UnregisterAll() {
  if (!started_) return;
  for (int id : {startPause_.id, stop_.id, logId_, screenBrushId_, screenshotId_}) {
    if (id >= 0) keys_->Unregister(id);
  }
  keys_->Stop();
  started_ = false;
  startPause_.active = stop_.active = false;
}

bool MainHotKeys::Replace(Replaceable& action, HotKey hotKey) {
  if (!started_) return false;
  // Registering the active combination again would be refused as taken.
  if (action.active && action.current == hotKey) return true;
  if (action.spareId < 0 || action.spareId == action.id) {
    LOG(WARNING) << "hot keys: no identifier for a new combination";
    return false;
  }
  if (!RegisterOne(action.spareId, hotKey)) return false;
  if (action.active && action.id >= 0) keys_->Unregister(action.id);
  std::swap(action.id, action.spareId);
  action.active = true;
  action.current = hotKey;
  return true;
}

bool MainHotKeys::ReplaceStartPause(HotKey hotKey) { return Replace(startPause_, hotKey); }

bool MainHotKeys::ReplaceStop(HotKey hotKey) { return Replace(stop_, hotKey); }

HotKeyAction MainHotKeys::ActionFor(int id) const {
  if (id < 0) return HotKeyAction::kNone;
  if (id == startPause_.id || id == startPause_.spareId) return HotKeyAction::kStartPause;
  if (id == stop_.id || id == stop_.spareId) return HotKeyAction::kStop;
  if (id == logId_) return HotKeyAction::kOpenLog;
  if (id == screenBrushId_) return HotKeyAction::kScreenBrush;
  if (id == screenshotId_) return HotKeyAction::kScreenshot;
  return HotKeyAction::kNone;
}

int MainHotKeys::IdentifierOf(HotKeyAction action) const {
  switch (action) {
    case HotKeyAction::kStartPause: return startPause_.id;
    case HotKeyAction::kStop: return stop_.id;
    case HotKeyAction::kOpenLog: return logId_;
    case HotKeyAction::kScreenBrush: return screenBrushId_;
    case HotKeyAction::kScreenshot: return screenshotId_;
    case HotKeyAction::kNone: break;
  }
  return -1;
}

}  // namespace tarn::ui
