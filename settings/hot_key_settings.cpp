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

void WriteStartPauseHotKey(SettingsStore& store, HotKey hotKey) {
  WritePair(store, kStartPauseKey1, kStartPauseKey2, hotKey);
}

void WriteStopHotKey(SettingsStore& store, HotKey hotKey) {
  WritePair(store, kStopKey1, kStopKey2, hotKey);
}

}  // namespace tarn
