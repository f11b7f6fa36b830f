#include "recorder/recorder.h"

#include <glog/logging.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "recorder/media_init.h"
#include "recorder/output/output_file.h"
#include "settings/settings_keys.h"
#include "settings/settings_store.h"

namespace tarn {

Rgb ParseColourSetting(const std::string& text, std::string_view defaultText) {
  auto parse = [](const std::string& digits, long& value) {
    errno = 0;
    char* end = nullptr;
    const long parsed = std::strtol(digits.c_str(), &end, 10);
    if (end == digits.c_str() || errno == ERANGE) return false;
    value = parsed;
    return true;
  };
  long value = 0;
  if (!parse(text, value)) parse(std::string(defaultText), value);
  Rgb colour;
  colour.red = static_cast<int>(value & 0xFF);
  colour.green = static_cast<int>((value >> 8) & 0xFF);
  colour.blue = static_cast<int>((value >> 16) & 0xFF);
  return colour;
}

int QueuedPicturesFor(int width, int height) {
  const std::size_t pictureBytes = static_cast<std::size_t>(width) * height * 3 / 2;
  if (pictureBytes == 0) return kMaxQueuedPictures;
  return static_cast<int>(std::clamp<std::size_t>(kMaxQueuedPictureBytes / pictureBytes, 2, kMaxQueuedPictures));
}

// The video source's way in: pictures recorded only while the time line runs.
class Recorder::VideoInlet final : public VideoSink {
 public:
  explicit VideoInlet(Recorder& recorder) : recorder_(recorder) {}
  void OnVideoPacket(av::PacketPtr packet) override {
    recorder_.capturedFrames_ = recorder_.videoCapture_->picturesTaken();
    // Pictures taken before the recording began, while it is paused or after
    // it stopped are not recorded.
    if (!recorder_.timeline_.ToRecordingUs(packet->pts)) return;
    const std::size_t queued = recorder_.videoPacketQueue_.Size();
    if (queued >= static_cast<std::size_t>(kMaxQueuedPackets) ||
        (queued >= 2 && recorder_.videoPacketQueue_.Bytes() + static_cast<std::size_t>(packet->size) >
                            kMaxQueuedPacketBytes)) {
      LOG_EVERY_N(ERROR, 30) << "video queue size: " << queued << " ("
                             << (recorder_.videoPacketQueue_.Bytes() >> 20) << " MB); picture dropped";
      return;
    }
    recorder_.videoPacketQueue_.Push(std::move(packet));
  }
  bool WaitUntilRunning(bool* resumed) override { return recorder_.WaitUntilRunning(resumed); }
  void OnSourceEnded(const std::string& why) override { recorder_.EndByItself(why); }

 private:
  Recorder& recorder_;
};

// A sound source's way in: its blocks go onto its track of the time line.
class Recorder::AudioInlet final : public AudioSink {
 public:
  AudioInlet(AudioTrack& track, LevelMeter& meter) : track_(track), meter_(meter) {}
  void OnAudioBlock(const float* const planes[2], int samples, std::int64_t firstSampleUs) override {
    track_.Push(planes, samples, firstSampleUs, MonotonicNowUs());
  }
  void OnSourceEnded(const std::string& why) override {
    // The recording goes on; this source is silence from here on.
    LOG(ERROR) << track_.name() << " ended: " << why << "; recording silence in its place";
    track_.MarkEnded();
    meter_.SetState(LevelState::kUnavailable);
  }

 private:
  AudioTrack& track_;
  LevelMeter& meter_;
};

Recorder::Recorder(RecorderListener* owner, SettingsStore* settings, SourceFactory* sources)
    : owner_(owner), settings_(settings), sourceFactory_(sources) {
  InitMediaLibraries();
}

Recorder::~Recorder() {
  Stop();
  WaitUntilFinished(-1);
  if (finishingThread_.joinable()) finishingThread_.join();
}

SourceFactory& Recorder::sources() {
  return sourceFactory_ != nullptr ? *sourceFactory_ : DeviceSourceFactory();
}

void Recorder::ResetForStart() {
  watermarkType_ = -1;
  voiceSource_ = -1;
  videoFrameIndex_ = 0;
  capturedFrames_ = 0;
  droppedFrames_ = 0;
  lastVideoPts_ = 0;
  lastPostedSecond_ = -1;
  stopRequested_ = false;
  running_ = false;
  resumedOnce_ = false;
  {
    std::lock_guard<std::mutex> lock(reasonLock_);
    endReason_.clear();
  }
  startProblem_ = StartProblem::kNone;
  startError_.clear();
  startWarning_.clear();
  ReleaseMedia();
  timeline_.Reset();
  videoWidth_ = 0;
  videoHeight_ = 0;
}

void Recorder::ReadSettings() {
  SettingsStore& store = settings_ != nullptr ? *settings_ : SettingsStore::Instance();
  watermarkType_ = store.GetInt(kWatermarkType, kWatermarkTypeDefault);
  voiceSource_ = store.GetInt(kVoiceSource, kVoiceSourceDefault);
  videoSource_ = store.GetInt(kVideoSource, kVideoSourceDefault);
  micGainEnabled_ = store.GetInt(kMicrophoneCheck, kMicrophoneCheckDefault);
  audioMuted_ = store.GetInt(kAudioMuteCheck, kAudioMuteCheckDefault);
  micGainDb_ = store.GetInt(kVoiceSize, kVoiceSizeDefault);
  screen_ = ScreenSourceOptions{};
  screen_.frameRate = frameRate_;
  screen_.regionMode = store.GetInt(kUserDefinedRegionCheck, kUserDefinedRegionCheckDefault) != 0;
  screen_.followMouse = store.GetInt(kMouseFollowCheck, kMouseFollowCheckDefault) != 0;
  screen_.drawCursor = store.GetInt(kMouseCheck, kMouseCheckDefault) != 0;
  screen_.clickRings = store.GetInt(kMouseEffectClickCheck, kMouseEffectClickCheckDefault) != 0;
  screen_.hotRegion = store.GetInt(kMouseHotRegionCheck, kMouseHotRegionCheckDefault) != 0;
  auto colour = [&store](const SettingKey& key, std::string_view defaultText) {
    return ParseColourSetting(store.GetString(key, defaultText, kMouseColorCapacity), defaultText);
  };
  screen_.leftClickColor = colour(kMouseClickLeftColor, kMouseClickLeftColorDefault);
  screen_.rightClickColor = colour(kMouseClickRightColor, kMouseClickRightColorDefault);
  screen_.hotRegionColor = colour(kMouseHotRegionColor, kMouseHotRegionColorDefault);
  const int hotSize = store.GetInt(kMouseHotRegionSize, kMouseHotRegionSizeDefault);
  screen_.hotRegionWidth = hotSize;
  screen_.hotRegionHeight = hotSize;
  if (screen_.regionMode) {
    screen_.regionX = store.GetInt(kRegionOffsetX, kRegionOffsetDefault);
    screen_.regionY = store.GetInt(kRegionOffsetY, kRegionOffsetDefault);
    screen_.width = store.GetInt(kRegionWidth, kRegionWidthCaptureDefault);
    screen_.height = store.GetInt(kRegionHeight, kRegionHeightCaptureDefault);
  }
  if (screen_.followMouse) {
    screen_.width = store.GetInt(kMouseFollowRatioWidth, kMouseFollowRatioWidthDefault);
    screen_.height = store.GetInt(kMouseFollowRatioHeight, kMouseFollowRatioHeightDefault);
  }
}

void Recorder::ReleaseMedia() {
  // The sources first: their threads may still deliver into what follows.
  if (videoCapture_) videoCapture_->Stop();
  if (microphone_) microphone_->Stop();
  if (systemSound_) systemSound_->Stop();
  levelReporter_.Stop();
  micLevel_.Reset(LevelState::kOff);
  speakerLevel_.Reset(LevelState::kOff);
  videoCapture_.reset();
  microphone_.reset();
  systemSound_.reset();
  videoInlet_.reset();
  audioInlets_.clear();
  videoFilter_.reset();
  videoDecoder_.reset();
  videoEncoder_.reset();
  audioEncoder_.reset();
  outputFile_.reset();
  pVideoFifo_.reset();
  videoPacketQueue_.Drain();
  mixGraph_.reset();
  mixSpeakerSource_ = nullptr;
  mixMicSource_ = nullptr;
  mixSink_ = nullptr;
  audioBus_.reset();
  micTrack_ = -1;
  speakerTrack_ = -1;
}

int Recorder::FailStart(int code, StartProblem problem, const std::string& why) {
  startProblem_ = problem;
  startError_ = why;
  LOG(ERROR) << "the recording cannot start: " << why;
  ReleaseMedia();
  return code;
}

int Recorder::Start(const RecordingOptions& options) {
  return Start(options.fileName, options.outputDir, options.containerExt, options.containerName,
               options.frameRate, options.quality);
}

int Recorder::Start(std::string fileName, std::string outputDir, std::string containerExt,
                    std::string containerName, int frameRate, int quality) {
  std::lock_guard<std::mutex> control(controlMutex_);
  // The previous recording's file is finished before its objects are reused.
  WaitUntilFinished(-1);
  if (finishingThread_.joinable()) finishingThread_.join();

  fileName_ = std::move(fileName);
  outputDir_ = std::move(outputDir);
  containerExt_ = std::move(containerExt);
  containerName_ = std::move(containerName);
  frameRate_ = frameRate;
  quality_ = quality;
  outputPath_ = outputDir_ + "/" + fileName_;
  ResetForStart();
  if (!IsValidFrameRate(frameRate_)) {
    return FailStart(-1, StartProblem::kFrameRate,
                     "the frame rate " + std::to_string(frameRate_) + " is outside " +
                         std::to_string(kMinFrameRate) + " to " + std::to_string(kMaxFrameRate));
  }
  videoPacketQueue_.Drain();
  videoPacketQueue_.ClearStop();
  ReadSettings();

  if (const int result = OpenVideoSource(); result != 0) return result;
  BuildVideoFilter();  // a watermark that fails leaves the recording without it
  if (const int result = SetupVideoEncoder(); result != 0) return result;
  if (const int result = OpenSoundSources(); result != 0) return result;
  if (const int result = SetupAudioEncoder(); result != 0) return result;
  if (const int result = OpenOutput(); result != 0) return result;

  {
    std::lock_guard<std::mutex> lock(finishedLock_);
    finished_ = false;
  }
  state_ = kStatePrepared;
  // The sources run from now on, so that they are ready when the recording
  // begins; what they deliver before Resume is not recorded.
  videoCapture_->Start(*videoInlet_);
  if (microphone_) microphone_->Start(*audioInlets_[static_cast<std::size_t>(micTrack_)]);
  if (systemSound_) systemSound_->Start(*audioInlets_[static_cast<std::size_t>(speakerTrack_)]);
  if (owner_ != nullptr) {
    levelReporter_.Start([this] { owner_->OnSoundLevels({micLevel_.Take(), speakerLevel_.Take()}); });
  }
  videoDecodeThread_ = std::thread(&Recorder::VideoDecodeThread, this);
  videoEncodeThread_ = std::thread(&Recorder::VideoEncodeThread, this);
  finishingThread_ = std::thread(&Recorder::FinishingThread, this);
  LOG(INFO) << "recording prepared: " << outputPath_ << " " << videoWidth_ << "x" << videoHeight_
            << " at " << frameRate_ << " fps, sound "
            << (audioMuted_ ? "none" : voiceSource_ == 0 ? "microphone and system" : voiceSource_ == 1 ? "microphone" : "system");
  return 0;
}

int Recorder::OpenCamera() {
  std::vector<CaptureDeviceEntry> cameras;
  if (sources().ListCameras(cameras) != 0 || cameras.empty()) {
    LOG(ERROR) << "not get video device";
    LOG(ERROR) << "视频参数初始化失败";
    return FailStart(kStartNoVideoDevice, StartProblem::kVideoDevice, "no camera is available");
  }
  const CaptureDeviceEntry& camera = cameras.front();
  std::printf("device name: %s\n", camera.friendlyName.c_str());
  videoCapture_ = sources().CreateCameraSource(camera);
  std::string error;
  if (!videoCapture_ || videoCapture_->Open(error) != 0) {
    LOG(ERROR) << "视频参数初始化失败: " << error;
    return FailStart(-1, StartProblem::kVideoDevice,
                     "the camera " + camera.friendlyName + " cannot be opened" +
                         (error.empty() ? std::string() : ": " + error));
  }
  // A camera records at its own rate whatever rate was asked for; one that
  // does not say keeps the rate asked for.
  const int native = videoCapture_->nativeFrameRate();
  if (native >= 1) {
    const int rate = std::clamp(native, kMinFrameRate, kMaxFrameRate);
    if (rate != native) LOG(WARNING) << "the camera's " << native << " fps is recorded at " << rate;
    frameRate_ = rate;
  }
  LOG(INFO) << "camera " << camera.friendlyName << " (" << camera.inputFormat << " " << camera.url
            << ") at " << frameRate_ << " fps";
  return 0;
}

int Recorder::OpenVideoSource() {
  if (videoSource_ == 1) {
    if (const int result = OpenCamera(); result != 0) return result;
  } else {
    videoCapture_ = sources().CreateScreenSource(screen_);
    std::string error;
    if (!videoCapture_ || videoCapture_->Open(error) != 0) {
      LOG(ERROR) << "视频参数初始化失败";
      return FailStart(-1, StartProblem::kScreen, error.empty() ? "the screen cannot be recorded" : error);
    }
  }
  const StartProblem problem = videoSource_ == 1 ? StartProblem::kVideoDevice : StartProblem::kScreen;
  const AVCodecParameters& source = videoCapture_->codecParameters();
  // 4:2:0 pictures need even sizes; an odd source is scaled by a pixel.
  videoWidth_ = source.width & ~1;
  videoHeight_ = source.height & ~1;
  if (videoWidth_ < 2 || videoHeight_ < 2) {
    return FailStart(-1, problem, "the picture is too small to record");
  }
  const AVCodec* codec = avcodec_find_decoder(source.codec_id);
  videoDecoder_.reset(codec != nullptr ? avcodec_alloc_context3(codec) : nullptr);
  if (!videoDecoder_ || avcodec_parameters_to_context(videoDecoder_.get(), &source) < 0) {
    LOG(ERROR) << "not found video decoder";
    return FailStart(-1, problem, "no decoder for the video source");
  }
  videoDecoder_->time_base = AVRational{1, 1000000};
  videoDecoder_->pkt_timebase = AVRational{1, 1000000};
  videoDecoder_->bit_rate = ComputeVideoBitRates(videoWidth_, videoHeight_, frameRate_).decoder;
  videoDecoder_->thread_count = 2;
  if (const int ret = avcodec_open2(videoDecoder_.get(), codec, nullptr); ret < 0) {
    LOG(ERROR) << "not open video decoder: " << av::ErrorText(ret);
    return FailStart(-1, problem, "the video decoder does not open");
  }
  try {
    pVideoFifo_ = std::make_unique<PictureFifo>(videoWidth_, videoHeight_,
                                                QueuedPicturesFor(videoWidth_, videoHeight_));
  } catch (const std::bad_alloc&) {
    LOG(ERROR) << "video fifo alloc failed";
    return FailStart(-1, problem, "out of memory for the pictures");
  }
  videoInlet_ = std::make_unique<VideoInlet>(*this);
  return 0;
}

int Recorder::OpenSoundSources() {
  audioBus_ = std::make_unique<AudioBus>(timeline_);
  // Every recording carries one AAC track; without sound sources it is silence.
  SelectSoundSources();
  if (audioMuted_) return 0;
  std::vector<CaptureDeviceEntry> microphones;
  const bool wantMicrophone = voiceSource_ == 0 || voiceSource_ == 1;
  if (wantMicrophone) {
    if (sources().ListMicrophones(microphones) != 0 || microphones.empty()) {
      LOG(ERROR) << "音频设备获取失败";
      LOG(ERROR) << "音频参数初始化失败";
      return FailStart(kStartNoAudioDevice, StartProblem::kAudioDevice, "no microphone is available");
    }
  }
  // A source that does not open is silence in the recording: the user still
  // gets the pictures and the other source.
  auto open = [this](std::unique_ptr<AudioSource>& source, int& trackIndex, LevelMeter& meter,
                     const char* name) {
    std::string error;
    if (!source || source->Open(error) != 0) {
      LOG(ERROR) << name << " cannot be recorded: " << error << "; recording silence in its place";
      source.reset();
    }
    trackIndex = static_cast<int>(audioBus_->trackCount());
    AudioTrack& track = audioBus_->AddTrack(name);
    audioInlets_.push_back(std::make_unique<AudioInlet>(track, meter));
    meter.Reset(source ? LevelState::kLive : LevelState::kUnavailable);
    if (source) source->SetLevelMeter(&meter);
    if (!source) track.MarkEnded();
  };
  if (wantMicrophone) {
    MicrophoneOptions options;
    options.device = microphones.front();
    options.gainEnabled = micGainEnabled_ != 0;
    options.gainDb = micGainDb_;
    microphone_ = sources().CreateMicrophoneSource(options);
    open(microphone_, micTrack_, micLevel_, "microphone");
  }
  if (voiceSource_ == 0 || voiceSource_ == 2) {
    systemSound_ = sources().CreateSystemSoundSource();
    open(systemSound_, speakerTrack_, speakerLevel_, "system sound");
  }
  return 0;
}

RecordingResult Recorder::lastResult() const {
  std::lock_guard<std::mutex> lock(finishedLock_);
  return lastResult_;
}

bool Recorder::WaitUntilRunning(bool* resumed) {
  std::unique_lock<std::mutex> gate(captureLock_);
  bool waited = false;
  while (!running_ && !stopRequested_) {
    waited = true;
    std::printf("read video packet thread lock\n");
    captureCond_.wait_for(gate, std::chrono::milliseconds(400));
    std::printf("read video packet thread unlock\n");
  }
  if (resumed != nullptr) *resumed = waited;
  return !stopRequested_;
}

int Recorder::Resume() {
  std::lock_guard<std::mutex> control(controlMutex_);
  if (stopRequested_ || !finishingThread_.joinable()) return 0;  // nothing prepared
  timeline_.Resume(MonotonicNowUs());
  resumedOnce_ = true;
  state_ = kStateRecording;
  {
    std::lock_guard<std::mutex> capture(captureLock_);
    running_ = true;
  }
  captureCond_.notify_all();
  return 0;
}

int Recorder::Pause() {
  std::lock_guard<std::mutex> control(controlMutex_);
  if (state_ != kStateRecording) return 0;
  timeline_.Pause(MonotonicNowUs());
  state_ = kStatePaused;
  running_ = false;
  return 0;
}

void Recorder::RequestStop() {
  timeline_.Stop(MonotonicNowUs());
  {
    std::scoped_lock lock(captureLock_, finishLock_);
    state_ = kStateStopped;
    running_ = false;
    stopRequested_ = true;
  }
  captureCond_.notify_all();
  finishCond_.notify_all();
}

int Recorder::Stop() {
  std::lock_guard<std::mutex> control(controlMutex_);
  if (stopRequested_ || !finishingThread_.joinable()) return 0;
  RequestStop();
  return 0;
}

void Recorder::EndByItself(const std::string& reason) {
  {
    std::lock_guard<std::mutex> lock(reasonLock_);
    if (!endReason_.empty()) return;
    endReason_ = reason;
  }
  LOG(ERROR) << "the recording ends: " << reason;
  // Not through Stop: the controlling thread may hold its lock while waiting
  // for this recording.
  if (!stopRequested_) RequestStop();
}

bool Recorder::WaitUntilFinished(int timeoutMs) {
  std::unique_lock<std::mutex> lock(finishedLock_);
  if (timeoutMs < 0) {
    finishedCond_.wait(lock, [this] { return finished_; });
    return true;
  }
  return finishedCond_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                [this] { return finished_; });
}

}  // namespace tarn
