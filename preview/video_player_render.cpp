// The player's pictures: the pacing thread, the render thread, decoding with
// exact seeks, and the clock correction toward the master clock.

#include <glog/logging.h>
#include <pthread.h>

#include <algorithm>
#include <cmath>
#include <utility>

#include "preview/video_player.h"

namespace tarn::preview {

namespace {
constexpr double kRetrySeconds = 0.01;       // no picture ready: look again
constexpr double kMaxFrameStepSeconds = 10;  // larger time stamp steps are broken
constexpr int kStillRetryMs = 5;
constexpr double kExternalResetSeconds = 10.0;
}  // namespace

int VideoPlayer::DecodeFrom(Decoder& decoder, AVFrame* frame) {
  AVCodecContext* context = decoder.context.get();
  while (true) {
    if (decoder.hasOutput) {
      const int result = avcodec_receive_frame(context, frame);
      if (result == 0) return 1;
      if (result == AVERROR_EOF) return AVERROR_EOF;
      if (result != AVERROR(EAGAIN)) {
        LOG(WARNING) << "Decoding failed: " << av::ErrorText(result);
      }
      decoder.hasOutput = false;
    }
    av::PacketPtr packet = decoder.held ? std::move(decoder.held) : decoder.queue.PopFor(0);
    if (!packet) return 0;
    const int result = avcodec_send_packet(context, packet.get());
    if (result == AVERROR(EAGAIN)) {
      decoder.held = std::move(packet);
    } else if (result < 0 && result != AVERROR_EOF) {
      // A damaged packet is skipped.
      VLOG(1) << "send decode packet error: " << av::ErrorText(result);
    }
    decoder.hasOutput = true;
  }
}

bool VideoPlayer::DecodeVideoFrame(AVFrame* frame) {
  while (!quit_) {
    const int got = DecodeFrom(video_, frame);
    if (got == AVERROR_EOF) {
      if (!std::isnan(videoDropUntil_.load()) && lastDropped_->format >= 0) {
        // A seek past the last picture (the sound lasts longer, or the
        // durations are wrong) shows the last picture.
        av_frame_move_ref(frame, lastDropped_.get());
        videoDropUntil_ = std::nan("");
        return true;
      }
      video_.drained = true;
      return false;
    }
    if (got <= 0) return false;
    const double seconds = StreamSeconds(video_.stream, frame->best_effort_timestamp);
    const double dropUntil = videoDropUntil_;
    if (!std::isnan(dropUntil)) {
      // After a seek: the pictures between the key picture and the target
      // are decoded but not shown.
      if (!std::isnan(seconds) && seconds < dropUntil - frameSeconds_ / 2) {
        av_frame_unref(lastDropped_.get());
        av_frame_move_ref(lastDropped_.get(), frame);
        continue;
      }
      videoDropUntil_ = std::nan("");
      av_frame_unref(lastDropped_.get());
    }
    return true;
  }
  return false;
}

void VideoPlayer::ScheduleRefresh(double delaySeconds) {
  frameDelaySeconds_ = delaySeconds;
  {
    std::lock_guard<std::mutex> wake(wakeLock_);
    refreshFlag_ = true;
  }
  wake_.notify_all();
}

void VideoPlayer::PacingThread() {
  pthread_setname_np(pthread_self(), "tarn-play-pace");
  std::unique_lock<std::mutex> wake(wakeLock_);
  while (!quit_) {
    wake_.wait(wake, [&] { return quit_ || (refreshFlag_ && !paused_); });
    if (quit_) break;
    refreshFlag_ = false;
    const int generation = seekGeneration_;
    const double delaySeconds = frameDelaySeconds_;
    if (delaySeconds > 0) {
      wake_.wait_for(wake, std::chrono::microseconds(static_cast<std::int64_t>(delaySeconds * 1e6)),
                     [&] { return quit_ || seekGeneration_ != generation; });
    }
    if (paused_) {
      refreshFlag_ = true;  // asked again on resume
      continue;
    }
    ++renderRequests_;
    ++frameCounter_;
    wake_.notify_all();
  }
  VLOG(1) << "init_thread exit....";
}

void VideoPlayer::RenderThread() {
  pthread_setname_np(pthread_self(), "tarn-play-render");
  try {
    if (area_ != nullptr) {
      auto surface = std::make_unique<VideoSurface>();
      std::string why;
      if (surface->Attach(area_->NativeWindow(), video_.context->width, video_.context->height,
                          why)) {
        surface_ = std::move(surface);
      } else {
        LOG(WARNING) << "The player cannot draw (" << why << "); pictures are timed, not shown";
      }
    }
    while (true) {
      std::unique_lock<std::mutex> wake(wakeLock_);
      wake_.wait(wake, [&] {
        return quit_ || renderRequests_ > 0 || stillRequest_ || stepRequests_ > 0 ||
               repaintRequest_;
      });
      if (quit_) break;
      const bool still = std::exchange(stillRequest_, false);
      const bool step = stepRequests_ > 0;
      if (step && !still) --stepRequests_;
      const bool render = std::exchange(renderRequests_, 0) > 0;
      const bool repaint = std::exchange(repaintRequest_, false);
      wake.unlock();
      if (still || step) {
        ShowStill();
      } else if (render) {
        if (paused_) {
          ScheduleRefresh(0);
        } else {
          VideoRefresh();
        }
      }
      if (repaint && surface_ && area_ != nullptr) {
        surface_->Repaint(area_->AreaWidth(), area_->AreaHeight());
      }
    }
  } catch (const std::exception& error) {
    LOG(ERROR) << "The player's render thread failed: " << error.what();
  }
  surface_.reset();
  VLOG(1) << "video_refresh_thread exit....";
}

void VideoPlayer::VideoRefresh() {
  // Held while a picture is shown or prepared, so that a seek never lands in
  // between (a stale picture and position).
  std::unique_lock<std::mutex> lock(lock_);
  // The picture prepared at the last refresh is due now, unless a seek came
  // since.
  if (pendingReady_ && pendingEpoch_ == seekEpoch_) {
    MarkShown(pendingPts_, NowUs());
    ShowFrame(pending_.get(), pendingPts_);
  }
  pendingReady_ = false;
  av_frame_unref(pending_.get());
  // The next picture is decoded and converted while the pacing thread waits
  // for its time, so that it is drawn on time.
  if (!DecodeVideoFrame(pending_.get())) {
    lock.unlock();
    ScheduleRefresh(kRetrySeconds);
    return;
  }
  pendingPts_ = StreamSeconds(video_.stream, pending_->best_effort_timestamp);
  pendingEpoch_ = seekEpoch_;
  pendingReady_ = true;
  Convert(pending_.get());
  double waitSeconds = 0;
  {
    std::lock_guard<std::mutex> clocks(clockLock_);
    if (!std::isnan(pendingPts_) && !std::isnan(lastFramePts_)) {
      double stepSeconds = pendingPts_ - lastFramePts_;
      if (stepSeconds < 0.000001 || stepSeconds > kMaxFrameStepSeconds) stepSeconds = frameSeconds_;
      // The time spent since the last picture was shown counts.
      const std::int64_t nowUs = NowUs();
      waitSeconds = std::max(0.0, stepSeconds - static_cast<double>(nowUs - lastShownUs_) / 1e6);
      // How far ahead of the master clock the picture would be when shown.
      const double diffSeconds = pendingPts_ - MasterClock(nowUs) - waitSeconds;
      waitSeconds = CorrectedFrameDelay(waitSeconds, diffSeconds);
    }
  }
  lock.unlock();
  ScheduleRefresh(waitSeconds);
}

void VideoPlayer::MarkShown(double pts, std::int64_t nowUs) {
  if (std::isnan(pts)) return;
  std::lock_guard<std::mutex> clocks(clockLock_);
  videoClock_.Set(pts, nowUs);
  if (!externalClock_.valid() || std::fabs(externalClock_.At(nowUs) - pts) > kExternalResetSeconds) {
    externalClock_.Set(pts, nowUs);
  }
  lastFramePts_ = pts;
  lastShownUs_ = nowUs;
}

void VideoPlayer::Convert(AVFrame* frame) {
  if (!surface_ || area_ == nullptr) return;
  sws_scale(scaler_.get(), frame->data, frame->linesize, 0, frame->height, converted_->data,
            converted_->linesize);
}

bool VideoPlayer::ShowStill() {
  av::FramePtr frame = av::MakeFrame();
  while (!quit_) {
    std::unique_lock<std::mutex> lock(lock_);
    // A picture prepared for playing (after this seek) is the next one.
    bool got = false;
    if (pendingReady_ && pendingEpoch_ == seekEpoch_) {
      av_frame_move_ref(frame.get(), pending_.get());
      got = true;
    } else {
      got = DecodeVideoFrame(frame.get());
    }
    pendingReady_ = false;
    if (got) {
      const double pts = StreamSeconds(video_.stream, frame->best_effort_timestamp);
      if (!std::isnan(pts)) {
        std::lock_guard<std::mutex> clocks(clockLock_);
        const std::int64_t nowUs = paused_ ? pausedAtUs_ : NowUs();
        videoClock_.Set(pts, nowUs);
        externalClock_.Set(pts, nowUs);
        callbackClock_.Set(pts, nowUs);
        lastFramePts_ = pts;
        lastShownUs_ = nowUs;
      }
      Convert(frame.get());
      ShowFrame(frame.get(), pts);
      return true;
    }
    lock.unlock();
    if (video_.drained) return false;
    // The decoder waits for packets the read thread is still reading.
    std::unique_lock<std::mutex> wake(wakeLock_);
    if (wake_.wait_for(wake, std::chrono::milliseconds(kStillRetryMs),
                       [&] { return quit_.load() || stillRequest_; })) {
      return false;  // stopping, or a newer seek asks for another picture
    }
  }
  return false;
}

void VideoPlayer::ShowFrame(AVFrame* frame, double seconds) {
  if (observer_) observer_(frame, seconds);
  if (surface_ && area_ != nullptr) {
    surface_->Present(converted_->data[0], converted_->linesize[0], area_->AreaWidth(),
                      area_->AreaHeight());
  }
}

void VideoPlayer::Repaint() {
  {
    std::lock_guard<std::mutex> wake(wakeLock_);
    repaintRequest_ = true;
  }
  wake_.notify_all();
}

double VideoPlayer::masterClock() const {
  std::lock_guard<std::mutex> clocks(clockLock_);
  return MasterClock(NowUs());
}

}  // namespace tarn::preview
