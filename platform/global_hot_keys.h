#pragma once
// System-wide hot keys: key combinations reported to the program whichever
// window has the keyboard focus. The Linux implementation is X11
// (platform/x11/global_hot_keys.cpp).

#include <functional>
#include <memory>
#include <string>

namespace tarn::platform {

// Modifier flags as stored in the settings: 1 Alt, 2 Ctrl, 4 Shift (combinable).
// Virtual-key codes are the Windows numbers the settings store (0x70..0x87 = F1..F24,
// 0x41..0x5A = letters, 0x30..0x39 = digits, plus the usual others: space, arrows,
// Home/End/PageUp/PageDown/Insert/Delete, numpad 0x60..0x6F, OEM punctuation 0xBA..0xC0,
// 0xDB..0xDE, Escape, Tab, Return, Backspace, Pause, PrintScreen, media keys ...).
class GlobalHotKeys {
 public:
  virtual ~GlobalHotKeys() = default;
  // Opens its own display connection and starts the listening thread. `onHotKey(id)` runs on
  // that thread each time a registered combination is pressed (it may call Register and
  // Unregister, not Stop). False (with a log line) without a display or when already started.
  virtual bool Start(std::function<void(int id)> onHotKey) = 0;
  // Grabs the combination on the root window under `id` (with and without NumLock and CapsLock,
  // so those locks never disable a hot key). False (with a log line) when `modifiers` has other
  // bits than the three above, when the virtual key has no keysym/keycode on this keyboard, when
  // another id of this instance already holds the same combination, when another X client
  // already holds that grab (BadAccess), or when not started.
  // Registering an id that is already registered first releases the old combination, so a
  // failed registration leaves `id` unregistered.
  virtual bool Register(int id, int modifiers, int virtualKey) = 0;
  // Releases the grab of `id`; false when it was not registered.
  virtual bool Unregister(int id) = 0;
  // Releases every grab, stops and joins the thread; safe to call twice; the destructor calls it.
  virtual void Stop() = 0;
};

std::unique_ptr<GlobalHotKeys> CreateGlobalHotKeys();

// The identifier of the hot key named `name`: the X server's atom for the name (interned, never
// deleted) plus 0x4000, truncated to 16 bits. -1 (with a log line) when no display can be
// reached or the server refuses the name.
int HotKeyIdentifier(const std::string& name);

// The X keysym for a Windows virtual-key code, 0 when there is none. Letters give the
// lower-case keysym, the one on the key's first level.
unsigned long KeySymForVirtualKey(int virtualKey);

}  // namespace tarn::platform
