// The region frame's arithmetic: where it starts, what it stores, which zone
// a point is in, and what every drag rule does at its limits.

#include "ui/overlay/region_frame.h"

#include <gtest/gtest.h>

namespace tarn::ui {
namespace {

// A frame on a 1920 x 1080 monitor, placed as the record page places it.
RegionFrame FrameOnScreen(const FrameRect& frame) {
  RegionFrame region;
  region.PlaceWidth(0, 0, 1920, {}, nullptr);
  region.PlaceHeight(0, 0, 1080, {}, nullptr);
  region.SetFrame(frame);
  return region;
}

// Presses at (pa, pb), moves through `steps`, and returns the frame.
FrameRect Drag(RegionFrame& region, int pa, int pb, std::initializer_list<std::pair<int, int>> steps) {
  region.Press(pa, pb);
  region.PointerMoved(pa, pb);  // the zone under the press starts the drag
  for (const auto& [a, b] : steps) region.PointerMoved(a, b);
  region.Release();
  return region.frame();
}

TEST(RegionFrameTest, TheInitialFrameComesFromTheStoredRegionOrIsCentredAndStored) {
  // Placed by width first, the frame has no height yet: what it stores then
  // has none either, never a negative one.
  RegionFrame centred;
  StoredRegion stored;
  EXPECT_TRUE(centred.PlaceWidth(0, 0, 1920, {}, &stored));
  EXPECT_EQ(stored, (StoredRegion{483, 3, 954, 0}));
  RegionFrame fresh;
  fresh.PlaceWidth(0, 0, 1920, {0, 0, 0, 0}, nullptr);
  EXPECT_TRUE(fresh.PlaceHeight(0, 0, 1080, {0, 0, 0, 0}, &stored));
  EXPECT_EQ(fresh.frame(), (FrameRect{480, 270, 960, 540}));
  EXPECT_EQ(stored, (StoredRegion{483, 273, 954, 534}));

  RegionFrame kept;
  const StoredRegion region{100, 100, 640, 480};
  EXPECT_FALSE(kept.PlaceWidth(0, 0, 1920, region, &stored));
  EXPECT_EQ(kept.frame(), (FrameRect{97, 97, 646, 486}));
  // A frame already there stays, whatever is stored meanwhile.
  EXPECT_FALSE(kept.PlaceHeight(0, 0, 1080, {10, 10, 100, 100}, &stored));
  EXPECT_EQ(kept.frame(), (FrameRect{97, 97, 646, 486}));
}

TEST(RegionFrameTest, StoredSizesAreEvenAndNeverNegative) {
  EXPECT_EQ(RegionFromFrame({97, 97, 646, 486}), (StoredRegion{100, 100, 640, 480}));
  EXPECT_EQ(RegionFromFrame({0, 0, 647, 487}).width, 640);
  EXPECT_EQ(RegionFromFrame({0, 0, 647, 487}).height, 480);
  EXPECT_EQ(RegionFromFrame({0, 0, 5, 2}), (StoredRegion{3, 3, 0, 0}));
  EXPECT_EQ(FrameFromRegion({100, 100, 640, 480}), (FrameRect{97, 97, 646, 486}));
}

TEST(RegionFrameTest, EachPointFallsInTheZoneOfItsRowWithStrictLimits) {
  const FrameRect f{100, 100, 200, 100};  // right edge 300, bottom 200
  struct Case {
    int a, b;
    DragMode zone;
  } cases[] = {
      {150, 100, DragMode::kTop},        {150, 96, DragMode::kTop},
      {150, 95, DragMode::kNone},        {105, 100, DragMode::kNone},  // x + t is in no zone
      {106, 104, DragMode::kTop},        {150, 200, DragMode::kBottom},
      {100, 150, DragMode::kLeft},       {96, 150, DragMode::kLeft},
      {95, 150, DragMode::kNone},        {300, 150, DragMode::kRight},
      {304, 150, DragMode::kRight},      {305, 150, DragMode::kNone},
      {100, 100, DragMode::kTopLeft},    {300, 200, DragMode::kBottomRight},
      {100, 200, DragMode::kBottomLeft}, {300, 100, DragMode::kTopRight},
      {150, 150, DragMode::kMove},       {50, 50, DragMode::kNone},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(HitZone(f, c.a, c.b), c.zone) << "at " << c.a << "," << c.b;
  }
  EXPECT_EQ(CursorForZone(DragMode::kTopRight), ZoneCursor::kSizeBDiagonal);
  EXPECT_EQ(CursorForZone(DragMode::kBottomRight), ZoneCursor::kSizeFDiagonal);
  EXPECT_EQ(CursorForZone(DragMode::kNone), ZoneCursor::kArrow);
}

TEST(RegionFrameTest, EdgesStopAtTwentyPixelsAndGoBackOut) {
  // Top edge down in steps: the frame shrinks until 20, then downward steps are
  // ignored while an upward one still applies.
  RegionFrame top = FrameOnScreen({100, 100, 200, 40});
  top.Press(150, 100);
  top.PointerMoved(150, 100);
  top.PointerMoved(150, 110);
  EXPECT_EQ(top.frame(), (FrameRect{100, 110, 200, 30}));
  top.PointerMoved(150, 125);  // one jump past the minimum stops at it
  EXPECT_EQ(top.frame(), (FrameRect{100, 120, 200, 20}));
  top.PointerMoved(150, 130);
  EXPECT_EQ(top.frame(), (FrameRect{100, 120, 200, 20}));
  top.PointerMoved(150, 90);
  EXPECT_EQ(top.frame(), (FrameRect{100, 90, 200, 50}));
  top.Release();

  // Bottom edge: the same the other way; a jump above the top never inverts it.
  RegionFrame bottom = FrameOnScreen({100, 100, 200, 40});
  EXPECT_EQ(Drag(bottom, 150, 140, {{150, 20}}), (FrameRect{100, 100, 200, 20}));
  EXPECT_EQ(Drag(bottom, 150, 120, {{150, 110}}), (FrameRect{100, 100, 200, 20}));
  EXPECT_EQ(Drag(bottom, 150, 120, {{150, 300}}), (FrameRect{100, 100, 200, 200}));

  // Left edge: follows the pointer, keeps 20, and stays on the screen.
  RegionFrame left = FrameOnScreen({100, 100, 200, 100});
  EXPECT_EQ(Drag(left, 100, 150, {{60, 150}}), (FrameRect{60, 100, 240, 100}));
  EXPECT_EQ(Drag(left, 60, 150, {{1000, 150}}), (FrameRect{280, 100, 20, 100}));
  EXPECT_EQ(Drag(left, 280, 150, {{250, 150}}), (FrameRect{250, 100, 50, 100}));

  // Right edge: never narrower than 20, never past the screen's right edge.
  RegionFrame right = FrameOnScreen({1700, 100, 200, 100});
  EXPECT_EQ(Drag(right, 1900, 150, {{1920, 150}}), (FrameRect{1700, 100, 220, 100}));
  EXPECT_EQ(Drag(right, 1919, 150, {{1600, 150}}), (FrameRect{1700, 100, 20, 100}));
  // A step outside the screen changes nothing.
  EXPECT_EQ(Drag(right, 1719, 150, {{1930, 150}}), (FrameRect{1700, 100, 20, 100}));
}

TEST(RegionFrameTest, CornersNeedBothSidesOverTwentyAndRoomOnTheScreen) {
  RegionFrame corner = FrameOnScreen({100, 100, 200, 100});
  EXPECT_EQ(Drag(corner, 300, 200, {{320, 230}}), (FrameRect{100, 100, 220, 130}));
  EXPECT_EQ(Drag(corner, 100, 100, {{90, 80}}), (FrameRect{90, 80, 230, 150}));
  // A jump far inwards stops at 20 x 20 with the far corner in place.
  EXPECT_EQ(Drag(corner, 90, 80, {{1000, 1000}}), (FrameRect{300, 210, 20, 20}));
  // At 20 a corner drag does nothing, outwards too.
  EXPECT_EQ(Drag(corner, 320, 230, {{400, 300}}), (FrameRect{300, 210, 20, 20}));

  // Touching the right screen edge: top-right, bottom-left and bottom-right
  // corners do nothing; top-left still works.
  RegionFrame edge = FrameOnScreen({1720, 100, 200, 100});
  EXPECT_EQ(Drag(edge, 1920, 200, {{1900, 220}}), (FrameRect{1720, 100, 200, 100}));
  EXPECT_EQ(Drag(edge, 1720, 200, {{1700, 220}}), (FrameRect{1720, 100, 200, 100}));
  EXPECT_EQ(Drag(edge, 1920, 100, {{1900, 80}}), (FrameRect{1720, 100, 200, 100}));
  EXPECT_EQ(Drag(edge, 1720, 100, {{1700, 80}}), (FrameRect{1700, 80, 220, 120}));
}

TEST(RegionFrameTest, MovingStopsAtTheScreenEdgesWithTheSizeKept) {
  RegionFrame moved = FrameOnScreen({100, 100, 200, 100});
  EXPECT_EQ(Drag(moved, 200, 150, {{150, 120}}), (FrameRect{50, 70, 200, 100}));
  EXPECT_EQ(Drag(moved, 150, 120, {{50, 20}, {0, 0}}), (FrameRect{0, 0, 200, 100}));
  EXPECT_EQ(Drag(moved, 100, 50, {{1900, 1070}}), (FrameRect{1720, 980, 200, 100}));
}

TEST(RegionFrameTest, ALockedFrameIgnoresThePointer) {
  RegionFrame locked = FrameOnScreen({100, 100, 200, 100});
  locked.SetAdjustable(false);
  locked.Press(100, 150);
  const RegionFrame::MoveResult result = locked.PointerMoved(60, 150);
  EXPECT_FALSE(result.cursorChanged);
  EXPECT_FALSE(result.frameChanged);
  EXPECT_EQ(locked.frame(), (FrameRect{100, 100, 200, 100}));
  // Unlocked again, the same drag applies.
  locked.Release();
  locked.SetAdjustable(true);
  EXPECT_EQ(Drag(locked, 100, 150, {{60, 150}}), (FrameRect{60, 100, 240, 100}));
}

TEST(RegionFrameTest, TheToolbarKeepsItselfAndTheFrameBelowOnTheScreen) {
  // Toolbar 646 x 30 over a frame 486 high on 1920 x 1080.
  ToolbarDrag up = DragToolbar(97, 67, 0, -100, 646, 30, 486, 1920, 1080);
  EXPECT_EQ(up.top, 0);  // the frame then starts at y = 30
  EXPECT_TRUE(up.clampedY);
  EXPECT_FALSE(up.clampedX);
  ToolbarDrag down = DragToolbar(97, 67, 0, 1000, 646, 30, 486, 1920, 1080);
  EXPECT_EQ(down.top + 30 + 486, 1080);  // the frame's bottom on the screen's
  ToolbarDrag sideways = DragToolbar(97, 67, 2000, 5, 646, 30, 486, 1920, 1080);
  EXPECT_EQ(sideways.left, 1920 - 646);
  EXPECT_EQ(sideways.top, 72);
  EXPECT_TRUE(sideways.clampedX);
  EXPECT_EQ(DragToolbar(97, 67, -200, 0, 646, 30, 486, 1920, 1080).left, 0);

  // A frame at the top of the screen has its toolbar below it; dragged, the
  // frame above stays on the screen.
  EXPECT_TRUE(ToolbarGoesBelow({0, -3, 646, 486}, 30, 1080));
  EXPECT_FALSE(ToolbarGoesBelow({0, 30, 646, 486}, 30, 1080));
  EXPECT_FALSE(ToolbarGoesBelow({-3, -3, 1926, 1086}, 30, 1080));  // no room anywhere
  ToolbarDrag below = DragToolbar(0, 483, 0, -600, 646, 30, 486, 1920, 1080, true);
  EXPECT_EQ(below.top, 486);  // the frame then starts at y = 0
  EXPECT_EQ(DragToolbar(0, 483, 0, 1000, 646, 30, 486, 1920, 1080, true).top, 1050);
}

}  // namespace
}  // namespace tarn::ui
