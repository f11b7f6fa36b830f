#include "recorder/timeline.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace tarn {

std::int64_t MonotonicNowUs() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void RecordingTimeline::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  segments_.clear();
  stopped_ = false;
}

void RecordingTimeline::Resume(std::int64_t monoUs) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (stopped_ || (!segments_.empty() && segments_.back().monoEndUs == kOpen)) return;
  std::int64_t recorded = 0;
  if (!segments_.empty()) {
    const Segment& last = segments_.back();
    recorded = last.recordingBeginUs + (last.monoEndUs - last.monoBeginUs);
    // A clock never runs backwards, but a caller's stamp may be older than
    // the last pause: the new segment cannot begin before it.
    monoUs = std::max(monoUs, last.monoEndUs);
  }
  segments_.push_back({monoUs, kOpen, recorded});
}

void RecordingTimeline::Pause(std::int64_t monoUs) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (segments_.empty() || segments_.back().monoEndUs != kOpen) return;
  segments_.back().monoEndUs = std::max(monoUs, segments_.back().monoBeginUs);
}

void RecordingTimeline::Stop(std::int64_t monoUs) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!segments_.empty() && segments_.back().monoEndUs == kOpen) {
    segments_.back().monoEndUs = std::max(monoUs, segments_.back().monoBeginUs);
  }
  stopped_ = true;
}

bool RecordingTimeline::running() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return !segments_.empty() && segments_.back().monoEndUs == kOpen;
}

bool RecordingTimeline::stopped() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return stopped_;
}

bool RecordingTimeline::begun() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return !segments_.empty();
}

std::int64_t RecordingTimeline::beginMonoUs() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return segments_.empty() ? 0 : segments_.front().monoBeginUs;
}

std::optional<std::int64_t> RecordingTimeline::ToRecordingUs(std::int64_t monoUs) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const Segment& segment : segments_) {
    if (monoUs >= segment.monoBeginUs && monoUs < segment.monoEndUs) {
      return segment.recordingBeginUs + (monoUs - segment.monoBeginUs);
    }
  }
  return std::nullopt;
}

std::vector<RecordingTimeline::Portion> RecordingTimeline::ActivePortions(std::int64_t beginMonoUs,
                                                                          std::int64_t endMonoUs) const {
  std::vector<Portion> portions;
  std::lock_guard<std::mutex> lock(mutex_);
  for (const Segment& segment : segments_) {
    const std::int64_t begin = std::max(beginMonoUs, segment.monoBeginUs);
    const std::int64_t end = std::min(endMonoUs, segment.monoEndUs);
    if (begin < end) {
      portions.push_back({begin, end, segment.recordingBeginUs + (begin - segment.monoBeginUs)});
    }
  }
  return portions;
}

std::optional<std::int64_t> RecordingTimeline::ToMonotonicUs(std::int64_t recordingUs) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const Segment& segment : segments_) {
    const std::int64_t offset = recordingUs - segment.recordingBeginUs;
    if (offset < 0) continue;
    if (segment.monoEndUs == kOpen) return segment.monoBeginUs + offset;
    if (offset <= segment.monoEndUs - segment.monoBeginUs) return segment.monoBeginUs + offset;
  }
  return std::nullopt;
}

std::int64_t RecordingTimeline::RecordingTimeAt(std::int64_t monoUs) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::int64_t recorded = 0;
  for (const Segment& segment : segments_) {
    if (monoUs <= segment.monoBeginUs) break;
    recorded = segment.recordingBeginUs + (std::min(monoUs, segment.monoEndUs) - segment.monoBeginUs);
  }
  return recorded;
}

std::optional<std::int64_t> RecordingTimeline::stopRecordingUs() const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!stopped_) return std::nullopt;
  if (segments_.empty()) return 0;
  const Segment& last = segments_.back();
  return last.recordingBeginUs + (last.monoEndUs - last.monoBeginUs);
}

std::optional<std::int64_t> PictureSlotter::Place(std::int64_t recordingUs) {
  const double exact = static_cast<double>(recordingUs) * frameRate_ / 1e6;
  movedBack_ = false;
  std::int64_t slot = 0;
  if (last_ < 0) {
    slot = std::max<std::int64_t>(0, std::llround(exact));
  } else {
    const double ahead = exact - static_cast<double>(last_);
    if (ahead < 0.5) {
      // The last picture was late by less than a slot and left the slot
      // before it empty: it goes back there, and this one takes its slot.
      if (lastSkipped_ > 0 && lastExact_ < static_cast<double>(last_)) {
        movedBack_ = true;
        --skipped_;
        lastSkipped_ = 0;
        lastExact_ = exact;
        return last_;
      }
      ++surplus_;
      return std::nullopt;
    }
    slot = ahead < 1.5 ? last_ + 1 : std::llround(exact);
  }
  lastSkipped_ = last_ < 0 ? 0 : slot - last_ - 1;
  skipped_ += lastSkipped_;
  last_ = slot;
  lastExact_ = exact;
  return slot;
}

}  // namespace tarn
