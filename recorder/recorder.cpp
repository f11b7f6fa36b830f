#include "recorder/recorder.h"

#include <glog/logging.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "platform/screen_capture.h"
#include "recorder/media_init.h"
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

Recorder::Recorder(RecorderListener* owner, SettingsStore* settings)
    : owner_(owner), settings_(settings) {
  InitMediaLibraries();
}

Recorder::~Recorder() {
  Stop();
  WaitUntilFinished(-1);
  if (finishingThread_.joinable()) finishingThread_.join();
  JoinWorkers();  // only a failed Start could leave any, but be certain
}

void Recorder::ResetForStart() {
  watermarkType_ = -1;
  voiceSource_ = -1;
  videoFrameIndex_ = 0;
  capturedFrames_ = 0;
  audioSamples_ = 0;
  lastVideoPts_ = 0;
  lastAudioPts_ = 0;
  lastPostedSecond_ = -1;
  videoEnded_ = false;
  outputFileOpened_ = false;
  stopRequested_ = false;
  running_ = false;
  audioGate1_ = false;
  audioGate2_ = false;
  videoGate_ = false;
  sourcesReady_ = false;
  speakerActive_ = false;
  micEnded_ = false;
  speakerEnded_ = false;
  ReleaseMedia();
  // The video source fills in the screen and picture sizes.
  screenWidth_ = 0;
  screenHeight_ = 0;
  videoWidth_ = 0;
  videoHeight_ = 0;
  regionX_ = 0;
  regionY_ = 0;
}

void Recorder::ReadSettings() {
  SettingsStore& store = settings_ != nullptr ? *settings_ : SettingsStore::Instance();
  watermarkType_ = store.GetInt(kWatermarkType, kWatermarkTypeDefault);
  voiceSource_ = store.GetInt(kVoiceSource, kVoiceSourceDefault);
  videoSource_ = store.GetInt(kVideoSource, kVideoSourceDefault);
  micGainEnabled_ = store.GetInt(kMicrophoneCheck, kMicrophoneCheckDefault);
  audioMuted_ = store.GetInt(kAudioMuteCheck, kAudioMuteCheckDefault);
  regionMode_ = store.GetInt(kUserDefinedRegionCheck, kUserDefinedRegionCheckDefault);
  followMouse_ = store.GetInt(kMouseFollowCheck, kMouseFollowCheckDefault);
  micGainDb_ = store.GetInt(kVoiceSize, kVoiceSizeDefault);
  drawCursor_ = store.GetInt(kMouseCheck, kMouseCheckDefault);
  clickRings_ = store.GetInt(kMouseEffectClickCheck, kMouseEffectClickCheckDefault);
  hotRegion_ = store.GetInt(kMouseHotRegionCheck, kMouseHotRegionCheckDefault);
  auto colour = [&store](const SettingKey& key, std::string_view defaultText) {
    return ParseColourSetting(store.GetString(key, defaultText, kMouseColorCapacity), defaultText);
  };
  leftClickColor_ = colour(kMouseClickLeftColor, kMouseClickLeftColorDefault);
  rightClickColor_ = colour(kMouseClickRightColor, kMouseClickRightColorDefault);
  hotRegionColor_ = colour(kMouseHotRegionColor, kMouseHotRegionColorDefault);
  const int hotSize = store.GetInt(kMouseHotRegionSize, kMouseHotRegionSizeDefault);
  hotRegionWidth_ = hotSize;
  hotRegionHeight_ = hotSize;
  hotRegionHalfWidth_ = hotSize / 2;
  hotRegionHalfHeight_ = hotSize / 2;
}

void Recorder::ReleaseMedia() {
  grabber_.reset();
  videoDecoder_.reset();
  videoEncoder_.reset();
  audioEncoder_.reset();
  videoStream_ = nullptr;
  audioStream_ = nullptr;
  outputContext_.reset();
  pVideoFifo_.reset();
  videoPacketQueue_.Drain();
  mixGraph_.reset();
  mixSpeakerSource_ = nullptr;
  mixMicSource_ = nullptr;
  mixSink_ = nullptr;
  micFifo_.reset();
  {
    std::lock_guard<std::mutex> lock(speakerFifoLock_);
    speakerFifo_.reset();
  }
  voiceResampler_.reset();
  captureDevices_.clear();
}

void Recorder::JoinWorkers() {
  for (std::thread* worker : {&videoSourceThread_, &microphoneThread_, &speakerThread_,
                              &videoDecodeThread_, &videoEncodeThread_}) {
    if (worker->joinable()) worker->join();
  }
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
  if (frameRate_ <= 0) {
    LOG(ERROR) << "invalid frame rate " << frameRate_;
    return -1;
  }

  ResetForStart();
  videoPacketQueue_.Drain();
  videoPacketQueue_.ClearStop();
  ReadSettings();

  int result = 0;
  if (videoSource_ == 0) {
    result = SetupScreenSource();
  } else {
    LOG(ERROR) << "no camera device";
    result = kStartNoVideoDevice;
  }
  if (result != 0) {
    LOG(ERROR) << "视频参数初始化失败";
    ReleaseMedia();
    return result;
  }

  if (watermarkType_ != 0) {
    LOG(WARNING) << "watermark type " << watermarkType_ << " is not available; recording without it";
  }

  result = SetupOutput();
  if (result != 0) {
    ReleaseMedia();
    return result;
  }

  // Every recording carries one AAC track; without sound sources it is silence.
  SelectSoundSources();
  result = 0;
  if (!audioMuted_ && (voiceSource_ == 0 || voiceSource_ == 1)) result = SetupMicrophone();
  if (result == 0) result = SetupAudio();
  if (result != 0) {
    LOG(ERROR) << "音频参数初始化失败";
    ReleaseMedia();
    // A file without a header is of no use to anybody.
    if (outputFileOpened_) std::remove(outputPath_.c_str());
    return result;
  }
  // The mixing graph is built before any thread runs, so that its failure
  // leaves nothing running.
  if (!audioMuted_ && voiceSource_ == 0) {
    result = BuildMixGraph();
    if (result != 0) {
      LOG(ERROR) << "混音参数初始化失败";
      ReleaseMedia();
      if (outputFileOpened_) std::remove(outputPath_.c_str());
      return result;
    }
  }

  {
    std::lock_guard<std::mutex> lock(finishedLock_);
    finished_ = false;
  }
  state_ = kStatePrepared;
  sourcesReady_ = audioMuted_ != 0;  // else the sound sources open the start gate
  videoSourceThread_ = std::thread(&Recorder::VideoReadThread, this);
  if (!audioMuted_) {
    if (voiceSource_ == 0 || voiceSource_ == 1) {
      microphoneThread_ = std::thread(&Recorder::MicrophoneThread, this);
    }
    if (voiceSource_ == 0 || voiceSource_ == 2) speakerThread_ = std::thread(&Recorder::SpeakerThread, this);
  }
  videoDecodeThread_ = std::thread(&Recorder::VideoDecodeThread, this);
  videoEncodeThread_ = std::thread(&Recorder::VideoEncodeThread, this);
  finishingThread_ = std::thread(&Recorder::FinishingThread, this);
  LOG(INFO) << "recording prepared: " << outputPath_ << " " << videoWidth_ << "x" << videoHeight_
            << " at " << frameRate_ << " fps, sound "
            << (audioMuted_ ? "none" : voiceSource_ == 0 ? "microphone and system" : voiceSource_ == 1 ? "microphone" : "system");
  return 0;
}

int Recorder::Resume() {
  std::lock_guard<std::mutex> control(controlMutex_);
  if (stopRequested_ || !finishingThread_.joinable()) return 0;  // nothing prepared
  state_ = kStateRecording;
  {
    std::lock_guard<std::mutex> capture(captureLock_);
    std::lock_guard<std::mutex> encode(encodeLock_);
    running_ = true;
  }
  captureCond_.notify_all();
  encodeCond_.notify_all();
  return 0;
}

int Recorder::Pause() {
  std::lock_guard<std::mutex> control(controlMutex_);
  if (state_ != kStateRecording) return 0;
  state_ = kStatePaused;
  running_ = false;
  return 0;
}

int Recorder::Stop() {
  std::lock_guard<std::mutex> control(controlMutex_);
  if (stopRequested_ || !finishingThread_.joinable()) return 0;
  {
    std::scoped_lock lock(captureLock_, encodeLock_, finishLock_);
    state_ = kStateStopped;
    running_ = false;
    stopRequested_ = true;
    speakerActive_ = false;
  }
  captureCond_.notify_all();
  encodeCond_.notify_all();
  finishCond_.notify_all();
  micFifoCond_.notify_all();
  return 0;
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

bool Recorder::WaitAtGate(std::mutex& lock, std::condition_variable& cond, const char* lockTrace,
                          const char* unlockTrace) {
  std::unique_lock<std::mutex> gate(lock);
  while (!running_ && !stopRequested_) {
    std::printf("%s", lockTrace);
    cond.wait_for(gate, std::chrono::milliseconds(400));
    std::printf("%s", unlockTrace);
  }
  return !stopRequested_;
}

}  // namespace tarn
