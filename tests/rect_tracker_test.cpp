// The selection tracker's arithmetic: which handles exist, where they are,
// what a point hits (also on inverted rectangles), and what a drag does to
// the rectangle within the screen's bounds.

#include "ui/overlay/rect_tracker.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ostream>

namespace tarn::ui {

std::ostream& operator<<(std::ostream& out, const TrackerRect& r) {
  return out << "{" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << "}";
}

namespace {

constexpr unsigned kCorners = 0x0F;
constexpr unsigned kTopBottom = (1u << kHitTop) | (1u << kHitBottom);
constexpr unsigned kLeftRight = (1u << kHitLeft) | (1u << kHitRight);

TEST(RectTrackerTest, MiddleHandlesNeedFiveSparePixelsBeyondThreeHandles) {
  struct Case {
    TrackerRect rect;
    unsigned mask;
  };
  // n = 4: the middle handles of a side need |side| >= 3 * 4 + 5 = 17.
  const Case cases[] = {
      {{0, 0, 16, 16}, kCorners},
      {{0, 0, 17, 16}, kCorners | kTopBottom},
      {{0, 0, 16, 17}, kCorners | kLeftRight},
      {{0, 0, 17, 17}, kCorners | kTopBottom | kLeftRight},
      {{17, 0, 0, 16}, kCorners | kTopBottom},   // inverted: the size counts
      {{0, 17, 16, 0}, kCorners | kLeftRight},
      {{0, 0, 0, 0}, kCorners},
  };
  CXRectTracker tracker;
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.rect);
    tracker.SetRect(c.rect);
    EXPECT_EQ(tracker.GetHandleMask(), c.mask);
  }
}

TEST(RectTrackerTest, HandlesSitJustOutsideTheCornersAndMidpoints) {
  struct Case {
    const char* what;
    TrackerRect rect;
    int handle;
    TrackerRect want;
  };
  // 100 x 50 at (10, 20) with n = 4: the handles' outer square runs from
  // (6, 16) to (114, 74).
  const TrackerRect wide{10, 20, 110, 70};
  // 6 x 20 is smaller than two handles across: handles of half the width.
  const TrackerRect narrow{10, 10, 16, 30};
  const Case cases[] = {
      {"top-left", wide, kHitTopLeft, {6, 16, 10, 20}},
      {"top-right", wide, kHitTopRight, {110, 16, 114, 20}},
      {"bottom-right", wide, kHitBottomRight, {110, 70, 114, 74}},
      {"bottom-left", wide, kHitBottomLeft, {6, 70, 10, 74}},
      {"top", wide, kHitTop, {58, 16, 62, 20}},
      {"right", wide, kHitRight, {110, 43, 114, 47}},
      {"bottom", wide, kHitBottom, {58, 70, 62, 74}},
      {"left", wide, kHitLeft, {6, 43, 10, 47}},
      {"inverted: the same squares", {110, 70, 10, 20}, kHitTopLeft, {6, 16, 10, 20}},
      {"narrow top-left", narrow, kHitTopLeft, {7, 7, 10, 10}},
      {"narrow bottom-right", narrow, kHitBottomRight, {16, 30, 19, 33}},
      {"one pixel wide: no size", {10, 10, 11, 30}, kHitTopLeft, {10, 10, 10, 10}},
  };
  CXRectTracker tracker;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    tracker.SetRect(c.rect);
    EXPECT_EQ(tracker.GetHandleRect(c.handle), c.want);
  }
  tracker.SetRect(narrow);
  EXPECT_EQ(tracker.GetHandleSize(narrow), 3);
  EXPECT_EQ(tracker.GetHandleSize(wide), 4);
}

TEST(RectTrackerTest, EveryHandleIsHitAndInvertedRectanglesNameTheEdgeUnderThePointer) {
  CXRectTracker tracker;
  const TrackerRect normal{10, 20, 110, 70};
  // The centre pixel of each handle of `normal` (see the table above).
  const int centres[8][2] = {{8, 18},   {112, 18}, {112, 72}, {8, 72},
                             {60, 18},  {112, 45}, {60, 72},  {8, 45}};
  struct Case {
    const char* what;
    TrackerRect rect;
    int want[8];
  };
  const Case cases[] = {
      {"normal", normal, {0, 1, 2, 3, 4, 5, 6, 7}},
      {"right left of left",
       {110, 20, 10, 70},
       {kHitTopRight, kHitTopLeft, kHitBottomLeft, kHitBottomRight, kHitTop, kHitLeft, kHitBottom,
        kHitRight}},
      {"bottom above top",
       {10, 70, 110, 20},
       {kHitBottomLeft, kHitBottomRight, kHitTopRight, kHitTopLeft, kHitBottom, kHitRight, kHitTop,
        kHitLeft}},
      {"both",
       {110, 70, 10, 20},
       {kHitBottomRight, kHitBottomLeft, kHitTopLeft, kHitTopRight, kHitBottom, kHitLeft, kHitTop,
        kHitRight}},
  };
  for (const Case& c : cases) {
    tracker.SetRect(c.rect);
    for (int h = 0; h < 8; ++h) {
      SCOPED_TRACE(::testing::Message() << c.what << ", handle drawn as " << h);
      const int hit = tracker.HitTest(centres[h][0], centres[h][1]);
      EXPECT_EQ(hit, c.want[h]);
      // Dragging what was hit moves the edge under the pointer: the point
      // and the rectangle's nearest edge move together.
      const TrackerRect dragged = tracker.DraggedRect(c.rect, hit, -3, -2);
      const TrackerRect n = dragged.Normalized();
      const bool left = h == kHitTopLeft || h == kHitBottomLeft || h == kHitLeft;
      const bool right = h == kHitTopRight || h == kHitBottomRight || h == kHitRight;
      const bool top = h == kHitTopLeft || h == kHitTopRight || h == kHitTop;
      const bool bottom = h == kHitBottomLeft || h == kHitBottomRight || h == kHitBottom;
      EXPECT_EQ(n.left, left ? 7 : 10);
      EXPECT_EQ(n.right, right ? 107 : 110);
      EXPECT_EQ(n.top, top ? 18 : 20);
      EXPECT_EQ(n.bottom, bottom ? 68 : 70);
    }
  }
  tracker.SetRect(normal);
  EXPECT_EQ(tracker.HitTest(60, 45), kHitMiddle);
  EXPECT_EQ(tracker.HitTest(9, 40), kHitMiddle) << "one pixel outside still moves it";
  EXPECT_EQ(tracker.HitTest(7, 30), kHitNothing) << "beside the edge, between handles";
  EXPECT_EQ(tracker.HitTest(5, 18), kHitNothing) << "beyond the handles";
  EXPECT_EQ(tracker.HitTest(114, 74), kHitNothing);
  tracker.SetRect({50, 50, 50, 50});
  EXPECT_EQ(tracker.HitTest(50, 50), kHitNothing) << "an empty rectangle has nothing to hit";
}

TEST(RectTrackerTest, DragsKeepTheMinimumSizeAndStayOnTheScreen) {
  struct Case {
    const char* what;
    TrackerRect start;
    int handle;
    int dx, dy;
    TrackerRect want;
  };
  const Case cases[] = {
      {"right edge out", {10, 10, 110, 60}, kHitRight, 40, 99, {10, 10, 150, 60}},
      {"right edge nearly onto the left: minimum 2n", {10, 10, 110, 60}, kHitRight, -98, 0,
       {10, 10, 18, 60}},
      {"right edge past the left: inverted", {10, 10, 110, 60}, kHitRight, -150, 0,
       {10, 10, 0, 60}},
      {"right edge just past the left: minimum on that side", {100, 10, 200, 60}, kHitRight, -103,
       0, {100, 10, 92, 60}},
      {"bottom-left corner onto the top-right", {10, 10, 110, 60}, kHitBottomLeft, 100, -50,
       {102, 10, 110, 18}},
      {"top edge moves only the top", {10, 10, 110, 60}, kHitTop, 30, 5, {10, 15, 110, 60}},
      {"move keeps the size", {10, 10, 110, 60}, kHitMiddle, 25, 30, {35, 40, 135, 90}},
      {"move stops at the left", {10, 10, 110, 60}, kHitMiddle, -50, 0, {0, 10, 100, 60}},
      {"move stops at the bottom right", {1800, 1000, 1900, 1050}, kHitMiddle, 500, 500,
       {1820, 1030, 1920, 1080}},
      {"an edge stops at the bound, the other stays", {1800, 10, 1900, 60}, kHitRight, 300, 0,
       {1800, 10, 1920, 60}},
      {"a corner stops at both bounds", {10, 10, 110, 60}, kHitTopLeft, -50, -50,
       {0, 0, 110, 60}},
      {"the minimum at the bound moves it back in", {1919, 5, 1919, 5}, kHitBottomRight, 5, 5,
       {1912, 5, 1920, 13}},
      {"the minimum at the top-left bound", {1, 1, 1, 1}, kHitTopLeft, -5, -5, {0, 0, 8, 8}},
  };
  CXRectTracker tracker;
  tracker.SetBounds({0, 0, 1920, 1080});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const TrackerRect got = tracker.DraggedRect(c.start, c.handle, c.dx, c.dy);
    EXPECT_EQ(got, c.want);
    if (c.handle != kHitMiddle) {
      EXPECT_GE(std::abs(got.Width()), tracker.minimumSize());
      EXPECT_GE(std::abs(got.Height()), tracker.minimumSize());
    }
  }
  // Without bounds a move may go anywhere.
  tracker.SetBounds({});
  EXPECT_EQ(tracker.DraggedRect({10, 10, 110, 60}, kHitMiddle, -50, -20),
            (TrackerRect{-40, -10, 60, 40}));
}

}  // namespace
}  // namespace tarn::ui
