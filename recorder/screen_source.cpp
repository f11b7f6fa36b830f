#include "recorder/screen_source.h"

#include <glog/logging.h>
#include <pthread.h>

#include <cstdio>
#include <cstring>
#include <exception>

#include "platform/screen_capture.h"
#include "recorder/bmp_packet.h"
#include "recorder/frame_pacer.h"
#include "recorder/recorder.h"
#include "recorder/screen_geometry.h"
#include "recorder/timeline.h"

namespace tarn {
namespace {

// Presses seen since the last picture; a second press within one frame
// interval gives one ring.
std::atomic<bool> leftClickPending{false};
std::atomic<bool> rightClickPending{false};

}  // namespace

void MarkMouseClick(int button) {
  if (button == 0) {
    leftClickPending = true;
  } else if (button == 1) {
    rightClickPending = true;
  }
}

ScreenSource::ScreenSource(const ScreenSourceOptions& options)
    : options_(options), parameters_(avcodec_parameters_alloc()) {}

ScreenSource::~ScreenSource() { Stop(); }

int ScreenSource::Open(std::string& error) {
  grabber_ = platform::OpenScreenGrabber();
  if (!grabber_) {
    error = "cannot open the X display (is DISPLAY set?)";
    return -1;
  }
  screenWidth_ = grabber_->screenWidth();
  screenHeight_ = grabber_->screenHeight();
  CaptureRect wanted{0, 0, screenWidth_, screenHeight_};
  if (options_.regionMode) {
    wanted = {options_.regionX, options_.regionY, options_.width, options_.height};
    std::printf("regionOffsetX: %d\nregionOffsetY: %d\nvideoWidth: %d\nvideoHeight: %d\n",
                wanted.x, wanted.y, wanted.width, wanted.height);
  }
  if (options_.followMouse) wanted = {0, 0, options_.width, options_.height};
  // The rectangle stays on the screen and its size is even, as 4:2:0 needs.
  const CaptureRect fitted = FitToScreen(wanted, screenWidth_, screenHeight_);
  if (fitted.width != wanted.width || fitted.height != wanted.height ||
      (!options_.followMouse && (fitted.x != wanted.x || fitted.y != wanted.y))) {
    LOG(WARNING) << "recorded rectangle " << wanted.x << "," << wanted.y << " " << wanted.width
                 << "x" << wanted.height << " adjusted to " << fitted.x << "," << fitted.y << " "
                 << fitted.width << "x" << fitted.height << " on a " << screenWidth_ << "x"
                 << screenHeight_ << " screen";
  }
  if (fitted.width < 2 || fitted.height < 2) {
    error = "the recorded rectangle lies off the screen";
    return -1;
  }
  regionX_ = options_.followMouse ? 0 : fitted.x;
  regionY_ = options_.followMouse ? 0 : fitted.y;
  width_ = fitted.width;
  height_ = fitted.height;
  if (!grabber_->Init(width_, height_)) {
    error = grabber_->lastError();
    if (error.empty()) error = "the screen cannot be captured";
    return -1;
  }
  parameters_->codec_type = AVMEDIA_TYPE_VIDEO;
  parameters_->codec_id = AV_CODEC_ID_BMP;
  parameters_->format = AV_PIX_FMT_BGRA;
  parameters_->width = width_;
  parameters_->height = height_;
  return 0;
}

void ScreenSource::Start(VideoSink& sink) {
  stop_ = false;
  thread_ = std::thread(&ScreenSource::Run, this, std::ref(sink));
}

void ScreenSource::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

void ScreenSource::Run(VideoSink& sink) {
  pthread_setname_np(pthread_self(), "video-read");
  try {
    CaptureLoop(sink);
  } catch (const std::exception& e) {
    LOG(ERROR) << "screen capture failed: " << e.what();
    sink.OnSourceEnded(std::string("screen capture failed: ") + e.what());
  } catch (...) {
    LOG(ERROR) << "screen capture failed";
    sink.OnSourceEnded("screen capture failed");
  }
  std::printf("video read thread exit\n");
}

void ScreenSource::CaptureLoop(VideoSink& sink) {
  SteadyTimeSource time;
  FramePacer pacer(options_.frameRate, time);
  std::vector<ClickRing> rings;
  platform::CursorImage cursor;
  const std::size_t packetSize = BmpFileSize(width_, height_);
  // Packet memory is reused from a pool instead of being mapped afresh for
  // every picture.
  const av::BufferPoolPtr packetPool(
      av_buffer_pool_init(packetSize + AV_INPUT_BUFFER_PADDING_SIZE, nullptr));
  bool first = true;
  while (!stop_) {
    bool resumed = false;
    if (!sink.WaitUntilRunning(&resumed)) break;
    if (resumed || first) pacer.Restart();
    first = false;
    if (!pacer.WaitForNext()) continue;  // not due yet: look at the flags again
    if (stop_) break;

    const bool haveCursor = grabber_->QueryCursor(cursor);
    int sourceX = regionX_;
    int sourceY = regionY_;
    int pictureX = cursor.x - regionX_;
    int pictureY = cursor.y - regionY_;
    if (options_.followMouse) {
      const FollowPosition follow =
          FollowMouse(cursor.x, cursor.y, width_, height_, screenWidth_, screenHeight_);
      sourceX = follow.sourceX;
      sourceY = follow.sourceY;
      pictureX = follow.pictureX;
      pictureY = follow.pictureY;
    }
    const std::int64_t stampUs = MonotonicNowUs();
    if (!grabber_->Capture(sourceX, sourceY)) {
      if (grabber_->DisplayLost()) {
        const std::string why = grabber_->lastError().empty() ? "lost the connection to the X display"
                                                              : grabber_->lastError();
        LOG(ERROR) << why;
        sink.OnSourceEnded(why);
        return;
      }
      // A failed copy sends the previous picture again; the schedule goes on.
    }
    ++taken_;
    std::uint8_t* pixels = grabber_->pixels();
    if (haveCursor && pictureX >= 0 && pictureX <= width_ && pictureY >= 0 && pictureY <= height_) {
      DrawOverlays(pixels, grabber_->stride(), cursor, pictureX, pictureY, rings);
    }
    av::PacketPtr packet = av::MakePacket();
    packet->buf = packetPool ? av_buffer_pool_get(packetPool.get()) : nullptr;
    if (packet->buf == nullptr) {
      LOG_EVERY_N(ERROR, 30) << "cannot allocate a video packet of " << packetSize << " bytes";
      continue;
    }
    packet->data = packet->buf->data;
    packet->size = static_cast<int>(packetSize);
    std::memset(packet->data + packetSize, 0, AV_INPUT_BUFFER_PADDING_SIZE);
    WriteBmp32(pixels, width_, height_, grabber_->stride(), packet->data);
    packet->pts = packet->dts = stampUs;
    sink.OnVideoPacket(std::move(packet));
  }
  if (pacer.skipped() > 0) {
    LOG(WARNING) << "screen capture fell behind: " << pacer.skipped() << " of " << pacer.taken()
                 << " pictures skipped";
  }
}

void ScreenSource::DrawOverlays(std::uint8_t* pixels, int stride, const platform::CursorImage& cursor,
                                int pictureX, int pictureY, std::vector<ClickRing>& rings) {
  const PictureView picture{pixels, width_, height_, stride};
  if (options_.hotRegion) {
    DrawHighlight(picture, pictureX, pictureY, options_.hotRegionWidth, options_.hotRegionHeight,
                  options_.hotRegionColor);
  }
  if (options_.clickRings) {
    if (leftClickPending.exchange(false)) AddClickRing(rings, 0, pictureX, pictureY);
    if (rightClickPending.exchange(false)) AddClickRing(rings, 1, pictureX, pictureY);
    DrawClickRings(picture, rings, options_.frameRate, options_.leftClickColor,
                   options_.rightClickColor);
  }
  if (options_.drawCursor && !cursor.pixels.empty()) DrawCursor(picture, cursor, pictureX, pictureY);
}

}  // namespace tarn
