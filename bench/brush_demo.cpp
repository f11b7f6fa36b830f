// Opens the screen brush and draws with every tool, for the README's
// screenshots: DISPLAY=:N build/bin/brush_demo [seconds]; take the picture
// with `import -window root` while it waits. With "--palette" it only opens
// the brush.

#include <QApplication>
#include <QTextEdit>
#include <QTimer>
#include <cstdlib>
#include <cstring>

#include "ui/brush/screen_mask.h"

namespace {

using namespace tarn::ui;

void Stroke(CScreenMask& canvas, int tool, ColorRef colour, int size,
            std::initializer_list<QPoint> points) {
  canvas.SetTool(tool);
  canvas.SetColour(colour);
  canvas.SetSize(size);
  auto it = points.begin();
  canvas.PointerPressed(it->x(), it->y());
  for (++it; it != points.end(); ++it) canvas.PointerMoved(it->x(), it->y());
  canvas.PointerReleased();
}

void DrawEveryTool(CScreenMask& canvas) {
  std::initializer_list<QPoint> wave = {{300, 200}, {340, 170}, {380, 160}, {420, 180}, {460, 220},
                                        {500, 240}, {540, 230}, {580, 200}, {620, 170}};
  Stroke(canvas, kToolPen, kBrushColours[2], 3, wave);
  Stroke(canvas, kToolMarker, kBrushColours[3], 2,
         {{300, 300}, {400, 300}, {500, 305}, {640, 300}});
  Stroke(canvas, kToolRectangle, kBrushColours[5], 3, {{700, 150}, {800, 250}, {960, 330}});
  Stroke(canvas, kToolEllipse, kBrushColours[4], 3, {{1050, 150}, {1150, 250}, {1300, 330}});
  Stroke(canvas, kToolLine, kBrushColours[6], 4, {{300, 420}, {500, 500}, {640, 560}});
  Stroke(canvas, kToolArrow, kBrushColours[10], 3, {{700, 560}, {800, 500}, {950, 430}});
  Stroke(canvas, kToolPen, kBrushColours[1], 4, {{1050, 420}, {1150, 480}, {1250, 520}, {1320, 600}});
  Stroke(canvas, kToolEraser, kBrushColours[0], 2, {{1100, 440}, {1200, 520}, {1230, 560}});
  for (int i = 0; i < 3; ++i) {
    canvas.SetTool(kToolSeq);
    canvas.SetColour(kBrushColours[2]);
    canvas.PointerPressed(330 + 60 * i, 650);
    canvas.PointerReleased();
  }
  canvas.SetTool(kToolText);
  canvas.SetColour(kBrushColours[11]);
  canvas.PointerPressed(700, 640);
  canvas.PointerReleased();
  if (canvas.textWindow() != nullptr) {
    canvas.textWindow()->textControl()->setPlainText(QString::fromUtf8("屏幕画笔 文字\nScreen brush text"));
    canvas.PointerPressed(1300, 900);  // commits
    canvas.PointerReleased();
  }
  canvas.SetTool(kToolPen);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  bool paletteOnly = false;
  int seconds = 20;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--palette") == 0) {
      paletteOnly = true;
    } else {
      seconds = std::atoi(argv[i]);
    }
  }
  WindowImplBase::SetResourcePath(TARN_SOURCE_SKIN_DIR);
  WindowImplBase::LoadSharedResources();
  auto* canvas = new CScreenMask();
  canvas->Open();
  if (!paletteOnly) QTimer::singleShot(300, [canvas] { DrawEveryTool(*canvas); });
  QTimer::singleShot(seconds * 1000, &app, &QApplication::quit);
  return app.exec();
}
