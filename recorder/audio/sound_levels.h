#pragma once
// How loud each sound source is: peak and RMS of the samples a source
// captured, measured as they arrive (before any processing or mixing) and
// reported about ten times a second, during a recording and in the idle
// preview of the record page.
//
// LevelMeter is fed by one source's capture thread and read by the thread
// that reports; LevelReporter is that thread.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

struct AVFrame;

namespace tarn {

// Whether a source is part of what is measured.
enum class LevelState {
  kOff,          // not chosen (or no sound is recorded)
  kLive,         // chosen and delivering (perhaps silence)
  kUnavailable,  // chosen, but it did not open or it ended (no device, no server)
};

// One source's level over the last report period. Levels are linear, 0 (no
// sound) to 1 (full scale).
struct SourceLevel {
  LevelState state = LevelState::kOff;
  float peak = 0;
  float rms = 0;
  // Samples (per channel) measured in the period; 0 when nothing arrived.
  std::int64_t samples = 0;
};

// What one report says of the two sources.
struct SoundLevels {
  SourceLevel microphone;
  SourceLevel systemSound;
};

// A linear level in dB relative to full scale; kSilenceDbfs for 0 and below.
inline constexpr double kSilenceDbfs = -100.0;
double LevelToDbfs(double level);

// The report period.
inline constexpr int kLevelReportPeriodMs = 100;

// Peak and sum of squares of a block of samples.
struct BlockLevel {
  float peak = 0;
  double squareSum = 0;
  std::int64_t values = 0;   // samples times channels
  std::int64_t samples = 0;  // per channel
};

// Measures a decoded frame in any of FFmpeg's sample formats (packed or
// planar; u8, s16, s32, s64, float, double). Values beyond full scale count
// as full scale. An unknown format measures nothing.
BlockLevel MeasureFrame(const AVFrame& frame);

class LevelMeter {
 public:
  // Adds a block of the source's samples. Any thread; cheap (no copy).
  void Add(const AVFrame& frame);
  void Add(const BlockLevel& block);
  // The level since the last Take (nothing: silence, 0 samples), and starts
  // the next period. Any thread.
  SourceLevel Take();
  // Any thread.
  void SetState(LevelState state) { state_ = state; }
  LevelState state() const { return state_.load(); }
  // Forgets what was measured and sets the state.
  void Reset(LevelState state);

 private:
  std::atomic<LevelState> state_{LevelState::kOff};
  std::mutex mutex_;
  BlockLevel period_;  // guarded by mutex_
};

// A thread named "sound-levels" that calls `report` every
// kLevelReportPeriodMs until Stop. Its report must not block for long.
class LevelReporter {
 public:
  LevelReporter() = default;
  ~LevelReporter() { Stop(); }
  LevelReporter(const LevelReporter&) = delete;
  LevelReporter& operator=(const LevelReporter&) = delete;

  // Starts the thread (stopping one that runs). The controlling thread only.
  void Start(std::function<void()> report);
  // Ends and joins the thread; safe without Start and more than once.
  void Stop();

 private:
  void Run();

  std::function<void()> report_;  // written before the thread starts
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;  // guarded by mutex_
  std::thread thread_;
};

}  // namespace tarn
