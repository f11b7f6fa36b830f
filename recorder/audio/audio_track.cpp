#include "recorder/audio/audio_track.h"

#include <glog/logging.h>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

#include <algorithm>
#include <cmath>

#include "recorder/media_source.h"

namespace tarn {
namespace {

constexpr double kRate = kRecordingSampleRate;
// The error is averaged over about this long before it steers the correction.
constexpr double kErrorSmoothingSeconds = 1.0;
// A smoothed error of E samples is worked off at about E / this many seconds.
constexpr double kCorrectionSeconds = 5.0;
// Buffers are compacted once this many samples have been read.
constexpr std::size_t kCompactSamples = 1 << 16;

std::int64_t UsToSamples(std::int64_t us) { return std::llround(static_cast<double>(us) * kRate / 1e6); }

}  // namespace

AudioTrack::AudioTrack(const RecordingTimeline& timeline, std::string name)
    : timeline_(timeline), name_(std::move(name)) {
  SwrContext* context = nullptr;
  AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
  if (swr_alloc_set_opts2(&context, &stereo, AV_SAMPLE_FMT_FLTP, kRecordingSampleRate, &stereo,
                          AV_SAMPLE_FMT_FLTP, kRecordingSampleRate, 0, nullptr) >= 0 &&
      context != nullptr) {
    resampler_.reset(context);
    // Resampling from the start: switching it on later would shift the sound.
    av_opt_set_int(context, "flags", SWR_FLAG_RESAMPLE, 0);
    if (swr_init(context) < 0) resampler_.reset();
  }
  if (!resampler_) LOG(ERROR) << name_ << ": no resampler; clock drift is not corrected";
}

AudioTrack::~AudioTrack() = default;

std::int64_t AudioTrack::WritePosition() const {
  return bufferStart_ + static_cast<std::int64_t>(buffer_[0].size() - readOffset_);
}

void AudioTrack::Push(const float* const planes[2], int samples, std::int64_t firstSampleUs,
                      std::int64_t arrivalUs) {
  if (samples <= 0) return;
  const std::int64_t durationUs = std::llround(samples * 1e6 / kRate);
  std::lock_guard<std::mutex> lock(mutex_);
  if (ended_) return;
  // How late this source's sound arrives: the peak, decaying slowly, so one
  // quick block does not shorten the wait for the next slow one.
  const std::int64_t delayUs = std::max<std::int64_t>(0, arrivalUs - (firstSampleUs + durationUs));
  const std::int64_t sinceLastUs = lastArrivalUs_ > 0 ? arrivalUs - lastArrivalUs_ : 0;
  delayPeakUs_ = std::max(delayUs, delayPeakUs_ - sinceLastUs / 20);
  lastArrivalUs_ = arrivalUs;

  for (const RecordingTimeline::Portion& portion :
       timeline_.ActivePortions(firstSampleUs, firstSampleUs + durationUs)) {
    const int first = static_cast<int>(
        std::clamp<std::int64_t>(UsToSamples(portion.monoBeginUs - firstSampleUs), 0, samples));
    const int last = static_cast<int>(
        std::clamp<std::int64_t>(UsToSamples(portion.monoEndUs - firstSampleUs), first, samples));
    if (last > first) Place(planes, first, last - first, UsToSamples(portion.recordingBeginUs));
  }
}

void AudioTrack::Place(const float* const planes[2], int first, int count, std::int64_t position) {
  const std::int64_t difference = position - WritePosition();
  bool snap = !heard_ || trimPending_ || std::llabs(difference) > UsToSamples(kSnapUs);
  double smoothed = smoothedErrorSamples_;
  if (!snap) {
    const double weight = std::min(1.0, count / kRate / kErrorSmoothingSeconds);
    smoothed += (static_cast<double>(difference) - smoothed) * weight;
    // A difference that lasts is sound the source lost or held back: fixed
    // at once too, since resampling would take a minute or more to work it
    // off. Jitter averages out well below this.
    const double lasting = static_cast<double>(UsToSamples(kLastingSnapUs));
    snap = std::abs(smoothed) > lasting && std::llabs(difference) > lasting;
  }
  if (snap) {
    // A trim longer than the last block goes on in this one; it was counted.
    if (heard_ && !trimPending_) {
      ++stats_.resyncs;
      LOG(INFO) << name_ << ": sound " << (difference > 0 ? "resumes " : "overlaps by ")
                << std::llabs(difference) * 1000 / kRecordingSampleRate << " ms "
                << (difference > 0 ? "later; silence fills the gap" : "; the overlap is trimmed");
    }
    heard_ = true;
    trimPending_ = false;
    smoothedErrorSamples_ = 0;
    fractionalCorrection_ = 0;
    if (difference > 0) {
      AppendSilence(difference);
    } else if (difference < 0) {
      const int skip = static_cast<int>(std::min<std::int64_t>(-difference, count));
      stats_.trimmedSamples += skip;
      trimPending_ = -difference > count;
      first += skip;
      count -= skip;
    }
    if (count > 0) AppendResampled(planes, first, count, 0);
    return;
  }
  // Joined without a seam; the difference steers the resampling.
  smoothedErrorSamples_ = smoothed;
  const double correction =
      std::clamp(smoothedErrorSamples_ / (kRate * kCorrectionSeconds), -kMaxCorrection, kMaxCorrection);
  stats_.correction = correction;
  fractionalCorrection_ += correction * count;
  const int extra = static_cast<int>(std::lround(fractionalCorrection_));
  fractionalCorrection_ -= extra;
  AppendResampled(planes, first, count, extra);
}

void AudioTrack::AppendSilence(std::int64_t samples) {
  stats_.silenceSamples += samples;
  for (std::vector<float>& channel : buffer_) channel.resize(channel.size() + samples, 0.0f);
}

void AudioTrack::AppendResampled(const float* const planes[2], int first, int count, int extraSamples) {
  const std::uint8_t* in[2] = {reinterpret_cast<const std::uint8_t*>(planes[0] + first),
                               reinterpret_cast<const std::uint8_t*>(planes[1] + first)};
  if (!resampler_) {
    for (int c = 0; c < 2; ++c) buffer_[c].insert(buffer_[c].end(), planes[c] + first, planes[c] + first + count);
    return;
  }
  if (swr_set_compensation(resampler_.get(), extraSamples, extraSamples != 0 ? count : 0) < 0) {
    extraSamples = 0;
  }
  const int room = count + std::abs(extraSamples) + 256;
  for (std::vector<float>& channel : scratch_) channel.resize(static_cast<std::size_t>(room));
  std::uint8_t* out[2] = {reinterpret_cast<std::uint8_t*>(scratch_[0].data()),
                          reinterpret_cast<std::uint8_t*>(scratch_[1].data())};
  const int made = swr_convert(resampler_.get(), out, room, in, count);
  if (made < 0) {
    LOG_EVERY_N(ERROR, 100) << name_ << ": resampling failed: " << av::ErrorText(made);
    return;
  }
  for (int c = 0; c < 2; ++c) {
    buffer_[c].insert(buffer_[c].end(), scratch_[c].begin(), scratch_[c].begin() + made);
  }
}

void AudioTrack::MarkEnded() {
  std::lock_guard<std::mutex> lock(mutex_);
  ended_ = true;
}

std::int64_t AudioTrack::AllowanceUs(std::int64_t nowUs) const {
  if (!heard_) {
    const std::int64_t begin = timeline_.beginMonoUs();
    return nowUs - begin < kFirstSoundWaitUs ? kFirstSoundWaitUs : kIdleWaitUs;
  }
  return std::clamp<std::int64_t>(delayPeakUs_ + 100000, kMinWaitUs, kFirstSoundWaitUs);
}

bool AudioTrack::Ready(std::int64_t endPosition, std::int64_t endMonoUs, std::int64_t nowUs) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return ended_ || WritePosition() >= endPosition || nowUs >= endMonoUs + AllowanceUs(nowUs);
}

void AudioTrack::Take(std::int64_t position, int samples, float* const out[2]) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (position > bufferStart_) {
    // Never skipped in order reading; keep the positions in step regardless.
    const std::int64_t skip = std::min<std::int64_t>(position - bufferStart_, WritePosition() - bufferStart_);
    readOffset_ += static_cast<std::size_t>(skip);
    bufferStart_ += skip;
    if (position > bufferStart_) {
      bufferStart_ = position;  // nothing buffered for the skipped part
    }
  }
  const std::int64_t missing = position + samples - WritePosition();
  if (missing > 0) AppendSilence(missing);
  for (int c = 0; c < 2; ++c) {
    std::copy_n(buffer_[c].begin() + static_cast<std::ptrdiff_t>(readOffset_), samples, out[c]);
  }
  readOffset_ += static_cast<std::size_t>(samples);
  bufferStart_ += samples;
  if (readOffset_ >= kCompactSamples) {
    for (std::vector<float>& channel : buffer_) {
      channel.erase(channel.begin(), channel.begin() + static_cast<std::ptrdiff_t>(readOffset_));
    }
    readOffset_ = 0;
  }
}

AudioTrack::Stats AudioTrack::stats() const {
  std::lock_guard<std::mutex> lock(mutex_);
  Stats stats = stats_;
  stats.allowanceUs = AllowanceUs(MonotonicNowUs());
  return stats;
}

}  // namespace tarn
