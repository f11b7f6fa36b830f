#include "recorder/screen_geometry.h"

#include <gtest/gtest.h>

namespace tarn {
namespace {

TEST(ScreenGeometryTest, FollowMouseKeepsTheRectangleOnTheScreen) {
  struct Case {
    int cursorX, cursorY, sourceX, sourceY, pictureX, pictureY;
  };
  // A 640x480 picture on a 1920x1080 screen.
  const Case cases[] = {
      {10, 10, 0, 0, 10, 10},          // top-left corner: the cursor is where it is
      {1900, 1070, 1280, 600, 620, 470},  // bottom-right corner
      {960, 540, 640, 300, 320, 240},     // centre: the cursor in the middle
      {960, 800, 640, 560, 320, 240},
      {0, 0, 0, 0, 0, 0},
      {1920, 1080, 1280, 600, 640, 480},  // the far edge itself
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "cursor " << c.cursorX << "," << c.cursorY);
    const FollowPosition p = FollowMouse(c.cursorX, c.cursorY, 640, 480, 1920, 1080);
    EXPECT_EQ(p.sourceX, c.sourceX);
    EXPECT_EQ(p.sourceY, c.sourceY);
    EXPECT_EQ(p.pictureX, c.pictureX);
    EXPECT_EQ(p.pictureY, c.pictureY);
  }
}

TEST(ScreenGeometryTest, FitToScreenMakesSizesEvenAndKeepsThemOnTheScreen) {
  struct Case {
    CaptureRect in;
    CaptureRect out;
  };
  const Case cases[] = {
      {{0, 0, 1920, 1080}, {0, 0, 1920, 1080}},
      {{0, 0, 1921, 1081}, {0, 0, 1920, 1080}},      // larger than the screen
      {{10, 20, 641, 481}, {10, 20, 640, 480}},      // odd sizes rounded down
      {{1800, 1000, 640, 480}, {1800, 1000, 120, 80}},  // reaching past the edge
      {{-50, -10, 100, 100}, {0, 0, 100, 100}},      // left of and above the screen
      {{5000, 5000, 100, 100}, {1919, 1079, 0, 0}},  // off the screen: nothing left
      {{0, 0, 0, 480}, {0, 0, 0, 0}},
      {{0, 0, 1, 1}, {0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.in.x << "," << c.in.y << " " << c.in.width << "x" << c.in.height);
    const CaptureRect r = FitToScreen(c.in, 1920, 1080);
    EXPECT_EQ(r.x, c.out.x);
    EXPECT_EQ(r.y, c.out.y);
    EXPECT_EQ(r.width, c.out.width);
    EXPECT_EQ(r.height, c.out.height);
  }
  // An odd screen gives an even picture.
  const CaptureRect odd = FitToScreen({0, 0, 1023, 767}, 1023, 767);
  EXPECT_EQ(odd.width, 1022);
  EXPECT_EQ(odd.height, 766);
}

}  // namespace
}  // namespace tarn
