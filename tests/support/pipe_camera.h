#pragma once
// A camera the test feeds itself through a named pipe: 64x48 grey pictures
// at 30 a second in FFmpeg's raw video format, written on the monotonic
// clock from the moment the recorder opens the pipe. Each picture is white
// when `white(dueUs)` says so for the moment it was due, else dark grey.

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "recorder/audio/capture_devices.h"
#include "recorder/timeline.h"

namespace tarn::test {

class PipeCamera {
 public:
  PipeCamera(std::string path, std::function<bool(std::int64_t dueUs)> white)
      : path_(std::move(path)), white_(std::move(white)) {
    // Writing after the recorder closed the pipe must end the writer, not the test.
    std::signal(SIGPIPE, SIG_IGN);
    ::mkfifo(path_.c_str(), 0600);
    thread_ = std::thread([this] { Run(); });
  }
  ~PipeCamera() {
    stop_ = true;
    // A writer still waiting for its reader is released by opening the pipe.
    const int unblock = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK);
    thread_.join();
    if (unblock >= 0) ::close(unblock);
  }
  PipeCamera(const PipeCamera&) = delete;
  PipeCamera& operator=(const PipeCamera&) = delete;

  CaptureDeviceEntry entry() const {
    return CaptureDeviceEntry{"pipe camera", path_, "rawvideo", path_,
                              "video_size=64x48:pixel_format=gray:framerate=30"};
  }

 private:
  void Run() {
    pthread_setname_np(pthread_self(), "pipe-camera");
    const int fd = ::open(path_.c_str(), O_WRONLY);  // waits for the recorder to open it
    if (fd < 0) return;
    const std::int64_t startUs = MonotonicNowUs();
    std::vector<std::uint8_t> picture(64 * 48);
    for (std::int64_t n = 0; !stop_; ++n) {
      const std::int64_t dueUs = startUs + n * 1000000 / 30;
      std::this_thread::sleep_until(std::chrono::steady_clock::time_point(std::chrono::microseconds(dueUs)));
      std::fill(picture.begin(), picture.end(), white_(dueUs) ? 235 : 40);
      if (::write(fd, picture.data(), picture.size()) != static_cast<ssize_t>(picture.size())) break;
    }
    ::close(fd);
  }

  const std::string path_;
  const std::function<bool(std::int64_t)> white_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace tarn::test
