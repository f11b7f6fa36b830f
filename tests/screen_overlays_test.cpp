// Drawing on captured pictures: the click ring schedule, and what the
// highlight, rings and cursor leave in the bytes. Pictures carry guard bytes
// around them so that a write past any edge is seen.

#include "recorder/screen_overlays.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

namespace tarn {
namespace {

constexpr std::uint8_t kGuard = 0xEE;
constexpr int kRowGuardBytes = 16;

// A BGRX picture with a guard row above and below and guard bytes after each row.
class GuardedPicture {
 public:
  GuardedPicture(int width, int height, std::uint8_t fill = 0)
      : width_(width),
        height_(height),
        stride_(width * 4 + kRowGuardBytes),
        storage_(static_cast<std::size_t>(stride_) * (height + 2), kGuard) {
    Fill(fill);
  }

  PictureView view() { return {storage_.data() + stride_, width_, height_, stride_}; }

  void Fill(std::uint8_t value) {
    for (int y = 0; y < height_; ++y) {
      for (int i = 0; i < width_ * 4; ++i) row(y)[i] = value;
    }
  }
  std::uint8_t* row(int y) { return storage_.data() + static_cast<std::size_t>(y + 1) * stride_; }
  const std::uint8_t* pixel(int x, int y) { return row(y) + x * 4; }
  std::uint8_t blue(int x, int y) { return pixel(x, y)[0]; }
  std::uint8_t green(int x, int y) { return pixel(x, y)[1]; }
  std::uint8_t red(int x, int y) { return pixel(x, y)[2]; }

  bool GuardsIntact() const {
    for (std::size_t i = 0; i < storage_.size(); ++i) {
      const std::size_t y = i / stride_;
      const std::size_t x = i % stride_;
      const bool inPicture = y >= 1 && y <= static_cast<std::size_t>(height_) &&
                             x < static_cast<std::size_t>(width_) * 4;
      if (!inPicture && storage_[i] != kGuard) return false;
    }
    return true;
  }

  // Pixels whose colour bytes are no longer `fill`.
  int ChangedPixels(std::uint8_t fill) {
    int changed = 0;
    for (int y = 0; y < height_; ++y) {
      for (int x = 0; x < width_; ++x) {
        const std::uint8_t* p = pixel(x, y);
        if (p[0] != fill || p[1] != fill || p[2] != fill) ++changed;
      }
    }
    return changed;
  }

 private:
  int width_;
  int height_;
  int stride_;
  std::vector<std::uint8_t> storage_;
};

const Rgb kRed{255, 0, 0};
const Rgb kBlue{0, 0, 255};

struct RingSchedule {
  int frameRate;
  int step;                 // growth per pass
  std::vector<int> alphas;  // after each pass; the ring ends with the last
};

TEST(ClickRingTest, FollowsTheScheduleOfEachFrameRate) {
  const RingSchedule schedules[] = {
      {30, 2, {36, 72, 108, 144, 180, 216, 252, 216, 180, 144, 108, 72, 36, 0, 0}},
      {25, 2, {42, 84, 126, 168, 210, 252, 210, 168, 126, 84, 42, 0}},
      {15, 4, {85, 170, 255, 170, 85, 0, 0}},
      {12, 4, {85, 170, 255, 170, 85, 0}},
      {10, 6, {127, 254, 127, 0, 0}},
      {8, 0, {127, 254, 127, 0}},  // no growth: the ring stays a dot
      {4, 0, {255, 0}},
  };
  for (const RingSchedule& schedule : schedules) {
    SCOPED_TRACE(testing::Message() << schedule.frameRate << " fps");
    GuardedPicture picture(120, 120);
    std::vector<ClickRing> rings;
    AddClickRing(rings, 0, 60, 50);
    const int passes = static_cast<int>(schedule.alphas.size());
    for (int pass = 1; pass <= passes; ++pass) {
      SCOPED_TRACE(testing::Message() << "pass " << pass);
      DrawClickRings(picture.view(), rings, schedule.frameRate, kRed, kBlue);
      ASSERT_EQ(rings.size(), 1u);
      const ClickRing& ring = rings[0];
      EXPECT_EQ(ring.alpha, schedule.alphas[pass - 1]);
      EXPECT_EQ(ring.age, pass);
      EXPECT_EQ(ring.width, schedule.step * pass);
      EXPECT_EQ(ring.height, schedule.step * pass);
      EXPECT_EQ(ring.left, 60 - schedule.step / 2 * pass);
      EXPECT_EQ(ring.top, 50 - schedule.step / 2 * pass);
      EXPECT_EQ(ring.done, pass == passes);
    }
    DrawClickRings(picture.view(), rings, schedule.frameRate, kRed, kBlue);
    EXPECT_TRUE(rings.empty());
    EXPECT_TRUE(picture.GuardsIntact());
  }
}

TEST(ClickRingTest, RemovesFinishedRingsAndAdvancesTheOthersOnce) {
  GuardedPicture picture(80, 80);
  std::vector<ClickRing> rings;
  for (int i = 0; i < 4; ++i) AddClickRing(rings, i % 2, 10 * i, 20);
  rings[0].done = true;
  rings[2].done = true;
  rings[3].age = 3;
  DrawClickRings(picture.view(), rings, 30, kRed, kBlue);
  ASSERT_EQ(rings.size(), 2u);
  EXPECT_EQ(rings[0].clickX, 10);
  EXPECT_EQ(rings[0].age, 1);
  EXPECT_EQ(rings[1].clickX, 30);
  EXPECT_EQ(rings[1].age, 4);
}

TEST(ClickRingTest, FrameRatesBelowFourEndRingsWithoutDrawing) {
  for (int frameRate : {3, 1, 0, -5}) {
    SCOPED_TRACE(testing::Message() << frameRate << " fps");
    GuardedPicture picture(40, 40);
    std::vector<ClickRing> rings;
    AddClickRing(rings, 0, 20, 20);
    DrawClickRings(picture.view(), rings, frameRate, kRed, kBlue);
    ASSERT_EQ(rings.size(), 1u);
    EXPECT_TRUE(rings[0].done);
    EXPECT_EQ(picture.ChangedPixels(0), 0);
    DrawClickRings(picture.view(), rings, frameRate, kRed, kBlue);
    EXPECT_TRUE(rings.empty());
  }
}

// Each pass draws on a fresh capture, as in a recording; the tenth one at
// 30 fps is an outline of radius 9 about the click.
TEST(ClickRingTest, DrawsAnOutlineInTheButtonsColour) {
  for (int button : {0, 1}) {
    SCOPED_TRACE(testing::Message() << "button " << button);
    GuardedPicture picture(100, 100);
    std::vector<ClickRing> rings;
    AddClickRing(rings, button, 50, 50);
    for (int pass = 0; pass < 10; ++pass) {
      picture.Fill(0);
      DrawClickRings(picture.view(), rings, 30, kRed, kBlue);
    }
    const std::uint8_t lit = button == 0 ? picture.red(59, 50) : picture.blue(59, 50);
    const std::uint8_t other = button == 0 ? picture.blue(59, 50) : picture.red(59, 50);
    EXPECT_GT(lit, 60);
    EXPECT_EQ(other, 0);
    EXPECT_EQ(picture.green(59, 50), 0);
    EXPECT_GT(button == 0 ? picture.red(50, 41) : picture.blue(50, 41), 60);
    EXPECT_EQ(picture.red(50, 50) + picture.blue(50, 50), 0) << "the centre stays untouched";
    EXPECT_EQ(picture.red(75, 75) + picture.blue(75, 75), 0);
    EXPECT_TRUE(picture.GuardsIntact());
  }
}

TEST(ClickRingTest, DotRingAtTheEdgeStaysInside) {
  GuardedPicture picture(20, 20);
  std::vector<ClickRing> rings;
  AddClickRing(rings, 0, 0, 0);
  AddClickRing(rings, 1, 20, 20);
  DrawClickRings(picture.view(), rings, 8, kRed, kBlue);  // no growth: dots
  EXPECT_GT(picture.red(0, 0), 0);
  EXPECT_GT(picture.blue(19, 19), 0);
  EXPECT_TRUE(picture.GuardsIntact());
}

TEST(HighlightTest, BlendsTheColourAtSixtyInsideTheEllipseOnly) {
  struct Case {
    std::uint8_t background;
    int expectRedGreen;
    int expectBlue;
  };
  // 60/255 of yellow over the background: b + (255 - b) * 60 / 255, and b * 195 / 255.
  for (const Case& c : {Case{0, 60, 0}, Case{100, 136, 76}}) {
    SCOPED_TRACE(testing::Message() << "background " << int(c.background));
    GuardedPicture picture(100, 80, c.background);
    DrawHighlight(picture.view(), 50, 40, 40, 30, Rgb{255, 255, 0});
    EXPECT_NEAR(picture.red(50, 40), c.expectRedGreen, 2);
    EXPECT_NEAR(picture.green(50, 40), c.expectRedGreen, 2);
    EXPECT_NEAR(picture.blue(50, 40), c.expectBlue, 2);
    EXPECT_NEAR(picture.red(32, 40), c.expectRedGreen, 2);  // near the left end
    // The corners of the bounding box and the space around stay as they were.
    for (auto [x, y] :
         {std::pair{31, 26}, std::pair{68, 53}, std::pair{50, 20}, std::pair{75, 40}}) {
      SCOPED_TRACE(testing::Message() << x << "," << y);
      EXPECT_EQ(picture.red(x, y), c.background);
      EXPECT_EQ(picture.blue(x, y), c.background);
    }
    EXPECT_TRUE(picture.GuardsIntact());
  }
}

TEST(HighlightTest, ReachingPastTheEdgesStaysInside) {
  GuardedPicture picture(30, 20);
  DrawHighlight(picture.view(), 0, 0, 50, 50, Rgb{255, 255, 255});
  DrawHighlight(picture.view(), 30, 20, 50, 50, Rgb{255, 255, 255});
  DrawHighlight(picture.view(), 15, 10, 0, 10, Rgb{255, 255, 255});  // empty: nothing
  EXPECT_GT(picture.red(0, 0), 0);
  EXPECT_GT(picture.red(29, 19), 0);
  EXPECT_TRUE(picture.GuardsIntact());
}

// A 4x4 white cursor with its hot spot at (1, 1) and a half-transparent grey
// pixel in its bottom-right corner (premultiplied: alpha 128, grey 64).
platform::CursorImage TestCursor() {
  platform::CursorImage cursor;
  cursor.width = 4;
  cursor.height = 4;
  cursor.hotX = 1;
  cursor.hotY = 1;
  cursor.pixels.assign(16, 0xFFFFFFFFu);
  cursor.pixels[15] = 0x80404040u;
  return cursor;
}

TEST(CursorTest, BlendsPremultipliedPixelsAtTheHotSpot) {
  GuardedPicture picture(20, 10, 200);
  DrawCursor(picture.view(), TestCursor(), 5, 5);
  EXPECT_EQ(picture.red(4, 4), 255);
  EXPECT_EQ(picture.blue(6, 6), 255);
  EXPECT_NEAR(picture.green(7, 7), 64 + 200 * 127 / 255, 1);
  EXPECT_EQ(picture.red(3, 3), 200);
  EXPECT_EQ(picture.red(8, 8), 200);
  EXPECT_EQ(picture.ChangedPixels(200), 16);
}

TEST(CursorTest, IsClippedAtEveryEdge) {
  struct Case {
    int x, y;
    int visible;  // cursor pixels on the picture
  };
  const Case cases[] = {
      {-5, -5, 0}, {22, 12, 0}, {25, 5, 0}, {5, -10, 0},  // wholly outside
      {0, 0, 9},   {19, 9, 4},  {19, 0, 6}, {0, 9, 6},    // over a corner
      {10, -1, 8},                                        // over the top edge
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "cursor at " << c.x << "," << c.y);
    GuardedPicture picture(20, 10, 200);
    DrawCursor(picture.view(), TestCursor(), c.x, c.y);
    EXPECT_EQ(picture.ChangedPixels(200), c.visible);
    EXPECT_TRUE(picture.GuardsIntact());
  }
}

TEST(CursorTest, IgnoresImagesWithTooFewPixels) {
  GuardedPicture picture(20, 10, 200);
  platform::CursorImage cursor = TestCursor();
  cursor.pixels.resize(5);
  DrawCursor(picture.view(), cursor, 5, 5);
  EXPECT_EQ(picture.ChangedPixels(200), 0);
}

}  // namespace
}  // namespace tarn
