#pragma once
// One sound source's place on the recording's time line. The source pushes
// blocks stamped with the capture time of their first sample; the track
// places each on the line of recording samples (44100 a second from the
// moment the recording began, pauses left out):
// - a source that starts late, or stalls, is silence up to where its sound
//   belongs; sound stamped before the recording began, or inside a pause, is
//   left out; sound for a stretch that was already given up on is trimmed;
// - blocks that follow each other are joined without a seam, and the small
//   difference between where their stamps put them and where they are joined
//   (the sound card's clock drifting against the system clock) is corrected
//   by resampling a few hundred parts per million, never by jumps; a
//   difference that appears at once and lasts (sound the source lost) is
//   fixed at once, within a second;
// - the reader takes samples in order; what a source has not delivered by
//   its allowance (how late its sound usually arrives, plus a margin) is
//   silence, so no source holds up the recording.
//
// Push and MarkEnded are called on the source's thread, the rest on the
// encoding thread; all methods are thread-safe.

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "recorder/ffmpeg_holders.h"
#include "recorder/timeline.h"

namespace tarn {

class AudioTrack {
 public:
  // Differences between a block's stamp and where it joins the track beyond
  // this are fixed at once (silence or trimming) instead of by resampling.
  static constexpr std::int64_t kSnapUs = 40000;
  // Smaller differences are fixed at once as well when they last: when both
  // their average over about a second and the latest one pass this.
  static constexpr std::int64_t kLastingSnapUs = 10000;
  // How far the resampling may stretch or squeeze the sound.
  static constexpr double kMaxCorrection = 500e-6;
  // How long a source that has not delivered yet is waited for, from the
  // moment the recording began; afterwards, while it stays silent, kIdleWaitUs.
  static constexpr std::int64_t kFirstSoundWaitUs = 3000000;
  static constexpr std::int64_t kIdleWaitUs = 500000;
  static constexpr std::int64_t kMinWaitUs = 150000;

  AudioTrack(const RecordingTimeline& timeline, std::string name);
  ~AudioTrack();
  AudioTrack(const AudioTrack&) = delete;
  AudioTrack& operator=(const AudioTrack&) = delete;

  const std::string& name() const { return name_; }

  // A block of `samples` samples (two planes at 44100 Hz) whose first sample
  // was captured at `firstSampleUs`, arriving at `arrivalUs`.
  void Push(const float* const planes[2], int samples, std::int64_t firstSampleUs,
            std::int64_t arrivalUs);
  // The source has ended: from now on the track is silence, never waited for.
  void MarkEnded();

  // Whether the samples before `endPosition` may be taken at `nowUs`: they
  // are there, the source has ended, or `endMonoUs` (when they were recorded)
  // lies further back than the source's allowance.
  bool Ready(std::int64_t endPosition, std::int64_t endMonoUs, std::int64_t nowUs) const;
  // Copies `samples` samples from `position` on (the next ones in order) into
  // `out`; what is missing is silence, and sound that arrives for it later is
  // trimmed.
  void Take(std::int64_t position, int samples, float* const out[2]);

  // Figures of the recording so far.
  struct Stats {
    std::int64_t silenceSamples = 0;  // inserted for late starts and stalls
    std::int64_t trimmedSamples = 0;  // sound for time already given up on, or before the start
    int resyncs = 0;                  // differences fixed at once
    double correction = 0;            // the current resampling correction (ratio - 1)
    std::int64_t allowanceUs = 0;
  };
  Stats stats() const;

 private:
  void Place(const float* const planes[2], int first, int count, std::int64_t position);
  void AppendSilence(std::int64_t samples);
  void AppendResampled(const float* const planes[2], int first, int count, int extraSamples);
  std::int64_t WritePosition() const;
  std::int64_t AllowanceUs(std::int64_t nowUs) const;

  const RecordingTimeline& timeline_;
  const std::string name_;

  mutable std::mutex mutex_;
  // Samples from position bufferStart_ on: buffer_[c][readOffset_ ...].
  std::vector<float> buffer_[2];
  std::size_t readOffset_ = 0;
  std::int64_t bufferStart_ = 0;
  bool heard_ = false;
  bool ended_ = false;
  bool trimPending_ = false;         // the last block was trimmed whole, and more overlaps
  double smoothedErrorSamples_ = 0;  // where the stamps put blocks less where they joined
  double fractionalCorrection_ = 0;
  std::int64_t delayPeakUs_ = 0;     // how late blocks arrive, decaying peak
  std::int64_t lastArrivalUs_ = 0;
  av::SwrPtr resampler_;             // 44100 to 44100 with compensation
  std::vector<float> scratch_[2];
  Stats stats_;
};

}  // namespace tarn
