#include "recorder/audio/sound_level_monitor.h"

#include <glog/logging.h>
#include <pthread.h>

#include <chrono>
#include <exception>
#include <string>
#include <vector>

#include "recorder/media_source.h"

namespace tarn {
namespace {

// Takes a source's sound and throws it away; notes when the source ends.
class DiscardingSink final : public AudioSink {
 public:
  DiscardingSink(LevelMeter& meter, const char* name) : meter_(meter), name_(name) {}
  void OnAudioBlock(const float* const[2], int, std::int64_t) override {}
  void OnSourceEnded(const std::string& why) override {
    LOG(WARNING) << "level preview: the " << name_ << " ended: " << why;
    meter_.SetState(LevelState::kUnavailable);
  }

 private:
  LevelMeter& meter_;
  const char* const name_;
};

// Runs `body`; what it throws is logged and goes no further.
template <typename Body>
void Guarded(const char* what, Body body) {
  try {
    body();
  } catch (const std::exception& e) {
    LOG(ERROR) << "level preview: " << what << " failed: " << e.what();
  } catch (...) {
    LOG(ERROR) << "level preview: " << what << " failed";
  }
}

}  // namespace

// The sources of one choice. The sources are declared last: they stop
// before the sinks and meters they deliver to go.
struct SoundLevelMonitor::Opened {
  SoundChoice choice;
  LevelMeter microphoneLevel;
  LevelMeter speakerLevel;
  DiscardingSink microphoneSink{microphoneLevel, "microphone"};
  DiscardingSink speakerSink{speakerLevel, "system sound"};
  // The states the last report gave, so that a source ending is reported.
  LevelState reportedMicrophone = LevelState::kOff;
  LevelState reportedSpeaker = LevelState::kOff;
  std::unique_ptr<AudioSource> microphone;
  std::unique_ptr<AudioSource> systemSound;

  ~Opened() {
    if (microphone) microphone->Stop();
    if (systemSound) systemSound->Stop();
  }
  bool AnyLive() const {
    return microphoneLevel.state() == LevelState::kLive || speakerLevel.state() == LevelState::kLive;
  }
  bool AnyUnavailable() const {
    return microphoneLevel.state() == LevelState::kUnavailable ||
           speakerLevel.state() == LevelState::kUnavailable;
  }
};

SoundLevelMonitor::SoundLevelMonitor(Report report, SourceFactory* sources)
    : report_(std::move(report)), sourceFactory_(sources) {
  thread_ = std::thread(&SoundLevelMonitor::Run, this);
}

SoundLevelMonitor::~SoundLevelMonitor() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    quit_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

SourceFactory& SoundLevelMonitor::sources() {
  return sourceFactory_ != nullptr ? *sourceFactory_ : DeviceSourceFactory();
}

void SoundLevelMonitor::Open(const SoundChoice& choice) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    wanted_ = choice;
    ++requestNumber_;
  }
  wake_.notify_all();
}

void SoundLevelMonitor::Close() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!wanted_ && doneNumber_ == requestNumber_) return;
    wanted_.reset();
    ++requestNumber_;
  }
  wake_.notify_all();
}

bool SoundLevelMonitor::active() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return wanted_.has_value();
}

int SoundLevelMonitor::openCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return openCount_;
}

bool SoundLevelMonitor::WaitUntilSettled(int timeoutMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  return settled_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [this] { return doneNumber_ == requestNumber_; });
}

void SoundLevelMonitor::Run() {
  pthread_setname_np(pthread_self(), "sound-preview");
  std::unique_ptr<Opened> opened;
  std::uint64_t applied = 0;
  auto nextReport = std::chrono::steady_clock::now();
  std::unique_lock<std::mutex> lock(mutex_);
  auto changed = [&] { return quit_ || requestNumber_ != applied; };
  while (!quit_) {
    if (requestNumber_ != applied) {
      const std::optional<SoundChoice> wanted = wanted_;
      const std::uint64_t number = requestNumber_;
      lock.unlock();
      Guarded("opening the sources", [&] { Apply(wanted, number, opened); });
      nextReport = std::chrono::steady_clock::now();
      lock.lock();
      applied = number;
      doneNumber_ = number;
      settled_.notify_all();
      continue;
    }
    if (!opened || !opened->AnyLive()) {
      // A source that just ended is reported once; then, with nothing to
      // measure, the thread waits for the next request (no retrying).
      if (opened && (opened->reportedMicrophone != opened->microphoneLevel.state() ||
                     opened->reportedSpeaker != opened->speakerLevel.state())) {
        lock.unlock();
        Guarded("reporting the levels", [&] { ReportLevels(*opened); });
        lock.lock();
        continue;
      }
      wake_.wait(lock, changed);
      continue;
    }
    nextReport += std::chrono::milliseconds(kLevelReportPeriodMs);
    if (wake_.wait_until(lock, nextReport, changed)) continue;
    lock.unlock();
    Guarded("reporting the levels", [&] { ReportLevels(*opened); });
    lock.lock();
    const auto now = std::chrono::steady_clock::now();
    if (now > nextReport + std::chrono::milliseconds(kLevelReportPeriodMs)) nextReport = now;
  }
  lock.unlock();
  opened.reset();
}

bool SoundLevelMonitor::Superseded(std::uint64_t number) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return quit_ || requestNumber_ != number;
}

void SoundLevelMonitor::Apply(const std::optional<SoundChoice>& wanted, std::uint64_t number,
                              std::unique_ptr<Opened>& opened) {
  if (!wanted) {
    if (opened) LOG(INFO) << "level preview: closing the sound sources";
    opened.reset();
    return;
  }
  // The same choice keeps its sources, unless one of them could not be had.
  if (opened && SameSources(opened->choice, *wanted) && !opened->AnyUnavailable()) return;
  opened.reset();
  opened = OpenSources(*wanted, number);
  if (Superseded(number)) {
    // Overtaken while opening: the next request decides what stays open.
    opened.reset();
    return;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++openCount_;
  }
  ReportLevels(*opened);
}

std::unique_ptr<SoundLevelMonitor::Opened> SoundLevelMonitor::OpenSources(const SoundChoice& choice,
                                                                          std::uint64_t number) {
  auto opened = std::make_unique<Opened>();
  opened->choice = choice;
  const bool wantMicrophone = choice.voiceSource == 0 || choice.voiceSource == 1;
  const bool wantSpeaker = choice.voiceSource == 0 || choice.voiceSource == 2;
  if (choice.muted || (!wantMicrophone && !wantSpeaker)) return opened;
  // Each question to a slow sound server may take its timeout; a request
  // that came meanwhile (a Close, the window going) skips the rest.
  std::string microphoneName;
  const bool microphonePresent =
      wantMicrophone && !Superseded(number) && sources().HasDefaultMicrophone(microphoneName);
  const bool speakerPresent = wantSpeaker && !Superseded(number) && sources().HasDefaultSpeaker();

  auto start = [this, number](std::unique_ptr<AudioSource>& source, LevelMeter& meter, AudioSink& sink,
                              const char* name) {
    if (Superseded(number)) {
      source.reset();
      meter.Reset(LevelState::kUnavailable);
      return;
    }
    std::string error;
    if (!source || source->Open(error) != 0) {
      LOG(WARNING) << "level preview: the " << name << " cannot be opened"
                   << (error.empty() ? std::string() : ": " + error);
      source.reset();
      meter.Reset(LevelState::kUnavailable);
      return;
    }
    meter.Reset(LevelState::kLive);
    source->SetLevelMeter(&meter);
    source->Start(sink);
  };
  if (wantMicrophone) {
    std::vector<CaptureDeviceEntry> microphones;
    if (!microphonePresent || Superseded(number) || sources().ListMicrophones(microphones) != 0 ||
        microphones.empty()) {
      LOG(WARNING) << "level preview: no microphone";
      opened->microphoneLevel.Reset(LevelState::kUnavailable);
    } else {
      MicrophoneOptions options;
      options.device = microphones.front();
      options.gainEnabled = choice.gainEnabled;
      options.gainDb = choice.gainDb;
      opened->microphone = sources().CreateMicrophoneSource(options);
      start(opened->microphone, opened->microphoneLevel, opened->microphoneSink, "microphone");
    }
  }
  if (wantSpeaker) {
    if (!speakerPresent) {
      LOG(WARNING) << "level preview: no speaker to take the system sound from";
      opened->speakerLevel.Reset(LevelState::kUnavailable);
    } else {
      opened->systemSound = sources().CreateSystemSoundSource();
      start(opened->systemSound, opened->speakerLevel, opened->speakerSink, "system sound");
    }
  }
  LOG(INFO) << "level preview: microphone "
            << (opened->microphone ? "open" : wantMicrophone ? "unavailable" : "not chosen")
            << ", system sound "
            << (opened->systemSound ? "open" : wantSpeaker ? "unavailable" : "not chosen");
  return opened;
}

void SoundLevelMonitor::ReportLevels(Opened& opened) {
  const SoundLevels levels{opened.microphoneLevel.Take(), opened.speakerLevel.Take()};
  opened.reportedMicrophone = levels.microphone.state;
  opened.reportedSpeaker = levels.systemSound.state;
  report_(levels);
}

}  // namespace tarn
