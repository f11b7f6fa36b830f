#pragma once
// The two configurable global hot keys and their built-in fall-backs.
//
// A hot key is stored as two "hotkey" entries: key1 the modifier flags, key2
// the virtual-key code. A pair with 0 (or nothing) in either half is not a
// usable hot key, so it reads as the built-in one: Alt+F8 for start/pause and
// Alt+F12 for stop.

#include <string>

#include "settings/settings_store.h"

namespace tarn {

// Modifier flags of HotKey::modifiers; they may be combined.
inline constexpr int kHotKeyModAlt = 1;
inline constexpr int kHotKeyModCtrl = 2;
inline constexpr int kHotKeyModShift = 4;

// Virtual-key codes of the built-in hot keys.
inline constexpr int kVirtualKeyF8 = 119;
inline constexpr int kVirtualKeyF12 = 123;

struct HotKey {
  int modifiers;   // kHotKeyMod* flags
  int virtualKey;  // virtual-key code

  friend bool operator==(const HotKey&, const HotKey&) = default;
};

inline constexpr HotKey kStartPauseHotKeyDefault{kHotKeyModAlt, kVirtualKeyF8};
inline constexpr HotKey kStopHotKeyDefault{kHotKeyModAlt, kVirtualKeyF12};

HotKey ReadStartPauseHotKey(const SettingsStore& store);
HotKey ReadStopHotKey(const SettingsStore& store);

// How a hot key is shown to the user: "Ctrl+Alt+F8". Keys other than F1 to
// F24, letters and digits show their virtual-key code ("Alt+#45").
std::string HotKeyText(HotKey hotKey);

// Write both halves as decimal text. A write failure is logged by the store.
void WriteStartPauseHotKey(SettingsStore& store, HotKey hotKey);
void WriteStopHotKey(SettingsStore& store, HotKey hotKey);

}  // namespace tarn
