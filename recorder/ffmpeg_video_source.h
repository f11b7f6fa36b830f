#pragma once
// Pictures from any FFmpeg input: "lavfi" test patterns (testsrc2) for tests
// and tools, or a camera through "video4linux2". The input's packets go to
// the sink as they are, stamped on the monotonic clock; the input keeps
// being read while the recording is paused, and the time line leaves those
// pictures out. Inputs whose stamps count from zero are delivered at the
// pace of their stamps. Stop breaks off a read that waits for the device.

#include <atomic>
#include <string>
#include <thread>

#include "recorder/audio/sound_input.h"
#include "recorder/media_source.h"

namespace tarn {

class FfmpegVideoSource final : public VideoSource {
 public:
  // `format` and `url` as avformat_open_input takes them; `options` in
  // "key=value:key=value" form (may be empty).
  FfmpegVideoSource(std::string format, std::string url, std::string options = {});
  ~FfmpegVideoSource() override;

  int Open(std::string& error) override;
  const AVCodecParameters& codecParameters() const override { return *input_->streams[stream_]->codecpar; }
  void Start(VideoSink& sink) override;
  void Stop() override;
  std::int64_t picturesTaken() const override { return taken_.load(); }
  // The input's own frame rate (0 when it does not say).
  int nativeFrameRate() const override;

 private:
  void Run(VideoSink& sink);
  // Sleeps until the monotonic moment `monoUs`; false when stopped first.
  bool WaitUntil(std::int64_t monoUs);

  const std::string format_;
  const std::string url_;
  const std::string options_;
  av::InputContextPtr input_;
  int stream_ = -1;
  InputClock clock_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<std::int64_t> taken_{0};
};

}  // namespace tarn
