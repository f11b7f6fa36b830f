// tarn-record: records the screen (or a camera) without the main window,
// with the same engine and the same settings store.

#include <glog/logging.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/app_data_dir.h"
#include "platform/screen_capture.h"
#include "recorder/containers.h"
#include "recorder/output/output_file.h"
#include "recorder/recorder.h"
#include "recorder/recording_options.h"
#include "settings/settings_keys.h"
#include "settings/settings_store.h"

namespace {

constexpr const char* kUsage = R"(Usage: tarn-record [OPTION]...
Records the screen into one file, as the main window's start button does, and
prints the finished file's path as the last line of standard output.

  --seconds N          wall-clock time from the start to the stop, pauses
                       included (default 10)
  --fps N              frames per second, 1 to 120 (default: the
                       "video-framerate" setting, else 24)
  --quality 0|1|2      0 high, 1 middle, 2 low (default: the "quality" setting,
                       else 1)
  --format F           mp4, flv, wmv, avi, mov or mkv (default: the
                       "video-format" setting, else mp4)
  --output-dir DIR     where the file goes (default: the output folder of the
                       settings, else "TARN屏幕录制" in Documents)
  --pause-at S         pause S seconds after the start; pair it with
  --resume-at S        resume S seconds after the start (both may repeat)
  --camera FORMAT:URL  record this FFmpeg video input as the first camera
                       instead of the screen, at its own size and rate (e.g.
                       v4l2:/dev/video0, lavfi:testsrc2=size=640x480:rate=30);
                       options may follow the URL after "|" as key=value:...
                       (e.g. rawvideo:/tmp/pipe|video_size=320x240:framerate=30)
  --set SECTION.KEY=VALUE
                       use VALUE for a setting in this run only; the settings
                       file is not changed (e.g. --set mouse-effect.mouse-check=0)
  --verbose            log progress to standard error
  --help               show this text

Exit status: 0 when the file is complete; 1 when the recording could not start,
could not be finished, or ended by itself before its time (a full disk, a lost
display; the reason goes to standard error, and a file that holds what was
recorded is still printed); 2 for a bad command line. SIGINT or SIGTERM stops
the recording early and finishes the file.
)";

std::atomic<bool> gInterrupted{false};

void OnSignal(int) { gInterrupted = true; }

struct Options {
  double seconds = 10;
  std::optional<int> fps;
  std::optional<int> quality;
  std::optional<std::string> format;
  std::optional<std::string> outputDir;
  std::vector<double> pauseAt;
  std::vector<double> resumeAt;
  std::vector<std::pair<std::string, std::string>> overrides;  // "section.key", value
  std::optional<tarn::CaptureDeviceEntry> camera;
  bool verbose = false;
};

// FORMAT:URL[|OPTIONS] as a camera entry; "v4l2" stands for "video4linux2".
std::optional<tarn::CaptureDeviceEntry> ParseCamera(const std::string& text) {
  const std::size_t colon = text.find(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 == text.size()) return std::nullopt;
  tarn::CaptureDeviceEntry camera;
  camera.inputFormat = text.substr(0, colon);
  if (camera.inputFormat == "v4l2") camera.inputFormat = "video4linux2";
  camera.url = text.substr(colon + 1);
  if (const std::size_t bar = camera.url.find('|'); bar != std::string::npos) {
    camera.inputOptions = camera.url.substr(bar + 1);
    camera.url.resize(bar);
  }
  camera.friendlyName = camera.url;
  camera.displayName = camera.url;
  return camera;
}

bool ParseNumber(const std::string& text, double& value) {
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return end != text.c_str() && *end == '\0' && value >= 0;
}

// Returns 0 to go on, or an exit status.
int ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return -1;
    }
    if (arg == "--verbose") {
      options.verbose = true;
      continue;
    }
    if (i + 1 >= argc) {
      std::cerr << "tarn-record: " << arg << " needs a value (see --help)\n";
      return 2;
    }
    const std::string value = argv[++i];
    double number = 0;
    auto needNumber = [&]() {
      if (ParseNumber(value, number)) return true;
      std::cerr << "tarn-record: " << arg << " takes a number, not \"" << value << "\"\n";
      return false;
    };
    if (arg == "--seconds") {
      if (!needNumber()) return 2;
      options.seconds = number;
    } else if (arg == "--fps") {
      if (!needNumber() || number < tarn::kMinFrameRate || number > tarn::kMaxFrameRate ||
          number != static_cast<int>(number)) {
        std::cerr << "tarn-record: --fps takes a whole number from " << tarn::kMinFrameRate
                  << " to " << tarn::kMaxFrameRate << "\n";
        return 2;
      }
      options.fps = static_cast<int>(number);
    } else if (arg == "--quality") {
      if (value != "0" && value != "1" && value != "2") {
        std::cerr << "tarn-record: --quality takes 0, 1 or 2\n";
        return 2;
      }
      options.quality = std::stoi(value);
    } else if (arg == "--format") {
      if (value != "mp4" && value != "flv" && value != "wmv" && value != "avi" &&
          value != "mov" && value != "mkv") {
        std::cerr << "tarn-record: --format takes mp4, flv, wmv, avi, mov or mkv\n";
        return 2;
      }
      options.format = value;
    } else if (arg == "--output-dir") {
      options.outputDir = value;
    } else if (arg == "--pause-at") {
      if (!needNumber()) return 2;
      options.pauseAt.push_back(number);
    } else if (arg == "--resume-at") {
      if (!needNumber()) return 2;
      options.resumeAt.push_back(number);
    } else if (arg == "--camera") {
      options.camera = ParseCamera(value);
      if (!options.camera) {
        std::cerr << "tarn-record: --camera takes FORMAT:URL, not \"" << value << "\"\n";
        return 2;
      }
    } else if (arg == "--set") {
      const std::size_t equals = value.find('=');
      const std::size_t dot = value.find('.');
      if (equals == std::string::npos || dot == std::string::npos || dot == 0 || dot + 1 >= equals) {
        std::cerr << "tarn-record: --set takes SECTION.KEY=VALUE, not \"" << value << "\"\n";
        return 2;
      }
      options.overrides.emplace_back(value.substr(0, equals), value.substr(equals + 1));
    } else {
      std::cerr << "tarn-record: unknown option " << arg << " (see --help)\n";
      return 2;
    }
  }
  if (options.pauseAt.size() != options.resumeAt.size()) {
    std::cerr << "tarn-record: every --pause-at needs a --resume-at\n";
    return 2;
  }
  for (std::size_t i = 0; i < options.pauseAt.size(); ++i) {
    if (options.resumeAt[i] < options.pauseAt[i]) {
      std::cerr << "tarn-record: --resume-at " << options.resumeAt[i] << " comes before its --pause-at "
                << options.pauseAt[i] << "\n";
      return 2;
    }
  }
  return 0;
}


class Listener : public tarn::RecorderListener {
 public:
  explicit Listener(bool verbose) : verbose_(verbose) {}
  void OnRecordSeconds(std::int64_t seconds) override {
    if (verbose_) std::fprintf(stderr, "tarn-record: %lld s\n", static_cast<long long>(seconds));
  }

 private:
  bool verbose_;
};

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (const int status = ParseOptions(argc, argv, options); status != 0) return status < 0 ? 0 : status;

  google::InitGoogleLogging("tarn-record");
  FLAGS_logtostderr = true;
  FLAGS_minloglevel = options.verbose ? google::GLOG_INFO : google::GLOG_WARNING;

  tarn::SettingsStore& store = tarn::SettingsStore::Instance();
  for (const auto& [name, value] : options.overrides) {
    const std::size_t dot = name.find('.');
    store.SetOverride(name.substr(0, dot), name.substr(dot + 1), value);
  }

  if (options.camera) {
    tarn::SetCaptureDevicesForTesting(tarn::CaptureCategory::kVideo,
                                      std::vector<tarn::CaptureDeviceEntry>{*options.camera});
    store.SetOverride(tarn::kVideoSource.section, tarn::kVideoSource.name, "1");
  }

  tarn::RecordingOverrides overrides;
  overrides.format = options.format;
  overrides.frameRate = options.fps;
  overrides.quality = options.quality;
  overrides.outputDir = options.outputDir;
  const tarn::RecordingOptions recording =
      tarn::MakeRecordingOptions(store, overrides, std::time(nullptr));
  // Recordings a crash left unfinished in this folder are finished first.
  for (const std::string& recovered : tarn::RecoverUnfinishedRecordings(recording.outputDir)) {
    std::cerr << "tarn-record: finished the interrupted recording " << recovered << "\n";
  }

  Listener listener(options.verbose);
  tarn::Recorder recorder(&listener, &store);
  const int started = recorder.Start(recording);
  if (started == 0 && recorder.frameRate() != recording.frameRate) {
    std::cerr << "tarn-record: recording at the camera's " << recorder.frameRate() << " fps\n";
  }
  if (started != 0) {
    std::cerr << "tarn-record: the recording could not start: " << recorder.startError() << " (code "
              << started << ")\n";
    return 1;
  }
  if (!recorder.startWarning().empty()) {
    std::cerr << "tarn-record: warning: " << recorder.startWarning() << "\n";
  }

  // Click rings need the mouse presses of the whole desktop.
  std::unique_ptr<tarn::platform::ClickMonitor> clicks;
  if (store.GetInt(tarn::kMouseEffectClickCheck, tarn::kMouseEffectClickCheckDefault) != 0) {
    clicks = tarn::platform::CreateClickMonitor();
    if (clicks && !clicks->Start([](int button) { tarn::MarkMouseClick(button); })) clicks.reset();
  }

  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  // A lost display or sound server, or a file grown past the size limit,
  // must end the recording with an error, not the process.
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);

  using Clock = std::chrono::steady_clock;
  const Clock::time_point begin = Clock::now();
  auto elapsed = [&begin] { return std::chrono::duration<double>(Clock::now() - begin).count(); };
  recorder.Resume();
  std::size_t nextPause = 0;
  bool paused = false;
  // Until the time is up, an interruption, or the recording ends by itself.
  while (!gInterrupted && elapsed() < options.seconds && recorder.state() != tarn::kStateStopped) {
    const double t = elapsed();
    if (!paused && nextPause < options.pauseAt.size() && t >= options.pauseAt[nextPause]) {
      recorder.Pause();
      paused = true;
    }
    if (paused && t >= options.resumeAt[nextPause]) {
      recorder.Resume();
      paused = false;
      ++nextPause;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  const Clock::time_point stopAt = Clock::now();
  recorder.Stop();
  recorder.WaitUntilFinished(-1);
  const auto finishMs =
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - stopAt).count();
  if (clicks) clicks->Stop();
  const tarn::RecordingResult result = recorder.lastResult();
  if (!result.ok) {
    std::cerr << "tarn-record: the recording failed: " << result.reason << "\n";
    return 1;
  }
  std::fprintf(stderr, "tarn-record: %lld pictures written, %lld lost\n",
               static_cast<long long>(recorder.videoFrameIndex()),
               static_cast<long long>(recorder.droppedFrames()));
  std::fprintf(stderr, "tarn-record: file complete %lld ms after the stop\n",
               static_cast<long long>(finishMs));
  std::fflush(stderr);
  std::printf("%s\n", result.path.c_str());
  std::fflush(stdout);
  if (!result.reason.empty()) {
    std::cerr << "tarn-record: the recording ended early: " << result.reason << "\n";
    return 1;
  }
  return 0;
}
