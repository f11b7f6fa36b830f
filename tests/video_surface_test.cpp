// The drawing surface on a real X window: a picture fills the whole area,
// follows the area when it grows, and clears to black; the window's pixels
// are read back from the X server.

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <QWidget>
#include <cstdlib>
#include <vector>

#include "preview/video_surface.h"
#include "tests/support/qt_wait.h"
#include "ui/main/video_area.h"

namespace tarn::test {
namespace {

struct Rgb {
  int r = -1, g = -1, b = -1;
};

// The pixel (x, y) of `window` as the X server has it (24-bit visual).
Rgb PixelOf(std::uintptr_t window, int x, int y) {
  Rgb rgb;
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(connection) == 0) {
    xcb_get_image_reply_t* reply = xcb_get_image_reply(
        connection,
        xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, static_cast<xcb_window_t>(window),
                      static_cast<int16_t>(x), static_cast<int16_t>(y), 1, 1, ~0u),
        nullptr);
    if (reply != nullptr && xcb_get_image_data_length(reply) >= 4) {
      const std::uint8_t* data = xcb_get_image_data(reply);
      rgb = {data[2], data[1], data[0]};
    }
    std::free(reply);
  }
  xcb_disconnect(connection);
  return rgb;
}

bool IsRed(const Rgb& c) { return c.r > 200 && c.g < 60 && c.b < 60; }
bool IsBlack(const Rgb& c) { return c.r >= 0 && c.r < 30 && c.g < 30 && c.b < 30; }

// A YUYV picture of one colour (BT.601 studio range red).
std::vector<std::uint8_t> RedPicture(int width, int height) {
  std::vector<std::uint8_t> picture(static_cast<std::size_t>(width) * height * 2);
  for (std::size_t i = 0; i < picture.size(); i += 4) {
    picture[i] = 81;
    picture[i + 1] = 90;
    picture[i + 2] = 81;
    picture[i + 3] = 240;
  }
  return picture;
}

TEST(VideoSurfaceTest, APictureFillsTheAreaFollowsItsSizeAndClearsToBlack) {
  QWidget parent;
  parent.resize(400, 300);
  auto* area = new ui::CVideoArea(&parent);
  area->MoveArea(10, 10, 160, 120);
  parent.show();
  ASSERT_TRUE(WaitUntil([&] { return area->isVisible(); }, 5000));
  RunEvents(200);

  preview::VideoSurface surface;
  const std::vector<std::uint8_t> picture = RedPicture(64, 48);
  EXPECT_FALSE(surface.Present(picture.data(), 64 * 2, 160, 120)) << "nothing attached yet";
  std::string why;
  ASSERT_TRUE(surface.Attach(area->NativeWindow(), 64, 48, why)) << why;
  EXPECT_EQ(surface.width(), 64);

  ASSERT_TRUE(surface.Present(picture.data(), 64 * 2, area->AreaWidth(), area->AreaHeight()));
  for (auto [x, y] : {std::pair{1, 1}, {80, 60}, {158, 118}}) {
    SCOPED_TRACE(testing::Message() << "small area at " << x << "," << y);
    EXPECT_TRUE(WaitUntil([&] { return IsRed(PixelOf(area->NativeWindow(), x, y)); }, 3000));
  }

  // The area grows: the repainted picture covers the new size, not the old.
  area->MoveArea(10, 10, 360, 270);
  RunEvents(100);
  surface.Repaint(area->AreaWidth(), area->AreaHeight());
  for (auto [x, y] : {std::pair{300, 250}, {358, 268}}) {
    SCOPED_TRACE(testing::Message() << "grown area at " << x << "," << y);
    EXPECT_TRUE(WaitUntil(
        [&] {
          surface.Repaint(area->AreaWidth(), area->AreaHeight());
          return IsRed(PixelOf(area->NativeWindow(), x, y));
        },
        3000));
  }

  surface.Clear();
  EXPECT_TRUE(WaitUntil([&] { return IsBlack(PixelOf(area->NativeWindow(), 180, 130)); }, 3000));
  surface.Detach();
  EXPECT_FALSE(surface.attached());
}

TEST(VideoSurfaceTest, AttachingToNoWindowFailsWithAReason) {
  preview::VideoSurface surface;
  std::string why;
  EXPECT_FALSE(surface.Attach(0, 64, 48, why));
  EXPECT_FALSE(why.empty());
  EXPECT_FALSE(surface.attached());
}

}  // namespace
}  // namespace tarn::test
