// Plays one file in the player inside a 1280x720 window and prints what it
// cost: CPU seconds, pictures shown, and pictures shown more than 40 ms
// behind the master clock after the first second.
//
// Usage: player_bench FILE   (needs DISPLAY; SDL_AUDIODRIVER picks the sound)

#include <sys/resource.h>

#include <QApplication>
#include <QWidget>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <mutex>

#include "preview/video_player.h"
#include "ui/main/video_area.h"

namespace {

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
    return 2;
  }
  QApplication app(argc, argv);
  QWidget window;
  window.resize(1280, 720);
  auto* area = new tarn::ui::CVideoArea(&window);
  area->MoveArea(0, 0, 1280, 720);
  window.show();

  tarn::preview::VideoPlayer player(area);
  area->SetExposeHandler([&player] { player.Repaint(); });
  std::atomic<int> shown{0};
  std::atomic<int> late{0};
  std::atomic<double> worstLateMs{0};
  player.SetFrameObserver([&](const AVFrame*, double seconds) {
    ++shown;
    const double master = player.masterClock();
    if (seconds < 1.0 || std::isnan(master)) return;
    const double lateMs = (master - seconds) * 1000;
    if (lateMs > worstLateMs) worstLateMs = lateMs;
    if (lateMs > 40) ++late;
  });
  player.SetFinishCallback(
      [&app](void*) { QMetaObject::invokeMethod(&app, [] { QApplication::quit(); }, Qt::QueuedConnection); },
      nullptr);
  player.EnableFinishCallback(true);
  const double cpuBefore = CpuSeconds();
  std::string why;
  if (!player.Start(argv[1], why)) {
    std::fprintf(stderr, "cannot play %s: %s\n", argv[1], why.c_str());
    return 1;
  }
  app.exec();
  player.Stop();
  std::printf("player: cpu_s=%.2f shown=%d late_over_40ms=%d worst_late_ms=%.1f\n",
              CpuSeconds() - cpuBefore, shown.load(), late.load(), worstLateMs.load());
  return 0;
}
