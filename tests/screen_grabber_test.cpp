// The X11 screen grabber against a live display ($DISPLAY, e.g. Xvfb): paints
// the root window with known colours through a connection of the test's own
// and checks the captured bytes.

#include <gtest/gtest.h>

// After GoogleTest: Xlib's macros (None, Bool) clash with its names.
#include <X11/Xlib.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>

#include "platform/screen_capture.h"
#include "tests/support/temp_dir.h"

namespace tarn::platform {
namespace {

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
  }

  // Paints the whole root window one colour (0xRRGGBB).
  void PaintRoot(unsigned long rgb) {
    Display* d = display_.get();
    XSetWindowBackground(d, DefaultRootWindow(d), rgb);
    XClearWindow(d, DefaultRootWindow(d));
    XSync(d, False);
  }

  void FillRootRect(unsigned long rgb, int x, int y, int width, int height) {
    Display* d = display_.get();
    GC gc = XCreateGC(d, DefaultRootWindow(d), 0, nullptr);
    XSetForeground(d, gc, rgb);
    XFillRectangle(d, DefaultRootWindow(d), gc, x, y, width, height);
    XFreeGC(d, gc);
    XSync(d, False);
  }

  std::unique_ptr<ScreenGrabber> OpenInitialised(int width, int height) {
    auto grabber = OpenScreenGrabber();
    if (grabber && !grabber->Init(width, height)) grabber.reset();
    return grabber;
  }

  std::unique_ptr<Display, DisplayCloser> display_;
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

TEST_F(ScreenGrabberTest, ReportsScreenSize) {
  auto grabber = OpenScreenGrabber();
  ASSERT_TRUE(grabber);
  const Display* d = display_.get();
  EXPECT_EQ(grabber->screenWidth(), DisplayWidth(d, DefaultScreen(d)));
  EXPECT_EQ(grabber->screenHeight(), DisplayHeight(d, DefaultScreen(d)));
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
  FillRootRect(0xFFFF00, 10, 10, 20, 20);

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

TEST_F(ScreenGrabberTest, ReportsCursorHotSpotPosition) {
  Display* d = display_.get();
  XWarpPointer(d, None, DefaultRootWindow(d), 0, 0, 0, 0, 123, 45);
  XSync(d, False);

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
  XWarpPointer(d, None, DefaultRootWindow(d), 0, 0, 0, 0, 200, 100);
  XSync(d, False);
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

}  // namespace
}  // namespace tarn::platform
