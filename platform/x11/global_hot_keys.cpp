// X11 global hot keys: passive key grabs on the root window. The requests go
// through XCB on a connection of their own, so each grab's error comes back
// with the request that caused it, and a server that goes away makes the
// calls fail instead of ending the process.

#include "platform/global_hot_keys.h"

#include <X11/XF86keysym.h>
#include <X11/keysym.h>
#include <glog/logging.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/x11/xcb_connection.h"

namespace tarn::platform {
namespace {

// How long one wait for X events lasts before the stop flag is read again;
// Stop also wakes the thread at once through an eventfd.
constexpr int kPollTimeoutMs = 50;

// Modifier flags of Register.
constexpr int kModAlt = 1;
constexpr int kModCtrl = 2;
constexpr int kModShift = 4;

// The modifiers a hot key is told apart by; the lock modifiers are ignored.
constexpr std::uint16_t kMatchedModifiers =
    XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1;

using x11::ConnectionPtr;
using x11::FileDescriptor;
using x11::XcbPtr;

// The server's keysym table: `perKeycode` keysyms for every keycode from
// `minKeycode` on.
struct KeyboardMap {
  xcb_keycode_t minKeycode = 0;
  int perKeycode = 0;
  std::vector<xcb_keysym_t> keysyms;

  // The keycodes carrying `keysym` on any level.
  std::vector<xcb_keycode_t> KeycodesOf(xcb_keysym_t keysym) const {
    std::vector<xcb_keycode_t> found;
    if (perKeycode <= 0) return found;
    for (std::size_t i = 0; i < keysyms.size(); ++i) {
      const auto keycode = static_cast<xcb_keycode_t>(minKeycode + i / perKeycode);
      if (keysyms[i] == keysym && (found.empty() || found.back() != keycode)) {
        found.push_back(keycode);
      }
    }
    return found;
  }

  // The key to grab for `keysym`, 0 when the keyboard has none. A key with
  // the keysym on its first level wins over one that has it shifted (the
  // keypad digits are only on the second level of their keys).
  xcb_keycode_t KeycodeFor(xcb_keysym_t keysym) const {
    if (perKeycode <= 0) return 0;
    for (std::size_t i = 0; i < keysyms.size(); i += perKeycode) {
      if (keysyms[i] == keysym) return static_cast<xcb_keycode_t>(minKeycode + i / perKeycode);
    }
    const std::vector<xcb_keycode_t> any = KeycodesOf(keysym);
    return any.empty() ? 0 : any.front();
  }
};

std::optional<KeyboardMap> ReadKeyboardMap(xcb_connection_t* connection) {
  const xcb_setup_t* setup = xcb_get_setup(connection);
  const int count = setup->max_keycode - setup->min_keycode + 1;
  const auto cookie = xcb_get_keyboard_mapping(connection, setup->min_keycode,
                                               static_cast<std::uint8_t>(count));
  XcbPtr<xcb_get_keyboard_mapping_reply_t> reply(
      xcb_get_keyboard_mapping_reply(connection, cookie, nullptr));
  if (!reply) return std::nullopt;
  const xcb_keysym_t* keysyms = xcb_get_keyboard_mapping_keysyms(reply.get());
  const int length = xcb_get_keyboard_mapping_keysyms_length(reply.get());
  KeyboardMap map;
  map.minKeycode = setup->min_keycode;
  map.perKeycode = reply->keysyms_per_keycode;
  map.keysyms.assign(keysyms, keysyms + length);
  return map;
}

// The modifier bit NumLock sets: the one whose keys include a Num_Lock key.
// Mod2, where nearly every keyboard has it, when that cannot be told.
std::uint16_t NumLockMask(xcb_connection_t* connection, const KeyboardMap& map) {
  const std::vector<xcb_keycode_t> numLockKeys = map.KeycodesOf(XK_Num_Lock);
  XcbPtr<xcb_get_modifier_mapping_reply_t> reply(xcb_get_modifier_mapping_reply(
      connection, xcb_get_modifier_mapping(connection), nullptr));
  if (!reply || numLockKeys.empty()) return XCB_MOD_MASK_2;
  const xcb_keycode_t* keycodes = xcb_get_modifier_mapping_keycodes(reply.get());
  const int perModifier = reply->keycodes_per_modifier;
  // Shift, Lock, Control and Mod1 carry meaning of their own: a NumLock on
  // one of them would be a broken keyboard map.
  for (int modifier = 4; modifier < 8; ++modifier) {
    for (int k = 0; k < perModifier; ++k) {
      const xcb_keycode_t keycode = keycodes[modifier * perModifier + k];
      for (const xcb_keycode_t numLock : numLockKeys) {
        if (keycode != 0 && keycode == numLock) return static_cast<std::uint16_t>(1u << modifier);
      }
    }
  }
  return XCB_MOD_MASK_2;
}

// The X modifier mask for the settings' flags; nothing for unknown bits.
std::optional<std::uint16_t> XModifiers(int flags) {
  if ((flags & ~(kModAlt | kModCtrl | kModShift)) != 0) return std::nullopt;
  std::uint16_t mask = 0;
  if ((flags & kModAlt) != 0) mask |= XCB_MOD_MASK_1;
  if ((flags & kModCtrl) != 0) mask |= XCB_MOD_MASK_CONTROL;
  if ((flags & kModShift) != 0) mask |= XCB_MOD_MASK_SHIFT;
  return mask;
}

// One registered combination, grabbed once for every state of the two locks.
struct HotKeyGrab {
  int id = 0;
  xcb_keycode_t keycode = 0;
  std::uint16_t modifiers = 0;
  std::uint16_t numLockMask = 0;

  std::array<std::uint16_t, 4> Variants() const {
    return {modifiers, static_cast<std::uint16_t>(modifiers | numLockMask),
            static_cast<std::uint16_t>(modifiers | XCB_MOD_MASK_LOCK),
            static_cast<std::uint16_t>(modifiers | numLockMask | XCB_MOD_MASK_LOCK)};
  }
};

// Releases every variant of `grab`. Ungrabbing a combination this client
// does not hold is harmless, so this also cleans up after a partial grab.
// Waits for the server: once this returns, another client may take the keys.
void Ungrab(xcb_connection_t* connection, xcb_window_t root, const HotKeyGrab& grab) {
  std::array<xcb_void_cookie_t, 4> cookies;
  const auto variants = grab.Variants();
  for (std::size_t i = 0; i < variants.size(); ++i) {
    cookies[i] = xcb_ungrab_key_checked(connection, grab.keycode, root, variants[i]);
  }
  for (const xcb_void_cookie_t cookie : cookies) {
    XcbPtr<xcb_generic_error_t> error(xcb_request_check(connection, cookie));
    if (error) {
      LOG(ERROR) << "hot keys: key release failed with X error "
                 << static_cast<int>(error->error_code);
    }
  }
}

// Grabs every variant of `grab`; all or nothing.
bool Grab(xcb_connection_t* connection, xcb_window_t root, const HotKeyGrab& grab) {
  std::array<xcb_void_cookie_t, 4> cookies;
  const auto variants = grab.Variants();
  for (std::size_t i = 0; i < variants.size(); ++i) {
    cookies[i] = xcb_grab_key_checked(connection, 1, root, variants[i], grab.keycode,
                                      XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
  }
  bool granted = true;
  for (const xcb_void_cookie_t cookie : cookies) {
    XcbPtr<xcb_generic_error_t> error(xcb_request_check(connection, cookie));
    if (!error || !granted) continue;
    granted = false;
    if (error->error_code == XCB_ACCESS) {
      LOG(ERROR) << "hot keys: another program holds the key combination";
    } else {
      LOG(ERROR) << "hot keys: key grab failed with X error "
                 << static_cast<int>(error->error_code);
    }
  }
  // A lost connection answers no request, errors included.
  if (xcb_connection_has_error(connection) != 0) {
    LOG(ERROR) << "hot keys: the connection to the X server was lost";
    return false;
  }
  if (!granted) Ungrab(connection, root, grab);
  return granted;
}

class X11GlobalHotKeys final : public GlobalHotKeys {
 public:
  ~X11GlobalHotKeys() override { Stop(); }

  bool Start(std::function<void(int id)> onHotKey) override;
  bool Register(int id, int modifiers, int virtualKey) override;
  bool Unregister(int id) override;
  void Stop() override;

 private:
  bool RegisterLocked(int id, int modifiers, int virtualKey);
  bool ReleaseLocked(int id);
  void WakeLocked();
  void Run(xcb_connection_t* connection, int wakeFd);
  void HandleEvent(const xcb_generic_event_t& event);

  std::mutex controlMutex_;  // serialises Start and Stop

  // Guards the table and every use of the connection outside the thread.
  // The thread reads events without it: XCB itself is thread-safe, and the
  // connection is only replaced while the thread is not running.
  std::mutex tableMutex_;
  ConnectionPtr connection_;
  xcb_window_t root_ = 0;
  FileDescriptor wakeFd_;
  std::vector<HotKeyGrab> grabs_;

  // Set by Start before the thread begins and cleared by Stop after the join.
  std::function<void(int)> onHotKey_;
  std::atomic<bool> stopRequested_{false};
  // The listening thread's id while it runs, so Stop can refuse to join the
  // thread it runs on.
  std::atomic<std::thread::id> listenerId_{};
  std::thread thread_;
};

bool X11GlobalHotKeys::Start(std::function<void(int id)> onHotKey) {
  std::lock_guard control(controlMutex_);
  if (thread_.joinable()) {
    LOG(ERROR) << "hot keys: already started";
    return false;
  }
  std::string whyNot;
  std::optional<x11::Connection> connection = x11::Connect(whyNot);
  if (!connection) {
    LOG(ERROR) << "hot keys: " << whyNot;
    return false;
  }
  FileDescriptor wakeFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (wakeFd.get() < 0) {
    PLOG(ERROR) << "hot keys: eventfd failed";
    return false;
  }
  xcb_connection_t* raw = connection->connection.get();
  const int rawWakeFd = wakeFd.get();
  {
    std::lock_guard table(tableMutex_);
    connection_ = std::move(connection->connection);
    root_ = connection->screen->root;
    wakeFd_ = std::move(wakeFd);
    grabs_.clear();
  }
  onHotKey_ = std::move(onHotKey);
  stopRequested_.store(false);
  thread_ = std::thread([this, raw, rawWakeFd] { Run(raw, rawWakeFd); });
  return true;
}

void X11GlobalHotKeys::Stop() {
  if (std::this_thread::get_id() == listenerId_.load()) {
    // Joining from here would wait for itself.
    LOG(ERROR) << "hot keys: Stop called from a hot key handler";
    return;
  }
  std::lock_guard control(controlMutex_);
  if (!thread_.joinable()) return;
  stopRequested_.store(true);
  const std::uint64_t one = 1;
  if (write(wakeFd_.get(), &one, sizeof one) < 0) {
    // The thread still notices the flag within one poll period.
    PLOG(WARNING) << "hot keys: cannot wake the thread";
  }
  thread_.join();
  {
    std::lock_guard table(tableMutex_);
    x11::SigpipeGuard pipeGuard;
    for (const HotKeyGrab& grab : grabs_) Ungrab(connection_.get(), root_, grab);
    grabs_.clear();
    connection_.reset();
    wakeFd_.reset();
  }
  onHotKey_ = nullptr;
}

bool X11GlobalHotKeys::Register(int id, int modifiers, int virtualKey) {
  std::lock_guard table(tableMutex_);
  if (!connection_) {
    LOG(ERROR) << "hot keys: register before start";
    return false;
  }
  x11::SigpipeGuard pipeGuard;
  const bool registered = RegisterLocked(id, modifiers, virtualKey);
  WakeLocked();
  return registered;
}

bool X11GlobalHotKeys::RegisterLocked(int id, int modifiers, int virtualKey) {
  ReleaseLocked(id);
  const std::optional<std::uint16_t> mask = XModifiers(modifiers);
  if (!mask) {
    LOG(ERROR) << "hot keys: unknown modifier flags " << modifiers;
    return false;
  }
  const unsigned long keysym = KeySymForVirtualKey(virtualKey);
  if (keysym == 0) {
    LOG(ERROR) << "hot keys: no keysym for virtual key " << virtualKey;
    return false;
  }
  xcb_connection_t* connection = connection_.get();
  const std::optional<KeyboardMap> map = ReadKeyboardMap(connection);
  if (!map) {
    LOG(ERROR) << "hot keys: cannot read the keyboard mapping";
    return false;
  }
  xcb_keycode_t keycode = map->KeycodeFor(static_cast<xcb_keysym_t>(keysym));
  if (keycode == 0 && keysym >= XK_a && keysym <= XK_z) {
    // A layout may list a letter key by its capital only.
    keycode = map->KeycodeFor(static_cast<xcb_keysym_t>(keysym - XK_a + XK_A));
  }
  if (keycode == 0) {
    LOG(ERROR) << "hot keys: no key for virtual key " << virtualKey << " on this keyboard";
    return false;
  }
  for (const HotKeyGrab& other : grabs_) {
    // Two ids on one grab: releasing either would silently disable the other.
    if (other.keycode == keycode && other.modifiers == *mask) {
      LOG(ERROR) << "hot keys: the combination is already registered as " << other.id;
      return false;
    }
  }
  const HotKeyGrab grab{id, keycode, *mask, NumLockMask(connection, *map)};
  if (!Grab(connection, root_, grab)) return false;
  grabs_.push_back(grab);
  return true;
}

bool X11GlobalHotKeys::Unregister(int id) {
  std::lock_guard table(tableMutex_);
  if (!connection_) return false;
  x11::SigpipeGuard pipeGuard;
  const bool released = ReleaseLocked(id);
  WakeLocked();
  return released;
}

bool X11GlobalHotKeys::ReleaseLocked(int id) {
  for (auto it = grabs_.begin(); it != grabs_.end(); ++it) {
    if (it->id != id) continue;
    Ungrab(connection_.get(), root_, *it);
    grabs_.erase(it);
    return true;
  }
  return false;
}

// The round trips of Register and Unregister may read events off the socket
// into XCB's queue while the thread waits in poll(), which would then not see
// them; a wake makes it look at the queue again.
void X11GlobalHotKeys::WakeLocked() {
  const std::uint64_t one = 1;
  if (write(wakeFd_.get(), &one, sizeof one) < 0) {
    PLOG(WARNING) << "hot keys: cannot wake the thread";
  }
}

void X11GlobalHotKeys::HandleEvent(const xcb_generic_event_t& event) {
  const int type = event.response_type & 0x7f;
  if (type == 0) {
    const auto& error = reinterpret_cast<const xcb_generic_error_t&>(event);
    LOG(ERROR) << "hot keys: X error " << static_cast<int>(error.error_code);
    return;
  }
  if (type != XCB_KEY_PRESS) return;
  const auto& press = reinterpret_cast<const xcb_key_press_event_t&>(event);
  std::optional<int> id;
  {
    std::lock_guard table(tableMutex_);
    for (const HotKeyGrab& grab : grabs_) {
      if (grab.keycode == press.detail && grab.modifiers == (press.state & kMatchedModifiers)) {
        id = grab.id;
        break;
      }
    }
  }
  if (!id || !onHotKey_) return;
  // A failing handler loses one press, not the hot keys.
  try {
    onHotKey_(*id);
  } catch (const std::exception& error) {
    LOG(ERROR) << "hot keys: the hot key handler failed: " << error.what();
  } catch (...) {
    LOG(ERROR) << "hot keys: the hot key handler failed";
  }
}

void X11GlobalHotKeys::Run(xcb_connection_t* connection, int wakeFd) {
  pthread_setname_np(pthread_self(), "hot-keys");
  listenerId_.store(std::this_thread::get_id());
  const int xFd = xcb_get_file_descriptor(connection);
  while (!stopRequested_.load()) {
    // Also reads what has arrived on the socket.
    while (!stopRequested_.load()) {
      XcbPtr<xcb_generic_event_t> event(xcb_poll_for_event(connection));
      if (!event) break;
      HandleEvent(*event);
    }
    if (xcb_connection_has_error(connection) != 0) {
      LOG(ERROR) << "hot keys: the connection to the X server was lost";
      break;
    }
    pollfd fds[2] = {{xFd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
    const int ready = poll(fds, 2, kPollTimeoutMs);
    if (ready < 0 && errno != EINTR) {
      PLOG(ERROR) << "hot keys: poll failed";
      break;
    }
    if (ready > 0 && (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
      LOG(ERROR) << "hot keys: the connection to the X server was lost";
      break;
    }
    if (ready > 0 && (fds[1].revents & POLLIN) != 0) {
      std::uint64_t count = 0;
      const ssize_t drained = read(wakeFd, &count, sizeof count);
      static_cast<void>(drained);  // empty or not, the loop looks again
    }
  }
  listenerId_.store(std::thread::id());
}

}  // namespace

std::unique_ptr<GlobalHotKeys> CreateGlobalHotKeys() {
  return std::make_unique<X11GlobalHotKeys>();
}

int HotKeyIdentifier(const std::string& name) {
  if (name.size() > 0xFFFF) {
    LOG(ERROR) << "hot keys: hot key name too long";
    return -1;
  }
  std::string whyNot;
  const std::optional<x11::Connection> connection = x11::Connect(whyNot);
  if (!connection) {
    LOG(ERROR) << "hot keys: " << whyNot;
    return -1;
  }
  xcb_connection_t* c = connection->connection.get();
  x11::SigpipeGuard pipeGuard;
  const auto cookie =
      xcb_intern_atom(c, 0, static_cast<std::uint16_t>(name.size()), name.data());
  xcb_generic_error_t* rawError = nullptr;
  XcbPtr<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(c, cookie, &rawError));
  XcbPtr<xcb_generic_error_t> error(rawError);
  if (!reply) {
    LOG(ERROR) << "hot keys: the X server refused the hot key name";
    return -1;
  }
  return static_cast<int>((reply->atom + 0x4000) & 0xFFFF);
}

unsigned long KeySymForVirtualKey(int virtualKey) {
  if (virtualKey >= 0x30 && virtualKey <= 0x39) return XK_0 + (virtualKey - 0x30);
  if (virtualKey >= 0x41 && virtualKey <= 0x5A) return XK_a + (virtualKey - 0x41);
  if (virtualKey >= 0x60 && virtualKey <= 0x69) return XK_KP_0 + (virtualKey - 0x60);
  if (virtualKey >= 0x70 && virtualKey <= 0x87) return XK_F1 + (virtualKey - 0x70);
  switch (virtualKey) {
    case 0x03: return XK_Cancel;
    case 0x08: return XK_BackSpace;
    case 0x09: return XK_Tab;
    case 0x0C: return XK_Clear;
    case 0x0D: return XK_Return;
    case 0x13: return XK_Pause;
    case 0x14: return XK_Caps_Lock;
    case 0x1B: return XK_Escape;
    case 0x20: return XK_space;
    case 0x21: return XK_Prior;
    case 0x22: return XK_Next;
    case 0x23: return XK_End;
    case 0x24: return XK_Home;
    case 0x25: return XK_Left;
    case 0x26: return XK_Up;
    case 0x27: return XK_Right;
    case 0x28: return XK_Down;
    case 0x29: return XK_Select;
    case 0x2A: return XK_Print;
    case 0x2B: return XK_Execute;
    case 0x2C: return XK_Print;  // PrintScreen
    case 0x2D: return XK_Insert;
    case 0x2E: return XK_Delete;
    case 0x2F: return XK_Help;
    case 0x5B: return XK_Super_L;
    case 0x5C: return XK_Super_R;
    case 0x5D: return XK_Menu;
    case 0x6A: return XK_KP_Multiply;
    case 0x6B: return XK_KP_Add;
    case 0x6C: return XK_KP_Separator;
    case 0x6D: return XK_KP_Subtract;
    case 0x6E: return XK_KP_Decimal;
    case 0x6F: return XK_KP_Divide;
    case 0x90: return XK_Num_Lock;
    case 0x91: return XK_Scroll_Lock;
    case 0xAD: return XF86XK_AudioMute;
    case 0xAE: return XF86XK_AudioLowerVolume;
    case 0xAF: return XF86XK_AudioRaiseVolume;
    case 0xB0: return XF86XK_AudioNext;
    case 0xB1: return XF86XK_AudioPrev;
    case 0xB2: return XF86XK_AudioStop;
    case 0xB3: return XF86XK_AudioPlay;
    case 0xBA: return XK_semicolon;
    case 0xBB: return XK_equal;
    case 0xBC: return XK_comma;
    case 0xBD: return XK_minus;
    case 0xBE: return XK_period;
    case 0xBF: return XK_slash;
    case 0xC0: return XK_grave;
    case 0xDB: return XK_bracketleft;
    case 0xDC: return XK_backslash;
    case 0xDD: return XK_bracketright;
    case 0xDE: return XK_apostrophe;
    case 0xE2: return XK_less;  // the extra key beside the left Shift
    default: return 0;
  }
}

}  // namespace tarn::platform
