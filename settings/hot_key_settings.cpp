#include "settings/hot_key_settings.h"

namespace tarn {
namespace {

HotKey ReadPair(const SettingsStore& store, const SettingKey& modifiersKey,
                const SettingKey& virtualKeyKey, HotKey fallback) {
  const int modifiers = store.GetInt(modifiersKey, kHotKeyPartDefault);
  const int virtualKey = store.GetInt(virtualKeyKey, kHotKeyPartDefault);
  if (modifiers == 0 || virtualKey == 0) return fallback;
  return HotKey{modifiers, virtualKey};
}

void WritePair(SettingsStore& store, const SettingKey& modifiersKey,
               const SettingKey& virtualKeyKey, HotKey hotKey) {
  store.SetInt(modifiersKey, hotKey.modifiers);
  store.SetInt(virtualKeyKey, hotKey.virtualKey);
}

}  // namespace

HotKey ReadStartPauseHotKey(const SettingsStore& store) {
  return ReadPair(store, kStartPauseKey1, kStartPauseKey2, kStartPauseHotKeyDefault);
}

HotKey ReadStopHotKey(const SettingsStore& store) {
  return ReadPair(store, kStopKey1, kStopKey2, kStopHotKeyDefault);
}

std::string HotKeyText(HotKey hotKey) {
  std::string text;
  if ((hotKey.modifiers & kHotKeyModCtrl) != 0) text += "Ctrl+";
  if ((hotKey.modifiers & kHotKeyModAlt) != 0) text += "Alt+";
  if ((hotKey.modifiers & kHotKeyModShift) != 0) text += "Shift+";
  const int key = hotKey.virtualKey;
  if (key >= 0x70 && key <= 0x87) {
    text += "F" + std::to_string(key - 0x70 + 1);
  } else if ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9')) {
    text += static_cast<char>(key);
  } else {
    text += "#" + std::to_string(key);
  }
  return text;
}

void WriteStartPauseHotKey(SettingsStore& store, HotKey hotKey) {
  WritePair(store, kStartPauseKey1, kStartPauseKey2, hotKey);
}

void WriteStopHotKey(SettingsStore& store, HotKey hotKey) {
  WritePair(store, kStopKey1, kStopKey2, hotKey);
}

}  // namespace tarn
