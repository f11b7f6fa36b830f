// The screen brush's shapes as the canvas draws them: the board's rules for
// presses, moves, releases, undo and redo, each checked on the pixels of the
// rendered picture; the drawing kept between moves against a full redraw;
// the shape that shows the drawn pixels without a compositor; the text
// window's growth.

#include <gtest/gtest.h>

#include <QImage>
#include <QRandomGenerator>
#include <cmath>

#include "ui/brush/brush_picture.h"
#include "ui/brush/brush_shape.h"
#include "ui/brush/brush_text.h"
#include "ui/brush/shape_mask.h"

namespace tarn::ui {
namespace {

constexpr QRgb kRed = 0xFFFF0000;
constexpr ColorRef kGreenRef = 0x27FF64;  // (100, 255, 39)
constexpr QRgb kGreen = 0xFF64FF27;

QImage Render(const BrushBoard& board, QSize size = QSize(400, 300)) {
  QImage image = NewCanvasImage(size);
  RenderAll(image, board.shapeList());
  return image;
}

// A colour within a small margin (smoothing, premultiplication).
bool Near(QRgb got, QRgb want, int margin = 6) {
  return std::abs(qAlpha(got) - qAlpha(want)) <= margin &&
         std::abs(qRed(got) - qRed(want)) <= margin &&
         std::abs(qGreen(got) - qGreen(want)) <= margin &&
         std::abs(qBlue(got) - qBlue(want)) <= margin;
}

bool IsClear(QRgb pixel) { return qAlpha(pixel) <= 2; }

void Drag(BrushBoard& board, std::initializer_list<BrushPoint> points) {
  auto it = points.begin();
  board.Press(it->x, it->y);
  for (++it; it != points.end(); ++it) board.Move(it->x, it->y);
  board.Release();
}

TEST(BrushBoardTest, UndoAndRedoOfEmptyListsDoNothing) {
  BrushBoard board;
  EXPECT_FALSE(board.Undo());
  EXPECT_FALSE(board.Redo());
  Drag(board, {{10, 10}, {50, 10}, {90, 10}});
  EXPECT_TRUE(board.Undo());
  EXPECT_FALSE(board.Undo());
  EXPECT_TRUE(board.Redo());
  EXPECT_FALSE(board.Redo());
  EXPECT_EQ(board.shapeList().size(), 1u);
  EXPECT_TRUE(board.redoList().empty());
}

TEST(BrushBoardTest, AClickWithoutAMoveDrawsNothingAndTwoMovesDrawAStroke) {
  BrushBoard board;
  board.Press(100, 100);
  EXPECT_EQ(board.shapeList().size(), 1u);  // pressed, not yet visible
  board.Release();
  EXPECT_TRUE(board.shapeList().empty());
  const QImage clicked = Render(board);
  EXPECT_TRUE(IsClear(clicked.pixel(100, 100)));
  EXPECT_EQ(clicked.pixel(100, 100), qPremultiply(kCanvasClearArgb));

  board.size = 4;
  Drag(board, {{100, 100}, {150, 100}, {200, 100}});
  ASSERT_EQ(board.shapeList().size(), 1u);
  EXPECT_EQ(board.shapeList()[0].points.size(), 2u);  // the press point is not one of them
  const QImage drawn = Render(board);
  EXPECT_TRUE(Near(drawn.pixel(175, 100), kRed));
  EXPECT_TRUE(IsClear(drawn.pixel(125, 100)));  // before the first move's point
  EXPECT_TRUE(IsClear(drawn.pixel(175, 106)));
}

TEST(BrushBoardTest, ARedoneShapeIsDrawnAboveShapesDrawnAfterTheUndo) {
  BrushBoard board;
  board.tool = kToolLine;
  board.size = 4;
  Drag(board, {{20, 50}, {200, 50}});  // red
  ASSERT_TRUE(board.Undo());
  board.colour = kGreenRef;
  Drag(board, {{20, 50}, {200, 50}});  // green, same place
  EXPECT_TRUE(Near(Render(board).pixel(100, 50), kGreen));
  ASSERT_TRUE(board.Redo());  // the red one returns on top
  ASSERT_EQ(board.shapeList().size(), 2u);
  EXPECT_EQ(board.shapeList()[1].colour, kInitialColour);
  EXPECT_TRUE(Near(Render(board).pixel(100, 50), kRed));
}

TEST(BrushBoardTest, ArrowHeadsLandOnTheirPixels) {
  const ArrowHead right = ArrowHeadOf(100, 100, 200, 100);
  EXPECT_EQ(right.tip, (BrushPoint{200, 100}));
  EXPECT_EQ(right.first, (BrushPoint{185, 93}));
  EXPECT_EQ(right.second, (BrushPoint{185, 107}));
  const ArrowHead down = ArrowHeadOf(100, 100, 100, 200);
  EXPECT_EQ(down.tip, (BrushPoint{100, 200}));
  EXPECT_EQ(down.first, (BrushPoint{108, 185}));
  EXPECT_EQ(down.second, (BrushPoint{93, 184}));

  BrushBoard board;
  board.tool = kToolArrow;
  Drag(board, {{100, 100}, {200, 100}});
  const QImage image = Render(board);
  // The head is filled: off the 2-pixel shaft, inside the triangle.
  EXPECT_TRUE(Near(image.pixel(190, 97), kRed)) << std::hex << image.pixel(190, 97);
  EXPECT_TRUE(Near(image.pixel(190, 102), kRed));
  EXPECT_TRUE(Near(image.pixel(150, 100), kRed));
  EXPECT_TRUE(IsClear(image.pixel(150, 96)));  // beside the shaft
  EXPECT_TRUE(IsClear(image.pixel(195, 92)));  // outside the head
  EXPECT_TRUE(IsClear(image.pixel(203, 100)));  // beyond the tip
}

TEST(BrushBoardTest, NumbersCountOnAfterAnUndo) {
  BrushBoard board;
  board.tool = kToolSeq;
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(board.Press(50 + 40 * i, 50), BrushBoard::PressResult::kNumbered);
    board.Release();
  }
  ASSERT_EQ(board.shapeList().size(), 3u);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(board.shapeList()[i].number, i + 1);
  board.Undo();
  board.Press(170, 50);
  board.Release();
  ASSERT_EQ(board.shapeList().size(), 3u);
  EXPECT_EQ(board.shapeList().back().number, 4);

  const QImage image = Render(board);
  // A red disc of diameter 20 around each centre, white digits inside it.
  for (int centre : {50, 90, 170}) {
    SCOPED_TRACE(centre);
    EXPECT_TRUE(Near(image.pixel(centre - 8, 50), kRed, 30));
    EXPECT_TRUE(IsClear(image.pixel(centre - 12, 50)));
    int white = 0;
    for (int y = 44; y <= 56; ++y) {
      for (int x = centre - 6; x <= centre + 6; ++x) white += qRed(image.pixel(x, y)) > 200 && qGreen(image.pixel(x, y)) > 200;
    }
    EXPECT_GT(white, 4);
  }
  EXPECT_TRUE(IsClear(image.pixel(130, 50)));  // the undone third marker is gone
}

TEST(BrushBoardTest, TheEraserHidesEarlierStrokesInItsRectangleOnlyUntilUndone) {
  BrushBoard board;
  board.tool = kToolLine;
  board.size = 4;
  Drag(board, {{20, 100}, {380, 100}});
  board.tool = kToolEraser;
  board.Press(150, 50);
  board.Move(250, 150);
  // While held: a translucent dark preview over the stroke.
  const QImage held = Render(board);
  EXPECT_GT(qAlpha(held.pixel(200, 60)), 40);
  EXPECT_LT(qAlpha(held.pixel(200, 60)), 60);
  EXPECT_TRUE(Near(held.pixel(200, 100), 0xFFFF0000, 60));
  board.Release();
  ASSERT_TRUE(board.shapeList().back().finished);
  const QImage erased = Render(board);
  EXPECT_EQ(erased.pixel(200, 100), qPremultiply(kEraserFillArgb));
  EXPECT_EQ(erased.pixel(200, 60), qPremultiply(kEraserFillArgb));
  EXPECT_TRUE(Near(erased.pixel(100, 100), kRed));  // outside the rectangle
  EXPECT_TRUE(Near(erased.pixel(300, 100), kRed));

  board.tool = kToolLine;
  board.colour = kGreenRef;
  Drag(board, {{200, 20}, {200, 200}});  // drawn after the eraser: stays
  EXPECT_TRUE(Near(Render(board).pixel(200, 80), kGreen));

  board.Undo();  // the green line
  board.Undo();  // the eraser
  EXPECT_TRUE(Near(Render(board).pixel(200, 100), kRed));
}

TEST(BrushBoardTest, ShapesDraggedUpAndLeftKeepNegativeSizesAndAreDrawn) {
  for (int tool : {kToolRectangle, kToolEllipse}) {
    SCOPED_TRACE(tool);
    BrushBoard board;
    board.tool = tool;
    board.size = 4;
    Drag(board, {{300, 250}, {250, 200}, {100, 50}});
    const BrushShape& shape = board.shapeList().at(0);
    EXPECT_EQ(shape.x2 - shape.x1, -200);
    EXPECT_EQ(shape.y2 - shape.y1, -200);
    const QImage image = Render(board);
    // The outline passes the middle of each side of the box (100,50)-(300,250).
    EXPECT_TRUE(Near(image.pixel(200, 50), kRed, 40)) << std::hex << image.pixel(200, 50);
    EXPECT_TRUE(Near(image.pixel(100, 150), kRed, 40));
    EXPECT_TRUE(Near(image.pixel(300, 150), kRed, 40));
    EXPECT_TRUE(IsClear(image.pixel(200, 150)));
  }
}

TEST(BrushBoardTest, TheMarkerIsTranslucentWideAndRound) {
  BrushBoard board;
  board.tool = kToolMarker;
  Drag(board, {{100, 100}, {150, 100}, {200, 100}});
  const QImage image = Render(board);
  EXPECT_NEAR(qAlpha(image.pixel(175, 100)), kMarkerAlpha, 2);
  EXPECT_NEAR(qAlpha(image.pixel(175, 106)), kMarkerAlpha, 2);  // 16 wide
  EXPECT_TRUE(IsClear(image.pixel(175, 110)));
  EXPECT_NEAR(qAlpha(image.pixel(205, 100)), kMarkerAlpha, 2);  // the round cap
  EXPECT_TRUE(IsClear(image.pixel(205, 107)));
}

TEST(BrushBoardTest, TextIsDrawnFromItsOrigin) {
  BrushBoard board;
  board.colour = kGreenRef;
  board.AddText(50, 60, "文字\nText");
  const QImage image = Render(board);
  int left = 400, top = 300, bottom = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (qAlpha(image.pixel(x, y)) > 128) {
        left = std::min(left, x);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
      }
    }
  }
  EXPECT_GE(left, 50);
  EXPECT_LE(left, 54);
  EXPECT_GE(top, 60);
  EXPECT_LE(top, 66);
  EXPECT_GT(bottom - top, 30);  // two lines of a 20-pixel font
}

// The picture kept between moves equals a full redraw after every step.
TEST(BrushPictureTest, DrawingKeptBetweenMovesEqualsAFullRedraw) {
  const QSize size(320, 240);
  BrushPicture picture(size);
  BrushBoard board;
  QImage full = NewCanvasImage(size);
  QRandomGenerator random(7);
  auto check = [&](const char* what) {
    picture.Update(board.shapeList());
    RenderAll(full, board.shapeList());
    ASSERT_EQ(picture.image(), full) << what << " after " << board.shapeList().size() << " shapes";
  };
  for (int round = 0; round < 40; ++round) {
    board.tool = static_cast<int>(random.bounded(kToolCount));
    board.size = 1 + static_cast<int>(random.bounded(4));
    board.colour = kBrushColours[random.bounded(kBrushColourCount)];
    const int x = static_cast<int>(random.bounded(320));
    const int y = static_cast<int>(random.bounded(240));
    if (board.tool == kToolText) {
      board.AddText(x, y, "ab\ncd");
      check("text");
      continue;
    }
    board.Press(x, y);
    check("press");
    const int steps = board.tool == kToolPen || board.tool == kToolMarker ? 12 : 4;
    for (int step = 0; step < steps; ++step) {
      board.Move(static_cast<int>(random.bounded(320)), static_cast<int>(random.bounded(240)));
      check("move");
    }
    board.Release();
    check("release");
    if (round % 7 == 3) {
      board.Undo();
      check("undo");
    }
    if (round % 11 == 5) {
      board.Redo();
      check("redo");
    }
  }
}

TEST(ShapeMaskTest, OnlyDrawnPixelsShowAndChangesComeAsRuns) {
  const QSize size(64, 32);
  QImage image = NewCanvasImage(size);
  ShapeMask mask(size.width(), size.height());
  std::vector<MaskRect> shown, hidden;
  auto update = [&] {
    shown.clear();
    hidden.clear();
    mask.Update(reinterpret_cast<const std::uint32_t*>(image.constBits()),
                static_cast<int>(image.bytesPerLine()), {0, 0, 64, 32}, shown, hidden);
  };
  update();
  EXPECT_TRUE(shown.empty());
  EXPECT_TRUE(hidden.empty());

  image.fill(QColor::fromRgba(kCanvasClearArgb));
  for (int x = 10; x < 20; ++x) image.setPixel(x, 5, 0xFFFF0000);
  image.setPixel(30, 5, qPremultiply(ArgbOf(0x0000FF, kMarkerAlpha)));
  image.setPixel(40, 5, qPremultiply(kEraserPreviewArgb));  // too faint to show
  update();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].x, 10);
  EXPECT_EQ(shown[0].width, 10);
  EXPECT_EQ(shown[1].x, 30);
  EXPECT_TRUE(mask.IsShown(15, 5));
  EXPECT_FALSE(mask.IsShown(40, 5));

  // Erasing the middle hides one run; an update with no change reports nothing.
  for (int x = 12; x < 15; ++x) image.setPixel(x, 5, qPremultiply(kEraserFillArgb));
  update();
  EXPECT_TRUE(shown.empty());
  ASSERT_EQ(hidden.size(), 1u);
  EXPECT_EQ(hidden[0].x, 12);
  EXPECT_EQ(hidden[0].width, 3);
  update();
  EXPECT_TRUE(shown.empty() && hidden.empty());
}

TEST(TextWindowGrowthTest, TheWindowGrowsToTheWidestLineAndTheLines) {
  TextWindowGrowth growth;
  const QSize start(TextWindowGrowth::kInitialWidth, TextWindowGrowth::kInitialHeight);
  EXPECT_EQ(growth.Grow(start, "ab"), start);  // fits: unchanged
  const QString longLine = "一段比较长的文字 with words";
  const QSizeF longSize = MeasureText(longLine);
  ASSERT_GT(longSize.width(), 94);
  const QSize wide = growth.Grow(start, longLine);
  EXPECT_EQ(wide, QSize(static_cast<int>(std::ceil(longSize.width())) + 6, start.height()));
  const int lineHeight = growth.lineHeight();
  EXPECT_GE(lineHeight, 18);

  const QString threeLines = "short\r" + longLine + "\rx";
  const QSize tall = growth.Grow(wide, threeLines);
  EXPECT_EQ(tall.width(), static_cast<int>(std::ceil(MeasureText(threeLines).width())) + 6);
  EXPECT_EQ(tall.height(), 3 * lineHeight + 6);
}

}  // namespace
}  // namespace tarn::ui
