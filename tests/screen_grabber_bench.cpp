// Times ScreenGrabber::Capture of the whole screen and QueryCursor on the
// display named by $DISPLAY. Not a test: run it by hand, e.g.
//   DISPLAY=:91 build/tests/capture_bench 300
//   DISPLAY=:91 TARN_X11_NO_SHM=1 build/tests/capture_bench 300

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/screen_capture.h"

namespace {

double ElapsedUs(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - since)
      .count();
}

void Report(const char* what, std::vector<double>& timesUs) {
  std::sort(timesUs.begin(), timesUs.end());
  std::printf("%s: median %.0f us, 90th percentile %.0f us, fastest %.0f us\n", what,
              timesUs[timesUs.size() / 2], timesUs[timesUs.size() * 9 / 10], timesUs.front());
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 300;
  auto grabber = tarn::platform::OpenScreenGrabber();
  if (!grabber) return 1;
  const int width = grabber->screenWidth();
  const int height = grabber->screenHeight();
  if (!grabber->Init(width, height)) return 1;
  // The first captures warm up the server's and the kernel's caches.
  for (int i = 0; i < 10; ++i) {
    if (!grabber->Capture(0, 0)) return 1;
  }
  std::vector<double> captureUs;
  std::vector<double> cursorUs;
  tarn::platform::CursorImage cursor;
  for (int i = 0; i < rounds; ++i) {
    auto start = std::chrono::steady_clock::now();
    if (!grabber->Capture(0, 0)) return 1;
    captureUs.push_back(ElapsedUs(start));
    start = std::chrono::steady_clock::now();
    grabber->QueryCursor(cursor);
    cursorUs.push_back(ElapsedUs(start));
  }
  std::printf("%dx%d, %d rounds\n", width, height, rounds);
  Report("Capture", captureUs);
  Report("QueryCursor", cursorUs);
  return 0;
}
