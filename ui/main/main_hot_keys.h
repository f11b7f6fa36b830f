#pragma once
// The main window's five global hot keys: start/pause and stop (configurable,
// Alt+F8 and Alt+F12 unless set), open the log folder (Ctrl+Alt+B), the screen
// brush (Alt+K) and a reserved screenshot key (Alt+P). Each has a name; its
// identifier comes from the name. UI thread only.

#include <functional>
#include <memory>
#include <string>

#include "platform/global_hot_keys.h"
#include "settings/hot_key_settings.h"
#include "settings/settings_store.h"

namespace tarn::ui {

inline constexpr const char* kHotKeyNamePlayPause = "tarnvideo-recorder-play-pause";
inline constexpr const char* kHotKeyNameStop = "tarnvideo-recorder-stop";
// The second identifiers of the configurable pair, for replacing them.
inline constexpr const char* kHotKeyNamePlayPauseNext = "tarnvideo-recorder-play-pause-next";
inline constexpr const char* kHotKeyNameStopNext = "tarnvideo-recorder-stop-next";
inline constexpr const char* kHotKeyNameLog = "tarnvideo-recorder-log";
inline constexpr const char* kHotKeyNameScreenBrush = "tarnvideo-recorder-screen-brush";
inline constexpr const char* kHotKeyNameScreenshot = "tarnvideo-recorder-screenshot";

inline constexpr HotKey kLogFolderHotKey{kHotKeyModCtrl | kHotKeyModAlt, 0x42};  // Ctrl+Alt+B
inline constexpr HotKey kScreenBrushHotKey{kHotKeyModAlt, 0x4B};                 // Alt+K
inline constexpr HotKey kScreenshotHotKey{kHotKeyModAlt, 0x50};                  // Alt+P

enum class HotKeyAction { kNone, kStartPause, kStop, kOpenLog, kScreenBrush, kScreenshot };

class MainHotKeys {
 public:
  // `keys` does the grabbing; `identify` turns a hot key's name into its
  // identifier (-1 when it cannot). `onPress(id)` runs on the grabbing
  // thread; the owner hands it over to the UI thread.
  MainHotKeys(SettingsStore& settings, std::unique_ptr<platform::GlobalHotKeys> keys,
              std::function<int(const std::string&)> identify);
  ~MainHotKeys();

  // Starts listening and registers the five hot keys. The configurable pair
  // falls back to its built-in keys when either half is 0 or missing; a pair
  // that registers is written back to the settings, one that does not (another
  // program holds it) stays inactive and nothing is written.
  void RegisterAll(std::function<void(int id)> onPress);
  // Releases every hot key.
  void UnregisterAll();

  // Replaces the start/pause or stop combination (the settings dialog); true
  // when the new one registered. The new combination is registered first,
  // under the action's second identifier, and the old one is released only
  // when that took: a refused combination leaves the old one working. The
  // combination already active is kept as it is. Nothing is written.
  bool ReplaceStartPause(HotKey hotKey);
  bool ReplaceStop(HotKey hotKey);

  // Either identifier of an action gives the action: a press reported just
  // before a replacement still counts.
  HotKeyAction ActionFor(int id) const;
  // The identifier the action's combination is registered under now.
  int IdentifierOf(HotKeyAction action) const;
  // Whether the pair registered at RegisterAll or its last replacement.
  bool startPauseActive() const { return startPause_.active; }
  bool stopActive() const { return stop_.active; }

 private:
  // One configurable action: the identifier its combination is registered
  // under and a spare one for registering a replacement beside it.
  struct Replaceable {
    int id = -1;
    int spareId = -1;
    bool active = false;
    HotKey current{0, 0};
  };

  bool RegisterOne(int id, HotKey hotKey);
  // Names both identifiers and registers the first; true when it took.
  bool RegisterReplaceable(Replaceable& action, const char* name, const char* spareName,
                           HotKey hotKey);
  bool Replace(Replaceable& action, HotKey hotKey);

  SettingsStore& settings_;
  std::unique_ptr<platform::GlobalHotKeys> keys_;
  std::function<int(const std::string&)> identify_;
  bool started_ = false;
  Replaceable startPause_;
  Replaceable stop_;
  int logId_ = -1;
  int screenBrushId_ = -1;
  int screenshotId_ = -1;
};

// The lParam of a hot-key message: modifiers in the low 16 bits, the
// virtual-key code in the high ones.
inline long long HotKeyLParam(HotKey hotKey) {
  return static_cast<long long>(hotKey.modifiers & 0xFFFF) |
         (static_cast<long long>(hotKey.virtualKey & 0xFFFF) << 16);
}

}  // namespace tarn::ui
