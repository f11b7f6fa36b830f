#pragma once
// The recording engine: one Recorder drives a recording from Start to the
// finished file, and is reused for the next one. Recordings never overlap.
//
// Every picture and every block of sound carries the monotonic time at which
// it was captured, and the recording's time line (timeline.h) places each
// from there: the recording begins when Resume is first called, pauses leave
// out what was captured meanwhile, and no source waits for another.
//
// Threads of one recording: each source's own thread (sources are made by a
// SourceFactory), the video decode thread (source packets to YUV pictures),
// the video encode thread (encodes video and sound and writes the file), the
// level thread (the sound sources' levels to the owner) and the finishing
// thread, which ends the others in order after Stop (or after
// a fault that ends the recording by itself) and finalises the file exactly
// once. Start, Resume, Pause and Stop may be called from any one controlling
// thread at a time; the listener is called from the worker threads.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "recorder/audio/audio_bus.h"
#include "recorder/audio/sound_levels.h"
#include "recorder/ffmpeg_holders.h"
#include "recorder/media_source.h"
#include "recorder/packet_queue.h"
#include "recorder/picture_fifo.h"
#include "recorder/recording_options.h"
#include "recorder/screen_overlays.h"
#include "recorder/timeline.h"
#include "recorder/video_filter.h"

namespace tarn {

class SettingsStore;
class OutputFile;

// Start results besides 0 and negative error codes.
inline constexpr int kStartNoVideoDevice = 500001;
inline constexpr int kStartNoAudioDevice = 500002;

// The private message number of the elapsed-seconds report.
inline constexpr unsigned kWmRecordSeconds = 0x0734;

// How many source packets and raw pictures may wait between the stages, in
// count and in bytes: 72 pictures of a 4K screen would be 2.4 GB. At least
// two always fit.
inline constexpr int kMaxQueuedPackets = 72;
inline constexpr int kMaxQueuedPictures = 72;
inline constexpr std::size_t kMaxQueuedPacketBytes = 64u << 20;
inline constexpr std::size_t kMaxQueuedPictureBytes = 48u << 20;
// The raw YUV 4:2:0 pictures of width x height that wait at most.
int QueuedPicturesFor(int width, int height);

// What made a Start fail, for the prompt the user sees.
enum class StartProblem { kNone, kFolder, kScreen, kFrameRate, kVideoDevice, kAudioDevice, kEncoder };

// How a recording ended.
struct RecordingResult {
  std::string path;
  // The file is complete and plays; false when it could not be finished, or
  // when the recording ran yet holds no picture.
  bool ok = false;
  // Empty when the user stopped the recording; else why it ended by itself
  // or failed, in plain words ("the disk is full", "lost the X display").
  std::string reason;
};

// What the engine tells its owner. Called on worker threads: implementations
// hand the calls over to their own thread and return at once.
class RecorderListener {
 public:
  virtual ~RecorderListener() = default;
  // Whole seconds of video written so far, each time the number changes.
  virtual void OnRecordSeconds(std::int64_t seconds) = 0;
  // The recording is over and its file finished (or not: see the result).
  virtual void OnRecordingFinished(const RecordingResult& result) { (void)result; }
  // Finishing the file takes a while: `fraction` of it is done.
  virtual void OnFinishingProgress(double fraction) { (void)fraction; }
  // How loud the microphone and the system sound were over the last period,
  // about ten times a second from Start until the sources stop (paused or
  // not), on the level thread. Sources the recording does not take are off.
  virtual void OnSoundLevels(const SoundLevels& levels) { (void)levels; }
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
  // `sources` makes the sources; null means the real devices.
  explicit Recorder(RecorderListener* owner, SettingsStore* settings = nullptr,
                    SourceFactory* sources = nullptr);
  // Stops a recording in progress and waits until its file is finished.
  ~Recorder();
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  // Prepares a recording into outputDir + "/" + fileName, the container chosen
  // by the file's extension. Returns 0 when the sources run (the recording
  // begins with Resume), kStartNoVideoDevice / kStartNoAudioDevice, or -1 / a
  // negative FFmpeg code, with startProblem() and startError() saying why; on
  // failure nothing is left running. Waits first for the previous recording's
  // file to be finished.
  int Start(std::string fileName, std::string outputDir, std::string containerExt,
            std::string containerName, int frameRate, int quality);
  int Start(const RecordingOptions& options);
  // Begins or continues the recording. Returns 0.
  int Resume();
  // Holds the recording; the pause adds nothing to the file. Returns 0.
  int Pause();
  // Ends the recording: what was captured is written and the file finished
  // on the finishing thread. Returns 0 at once; a second call, or a call
  // without a prepared recording, does nothing.
  int Stop();

  // 0 prepared, 1 recording, 2 paused, 3 stopped (also after a recording
  // ended by itself).
  int state() const { return state_.load(); }

  // Waits until the file of the last started recording is finished (or there
  // is none). False when `timeoutMs` passed first; -1 waits as long as it takes.
  bool WaitUntilFinished(int timeoutMs);
  // Whether the last finished recording was finalised correctly, and how it ended.
  bool lastFinishOk() const { return lastFinishOk_.load(); }
  RecordingResult lastResult() const;

  StartProblem startProblem() const { return startProblem_; }
  const std::string& startError() const { return startError_; }
  // After a successful Start: what the recording goes without, in plain
  // words (the watermark could not be added); empty when nothing is missing.
  const std::string& startWarning() const { return startWarning_; }

  const std::string& outputPath() const { return outputPath_; }
  int videoWidth() const { return videoWidth_; }
  int videoHeight() const { return videoHeight_; }
  int frameRate() const { return frameRate_; }
  // Pictures handed to the video encoder in the last recording.
  std::int64_t videoFrameIndex() const { return videoFrameIndex_.load(); }
  // Pictures the video source took in the last recording.
  std::int64_t capturedFrames() const { return capturedFrames_.load(); }
  // Picture slots left empty because pictures were lost (too slow a machine).
  std::int64_t droppedFrames() const { return droppedFrames_.load(); }

 private:
  class VideoInlet;
  class AudioInlet;
  friend class VideoInlet;
  friend class AudioInlet;

  // Start's steps, in recorder.cpp.
  void ResetForStart();
  void ReadSettings();
  int FailStart(int code, StartProblem problem, const std::string& why);
  int OpenVideoSource();
  int OpenCamera();
  // The watermark's filter graph, in recorder_filter.cpp: 0, or the FFmpeg
  // code of the failed step, with startWarning_ set (the recording goes on
  // without it).
  int BuildVideoFilter();
  int OpenSoundSources();
  void ReleaseMedia();
  // Ends the recording from a worker thread (a fault); `reason` is kept.
  void EndByItself(const std::string& reason);
  void RequestStop();
  bool WaitUntilRunning(bool* resumed);
  SourceFactory& sources();
  // Output container, encoders and header, in recorder_output.cpp.
  int SetupVideoEncoder();
  int SetupAudioEncoder();
  int OpenOutput();
  // Worker threads, in recorder_threads.cpp.
  void VideoDecodeThread();
  void VideoEncodeThread();
  void FinishingThread();
  void EncodeLoop();
  void EncodePicture(PictureFifo::Buffer picture, std::int64_t slot, AVFrame* frame);
  bool WriteEncodedPackets(AVCodecContext* encoder, int streamIndex, bool isVideo);
  void FlushEncoders();
  RecordingResult FinishFile();
  // Sound, in recorder/audio/audio_mixer.cpp.
  void SelectSoundSources();
  int BuildMixGraph();
  // Encodes the next frame of sound when it can be made now; false otherwise.
  bool EncodeAudioFrame(std::int64_t nowUs);
  bool MixFrames(AVFrame* microphone, AVFrame* speaker, AVFrame* mixed);
  av::FramePtr MakeAudioFrame(int samples);

  RecorderListener* const owner_;
  SettingsStore* const settings_;
  SourceFactory* const sourceFactory_;

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
  ScreenSourceOptions screen_;
  int videoWidth_ = 0;
  int videoHeight_ = 0;
  StartProblem startProblem_ = StartProblem::kNone;
  std::string startError_;
  std::string startWarning_;

  // Sources and media objects of one recording, made by Start and released
  // after the finishing thread finished the file (or by a failed Start).
  std::unique_ptr<VideoSource> videoCapture_;
  std::unique_ptr<AudioSource> microphone_;
  std::unique_ptr<AudioSource> systemSound_;
  std::unique_ptr<VideoInlet> videoInlet_;
  std::vector<std::unique_ptr<AudioInlet>> audioInlets_;
  av::CodecContextPtr videoDecoder_;  // the video decode thread's
  std::unique_ptr<VideoFilter> videoFilter_;  // the watermark; the video decode thread's
  std::unique_ptr<OutputFile> outputFile_;  // the video encode thread's, then the finishing thread's
  int videoStreamIndex_ = 0;
  int audioStreamIndex_ = 1;
  av::CodecContextPtr videoEncoder_;
  av::CodecContextPtr audioEncoder_;

  // The time line and the sound on it.
  RecordingTimeline timeline_;
  std::unique_ptr<AudioBus> audioBus_;
  int micTrack_ = -1;      // index of the microphone's track in audioBus_, or -1
  int speakerTrack_ = -1;  // the system sound's
  av::FilterGraphPtr mixGraph_;
  AVFilterContext* mixSpeakerSource_ = nullptr;  // "in0", owned by mixGraph_
  AVFilterContext* mixMicSource_ = nullptr;      // "in1"
  AVFilterContext* mixSink_ = nullptr;           // "out"
  std::int64_t mixPts_ = 0;

  // The sources' levels: written by their capture threads, taken by the
  // level thread, which reports them to the owner from Start until the
  // sources stop.
  LevelMeter micLevel_;
  LevelMeter speakerLevel_;
  LevelReporter levelReporter_;

  std::unique_ptr<PictureFifo> pVideoFifo_;
  PacketQueue videoPacketQueue_;

  // The video source waits at captureLock/captureCond while not running.
  std::mutex captureLock_;
  std::condition_variable captureCond_;
  // Releases the finishing thread once stopRequested_ is set.
  std::mutex finishLock_;
  std::condition_variable finishCond_;

  // Flags: written by the controlling thread (and by a worker that ends the
  // recording), read by the workers.
  std::atomic<int> state_{kStatePrepared};
  std::atomic<bool> running_{false};
  std::atomic<bool> stopRequested_{false};
  std::atomic<bool> resumedOnce_{false};
  std::mutex reasonLock_;
  std::string endReason_;  // guarded by reasonLock_

  // Counters of the video encode thread (atomics so tests and tools can read
  // them afterwards from another thread).
  std::atomic<std::int64_t> videoFrameIndex_{0};
  std::atomic<std::int64_t> capturedFrames_{0};
  std::atomic<std::int64_t> droppedFrames_{0};
  std::int64_t lastVideoPts_ = 0;
  std::int64_t lastPostedSecond_ = -1;

  // Worker threads of the current recording; joined by the finishing thread
  // (workers) and by the next Start or the destructor (the finishing thread).
  std::thread videoDecodeThread_;
  std::thread videoEncodeThread_;
  std::thread finishingThread_;

  // Set by the finishing thread when the file is complete.
  mutable std::mutex finishedLock_;
  std::condition_variable finishedCond_;
  bool finished_ = true;  // guarded by finishedLock_
  RecordingResult lastResult_;  // guarded by finishedLock_
  std::atomic<bool> lastFinishOk_{false};
};

}  // namespace tarn
