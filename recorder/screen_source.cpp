#include "recorder/screen_source.h"

#include <glog/logging.h>
#include <pthread.h>

#include <cstdio>
#include <cstring>
#include <exception>
#include <functional>
#include <mutex>

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

// Frames of the grabber's memory a picture can be copied into: enough for
// the packets on their way to the encoder, fewer for very large pictures.
int FramesFor(int width, int height) {
  const std::size_t bytes = static_cast<std::size_t>(width) * height * 4;
  return bytes > 16u * 1024 * 1024 ? 3 : 4;
}

// Room before each frame's pixels for the BMP file's 54 header bytes, which
// end where the pixels begin.
constexpr int kHeaderRoom = 64;

}  // namespace

struct ScreenSource::FrameRing {
  std::unique_ptr<platform::ScreenGrabber> grabber;
  std::mutex lock;
  std::vector<bool> busy;  // guarded by lock

  // A frame no packet holds; -1 when all are on their way.
  int Take() {
    std::lock_guard<std::mutex> guard(lock);
    for (std::size_t i = 0; i < busy.size(); ++i) {
      if (!busy[i]) {
        busy[i] = true;
        return static_cast<int>(i);
      }
    }
    return -1;
  }
  void Give(int frame) {
    std::lock_guard<std::mutex> guard(lock);
    busy[static_cast<std::size_t>(frame)] = false;
  }
};

namespace {

// What a packet's buffer needs to give its frame back.
struct FrameLease {
  std::shared_ptr<void> ring;
  std::function<void()> release;
};

void ReleaseFrame(void* opaque, std::uint8_t*) {
  std::unique_ptr<FrameLease> lease(static_cast<FrameLease*>(opaque));
  lease->release();
}

}  // namespace

void MarkMouseClick(int button) {
  if (button == 0) {
    leftClickPending = true;
  } else if (button == 1) {
    rightClickPending = true;
  }
}

ScreenSource::ScreenSource(const ScreenSourceOptions& options)
    : options_(options), ring_(std::make_shared<FrameRing>()), parameters_(avcodec_parameters_alloc()) {}

ScreenSource::~ScreenSource() { Stop(); }

int ScreenSource::Open(std::string& error) {
  ring_->grabber = platform::OpenScreenGrabber();
  if (!ring_->grabber) {
    error = "cannot open the X display (is DISPLAY set?)";
    return -1;
  }
  screenWidth_ = ring_->grabber->screenWidth();
  screenHeight_ = ring_->grabber->screenHeight();
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
  const int frames = FramesFor(width_, height_);
  ring_->busy.assign(static_cast<std::size_t>(frames), false);
  if (!ring_->grabber->Init(width_, height_, frames, kHeaderRoom)) {
    error = ring_->grabber->lastError();
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
  platform::ScreenGrabber& grabber = *ring_->grabber;
  bool first = true;
  while (!stop_) {
    bool resumed = false;
    if (!sink.WaitUntilRunning(&resumed)) break;
    if (resumed || first) pacer.Restart();
    first = false;
    if (!pacer.WaitForNext()) continue;  // not due yet: look at the flags again
    if (stop_) break;

    const bool haveCursor = ring_->grabber->QueryCursor(cursor);
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
    // The frame the screen is copied into travels on as the packet itself.
    const int frame = ring_->Take();
    if (frame < 0) {
      LOG_EVERY_N(ERROR, 30) << "video queue size: all " << ring_->busy.size()
                             << " frames are waiting to be encoded; picture dropped";
      continue;
    }
    const std::int64_t stampUs = MonotonicNowUs();
    if (!grabber.Capture(sourceX, sourceY, frame)) {
      if (grabber.DisplayLost()) {
        ring_->Give(frame);
        const std::string why = grabber.lastError().empty() ? "lost the connection to the X display"
                                                             : grabber.lastError();
        LOG(ERROR) << why;
        sink.OnSourceEnded(why);
        return;
      }
      // A failed copy leaves what the frame held; the schedule goes on.
    }
    ++taken_;
    std::uint8_t* pixels = grabber.pixels(frame);
    if (haveCursor && pictureX >= 0 && pictureX <= width_ && pictureY >= 0 && pictureY <= height_) {
      DrawOverlays(pixels, grabber.stride(), cursor, pictureX, pictureY, rings);
    }
    std::uint8_t* file = pixels - kBmpHeaderSize;
    WriteBmp32TopDownHeader(width_, height_, file);
    auto lease = std::make_unique<FrameLease>();
    lease->ring = ring_;
    lease->release = [ring = ring_.get(), frame] { ring->Give(frame); };
    av::PacketPtr packet = av::MakePacket();
    // Writable: the packet is the frame's only holder until it gives it back,
    // so the watermark is drawn straight into it.
    packet->buf = av_buffer_create(file, static_cast<int>(packetSize), ReleaseFrame, lease.get(), 0);
    if (packet->buf == nullptr) {
      ring_->Give(frame);
      LOG_EVERY_N(ERROR, 30) << "cannot allocate a video packet";
      continue;
    }
    lease.release();  // the buffer gives the frame back when the packet is freed
    packet->data = file;
    packet->size = static_cast<int>(packetSize);
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
