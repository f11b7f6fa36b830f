#pragma once
// The screen as a video source: copies the recorded rectangle of the screen
// once per frame interval, draws the cursor, its highlight and the click
// rings into the copy, and delivers it as a complete 32-bit BMP file in a
// packet stamped with the moment of the copy. The screen is copied straight
// into the packet's memory (one of a few frames the grabber shares with the
// X server), so a picture is never copied again on its way to the encoder.

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "recorder/media_source.h"

namespace tarn {

namespace platform {
class ScreenGrabber;
struct CursorImage;
}  // namespace platform

class ScreenSource final : public VideoSource {
 public:
  explicit ScreenSource(const ScreenSourceOptions& options);
  ~ScreenSource() override;

  int Open(std::string& error) override;
  const AVCodecParameters& codecParameters() const override { return *parameters_; }
  void Start(VideoSink& sink) override;
  void Stop() override;
  std::int64_t picturesTaken() const override { return taken_.load(); }

  // Where the rectangle lies on the screen (after Open).
  int regionX() const { return regionX_; }
  int regionY() const { return regionY_; }

 private:
  void Run(VideoSink& sink);
  void CaptureLoop(VideoSink& sink);
  void DrawOverlays(std::uint8_t* pixels, int stride, const platform::CursorImage& cursor,
                    int pictureX, int pictureY, std::vector<ClickRing>& rings);

  ScreenSourceOptions options_;
  // The grabber and which of its frames packets still hold; shared with the
  // packets, so it lives until the last of them is freed.
  struct FrameRing;
  std::shared_ptr<FrameRing> ring_;
  struct ParametersDeleter {
    void operator()(AVCodecParameters* p) const { avcodec_parameters_free(&p); }
  };
  std::unique_ptr<AVCodecParameters, ParametersDeleter> parameters_;
  int screenWidth_ = 0;
  int screenHeight_ = 0;
  int regionX_ = 0;
  int regionY_ = 0;
  int width_ = 0;
  int height_ = 0;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<std::int64_t> taken_{0};
};


}  // namespace tarn
