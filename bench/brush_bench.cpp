// The screen brush's pointer latency: with 300 shapes on a full-screen
// canvas, how long one pointer move takes from the event to the X server
// having the new picture, and how long a full redraw of the list takes.
//
// Run on an X display (the shapes are drawn on the real canvas):
//   DISPLAY=:85 build/bin/brush_bench [moves]
// Start a compositor first (xcompmgr &) to measure the translucent canvas.

#include <xcb/xcb.h>

#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "ui/brush/brush_picture.h"
#include "ui/brush/screen_mask.h"

namespace {

using Clock = std::chrono::steady_clock;

void RunEvents(int ms) {
  const auto end = Clock::now() + std::chrono::milliseconds(ms);
  while (Clock::now() < end) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

// A round trip: the server has handled every request sent before it.
void Sync() {
  auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
  xcb_connection_t* c = x11->connection();
  std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

void Drag(tarn::ui::CScreenMask& canvas, std::mt19937& random, int points) {
  std::uniform_int_distribution<int> x(0, 1919), y(0, 1079), step(-40, 40);
  int a = x(random), b = y(random);
  canvas.PointerPressed(a, b);
  for (int i = 0; i < points; ++i) {
    a = std::clamp(a + step(random), 0, 1919);
    b = std::clamp(b + step(random), 0, 1079);
    canvas.PointerMoved(a, b);
  }
  canvas.PointerReleased();
}

void FillCanvas(tarn::ui::CScreenMask& canvas, int shapes) {
  using namespace tarn::ui;
  std::mt19937 random(42);
  std::uniform_int_distribution<int> x(0, 1919), y(0, 1079);
  const int tools[] = {kToolPen, kToolPen, kToolPen, kToolMarker, kToolRectangle, kToolEllipse,
                       kToolLine, kToolArrow, kToolSeq, kToolPen};
  for (int i = 0; i < shapes; ++i) {
    const int tool = i == shapes / 2 ? kToolEraser : tools[i % 10];
    canvas.SetTool(tool);
    canvas.SetColour(kBrushColours[i % kBrushColourCount]);
    canvas.SetSize(1 + i % 4);
    if (tool == kToolSeq) {
      canvas.PointerPressed(x(random), y(random));
      canvas.PointerReleased();
    } else {
      Drag(canvas, random, tool == kToolPen || tool == kToolMarker ? 60 : 3);
    }
  }
  canvas.SetTool(kToolPen);
}

struct Stats {
  double median, p95, max;
};

Stats Summarise(std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  return {ms[ms.size() / 2], ms[ms.size() * 95 / 100], ms.back()};
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const int moves = argc > 1 ? std::max(10, std::atoi(argv[1])) : 300;
  tarn::ui::WindowImplBase::SetResourcePath(TARN_SOURCE_SKIN_DIR);
  auto* canvas = new tarn::ui::CScreenMask();
  canvas->Open();
  RunEvents(300);
  FillCanvas(*canvas, 300);
  // The X server catches up with the 300 shapes' pictures and shape changes
  // before the timing starts.
  Sync();
  RunEvents(500);
  Sync();
  std::printf("canvas %dx%d, %zu shapes, %s\n", canvas->picture().width(), canvas->picture().height(),
              canvas->board().shapeList().size(),
              canvas->compositing() ? "compositor: translucent window" : "no compositor: shaped window");

  // One more stroke, move by move: event handling, picture, shape and the
  // window's pixels pushed, then a round trip to the server.
  std::vector<double> moveMs;
  std::mt19937 random(7);
  std::uniform_int_distribution<int> step(-30, 30);
  int a = 960, b = 540;
  canvas->PointerPressed(a, b);
  for (int i = 0; i < moves; ++i) {
    a = std::clamp(a + step(random), 0, 1919);
    b = std::clamp(b + step(random), 0, 1079);
    const auto start = Clock::now();
    canvas->PointerMoved(a, b);
    QCoreApplication::processEvents();  // the exposures the shape change caused
    Sync();
    moveMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    if (moveMs.back() > 50) std::printf("move %d took %.1f ms\n", i, moveMs.back());
  }
  canvas->PointerReleased();

  // The whole list drawn afresh, as on every move without the kept picture.
  std::vector<double> fullMs;
  QImage image = tarn::ui::NewCanvasImage(canvas->picture().size());
  for (int i = 0; i < 20; ++i) {
    const auto start = Clock::now();
    tarn::ui::RenderAll(image, canvas->board().shapeList());
    fullMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  const Stats move = Summarise(moveMs);
  const Stats full = Summarise(fullMs);
  std::printf("pointer move, shown: median %.2f ms, p95 %.2f ms, max %.2f ms (%d moves)\n", move.median,
              move.p95, move.max, moves);
  std::printf("full redraw of the list alone: median %.2f ms, p95 %.2f ms, max %.2f ms\n", full.median,
              full.p95, full.max);
  canvas->CloseBrush();
  RunEvents(100);
  return 0;
}
