#pragma once
// Plays one media file: a read thread demuxes into a video and an audio
// PacketQueue, a render thread decodes pictures and draws them on a
// DrawingArea through a VideoSurface, a pacing thread times the pictures, and
// SDL's audio thread decodes, resamples and mixes the sound on demand.
// Pictures follow the audio clock (the external clock when there is no
// sound). Seeks land on the picture asked for: the decoders run forward from
// the key picture before the target and drop what comes before it.
//
// Operations are called from one thread (the UI thread); position() and
// duration() may be called from any thread. The finish callback runs on the
// read thread: post the reaction to the UI thread; a Stop made there is
// harmless, destroying the player there is not.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "preview/player_clock.h"
#include "preview/video_surface.h"
#include "recorder/ffmpeg_holders.h"
#include "recorder/packet_queue.h"

namespace tarn::preview {

class VideoPlayer {
 public:
  // The SDL device and the resampled sound awaiting the callback
  // (video_player_audio.h).
  struct AudioOut;

  enum State { kNew = 0, kPlaying = 1, kPaused = 2, kStopped = 3 };
  static constexpr int kInitialVolume = 69;
  static constexpr std::size_t kMaxQueuedPackets = 180;

  // `area` may be null: pictures are then decoded and timed but not drawn.
  // The area must outlive the player, or the player be stopped first.
  explicit VideoPlayer(DrawingArea* area);
  ~VideoPlayer();  // stops
  VideoPlayer(const VideoPlayer&) = delete;
  VideoPlayer& operator=(const VideoPlayer&) = delete;

  using FinishCallback = std::function<void(void* user)>;
  // Called once, after the end of the file, when every picture and sound
  // was played.
  void SetFinishCallback(FinishCallback callback, void* user);
  void EnableFinishCallback(bool enabled) { finishEnabled_ = enabled; }

  // Opens `path` and starts playing. False with the reason in `why` (the
  // player then stays new and starts no thread).
  bool Start(const std::string& path, std::string& why);
  void TogglePause();
  // Ends playback from any state; a second stop does nothing.
  void Stop();

  // Seeks to `fraction` (0..1) of the duration, to `seconds`, or by
  // `seconds` either way; targets clamp to 0 and to the last picture.
  void SeekFraction(double fraction);
  void SeekSeconds(double seconds);
  void SeekForward(double seconds);
  void SeekBackward(double seconds);
  // While paused: shows the next / the previous picture.
  void StepForward();
  void StepBackward();

  void SetVolume(int volume);  // 0..128
  int volume() const { return volume_; }

  // Seconds from the start of the file: the shown picture's time when there
  // is video, else the sound's clock.
  double position() const;
  double duration() const { return durationSeconds_; }
  int state() const { return state_; }
  bool hasVideo() const { return video_.stream != nullptr; }
  bool hasAudio() const { return audio_.stream != nullptr; }
  // Refresh requests the pacing thread made.
  int frameCount() const { return frameCounter_; }
  // Seconds between one picture and the next at the video's frame rate.
  double frameSeconds() const { return frameSeconds_; }

  // Called on the render thread with each picture about to be shown and its
  // time (seconds from the start): for measurements and tests.
  using FrameObserver = std::function<void(const AVFrame* frame, double seconds)>;
  void SetFrameObserver(FrameObserver observer);
  // Asks the render thread to draw the last picture again (area exposed).
  void Repaint();
  // The clock pictures follow, in seconds from the start (NaN before the
  // first sound or picture).
  double masterClock() const;

 private:
  struct Decoder {
    AVStream* stream = nullptr;
    int index = -1;
    av::CodecContextPtr context;
    PacketQueue queue;
    av::PacketPtr held;       // a packet the decoder refused with EAGAIN
    bool hasOutput = false;   // the decoder may have frames to give
    std::atomic<bool> drained{false};  // the decoder gave its last frame (end of file)
  };

  bool Open(const std::string& path, std::string& why);
  bool OpenDecoder(Decoder& decoder, std::string& why);
  bool OpenAudioDevice(std::string& why);
  void CloseAll();
  void JoinThreads();  // all but the calling thread

  void ReadThread();
  bool ReadOnePacket();  // false at the end of the file or on an error
  bool QueuesFull() const;
  // True when everything was played; false on a seek or quit. `generation`:
  // the seek count the wait started from.
  bool WaitForDrain(int& generation);
  void PacingThread();
  void RenderThread();

  // Decodes the next picture to show into `frame` (dropping pictures before a
  // seek's target); false when none is available now.
  bool DecodeVideoFrame(AVFrame* frame);
  // Receives or sends until a frame comes. 1 frame, 0 none now, AVERROR_EOF drained.
  static int DecodeFrom(Decoder& decoder, AVFrame* frame);
  // Shows the picture prepared at the last refresh and prepares the next.
  void VideoRefresh();
  // With lock_ held: the picture at `pts` is on screen from `nowUs` on.
  void MarkShown(double pts, std::int64_t nowUs);
  // Converts a picture into converted_ for the surface (when drawing).
  void Convert(AVFrame* frame);
  // Hands the converted picture to the observer and the surface.
  void ShowFrame(AVFrame* frame, double seconds);
  // Shows the next picture while paused (after a seek or a step); false when
  // none came.
  bool ShowStill();
  void ScheduleRefresh(double delaySeconds);

  static void AudioCallback(void* user, std::uint8_t* stream, int length);
  void FillAudio(std::uint8_t* stream, int length);
  int DecodeAudioFrame();  // bytes now in the audio buffer; <= 0 none
  double MasterClock(std::int64_t nowUs) const;  // with clockLock_ held

  void SeekTo(double seconds);
  void WakeThreads();
  double StreamSeconds(const AVStream* stream, std::int64_t timestamp) const;

  DrawingArea* area_;
  std::string path_;
  std::atomic<int> state_{kNew};
  std::atomic<bool> quit_{false};
  std::atomic<bool> paused_{false};
  std::atomic<bool> seeking_{false};
  std::atomic<int> volume_{kInitialVolume};
  std::atomic<int> frameCounter_{0};
  std::atomic<double> durationSeconds_{0};
  double startSeconds_ = 0;  // the container's start time; positions count from it
  double frameSeconds_ = 1.0 / 25;

  std::mutex stopLock_;  // serialises Stop and the destructor's joins
  // The player lock: reading packets, video decoding and seeking.
  std::mutex lock_;
  av::InputContextPtr input_;
  Decoder video_;
  Decoder audio_;
  av::SwsPtr scaler_;
  av::FramePtr converted_;  // YUYV picture at the video size, drawn by the surface
  std::unique_ptr<VideoSurface> surface_;  // render thread only
  av::FramePtr lastDropped_ = av::MakeFrame();  // the last picture skipped after a seek; lock_
  // The next picture to show, decoded and converted ahead of its time (lock_).
  av::FramePtr pending_ = av::MakeFrame();
  double pendingPts_ = 0;
  int pendingEpoch_ = 0;
  bool pendingReady_ = false;
  std::atomic<int> seekEpoch_{0};  // counts seeks; changed under lock_

  // Clocks, guarded by clockLock_ (written by the render, audio and UI threads).
  mutable std::mutex clockLock_;
  PlayerClock videoClock_;
  PlayerClock callbackClock_;
  PlayerClock externalClock_;
  double audioClockSeconds_ = 0;  // end of the last decoded sound (audio thread)
  double lastFramePts_ = 0;       // render thread; NaN after a seek
  std::int64_t pausedAtUs_ = 0;   // when the player was paused (UI thread)
  std::int64_t lastShownUs_ = 0;  // when the last picture was shown (render thread)
  std::atomic<double> frameDelaySeconds_{0};  // render thread -> pacing thread

  // Targets after a seek (stream seconds); NaN when nothing is dropped.
  std::atomic<double> videoDropUntil_{0.0 / 0.0};
  std::atomic<double> audioDropUntil_{0.0 / 0.0};

  // Wake-ups of the threads, guarded by wakeLock_.
  std::mutex wakeLock_;
  std::condition_variable wake_;
  bool refreshFlag_ = true;   // the pacing thread may schedule the next picture
  int renderRequests_ = 0;    // pictures the render thread owes
  bool stillRequest_ = false; // show the picture at the position while paused
  int stepRequests_ = 0;      // single steps forward while paused
  bool repaintRequest_ = false;
  int seekGeneration_ = 0;    // counts seeks, so that waits notice them

  std::unique_ptr<AudioOut> audioOut_;

  FinishCallback finish_;
  void* finishUser_ = nullptr;
  std::atomic<bool> finishEnabled_{false};
  std::atomic<bool> finished_{false};
  std::atomic<bool> readEnded_{false};
  FrameObserver observer_;

  std::thread readThread_;
  std::thread pacingThread_;
  std::thread renderThread_;
};

}  // namespace tarn::preview
