// "The screen" is the primary monitor: the choice among the monitors a display
// lists, and the grabber on an Xvfb of the test's own with three monitors
// whose primary one is neither at the root window's origin nor its size.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/monitor_choice.h"
#include "platform/screen_capture.h"
#include "tests/support/monitor_layout.h"
#include "tests/support/private_x_server.h"
#include "tests/support/temp_dir.h"

namespace tarn::platform {
namespace {

void ExpectRect(const ScreenRect& got, const ScreenRect& want) {
  EXPECT_EQ(got.x, want.x);
  EXPECT_EQ(got.y, want.y);
  EXPECT_EQ(got.width, want.width);
  EXPECT_EQ(got.height, want.height);
}

TEST(PrimaryMonitorChoiceTest, PrefersThePrimaryFlagThenTheFirstUsableMonitor) {
  const ScreenRect left{0, 0, 1920, 1080};
  const ScreenRect right{1920, 0, 1280, 1024};
  struct Case {
    const char* what;
    std::vector<MonitorRect> monitors;
    ScreenRect want;
  };
  const Case cases[] = {
      {"the flagged one, though listed second", {{left, false}, {right, true}}, right},
      {"none flagged: the first", {{right, false}, {left, false}}, right},
      {"no monitor: the root window", {}, {0, 0, 3200, 1080}},
      {"a flagged monitor reaching past the root window is cut to it",
       {{left, false}, {{3000, 500, 400, 900}, true}},
       {3000, 500, 200, 580}},
      {"a flagged monitor wholly off the root window is passed over",
       {{{3200, 0, 800, 600}, true}, {right, false}},
       right},
      {"monitors of no size are passed over",
       {{{0, 0, 0, 1080}, true}, {{100, 100, 640, 0}, false}, {left, false}},
       left},
      {"nothing usable: the root window", {{{-900, -900, 800, 600}, true}}, {0, 0, 3200, 1080}},
      {"a monitor left of and above the origin keeps its part on the root window",
       {{{-100, -50, 1000, 800}, true}},
       {0, 0, 900, 750}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ExpectRect(ChoosePrimaryMonitor(c.monitors, 3200, 1080), c.want);
  }
}

// Bytes of one captured pixel as 0xRRGGBB.
std::uint32_t RgbAt(ScreenGrabber& grabber, int x, int y) {
  const std::uint8_t* p = grabber.pixels() + y * grabber.stride() + x * 4;
  return static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[1]) << 8 | p[0];
}

#define EXPECT_RGB(grabber, x, y, rgb)                                                        \
  EXPECT_EQ(RgbAt(grabber, x, y), static_cast<std::uint32_t>(rgb))                           \
      << "pixel " << (x) << "," << (y) << " is 0x" << std::hex << RgbAt(grabber, x, y) << ", " \
      << "want 0x" << (rgb)

class PrimaryMonitorTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string whyNot;
    if (!server_.Start(whyNot)) GTEST_SKIP() << whyNot;
    display_.emplace("DISPLAY", server_.displayName());
  }

  // Root coordinates of a point given relative to the primary monitor.
  static int RootX(int x) { return test::kPrimaryMonitor.rect.x + x; }
  static int RootY(int y) { return test::kPrimaryMonitor.rect.y + y; }

  test::MonitorLayoutServer server_;
  std::optional<test::ScopedEnv> display_;
};

TEST_F(PrimaryMonitorTest, TheScreenIsThePrimaryMonitor) {
  ScreenRect monitor;
  ASSERT_TRUE(QueryPrimaryMonitor(monitor));
  ExpectRect(monitor, test::kPrimaryMonitor.rect);
  int width = 0;
  int height = 0;
  ASSERT_TRUE(QueryScreenSize(width, height));
  EXPECT_EQ(width, 1600);
  EXPECT_EQ(height, 900);
  auto grabber = OpenScreenGrabber();
  ASSERT_TRUE(grabber);
  EXPECT_EQ(grabber->screenWidth(), 1600);
  EXPECT_EQ(grabber->screenHeight(), 900);
}

// The whole screen, a region off the monitor's corner and rectangles reaching
// past its edges, through both copy paths: coordinates start at the primary
// monitor's corner, and what lies off it stays black even where the root
// window shows another monitor or the grey between them.
TEST_F(PrimaryMonitorTest, CapturesAreRelativeToThePrimaryMonitor) {
  // A 4x4 mark 10 pixels right of and below the primary monitor's corner.
  server_.Fill({RootX(10), RootY(10), 4, 4}, 0xFFFF00);
  ASSERT_TRUE(server_.RoundTrip());
  const std::uint32_t primary = test::kPrimaryMonitor.rgb;
  for (const bool shm : {true, false}) {
    SCOPED_TRACE(shm ? "MIT-SHM" : "GetImage");
    test::ScopedEnv noShm("TARN_X11_NO_SHM", shm ? std::nullopt : std::optional<std::string>("1"));
    auto whole = OpenScreenGrabber();
    ASSERT_TRUE(whole);
    ASSERT_TRUE(whole->Init(1600, 900));
    ASSERT_TRUE(whole->Capture(0, 0));
    EXPECT_RGB(*whole, 0, 0, primary);
    EXPECT_RGB(*whole, 1599, 0, primary);
    EXPECT_RGB(*whole, 0, 899, primary);
    EXPECT_RGB(*whole, 1599, 899, primary);
    EXPECT_RGB(*whole, 10, 10, 0xFFFF00);
    EXPECT_RGB(*whole, 14, 14, primary);

    auto region = OpenScreenGrabber();
    ASSERT_TRUE(region);
    ASSERT_TRUE(region->Init(100, 80));
    ASSERT_TRUE(region->Capture(10, 10));
    EXPECT_RGB(*region, 0, 0, 0xFFFF00);
    EXPECT_RGB(*region, 3, 3, 0xFFFF00);
    EXPECT_RGB(*region, 4, 4, primary);
    EXPECT_RGB(*region, 99, 79, primary);

    struct Case {
      int sourceX, sourceY;
      int insideX, insideY;    // a captured pixel on the monitor
      int outsideX, outsideY;  // a captured pixel off it
    };
    const Case cases[] = {
        {1560, 870, 39, 29, 40, 29},  // into the right monitor
        {1560, 870, 39, 29, 39, 30},  // into the grey below
        {-50, -20, 50, 20, 49, 20},   // into the left monitor
        {-50, -20, 50, 20, 50, 19},   // into the grey above
    };
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << "source " << c.sourceX << "," << c.sourceY);
      ASSERT_TRUE(region->Capture(c.sourceX, c.sourceY));
      EXPECT_RGB(*region, c.insideX, c.insideY, primary);
      EXPECT_RGB(*region, c.outsideX, c.outsideY, 0);
    }
  }
}

TEST_F(PrimaryMonitorTest, TheCursorIsPlacedRelativeToThePrimaryMonitor) {
  auto grabber = OpenScreenGrabber();
  ASSERT_TRUE(grabber);
  struct Case {
    const char* where;
    int rootX, rootY;
  };
  const Case cases[] = {
      {"on the primary monitor", RootX(200), RootY(50)},
      {"on the left monitor", 10, 10},
      {"on the right monitor, below the primary one", 3000, 1050},
  };
  CursorImage cursor;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.where);
    server_.WarpPointer(c.rootX, c.rootY);
    ASSERT_TRUE(server_.RoundTrip());
    ASSERT_TRUE(grabber->QueryCursor(cursor));
    EXPECT_EQ(cursor.x, c.rootX - test::kPrimaryMonitor.rect.x);
    EXPECT_EQ(cursor.y, c.rootY - test::kPrimaryMonitor.rect.y);
  }
}

// Paints the root window of `display` one colour (0xRRGGBB) through a
// connection of its own; done once the round trip returns.
bool PaintRootOf(const std::string& display, std::uint32_t rgb) {
  std::unique_ptr<xcb_connection_t, void (*)(xcb_connection_t*)> c(
      xcb_connect(display.c_str(), nullptr), xcb_disconnect);
  if (xcb_connection_has_error(c.get()) != 0) return false;
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c.get())).data->root;
  xcb_change_window_attributes(c.get(), root, XCB_CW_BACK_PIXEL, &rgb);
  xcb_clear_area(c.get(), 0, root, 0, 0, 0, 0);
  std::unique_ptr<xcb_get_input_focus_reply_t, void (*)(void*)> reply(
      xcb_get_input_focus_reply(c.get(), xcb_get_input_focus(c.get()), nullptr), std::free);
  return reply != nullptr;
}

// Without RandR, and with RandR listing only the server's own monitor, the
// screen is the whole root window, as on a single-monitor display.
TEST(PrimaryMonitorFallbackTest, WithoutDeclaredMonitorsTheScreenIsTheRootWindow) {
  for (const bool randr : {true, false}) {
    SCOPED_TRACE(randr ? "RandR without declared monitors" : "no RandR");
    test::PrivateXServer server;
    if (!randr) server.AddArguments({"-extension", "RANDR"});
    std::string whyNot;
    if (!server.Start("800x600x24", whyNot)) GTEST_SKIP() << whyNot;
    ASSERT_TRUE(PaintRootOf(server.displayName(), 0x3366CC));
    test::ScopedEnv display("DISPLAY", server.displayName());
    ScreenRect monitor;
    ASSERT_TRUE(QueryPrimaryMonitor(monitor));
    ExpectRect(monitor, {0, 0, 800, 600});
    auto grabber = OpenScreenGrabber();
    ASSERT_TRUE(grabber);
    EXPECT_EQ(grabber->screenWidth(), 800);
    EXPECT_EQ(grabber->screenHeight(), 600);
    ASSERT_TRUE(grabber->Init(800, 600));
    ASSERT_TRUE(grabber->Capture(0, 0));
    EXPECT_RGB(*grabber, 0, 0, 0x3366CC);
    EXPECT_RGB(*grabber, 799, 599, 0x3366CC);
  }
}

}  // namespace
}  // namespace tarn::platform
