// The progress reader over a synthetic transcoder output of 100,000 lines
// fed in chunks of random sizes (1 to 4095 bytes): every "time=" marker must
// be read, the duration and the completion found, within 1 s.
// Run: cmake --build build --target progress_reader_bench && build/bin/progress_reader_bench

#include <chrono>
#include <cstdio>
#include <random>
#include <string>

#include "ui/tools/progress_reader.h"

namespace {

constexpr int kLines = 100000;
constexpr double kLimitSeconds = 1.0;

std::string TimeText(long long centis) {
  char text[32];
  std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld.%02lld", centis / 360000,
                centis / 6000 % 60, centis / 100 % 60, centis % 100);
  return text;
}

}  // namespace

int main() {
  // A header, progress lines ended by carriage returns (as the transcoder
  // writes them to a pipe), some ordinary lines between, and the summary.
  const long long durationCentis = kLines * 4LL + 100;
  std::string output =
      "ffmpeg version 5.1 Copyright (c) 2000-2022 the FFmpeg developers\n"
      "Input #0, mov,mp4,m4a,3gp,3g2,mj2, from 'in.mp4':\n"
      "  Duration: " + TimeText(durationCentis) + ", start: 0.000000, bitrate: 1000 kb/s\n";
  int progressLines = 0;
  for (int line = 3; line < kLines - 1; ++line) {
    if (line % 100 == 0) {
      output += "[libx264 @ 0x55d0c0] frame I:1 Avg QP:20.00 size: 1234\n";
      continue;
    }
    ++progressLines;
    output += "frame=" + std::to_string(line) + " fps=250 q=28.0 size=    1024kB time=" +
              TimeText(line * 4LL) + " bitrate= 800.0kbits/s speed=8.33x    \r";
  }
  output += "video:1000kB audio:100kB subtitle:0kB other streams:0kB global headers:0kB "
            "muxing overhead: 0.5%\n";

  std::mt19937 random(20261208);
  std::uniform_int_distribution<std::size_t> chunkSize(1, 4095);
  tarn::ui::tools::ProgressReader reader;
  const auto started = std::chrono::steady_clock::now();
  for (std::size_t at = 0; at < output.size();) {
    const std::size_t size = std::min(chunkSize(random), output.size() - at);
    reader.Feed(std::string_view(output).substr(at, size));
    at += size;
  }
  reader.Finish();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

  const bool allRead = reader.positionMarkers() == static_cast<std::size_t>(progressLines);
  const bool durationRead = reader.durationMs() >= 0;
  std::printf("%d lines, %zu bytes: %zu of %d time markers, duration %s, completion %s, %.3f s\n",
              kLines, output.size(), reader.positionMarkers(), progressLines,
              durationRead ? "read" : "MISSED", reader.completed() ? "read" : "MISSED", seconds);
  const bool ok = allRead && durationRead && reader.completed() && seconds < kLimitSeconds;
  std::printf("%s\n", ok ? "PASS" : "FAIL");
  return ok ? 0 : 1;
}
