#pragma once
// The recording engine: one Recorder drives a recording from Start to the
// finished file, and is reused for the next one. Recordings never overlap.
//
// Threads of one recording: the video source (screen), the video decode
// thread (BMP packets to YUV pictures), the video encode thread (encodes video
// and audio and writes the file) and the finishing thread (joins the others
// and finalises the file exactly once after Stop). Start, Resume, Pause and
// Stop may be called from any one controlling thread at a time; the listener
// is called from the worker threads.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "recorder/audio/capture_devices.h"
#include "recorder/ffmpeg_holders.h"
#include "recorder/packet_queue.h"
#include "recorder/picture_fifo.h"
#include "recorder/screen_overlays.h"

namespace tarn {

class SettingsStore;
namespace platform {
class ScreenGrabber;
}

// Start results besides 0 and negative error codes.
inline constexpr int kStartNoVideoDevice = 500001;
inline constexpr int kStartNoAudioDevice = 500002;

// The private message number of the elapsed-seconds report.
inline constexpr unsigned kWmRecordSeconds = 0x0734;

// How many source packets and raw pictures may wait between the stages.
inline constexpr int kMaxQueuedPackets = 72;
inline constexpr int kMaxQueuedPictures = 72;

// What the engine tells its owner. Called on worker threads: implementations
// hand the calls over to their own thread and return at once.
class RecorderListener {
 public:
  virtual ~RecorderListener() = default;
  // Whole seconds of video written so far, each time the number changes.
  virtual void OnRecordSeconds(std::int64_t seconds) = 0;
  // The recording's file is complete (`ok`) or could not be finalised.
  virtual void OnRecordingFinished(const std::string& path, bool ok) {
    (void)path;
    (void)ok;
  }
};

// A colour setting: a 0x00BBGGRR value as signed decimal text ("255" is red).
// Text that is not a number, or that overflows, gives `defaultText`'s colour.
Rgb ParseColourSetting(const std::string& text, std::string_view defaultText);

// Rates of the H.264 stream: the raw 32-bit picture rate, a quarter of it for
// the encoder (capped at the largest 32-bit value), a tenth of that as the
// minimum and one and a half times as the maximum.
struct VideoBitRates {
  std::int64_t decoder = 0;
  std::int64_t encoder = 0;
  std::int64_t minimum = 0;
  std::int64_t maximum = 0;
};
VideoBitRates ComputeVideoBitRates(int width, int height, int frameRate);

// The x264 constant-quality value for a quality setting (0 high, 1 middle,
// 2 low); null for any other value.
const char* CrfForQuality(int quality);

// Mouse presses for the click rings, set by whoever watches the mouse (any
// thread) and consumed by the screen source.
void MarkMouseClick(int button);  // 0 left, 1 right

enum RecorderStateValue { kStatePrepared = 0, kStateRecording = 1, kStatePaused = 2, kStateStopped = 3 };

class Recorder {
 public:
  // `owner` receives the reports (may be null). `settings` is the store the
  // recording parameters are read from; null means SettingsStore::Instance().
  explicit Recorder(RecorderListener* owner, SettingsStore* settings = nullptr);
  // Stops a recording in progress and waits until its file is finished.
  ~Recorder();
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  // Prepares a recording into outputDir + "/" + fileName, the container chosen
  // by the file's extension. Returns 0 when the threads run (waiting for
  // Resume), kStartNoVideoDevice / kStartNoAudioDevice, or -1 / a negative
  // FFmpeg code; on failure nothing is left running or allocated. Waits first
  // for the previous recording's file to be finished.
  int Start(std::string fileName, std::string outputDir, std::string containerExt,
            std::string containerName, int frameRate, int quality);
  // Starts or continues capturing and encoding. Returns 0.
  int Resume();
  // Holds capturing and encoding; the pause adds nothing to the file. Returns 0.
  int Pause();
  // Ends the recording: the threads finish what was captured and the file is
  // finalised on the finishing thread. Returns 0 at once; a second call, or a
  // call without a prepared recording, does nothing.
  int Stop();

  // 0 prepared, 1 recording, 2 paused, 3 stopped.
  int state() const { return state_.load(); }

  // Waits until the file of the last started recording is finished (or there
  // is none). False when `timeoutMs` passed first.
  bool WaitUntilFinished(int timeoutMs);
  // Whether the last finished recording was finalised correctly.
  bool lastFinishOk() const { return lastFinishOk_.load(); }

  const std::string& outputPath() const { return outputPath_; }
  int videoWidth() const { return videoWidth_; }
  int videoHeight() const { return videoHeight_; }
  // Pictures handed to the video encoder in the last recording.
  std::int64_t videoFrameIndex() const { return videoFrameIndex_.load(); }
  // Pictures the screen source took in the last recording.
  std::int64_t capturedFrames() const { return capturedFrames_.load(); }

 private:
  // Start's steps, in recorder.cpp.
  void ResetForStart();
  void ReadSettings();
  void ReleaseMedia();
  void JoinWorkers();
  // The screen source, in screen_source.cpp.
  int SetupScreenSource();
  void VideoReadThread();
  void DrawOverlays(const PictureView& picture, const platform::CursorImage& cursor,
                    int pictureX, int pictureY, std::vector<ClickRing>& rings);
  // Output container, encoders and header, in recorder_output.cpp.
  int SetupOutput();
  int SetupAudio();
  // Worker threads, in recorder_threads.cpp.
  void VideoDecodeThread();
  void VideoEncodeThread();
  void FinishingThread();
  bool EncodePicture(PictureFifo::Buffer picture, AVFrame* frame);
  // Encodes one audio frame of the recording's sound (silence when muted).
  // `draining`: the recording is ending; take what the sources left without
  // waiting and fill up with silence. kNone: no frame this time (the sound is
  // not there yet and the recording is ending); kFailed: the thread must end.
  enum class AudioFrameResult { kFrame, kNone, kFailed };
  AudioFrameResult EncodeAudioFrame(bool draining);
  // Sound sources, in recorder/audio/.
  void SelectSoundSources();
  int SetupMicrophone();
  int BuildMixGraph();
  void MicrophoneThread();
  void SpeakerThread();
  AudioFrameResult TakeMicrophoneFrame(AVFrame* frame, bool draining);
  AudioFrameResult TakeSpeakerFrame(AVFrame* frame, bool draining);
  AudioFrameResult MixFrames(AVFrame* microphone, AVFrame* speaker, AVFrame* mixed);
  av::FramePtr MakeAudioFrame(bool withBuffer);
  bool WriteEncodedPackets(AVCodecContext* encoder, AVStream* stream, bool isVideo);
  void FlushEncoders();
  // Waits at a gate while not running and not stopping; returns false when
  // stopping.
  bool WaitAtGate(std::mutex& lock, std::condition_variable& cond, const char* lockTrace,
                  const char* unlockTrace);

  RecorderListener* const owner_;
  SettingsStore* const settings_;

  // Start and Stop are serialised by this lock.
  std::mutex controlMutex_;

  // Recording parameters, written by Start before the threads exist.
  std::string fileName_;
  std::string outputDir_;
  std::string outputPath_;
  std::string containerExt_;
  std::string containerName_;
  int frameRate_ = 10;
  int quality_ = 1;
  int watermarkType_ = 0;
  int voiceSource_ = 0;
  int videoSource_ = 0;
  int micGainEnabled_ = 1;
  int audioMuted_ = 0;
  int micGainDb_ = 20;
  int regionMode_ = 0;
  int followMouse_ = 0;
  int drawCursor_ = 1;
  int clickRings_ = 0;
  int hotRegion_ = 0;
  Rgb leftClickColor_;
  Rgb rightClickColor_;
  Rgb hotRegionColor_;
  int hotRegionWidth_ = 0;
  int hotRegionHeight_ = 0;
  int hotRegionHalfWidth_ = 0;
  int hotRegionHalfHeight_ = 0;
  int screenWidth_ = 0;
  int screenHeight_ = 0;
  int regionX_ = 0;
  int regionY_ = 0;
  int videoWidth_ = 0;
  int videoHeight_ = 0;

  // Media objects of one recording, made by Start and released after the
  // finishing thread wrote the trailer (or by a failed Start).
  std::unique_ptr<platform::ScreenGrabber> grabber_;  // the video read thread's
  av::CodecContextPtr videoDecoder_;                  // the video decode thread's
  av::OutputContextPtr outputContext_;                // the video encode thread's
  AVStream* videoStream_ = nullptr;                   // owned by outputContext_
  AVStream* audioStream_ = nullptr;                   // owned by outputContext_
  av::CodecContextPtr videoEncoder_;
  av::CodecContextPtr audioEncoder_;

  // Sound. The FIFOs hold samples in the encoder's format (44100 Hz, stereo,
  // planar float): micFifo_ written by the microphone thread, speakerFifo_ by
  // the system-sound thread, both read by the video encode thread.
  std::vector<CaptureDeviceEntry> captureDevices_;
  av::SwrPtr voiceResampler_;  // 32 kHz mono voice to the encoder's format
  av::AudioFifoPtr micFifo_;
  std::mutex micFifoLock_;
  std::condition_variable micFifoCond_;
  av::AudioFifoPtr speakerFifo_;
  std::mutex speakerFifoLock_;
  av::FilterGraphPtr mixGraph_;
  AVFilterContext* mixSpeakerSource_ = nullptr;  // "in0", owned by mixGraph_
  AVFilterContext* mixMicSource_ = nullptr;      // "in1"
  AVFilterContext* mixSink_ = nullptr;           // "out"
  std::int64_t mixPts_ = 0;
  // Set by a sound thread that ended early (device gone, open failed): its
  // part of the sound is silence from then on.
  std::atomic<bool> micEnded_{false};
  std::atomic<bool> speakerEnded_{false};
  std::unique_ptr<PictureFifo> pVideoFifo_;
  PacketQueue videoPacketQueue_;

  // Gates: the video source waits at captureLock/captureCond, the encode
  // thread at encodeLock/encodeCond, while not running.
  std::mutex captureLock_;
  std::condition_variable captureCond_;
  std::mutex encodeLock_;
  std::condition_variable encodeCond_;
  // Releases the finishing thread once stopRequested_ is set.
  std::mutex finishLock_;
  std::condition_variable finishCond_;

  // Flags: written by the controlling thread (and sourcesReady_ by the
  // sources), read by the workers.
  std::atomic<int> state_{kStatePrepared};
  std::atomic<bool> running_{false};
  std::atomic<bool> stopRequested_{false};
  std::atomic<bool> audioGate1_{false};
  std::atomic<bool> audioGate2_{false};
  std::atomic<bool> videoGate_{false};
  std::atomic<bool> sourcesReady_{false};
  std::atomic<bool> speakerActive_{false};

  // Counters of the video encode thread (atomics so tests and tools can read
  // them afterwards from another thread).
  std::atomic<std::int64_t> videoFrameIndex_{0};
  std::atomic<std::int64_t> capturedFrames_{0};
  std::int64_t audioSamples_ = 0;  // samples handed to the audio encoder
  std::int64_t lastVideoPts_ = 0;  // in the video stream's time base
  std::int64_t lastAudioPts_ = 0;  // in the audio stream's time base
  std::int64_t lastPostedSecond_ = -1;
  bool videoEnded_ = false;        // the decode thread delivered its last picture
  bool outputFileOpened_ = false;  // Start created the file (removed again if Start fails)

  // Worker threads of the current recording; joined by the finishing thread
  // (workers) and by the next Start or the destructor (the finishing thread).
  std::thread videoSourceThread_;
  std::thread videoDecodeThread_;
  std::thread videoEncodeThread_;
  std::thread microphoneThread_;
  std::thread speakerThread_;
  std::thread finishingThread_;

  // Set by the finishing thread when the file is complete.
  std::mutex finishedLock_;
  std::condition_variable finishedCond_;
  bool finished_ = true;  // guarded by finishedLock_
  std::atomic<bool> lastFinishOk_{false};
};

}  // namespace tarn
