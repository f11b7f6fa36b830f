// The X11 screen grabber against a live display ($DISPLAY, e.g. Xvfb): paints
// the root window with known colours through a connection of the test's own
// and checks the captured bytes. Servers of the tests' own check other screen
// formats and what a server that goes away does to the grabber and the click
// monitor.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <signal.h>
#include <xcb/xcb.h>

// After GoogleTest: Xlib's macros (None, Bool) clash with its names.
#include <X11/Xlib.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <thread>

#include "platform/screen_capture.h"
#include "tests/support/fake_x_server.h"
#include "tests/support/private_x_server.h"
#include "tests/support/temp_dir.h"

namespace tarn::platform {
namespace {

using namespace std::chrono_literals;
using testing::HasSubstr;

struct DisplayCloser {
  void operator()(Display* display) const { XCloseDisplay(display); }
};

// Bytes of one captured pixel.
struct Bgrx {
  std::uint8_t blue, green, red;
};

Bgrx PixelAt(ScreenGrabber& grabber, int x, int y) {
  const std::uint8_t* p = grabber.pixels() + y * grabber.stride() + x * 4;
  return {p[0], p[1], p[2]};
}

#define EXPECT_PIXEL(grabber, x, y, r, g, b)                           \
  do {                                                                 \
    SCOPED_TRACE(testing::Message() << "pixel " << (x) << "," << (y)); \
    const Bgrx got = PixelAt(grabber, x, y);                           \
    EXPECT_EQ(got.red, r);                                             \
    EXPECT_EQ(got.green, g);                                           \
    EXPECT_EQ(got.blue, b);                                            \
  } while (0)

class ScreenGrabberTest : public testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("DISPLAY") == nullptr)
      GTEST_SKIP() << "DISPLAY is not set: no X server to capture";
    display_.reset(XOpenDisplay(nullptr));
    if (!display_) GTEST_SKIP() << "the X display " << std::getenv("DISPLAY") << " is unreachable";
    // The grabber's coordinates start at the primary monitor's corner, which
    // is the root window's only on a display of one monitor.
    ASSERT_TRUE(QueryPrimaryMonitor(primary_));
  }

  // Paints the whole root window one colour (0xRRGGBB).
  void PaintRoot(unsigned long rgb) {
    Display* d = display_.get();
    XSetWindowBackground(d, DefaultRootWindow(d), rgb);
    XClearWindow(d, DefaultRootWindow(d));
    XSync(d, False);
  }

  // Fills a rectangle given relative to the primary monitor.
  void FillRect(unsigned long rgb, int x, int y, int width, int height) {
    Display* d = display_.get();
    GC gc = XCreateGC(d, DefaultRootWindow(d), 0, nullptr);
    XSetForeground(d, gc, rgb);
    XFillRectangle(d, DefaultRootWindow(d), gc, primary_.x + x, primary_.y + y, width, height);
    XFreeGC(d, gc);
    XSync(d, False);
  }

  std::unique_ptr<ScreenGrabber> OpenInitialised(int width, int height) {
    auto grabber = OpenScreenGrabber();
    if (grabber && !grabber->Init(width, height)) grabber.reset();
    return grabber;
  }

  // Moves the pointer to a point given relative to the primary monitor.
  void WarpPointer(int x, int y) {
    Display* d = display_.get();
    XWarpPointer(d, None, DefaultRootWindow(d), 0, 0, 0, 0, primary_.x + x, primary_.y + y);
    XSync(d, False);
  }

  std::unique_ptr<Display, DisplayCloser> display_;
  ScreenRect primary_;
};

TEST_F(ScreenGrabberTest, DeliversBlueGreenRedBytes) {
  auto grabber = OpenInitialised(32, 16);
  ASSERT_TRUE(grabber);
  EXPECT_GE(grabber->stride(), 32 * 4);

  PaintRoot(0xFF8000);
  ASSERT_TRUE(grabber->Capture(10, 20));
  EXPECT_PIXEL(*grabber, 0, 0, 0xFF, 0x80, 0x00);
  EXPECT_PIXEL(*grabber, 31, 15, 0xFF, 0x80, 0x00);

  PaintRoot(0x123456);
  ASSERT_TRUE(grabber->Capture(0, 0));
  EXPECT_PIXEL(*grabber, 5, 5, 0x12, 0x34, 0x56);
}

TEST_F(ScreenGrabberTest, FramesKeepTheirOwnCopyAndTheirHeaderRoom) {
  for (const char* path : {"", "1"}) {  // MIT-SHM, then GetImage
    SCOPED_TRACE(*path ? "GetImage" : "MIT-SHM");
    test::ScopedEnv noShm("TARN_X11_NO_SHM", std::string(path));
    auto grabber = OpenScreenGrabber();
    ASSERT_TRUE(grabber);
    ASSERT_TRUE(grabber->Init(40, 20, 3, 60));  // header room rounded up to 64
    // Marks in each frame's header room, which captures must leave alone.
    for (int f = 0; f < 3; ++f) std::memset(grabber->pixels(f) - 64, 0x5A, 64);
    const std::uint32_t colours[3] = {0xFF0000, 0x00FF00, 0x0000FF};
    for (int f = 0; f < 3; ++f) {
      PaintRoot(colours[f]);
      ASSERT_TRUE(grabber->Capture(100, 100, f));
    }
    for (int f = 0; f < 3; ++f) {
      SCOPED_TRACE(f);
      const std::uint8_t* p = grabber->pixels(f) + 19 * grabber->stride() + 39 * 4;
      EXPECT_EQ(p[2], (colours[f] >> 16) & 0xFF);
      EXPECT_EQ(p[1], (colours[f] >> 8) & 0xFF);
      EXPECT_EQ(p[0], colours[f] & 0xFF);
      const std::uint8_t* room = grabber->pixels(f) - 64;
      EXPECT_TRUE(std::all_of(room, room + 64, [](std::uint8_t b) { return b == 0x5A; }));
    }
    EXPECT_FALSE(grabber->Capture(0, 0, 3));  // there is no fourth frame
    EXPECT_EQ(grabber->pixels(3), nullptr);
  }
}

// The screen is the primary monitor: the whole root window on a display of
// one monitor, a part of it otherwise.
TEST_F(ScreenGrabberTest, ReportsThePrimaryMonitorsSize) {
  auto grabber = OpenScreenGrabber();
  ASSERT_TRUE(grabber);
  EXPECT_EQ(grabber->screenWidth(), primary_.width);
  EXPECT_EQ(grabber->screenHeight(), primary_.height);
  const Display* d = display_.get();
  EXPECT_GE(primary_.x, 0);
  EXPECT_GE(primary_.y, 0);
  EXPECT_LE(primary_.x + primary_.width, DisplayWidth(d, DefaultScreen(d)));
  EXPECT_LE(primary_.y + primary_.height, DisplayHeight(d, DefaultScreen(d)));
  int width = 0;
  int height = 0;
  ASSERT_TRUE(QueryScreenSize(width, height));
  EXPECT_EQ(width, grabber->screenWidth());
  EXPECT_EQ(height, grabber->screenHeight());
}

TEST_F(ScreenGrabberTest, RejectsSizesThatAreNotPositive) {
  auto grabber = OpenScreenGrabber();
  ASSERT_TRUE(grabber);
  EXPECT_FALSE(grabber->Init(0, 10));
  EXPECT_FALSE(grabber->Init(10, 0));
  EXPECT_FALSE(grabber->Init(-4, 10));
  EXPECT_FALSE(grabber->Capture(0, 0));  // nothing to capture into
  EXPECT_TRUE(grabber->Init(4, 4));
}

// Rectangles reaching past each edge keep their on-screen part and are black
// elsewhere, even when the buffer held something else before.
TEST_F(ScreenGrabberTest, ClampsRectanglesToTheScreen) {
  auto grabber = OpenInitialised(100, 80);
  ASSERT_TRUE(grabber);
  const int w = grabber->screenWidth();
  const int h = grabber->screenHeight();
  PaintRoot(0x20A040);

  struct Case {
    int sourceX, sourceY;
    int insideX, insideY;    // a captured pixel on the screen
    int outsideX, outsideY;  // a captured pixel off the screen
  };
  const Case cases[] = {
      {w - 40, h - 30, 39, 29, 40, 30},  // past the right and bottom edges
      {-50, -20, 50, 20, 49, 19},        // past the left and top edges
      {-10, 10, 10, 0, 9, 0},            // past the left edge only
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "source " << c.sourceX << "," << c.sourceY);
    std::memset(grabber->pixels(), 0xAA, static_cast<std::size_t>(grabber->stride()) * 80);
    ASSERT_TRUE(grabber->Capture(c.sourceX, c.sourceY));
    EXPECT_PIXEL(*grabber, c.insideX, c.insideY, 0x20, 0xA0, 0x40);
    EXPECT_PIXEL(*grabber, c.outsideX, c.outsideY, 0, 0, 0);
  }

  std::memset(grabber->pixels(), 0xAA, static_cast<std::size_t>(grabber->stride()) * 80);
  ASSERT_TRUE(grabber->Capture(w + 500, -1000));  // wholly off the screen
  EXPECT_PIXEL(*grabber, 0, 0, 0, 0, 0);
  EXPECT_PIXEL(*grabber, 99, 79, 0, 0, 0);
}

// The XGetImage path (used without MIT-SHM) yields the same bytes.
TEST_F(ScreenGrabberTest, PlainCopyMatchesSharedMemoryCopy) {
  PaintRoot(0x0000FF);
  FillRect(0xFFFF00, 10, 10, 20, 20);

  auto shared = OpenInitialised(64, 48);
  ASSERT_TRUE(shared);
  ASSERT_TRUE(shared->Capture(0, 0));
  std::unique_ptr<ScreenGrabber> plain;
  {
    test::ScopedEnv noShm("TARN_X11_NO_SHM", std::string("1"));
    plain = OpenInitialised(64, 48);
  }
  ASSERT_TRUE(plain);
  ASSERT_TRUE(plain->Capture(0, 0));

  EXPECT_PIXEL(*plain, 5, 5, 0x00, 0x00, 0xFF);
  EXPECT_PIXEL(*plain, 15, 15, 0xFF, 0xFF, 0x00);
  for (int y = 0; y < 48; ++y) {
    for (int x = 0; x < 64; ++x) {
      const Bgrx a = PixelAt(*shared, x, y);
      const Bgrx b = PixelAt(*plain, x, y);
      ASSERT_TRUE(a.blue == b.blue && a.green == b.green && a.red == b.red)
          << "pixels differ at " << x << "," << y;
    }
  }
}

// Another client's window at an odd place shows in a full-screen capture
// exactly where it is, through both copy paths, and a rectangle that starts
// inside it sees the same edges shifted.
TEST_F(ScreenGrabberTest, CapturesAWindowWhereItIs) {
  Display* d = display_.get();
  PaintRoot(0x102030);
  XSetWindowAttributes attributes{};
  attributes.override_redirect = True;
  attributes.background_pixel = 0xC03080;
  const Window window = XCreateWindow(d, DefaultRootWindow(d), primary_.x + 301,
                                      primary_.y + 203, 157, 91, 0,
                                      CopyFromParent, InputOutput, CopyFromParent,
                                      CWOverrideRedirect | CWBackPixel, &attributes);
  XMapRaised(d, window);
  XSync(d, False);

  for (const bool shm : {true, false}) {
    SCOPED_TRACE(shm ? "MIT-SHM" : "GetImage");
    test::ScopedEnv noShm("TARN_X11_NO_SHM", shm ? std::nullopt : std::optional<std::string>("1"));
    auto probe = OpenScreenGrabber();
    ASSERT_TRUE(probe);
    auto grabber = OpenInitialised(probe->screenWidth(), probe->screenHeight());
    ASSERT_TRUE(grabber);
    ASSERT_TRUE(grabber->Capture(0, 0));
    EXPECT_PIXEL(*grabber, 301, 203, 0xC0, 0x30, 0x80);  // top-left corner
    EXPECT_PIXEL(*grabber, 457, 293, 0xC0, 0x30, 0x80);  // bottom-right corner
    EXPECT_PIXEL(*grabber, 300, 203, 0x10, 0x20, 0x30);
    EXPECT_PIXEL(*grabber, 301, 202, 0x10, 0x20, 0x30);
    EXPECT_PIXEL(*grabber, 458, 293, 0x10, 0x20, 0x30);
    EXPECT_PIXEL(*grabber, 457, 294, 0x10, 0x20, 0x30);

    auto part = OpenInitialised(201, 99);
    ASSERT_TRUE(part);
    ASSERT_TRUE(part->Capture(400, 250));
    EXPECT_PIXEL(*part, 0, 0, 0xC0, 0x30, 0x80);
    EXPECT_PIXEL(*part, 57, 43, 0xC0, 0x30, 0x80);
    EXPECT_PIXEL(*part, 58, 43, 0x10, 0x20, 0x30);
    EXPECT_PIXEL(*part, 57, 44, 0x10, 0x20, 0x30);
    EXPECT_PIXEL(*part, 200, 98, 0x10, 0x20, 0x30);
  }
  XDestroyWindow(d, window);
  XSync(d, False);
}

TEST_F(ScreenGrabberTest, ReportsCursorHotSpotPosition) {
  WarpPointer(123, 45);
  auto grabber = OpenScreenGrabber();
  ASSERT_TRUE(grabber);
  CursorImage cursor;
  if (!grabber->QueryCursor(cursor)) GTEST_SKIP() << "the X server reports no cursor image";
  EXPECT_EQ(cursor.x, 123);
  EXPECT_EQ(cursor.y, 45);
  ASSERT_GT(cursor.width, 0);
  ASSERT_GT(cursor.height, 0);
  ASSERT_EQ(cursor.pixels.size(), static_cast<std::size_t>(cursor.width * cursor.height));
  EXPECT_GE(cursor.hotX, 0);
  EXPECT_LT(cursor.hotX, cursor.width);

  // Same shape again: the caller's copy is kept, only the position changes.
  cursor.pixels[0] = 0x12345678;
  WarpPointer(200, 100);
  ASSERT_TRUE(grabber->QueryCursor(cursor));
  EXPECT_EQ(cursor.x, 200);
  EXPECT_EQ(cursor.y, 100);
  EXPECT_EQ(cursor.pixels[0], 0x12345678u);
  // A caller without the shape gets it anew.
  cursor.serial += 1;
  ASSERT_TRUE(grabber->QueryCursor(cursor));
  EXPECT_NE(cursor.pixels[0], 0x12345678u);
}

TEST(ScreenGrabberNoDisplayTest, FailsWithoutDisplay) {
  for (const std::optional<std::string>& name :
       {std::optional<std::string>(), std::optional<std::string>(":4099")}) {
    SCOPED_TRACE(name.value_or("(unset)"));
    test::ScopedEnv display("DISPLAY", name);
    EXPECT_EQ(OpenScreenGrabber(), nullptr);
    int width = -1;
    int height = -1;
    EXPECT_FALSE(QueryScreenSize(width, height));
  }
}

// --- Servers of the tests' own ---------------------------------------------

// Whether a thread of this process has the given name.
bool ThreadRunning(const std::string& name) {
  std::error_code error;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", error)) {
    std::ifstream comm(task.path() / "comm");
    std::string taskName;
    if (std::getline(comm, taskName) && taskName == name) return true;
  }
  return false;
}

template <typename Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

// Paints the root window of `display` one colour (0xRRGGBB) through a
// connection of its own.
bool PaintRootOf(const std::string& display, std::uint32_t rgb) {
  xcb_connection_t* c = xcb_connect(display.c_str(), nullptr);
  bool painted = false;
  if (xcb_connection_has_error(c) == 0) {
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    xcb_change_window_attributes(c, root, XCB_CW_BACK_PIXEL, &rgb);
    xcb_clear_area(c, 0, root, 0, 0, 0, 0);
    // A round trip: the painting is done once the answer is in.
    xcb_get_input_focus_reply_t* reply =
        xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr);
    painted = reply != nullptr;
    std::free(reply);
  }
  xcb_disconnect(c);
  return painted;
}

TEST(ScreenGrabberFormatTest, RefusesA16BitScreen) {
  test::PrivateXServer server;
  std::string whyNot;
  if (!server.Start("320x240x16", whyNot)) GTEST_SKIP() << whyNot;
  test::ScopedEnv display("DISPLAY", server.displayName());
  auto grabber = OpenScreenGrabber();
  ASSERT_TRUE(grabber);
  EXPECT_FALSE(grabber->Init(64, 64));
  EXPECT_THAT(grabber->lastError(), HasSubstr("unsupported screen depth 16"));
  EXPECT_FALSE(grabber->DisplayLost());
  EXPECT_FALSE(grabber->Capture(0, 0));
}

// A server killed in the middle of a recording: the grabber reports the loss
// at the next call and asks nothing more, the click monitor's thread ends on
// its own, and nothing crashes or waits.
TEST(ScreenGrabberDisplayLossTest, KilledServerIsReportedAndEndsTheClickMonitor) {
  for (const bool shm : {true, false}) {
    SCOPED_TRACE(shm ? "MIT-SHM" : "GetImage");
    test::PrivateXServer server;
    std::string whyNot;
    if (!server.Start("640x480x24", whyNot)) GTEST_SKIP() << whyNot;
    std::unique_ptr<ScreenGrabber> grabber;
    auto monitor = CreateClickMonitor();
    {
      test::ScopedEnv display("DISPLAY", server.displayName());
      test::ScopedEnv noShm("TARN_X11_NO_SHM",
                            shm ? std::nullopt : std::optional<std::string>("1"));
      grabber = OpenScreenGrabber();
      ASSERT_TRUE(grabber);
      ASSERT_TRUE(grabber->Init(200, 100));
      ASSERT_TRUE(monitor->Start([](int) {}));
    }
    ASSERT_TRUE(PaintRootOf(server.displayName(), 0x3366CC));
    for (int frame = 0; frame < 3; ++frame) ASSERT_TRUE(grabber->Capture(10, 10));
    EXPECT_PIXEL(*grabber, 50, 50, 0x33, 0x66, 0xCC);
    CursorImage cursor;
    EXPECT_TRUE(grabber->QueryCursor(cursor));
    EXPECT_FALSE(grabber->DisplayLost());
    // The thread names itself once it runs.
    EXPECT_TRUE(WaitUntil([] { return ThreadRunning("click-monitor"); }, 5s));

    server.Kill();
    const auto killed = std::chrono::steady_clock::now();
    EXPECT_FALSE(grabber->Capture(10, 10));
    EXPECT_TRUE(grabber->DisplayLost());
    EXPECT_THAT(grabber->lastError(),
                HasSubstr("lost the connection to the X display " + server.displayName()));
    EXPECT_FALSE(grabber->Capture(0, 0));
    EXPECT_FALSE(grabber->QueryCursor(cursor));
    ASSERT_NE(grabber->pixels(), nullptr) << "the last picture stays readable";
    EXPECT_PIXEL(*grabber, 50, 50, 0x33, 0x66, 0xCC);
    EXPECT_FALSE(grabber->Init(100, 50));
    EXPECT_TRUE(grabber->DisplayLost());
    EXPECT_LT(std::chrono::steady_clock::now() - killed, 2s);

    EXPECT_TRUE(WaitUntil([] { return !ThreadRunning("click-monitor"); }, 5s))
        << "the click monitor's thread did not end";
    const auto stopping = std::chrono::steady_clock::now();
    monitor->Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - stopping, 1s);
  }
}

// A server that offers MIT-SHM but cannot attach the segment (as one on
// another machine cannot) is read with GetImage instead.
TEST(ScreenGrabberFallbackTest, UsesGetImageWhenTheSegmentCannotBeAttached) {
  test::FakeXServer server(/*offerShm=*/true);
  ASSERT_TRUE(server.Start());
  std::unique_ptr<ScreenGrabber> grabber;
  {
    test::ScopedEnv display("DISPLAY", server.displayName());
    grabber = OpenScreenGrabber();
  }
  ASSERT_TRUE(grabber);
  ASSERT_TRUE(grabber->Init(64, 32));
  ASSERT_TRUE(grabber->Capture(0, 0));
  EXPECT_PIXEL(*grabber, 0, 0, 0xA1, 0xB2, 0xC3);
  EXPECT_PIXEL(*grabber, 63, 31, 0xA1, 0xB2, 0xC3);
  // Frames with header room fall back the same way.
  ASSERT_TRUE(grabber->Init(64, 32, 2, 64));
  ASSERT_TRUE(grabber->Capture(0, 0, 1));
  const std::uint8_t* p = grabber->pixels(1) + 31 * grabber->stride() + 63 * 4;
  EXPECT_EQ(p[2], 0xA1);
  EXPECT_EQ(p[0], 0xC3);
  EXPECT_FALSE(grabber->DisplayLost());
}

int sigpipeCount = 0;  // written by the handler below, on the test's thread

// A server whose socket stops taking data between two requests makes the
// next write fail with EPIPE, which raises SIGPIPE on the writing thread. The
// grabber must report the loss without the signal reaching the program, and
// leave the thread's signal mask as it was.
TEST(ScreenGrabberDisplayLossTest, BrokenSocketRaisesNoSigpipe) {
  test::FakeXServer server;
  ASSERT_TRUE(server.Start());
  std::unique_ptr<ScreenGrabber> grabber;
  {
    test::ScopedEnv display("DISPLAY", server.displayName());
    grabber = OpenScreenGrabber();
  }
  ASSERT_TRUE(grabber);
  ASSERT_TRUE(grabber->Init(64, 32));

  // Counted rather than fatal, so that a fault fails this test alone.
  struct sigaction counting {};
  counting.sa_handler = [](int) { ++sigpipeCount; };
  struct sigaction previous {};
  ASSERT_EQ(sigaction(SIGPIPE, &counting, &previous), 0);
  sigpipeCount = 0;
  server.StopReading();
  const bool captured = grabber->Capture(0, 0);
  sigaction(SIGPIPE, &previous, nullptr);

  EXPECT_FALSE(captured);
  EXPECT_TRUE(grabber->DisplayLost());
  EXPECT_EQ(sigpipeCount, 0);
  sigset_t mask;
  ASSERT_EQ(pthread_sigmask(SIG_BLOCK, nullptr, &mask), 0);
  EXPECT_FALSE(sigismember(&mask, SIGPIPE));
  sigset_t pending;
  ASSERT_EQ(sigpending(&pending), 0);
  EXPECT_FALSE(sigismember(&pending, SIGPIPE));
}

}  // namespace
}  // namespace tarn::platform
