// The screen source: copies the recorded rectangle once per frame interval,
// draws the cursor effects into it and hands it on as a BMP packet.

#include <glog/logging.h>
#include <pthread.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <new>

#include "platform/screen_capture.h"
#include "recorder/bmp_packet.h"
#include "recorder/capture_clock.h"
#include "recorder/recorder.h"
#include "recorder/screen_geometry.h"
#include "settings/settings_keys.h"
#include "settings/settings_store.h"

namespace tarn {
namespace {

// Presses seen since the last picture; a second press within one frame
// interval gives one ring.
std::atomic<bool> leftClickPending{false};
std::atomic<bool> rightClickPending{false};

// Longest wait at the start for the sound sources to deliver.
constexpr std::int64_t kMaxSourceWaitMs = 3000;

}  // namespace

void MarkMouseClick(int button) {
  if (button == 0) {
    leftClickPending = true;
  } else if (button == 1) {
    rightClickPending = true;
  }
}

int Recorder::SetupScreenSource() {
  SettingsStore& store = settings_ != nullptr ? *settings_ : SettingsStore::Instance();
  grabber_ = platform::OpenScreenGrabber();
  if (!grabber_) return -1;
  screenWidth_ = grabber_->screenWidth();
  screenHeight_ = grabber_->screenHeight();
  videoWidth_ = screenWidth_;
  videoHeight_ = screenHeight_;
  if (regionMode_) {
    regionX_ = store.GetInt(kRegionOffsetX, kRegionOffsetDefault);
    regionY_ = store.GetInt(kRegionOffsetY, kRegionOffsetDefault);
    videoWidth_ = store.GetInt(kRegionWidth, kRegionWidthCaptureDefault);
    videoHeight_ = store.GetInt(kRegionHeight, kRegionHeightCaptureDefault);
    std::printf("regionOffsetX: %d\nregionOffsetY: %d\nvideoWidth: %d\nvideoHeight: %d\n", regionX_,
                regionY_, videoWidth_, videoHeight_);
  }
  if (followMouse_) {
    videoWidth_ = store.GetInt(kMouseFollowRatioWidth, kMouseFollowRatioWidthDefault);
    videoHeight_ = store.GetInt(kMouseFollowRatioHeight, kMouseFollowRatioHeightDefault);
  }
  // The rectangle stays on the screen and its size is even, as 4:2:0 needs.
  const CaptureRect fitted =
      FitToScreen({followMouse_ ? 0 : regionX_, followMouse_ ? 0 : regionY_, videoWidth_, videoHeight_},
                  screenWidth_, screenHeight_);
  if (fitted.width != videoWidth_ || fitted.height != videoHeight_ ||
      (!followMouse_ && (fitted.x != regionX_ || fitted.y != regionY_))) {
    LOG(WARNING) << "recorded rectangle " << regionX_ << "," << regionY_ << " " << videoWidth_
                 << "x" << videoHeight_ << " adjusted to " << fitted.x << "," << fitted.y << " "
                 << fitted.width << "x" << fitted.height << " on a " << screenWidth_ << "x"
                 << screenHeight_ << " screen";
  }
  if (fitted.width < 2 || fitted.height < 2) {
    LOG(ERROR) << "nothing to record: the rectangle lies off the screen";
    return -1;
  }
  if (!followMouse_) {
    regionX_ = fitted.x;
    regionY_ = fitted.y;
  }
  videoWidth_ = fitted.width;
  videoHeight_ = fitted.height;
  if (!grabber_->Init(videoWidth_, videoHeight_)) return -1;

  const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_BMP);
  if (codec == nullptr) {
    LOG(ERROR) << "not found video decoder";
    return -1;
  }
  videoDecoder_.reset(avcodec_alloc_context3(codec));
  if (!videoDecoder_) {
    LOG(ERROR) << "not found video decoder";
    return -1;
  }
  videoDecoder_->width = videoWidth_;
  videoDecoder_->height = videoHeight_;
  videoDecoder_->pix_fmt = AV_PIX_FMT_BGRA;
  videoDecoder_->codec_type = AVMEDIA_TYPE_VIDEO;
  videoDecoder_->time_base = AVRational{1, frameRate_};
  videoDecoder_->bit_rate = ComputeVideoBitRates(videoWidth_, videoHeight_, frameRate_).decoder;
  videoDecoder_->thread_count = 2;
  if (const int ret = avcodec_open2(videoDecoder_.get(), codec, nullptr); ret < 0) {
    LOG(ERROR) << "not open video decoder: " << av::ErrorText(ret);
    return -1;
  }
  try {
    pVideoFifo_ = std::make_unique<PictureFifo>(videoWidth_, videoHeight_, kMaxQueuedPictures);
  } catch (const std::bad_alloc&) {
    LOG(ERROR) << "video fifo alloc failed";
    return -1;
  }
  return 0;
}

void Recorder::DrawOverlays(const PictureView& picture, const platform::CursorImage& cursor,
                            int pictureX, int pictureY, std::vector<ClickRing>& rings) {
  if (hotRegion_) {
    DrawHighlight(picture, pictureX, pictureY, hotRegionWidth_, hotRegionHeight_, hotRegionColor_);
  }
  if (clickRings_) {
    if (leftClickPending.exchange(false)) AddClickRing(rings, 0, pictureX, pictureY);
    if (rightClickPending.exchange(false)) AddClickRing(rings, 1, pictureX, pictureY);
    DrawClickRings(picture, rings, frameRate_, leftClickColor_, rightClickColor_);
  }
  if (drawCursor_ && !cursor.pixels.empty()) DrawCursor(picture, cursor, pictureX, pictureY);
}

void Recorder::VideoReadThread() {
  pthread_setname_np(pthread_self(), "video-read");
  SteadyTimeSource time;
  CaptureClock clock(frameRate_, time);
  clock.Start();
  videoGate_ = true;
  const std::int64_t gateStartUs = time.NowUs();
  std::vector<ClickRing> rings;
  platform::CursorImage cursor;
  const std::size_t packetSize = BmpFileSize(videoWidth_, videoHeight_);
  // Packet memory is reused from a pool instead of being mapped afresh for
  // every picture.
  const av::BufferPoolPtr packetPool(
      av_buffer_pool_init(packetSize + AV_INPUT_BUFFER_PADDING_SIZE, nullptr));

  while (!stopRequested_) {
    clock.BeginFrame();
    // Start gate: the clock runs only once every sound source delivers. A
    // source that stays silent longer than kMaxSourceWaitMs (a suspended
    // speaker with nothing playing) does not hold the recording back.
    while (!sourcesReady_ && !stopRequested_) {
      const bool ready = voiceSource_ == 0 ? (audioGate1_ && audioGate2_)
                         : voiceSource_ == 1 ? audioGate2_.load()
                                             : audioGate1_.load();
      if (!ready && time.NowUs() - gateStartUs > kMaxSourceWaitMs * 1000) {
        LOG(WARNING) << "sound sources not ready after " << kMaxSourceWaitMs
                     << " ms; the recording starts without waiting for them";
        audioGate1_ = true;
        audioGate2_ = true;
      }
      sourcesReady_ = ready;
      clock.Restart();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    // Source gate: wait while paused or not yet resumed; the waiting time
    // does not count.
    {
      std::unique_lock<std::mutex> gate(captureLock_);
      if (!running_ && !stopRequested_) {
        clock.EnterPause();
        while (!running_ && !stopRequested_) {
          std::printf("read video packet thread lock\n");
          captureCond_.wait_for(gate, std::chrono::milliseconds(400));
          std::printf("read video packet thread unlock\n");
        }
        clock.LeavePause();
      }
    }
    if (stopRequested_) break;

    clock.WaitForFrame();
    if (stopRequested_) break;

    // Cursor and rectangle.
    const bool haveCursor = grabber_->QueryCursor(cursor);
    int sourceX = regionX_;
    int sourceY = regionY_;
    int pictureX = cursor.x - regionX_;
    int pictureY = cursor.y - regionY_;
    if (followMouse_) {
      const FollowPosition follow =
          FollowMouse(cursor.x, cursor.y, videoWidth_, videoHeight_, screenWidth_, screenHeight_);
      sourceX = follow.sourceX;
      sourceY = follow.sourceY;
      pictureX = follow.pictureX;
      pictureY = follow.pictureY;
    }
    if (!grabber_->Capture(sourceX, sourceY)) {
      // A failed copy still counts, so the schedule stays in step; the picture
      // of the previous frame is sent again.
    }
    clock.FrameTaken();
    capturedFrames_ = clock.frameCount();

    const PictureView picture{grabber_->pixels(), grabber_->width(), grabber_->height(),
                              grabber_->stride()};
    if (haveCursor && pictureX >= 0 && pictureX <= videoWidth_ && pictureY >= 0 &&
        pictureY <= videoHeight_) {
      DrawOverlays(picture, cursor, pictureX, pictureY, rings);
    }

    const std::size_t queued = videoPacketQueue_.Size();
    if (queued >= static_cast<std::size_t>(kMaxQueuedPackets)) {
      LOG(ERROR) << "video queue size: " << queued;
      continue;
    }
    av::PacketPtr packet = av::MakePacket();
    packet->buf = packetPool ? av_buffer_pool_get(packetPool.get()) : nullptr;
    if (packet->buf == nullptr) {
      LOG(ERROR) << "cannot allocate a video packet of " << packetSize << " bytes";
      continue;
    }
    packet->data = packet->buf->data;
    packet->size = static_cast<int>(packetSize);
    std::memset(packet->data + packetSize, 0, AV_INPUT_BUFFER_PADDING_SIZE);
    WriteBmp32(picture.data, picture.width, picture.height, picture.stride, packet->data);
    videoPacketQueue_.Push(std::move(packet));
  }

  // No more packets: the decode thread ends once it has taken what is queued.
  videoPacketQueue_.Stop();
  const std::int64_t activeUs = clock.ActiveTimeUs();
  LOG(INFO) << "frames: " << clock.frameCount();
  LOG(INFO) << "diff time: " << activeUs;
  LOG(INFO) << "diff frames: "
            << static_cast<std::int64_t>(activeUs / 1e6 * frameRate_ - clock.frameCount());
  std::printf("video read thread exit\n");
}

}  // namespace tarn
