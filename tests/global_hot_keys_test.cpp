// The system-wide hot keys against a live display, with keys pressed by
// xdotool. A hot key's absence is shown without sleeping: the keys are sent in
// order and a registered "sentinel" combination is pressed last, so once the
// sentinel is reported every earlier press has been handled too.

#include <gtest/gtest.h>

// After GoogleTest: Xlib's macros (None, Bool) clash with its names.
#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/global_hot_keys.h"
#include "tests/support/temp_dir.h"

namespace tarn::platform {
namespace {

using namespace std::chrono_literals;

constexpr int kAlt = 1;
constexpr int kCtrl = 2;
constexpr int kShift = 4;
constexpr int kF8 = 0x77;
constexpr int kF9 = 0x78;
constexpr int kF12 = 0x7B;

// Ids of the hot keys the tests register; kSentinel marks the end of a sequence.
constexpr int kStartPause = 0xC101;
constexpr int kStop = 0xC102;
constexpr int kSentinel = 0xC1FF;

struct DisplayCloser {
  void operator()(Display* display) const { XCloseDisplay(display); }
};

// Collects the ids reported on the hot key thread.
class HotKeyLog {
 public:
  void Add(int id) {
    std::lock_guard lock(mutex_);
    ids_.push_back(id);
    changed_.notify_all();
  }
  // Waits until `id` has been reported or the time is up; returns all ids so far.
  std::vector<int> WaitFor(int id, std::chrono::milliseconds timeout = 3s) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, timeout,
                      [&] { return std::find(ids_.begin(), ids_.end(), id) != ids_.end(); });
    return ids_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<int> ids_;
};

bool Press(const std::string& keys) {
  return std::system(("xdotool key " + keys).c_str()) == 0;
}

class GlobalHotKeysTest : public testing::Test {
 protected:
  // The test keeps a connection of its own: an X server with no clients left
  // may reset and refuse connections for a moment.
  void SetUp() override {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "DISPLAY is not set: no X server";
    display_.reset(XOpenDisplay(nullptr));
    if (!display_) GTEST_SKIP() << "the X display " << std::getenv("DISPLAY") << " is unreachable";
    if (std::system("command -v xdotool >/dev/null 2>&1") != 0) {
      GTEST_SKIP() << "xdotool is not installed: cannot press keys";
    }
    hotKeys_ = CreateGlobalHotKeys();
    ASSERT_TRUE(hotKeys_->Start([this](int id) { log_.Add(id); }));
  }

  // The modifier bits that are on now (the locks included).
  unsigned ModifierState() {
    Window root;
    Window child;
    int rootX;
    int rootY;
    int x;
    int y;
    unsigned mask = 0;
    XQueryPointer(display_.get(), DefaultRootWindow(display_.get()), &root, &child, &rootX,
                  &rootY, &x, &y, &mask);
    return mask;
  }

  // The modifier bit of the Num_Lock key.
  unsigned NumLockMask() {
    const KeyCode numLock = XKeysymToKeycode(display_.get(), XK_Num_Lock);
    XModifierKeymap* map = XGetModifierMapping(display_.get());
    unsigned mask = 0;
    for (int i = 0; i < 8 * map->max_keypermod; ++i) {
      if (numLock != 0 && map->modifiermap[i] == numLock) mask = 1u << (i / map->max_keypermod);
    }
    XFreeModifiermap(map);
    return mask;
  }

  std::unique_ptr<Display, DisplayCloser> display_;
  HotKeyLog log_;
  std::unique_ptr<GlobalHotKeys> hotKeys_;
};

TEST_F(GlobalHotKeysTest, ReportsRegisteredCombinationsOnly) {
  ASSERT_TRUE(hotKeys_->Register(kStartPause, kAlt, kF8));
  ASSERT_TRUE(hotKeys_->Register(kStop, kAlt, kF12));
  ASSERT_TRUE(hotKeys_->Register(kSentinel, kCtrl | kShift, 'K'));

  ASSERT_TRUE(Press("alt+F8 alt+F12"));
  EXPECT_EQ(log_.WaitFor(kStop), (std::vector<int>{kStartPause, kStop}));

  // Other modifiers, a missing one, an unregistered key: none of them counts.
  ASSERT_TRUE(Press("ctrl+F8 alt+shift+F8 F8 alt+F9 ctrl+alt+F12 alt+F8 ctrl+shift+k"));
  EXPECT_EQ(log_.WaitFor(kSentinel),
            (std::vector<int>{kStartPause, kStop, kStartPause, kSentinel}));
}

TEST_F(GlobalHotKeysTest, LocksDoNotDisableHotKeys) {
  const unsigned numLock = NumLockMask();
  ASSERT_NE(numLock, 0u) << "the test display has no Num_Lock modifier";
  ASSERT_EQ(ModifierState() & (numLock | LockMask), 0u) << "a lock is on before the test";
  ASSERT_TRUE(hotKeys_->Register(kStartPause, kAlt, kF8));

  // The locks are switched back off whatever the assertions find.
  struct OnExit {
    std::function<void()> run;
    ~OnExit() { run(); }
  } locksOff{[this, numLock] {
    if ((ModifierState() & numLock) != 0) Press("Num_Lock");
    if ((ModifierState() & LockMask) != 0) Press("Caps_Lock");
  }};

  ASSERT_TRUE(Press("Num_Lock"));
  ASSERT_NE(ModifierState() & numLock, 0u);
  ASSERT_TRUE(Press("alt+F8"));
  EXPECT_EQ(log_.WaitFor(kStartPause), (std::vector<int>{kStartPause}));

  ASSERT_TRUE(Press("Caps_Lock"));
  ASSERT_NE(ModifierState() & LockMask, 0u);
  ASSERT_TRUE(hotKeys_->Register(kSentinel, kAlt, kF12));
  ASSERT_TRUE(Press("alt+F8 alt+F12"));  // both locks on
  EXPECT_EQ(log_.WaitFor(kSentinel), (std::vector<int>{kStartPause, kStartPause, kSentinel}));

  ASSERT_TRUE(Press("Num_Lock"));
  ASSERT_TRUE(hotKeys_->Unregister(kSentinel));
  ASSERT_TRUE(hotKeys_->Register(kStop, kAlt, kF12));
  ASSERT_TRUE(Press("alt+F12"));  // Caps Lock alone
  EXPECT_EQ(log_.WaitFor(kStop),
            (std::vector<int>{kStartPause, kStartPause, kSentinel, kStop}));
  ASSERT_TRUE(Press("Caps_Lock"));
  EXPECT_EQ(ModifierState() & (numLock | LockMask), 0u);
}

TEST_F(GlobalHotKeysTest, ReRegisteringAnIdDropsTheOldCombination) {
  ASSERT_TRUE(hotKeys_->Register(kStartPause, kAlt, kF8));
  ASSERT_TRUE(hotKeys_->Register(kStartPause, kCtrl | kAlt, 'P'));
  ASSERT_TRUE(hotKeys_->Register(kSentinel, kAlt, kF12));
  ASSERT_TRUE(Press("alt+F8 ctrl+alt+p alt+F12"));
  EXPECT_EQ(log_.WaitFor(kSentinel), (std::vector<int>{kStartPause, kSentinel}));

  // The old grab is gone from the server too: another client may take it.
  auto other = CreateGlobalHotKeys();
  ASSERT_TRUE(other->Start([](int) {}));
  EXPECT_TRUE(other->Register(1, kAlt, kF8));
}

TEST_F(GlobalHotKeysTest, CombinationHeldByAnotherClientIsRefused) {
  ASSERT_TRUE(hotKeys_->Register(kStartPause, kAlt, kF8));
  auto other = CreateGlobalHotKeys();
  ASSERT_TRUE(other->Start([](int) {}));
  EXPECT_FALSE(other->Register(1, kAlt, kF8));
  EXPECT_TRUE(other->Register(2, kAlt | kShift, kF8));  // a different combination is free

  // Released, the combination can be taken by the other client.
  EXPECT_TRUE(hotKeys_->Unregister(kStartPause));
  EXPECT_FALSE(hotKeys_->Unregister(kStartPause));
  EXPECT_TRUE(other->Register(1, kAlt, kF8));
  // ...and is then refused here, with the id left unregistered.
  EXPECT_FALSE(hotKeys_->Register(kStartPause, kAlt, kF8));
  EXPECT_FALSE(hotKeys_->Unregister(kStartPause));

  // Stopping the other client releases its grabs.
  other->Stop();
  EXPECT_TRUE(hotKeys_->Register(kStartPause, kAlt, kF8));
}

TEST_F(GlobalHotKeysTest, RefusesWhatCannotBeGrabbed) {
  EXPECT_FALSE(hotKeys_->Register(1, kAlt, 0x07));  // no such virtual key
  EXPECT_FALSE(hotKeys_->Register(1, 8, kF8));      // an unknown modifier flag
  EXPECT_FALSE(hotKeys_->Unregister(1));

  // One combination under two ids would be released by either.
  ASSERT_TRUE(hotKeys_->Register(1, kAlt, kF8));
  EXPECT_FALSE(hotKeys_->Register(2, kAlt, kF8));
  EXPECT_TRUE(hotKeys_->Unregister(1));

  // A key this keyboard does not have.
  if (XKeysymToKeycode(display_.get(), XK_F24) == 0) {
    EXPECT_FALSE(hotKeys_->Register(3, kAlt, 0x87));
  }

  auto notStarted = CreateGlobalHotKeys();
  EXPECT_FALSE(notStarted->Register(1, kAlt, kF8));
  EXPECT_FALSE(notStarted->Unregister(1));
}

TEST_F(GlobalHotKeysTest, StopsPromptlyTwiceAndStartsAgain) {
  ASSERT_TRUE(hotKeys_->Register(kStartPause, kAlt, kF8));
  EXPECT_FALSE(hotKeys_->Start([](int) {}));  // already running
  const auto before = std::chrono::steady_clock::now();
  hotKeys_->Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - before, 1s);
  hotKeys_->Stop();
  EXPECT_FALSE(hotKeys_->Register(kStartPause, kAlt, kF8));

  // Stopped, its grabs are released; started again it works as new.
  auto other = CreateGlobalHotKeys();
  ASSERT_TRUE(other->Start([](int) {}));
  ASSERT_TRUE(other->Register(1, kAlt, kF8));
  other.reset();  // destroyed while started
  ASSERT_TRUE(hotKeys_->Start([this](int id) { log_.Add(id); }));
  ASSERT_TRUE(hotKeys_->Register(kStop, kAlt, kF8));
  ASSERT_TRUE(Press("alt+F8"));
  EXPECT_EQ(log_.WaitFor(kStop), (std::vector<int>{kStop}));
}

TEST_F(GlobalHotKeysTest, IdentifierIsTheAtomOfTheName) {
  const std::string name = "TarnRecorderHotKeyTest_StartPause";
  const int id = HotKeyIdentifier(name);
  ASSERT_GE(id, 0);
  EXPECT_LE(id, 0xFFFF);
  EXPECT_EQ(HotKeyIdentifier(name), id);
  const Atom atom = XInternAtom(display_.get(), name.c_str(), False);
  EXPECT_EQ(id, static_cast<int>((atom + 0x4000) & 0xFFFF));

  const int other = HotKeyIdentifier("TarnRecorderHotKeyTest_Stop");
  ASSERT_GE(other, 0);
  EXPECT_NE(other, id);
}

TEST(GlobalHotKeysNoDisplayTest, FailsWithoutDisplay) {
  test::ScopedEnv display("DISPLAY", std::string(":4099"));
  auto hotKeys = CreateGlobalHotKeys();
  EXPECT_FALSE(hotKeys->Start([](int) {}));
  EXPECT_FALSE(hotKeys->Register(1, kAlt, kF8));
  hotKeys->Stop();  // harmless when never started
  EXPECT_EQ(HotKeyIdentifier("TarnRecorderHotKeyTest_StartPause"), -1);
}

TEST(KeySymForVirtualKeyTest, MapsWindowsCodesToKeysyms) {
  const std::vector<std::pair<int, unsigned long>> cases = {
      {0x70, XK_F1},          {0x77, XK_F8},          {0x7B, XK_F12},
      {0x87, XK_F24},         {'A', XK_a},            {'B', XK_b},
      {'K', XK_k},            {'P', XK_p},            {'Z', XK_z},
      {0x60, XK_KP_0},        {0x69, XK_KP_9},        {0x6F, XK_KP_Divide},
      {0xBA, XK_semicolon},   {0xC0, XK_grave},       {0xDB, XK_bracketleft},
      {0xDE, XK_apostrophe},  {0x20, XK_space},       {0x2C, XK_Print},
      {0x1B, XK_Escape},      {0x13, XK_Pause},       {0x21, XK_Prior},
  };
  for (const auto& [virtualKey, keysym] : cases) {
    EXPECT_EQ(KeySymForVirtualKey(virtualKey), keysym) << "virtual key " << virtualKey;
  }
  for (int digit = 0; digit <= 9; ++digit) {
    EXPECT_EQ(KeySymForVirtualKey('0' + digit), XK_0 + static_cast<unsigned long>(digit));
  }
  // Codes with no key, and those just past the ranges.
  for (const int virtualKey : {0x07, 0x00, -1, 0x40, 0x3A, 0x88,
                               0xC1, 0x100}) {
    EXPECT_EQ(KeySymForVirtualKey(virtualKey), 0u) << "virtual key " << virtualKey;
  }
}

}  // namespace
}  // namespace tarn::platform
