#pragma once
// The live picture of the first camera, drawn into a native window: one
// thread reads the camera's packets into a queue, one paces the drawing at
// most every 40 ms, and one decodes, converts to packed YUYV and draws the
// newest picture scaled into the area with the shared VideoSurface.
//
// No Qt here: the owner passes the drawing area (its native window and its
// current size). Without an area the pictures are decoded and converted but
// not drawn (for measurements without a display).
//
// Construction, Init, Start, Stop and destruction belong to one thread (the
// UI thread); the accessors marked thread-safe may be called from any.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "recorder/audio/capture_devices.h"
#include "recorder/ffmpeg_holders.h"
#include "recorder/packet_queue.h"

namespace tarn::preview {

class DrawingArea;
class VideoSurface;

// Init's answer when no camera is listed.
inline constexpr int kNoCameraDevice = 500001;

class CameraDisplay {
 public:
  // Packets the read thread lets wait for the render thread; it backs off
  // while the queue is this full.
  static constexpr std::size_t kMaxQueuedPackets = 180;
  static constexpr int kRefreshPeriodMs = 40;
  // How long opening the camera and reading its stream information may take.
  static constexpr int kOpenTimeoutMs = 10000;

  // `area` (may be null) must outlive the display, or Stop must come first.
  explicit CameraDisplay(const DrawingArea* area);
  // Stops the threads and frees everything.
  ~CameraDisplay();
  CameraDisplay(const CameraDisplay&) = delete;
  CameraDisplay& operator=(const CameraDisplay&) = delete;

  // Opens the first camera of the device list and its decoder. Returns 0,
  // kNoCameraDevice when no camera is listed, or -1 (the reason is logged
  // and kept in lastError()).
  int Init();
  // Init, then the read, pacing and render threads. Returns Init's answer;
  // no thread runs unless it is 0.
  int Start();
  // Ends the threads (a read waiting for the device is broken off), waits
  // for all three, then frees the queued packets, the decoder, the scaler and
  // the camera, so that the device is free for others when Stop returns.
  // Safe to call more than once and without Start.
  void Stop();

  // Called once, on the read thread, when the camera stopped delivering
  // pictures by itself (unplugged, its stream ended). Set before Start; the
  // handler must not call Stop (post to the owner's thread instead).
  void SetEndedHandler(std::function<void(const std::string& why)> handler);

  // Draws the last picture again (the area was exposed). Thread-safe.
  void RequestRepaint() { repaint_ = true; }

  // Thread-safe diagnostics.
  std::int64_t picturesShown() const { return shown_.load(); }
  std::size_t queuedPackets() const { return queue_.Size(); }
  bool ended() const { return ended_.load(); }
  bool running() const { return started_; }

  // The camera's name, size and reason of the last failure (UI thread).
  const std::string& cameraName() const { return camera_.friendlyName; }
  int sourceWidth() const { return sourceWidth_; }
  int sourceHeight() const { return sourceHeight_; }
  const std::string& lastError() const { return lastError_; }

 private:
  int OpenCamera();
  int OpenDecoder();
  int Fail(const std::string& why);

  void ReadThread();
  void PacingThread();
  void RenderThread();
  // Decodes every queued packet and draws the newest picture, if any.
  void DrawOneFrame(VideoSurface* surface);
  bool ConvertPicture(const AVFrame& picture);
  // Sleeps up to `ms`; false when the quit flag was raised.
  bool SleepUnlessQuit(int ms);

  const DrawingArea* const area_;
  std::atomic<bool> repaint_{false};  // set by RequestRepaint, cleared by the render thread

  // Set up by Init on the owner's thread; afterwards used by the read thread
  // (input_) and the render thread (the rest) only, freed by Stop after the
  // joins.
  CaptureDeviceEntry camera_;
  av::InputContextPtr input_;
  int videoStream_ = -1;
  av::CodecContextPtr decoder_;
  av::SwsPtr scaler_;
  av::FramePtr decoded_;   // the newest picture
  av::FramePtr received_;  // what the decoder hands out
  av::FramePtr converted_;  // YUYV 4:2:2 at the source size
  int sourceWidth_ = 0;
  int sourceHeight_ = 0;
  std::string lastError_;

  PacketQueue queue_;  // read thread -> render thread

  // Quit flag, and the two refresh flags between the pacing thread and the
  // render thread: refreshAllowed_ (set by the render thread when it took a
  // refresh, cleared by the pacing thread when it schedules the next one) and
  // refreshDue_ (set by the pacing thread, cleared by the render thread).
  std::mutex paceMutex_;
  std::condition_variable paceCond_;
  std::atomic<bool> quit_{false};
  // While the camera is being opened: when the open gives up (monotonic
  // microseconds); 0 afterwards. Read by FFmpeg's interrupt callback.
  std::atomic<std::int64_t> openDeadlineUs_{0};
  bool refreshAllowed_ = true;  // guarded by paceMutex_
  bool refreshDue_ = false;     // guarded by paceMutex_

  std::function<void(const std::string&)> endedHandler_;  // set before Start
  std::atomic<bool> ended_{false};                        // written by the read thread
  std::atomic<std::int64_t> shown_{0};                    // written by the render thread

  bool started_ = false;  // owner's thread
  std::thread readThread_;
  std::thread pacingThread_;
  std::thread renderThread_;
};

}  // namespace tarn::preview
