// The drawing surface on a real X window: a picture fills the whole area,
// follows the area when it grows, and clears to black; the window's pixels
// are read back from the X server.

#include <gtest/gtest.h>

#include <QWidget>
#include <vector>

#include "preview/video_surface.h"
#include "tests/support/qt_wait.h"
#include "tests/support/x_pixels.h"
#include "ui/main/video_area.h"

namespace tarn::test {
namespace {

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
