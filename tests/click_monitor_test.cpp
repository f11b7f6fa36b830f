// The XInput 2 click monitor against a live display, with clicks made by
// xdotool.

#include <gtest/gtest.h>

// After GoogleTest: Xlib's macros (None, Bool) clash with its names.
#include <X11/Xlib.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/screen_capture.h"
#include "tests/support/temp_dir.h"

namespace tarn::platform {
namespace {

using namespace std::chrono_literals;

struct DisplayCloser {
  void operator()(Display* display) const { XCloseDisplay(display); }
};

// Collects the buttons reported on the monitor's thread.
class PressLog {
 public:
  void Add(int button) {
    std::lock_guard lock(mutex_);
    buttons_.push_back(button);
    changed_.notify_all();
  }
  // Waits until `count` presses arrived or the time is up; returns them.
  std::vector<int> WaitFor(std::size_t count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, timeout, [&] { return buttons_.size() >= count; });
    return buttons_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<int> buttons_;
};

class ClickMonitorTest : public testing::Test {
 protected:
  // The test keeps a connection of its own: an X server with no clients left
  // may reset and refuse connections for a moment.
  void SetUp() override {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "DISPLAY is not set: no X server";
    display_.reset(XOpenDisplay(nullptr));
    if (!display_) GTEST_SKIP() << "the X display " << std::getenv("DISPLAY") << " is unreachable";
  }

  std::unique_ptr<Display, DisplayCloser> display_;
};

TEST_F(ClickMonitorTest, ReportsLeftAndRightPressesOnly) {
  if (std::system("command -v xdotool >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "xdotool is not installed: cannot make clicks";
  }
  PressLog log;
  auto monitor = CreateClickMonitor();
  ASSERT_TRUE(monitor->Start([&log](int button) { log.Add(button); }));

  // The middle button (2) and the wheel (4) are not reported.
  ASSERT_EQ(std::system("xdotool click 2 click 1 click 4 click 3"), 0);
  EXPECT_EQ(log.WaitFor(2, 2s), (std::vector<int>{0, 1}));
  EXPECT_EQ(log.WaitFor(3, 200ms), (std::vector<int>{0, 1}));  // nothing more arrives
  monitor->Stop();
}

TEST_F(ClickMonitorTest, StopsPromptlyAndTwice) {
  auto monitor = CreateClickMonitor();
  ASSERT_TRUE(monitor->Start([](int) {}));
  EXPECT_FALSE(monitor->Start([](int) {}));  // already running
  std::this_thread::sleep_for(100ms);
  const auto before = std::chrono::steady_clock::now();
  monitor->Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - before, 1s);
  monitor->Stop();

  // A stopped monitor starts again.
  ASSERT_TRUE(monitor->Start([](int) {}));
  monitor->Stop();
}

TEST(ClickMonitorNoDisplayTest, StartFailsWithoutDisplay) {
  test::ScopedEnv display("DISPLAY", std::string(":4099"));
  auto monitor = CreateClickMonitor();
  EXPECT_FALSE(monitor->Start([](int) {}));
  monitor->Stop();  // harmless when never started
}

}  // namespace
}  // namespace tarn::platform
