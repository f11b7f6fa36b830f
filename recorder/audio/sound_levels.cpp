#include "recorder/audio/sound_levels.h"

#include <glog/logging.h>
#include <pthread.h>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/samplefmt.h>
}

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <exception>

namespace tarn {
namespace {

// Reads sample `index` of a plane as a value scaled to [-1, 1].
template <typename T>
double ScaledSample(const std::uint8_t* plane, std::int64_t index);

template <>
double ScaledSample<std::uint8_t>(const std::uint8_t* plane, std::int64_t index) {
  return (plane[index] - 128.0) / 128.0;
}
template <>
double ScaledSample<std::int16_t>(const std::uint8_t* plane, std::int64_t index) {
  std::int16_t value;
  std::memcpy(&value, plane + index * 2, 2);
  return value / 32768.0;
}
template <>
double ScaledSample<std::int32_t>(const std::uint8_t* plane, std::int64_t index) {
  std::int32_t value;
  std::memcpy(&value, plane + index * 4, 4);
  return value / 2147483648.0;
}
template <>
double ScaledSample<std::int64_t>(const std::uint8_t* plane, std::int64_t index) {
  std::int64_t value;
  std::memcpy(&value, plane + index * 8, 8);
  return static_cast<double>(value) / 9223372036854775808.0;
}
template <>
double ScaledSample<float>(const std::uint8_t* plane, std::int64_t index) {
  float value;
  std::memcpy(&value, plane + index * 4, 4);
  return value;
}
template <>
double ScaledSample<double>(const std::uint8_t* plane, std::int64_t index) {
  double value;
  std::memcpy(&value, plane + index * 8, 8);
  return value;
}

template <typename T>
void MeasurePlanes(const AVFrame& frame, bool planar, BlockLevel& level) {
  const int channels = frame.ch_layout.nb_channels;
  const int planes = planar ? channels : 1;
  const std::int64_t perPlane =
      planar ? std::int64_t{frame.nb_samples} : std::int64_t{frame.nb_samples} * channels;
  double peak = 0;
  double squares = 0;
  for (int p = 0; p < planes; ++p) {
    const std::uint8_t* plane = frame.extended_data[p];
    if (plane == nullptr) return;
    for (std::int64_t i = 0; i < perPlane; ++i) {
      double value = std::fabs(ScaledSample<T>(plane, i));
      // NaN and values beyond full scale (float input) count as full scale.
      if (!(value <= 1.0)) value = 1.0;
      peak = std::max(peak, value);
      squares += value * value;
    }
  }
  level.peak = static_cast<float>(peak);
  level.squareSum = squares;
  level.values = perPlane * planes;
  level.samples = frame.nb_samples;
}

}  // namespace

double LevelToDbfs(double level) {
  if (!(level > 0)) return kSilenceDbfs;
  return std::max(kSilenceDbfs, 20.0 * std::log10(level));
}

BlockLevel MeasureFrame(const AVFrame& frame) {
  BlockLevel level;
  if (frame.nb_samples <= 0 || frame.ch_layout.nb_channels <= 0 || frame.extended_data == nullptr) {
    return level;
  }
  const auto format = static_cast<AVSampleFormat>(frame.format);
  const bool planar = av_sample_fmt_is_planar(format) != 0;
  switch (av_get_packed_sample_fmt(format)) {
    case AV_SAMPLE_FMT_U8:
      MeasurePlanes<std::uint8_t>(frame, planar, level);
      break;
    case AV_SAMPLE_FMT_S16:
      MeasurePlanes<std::int16_t>(frame, planar, level);
      break;
    case AV_SAMPLE_FMT_S32:
      MeasurePlanes<std::int32_t>(frame, planar, level);
      break;
    case AV_SAMPLE_FMT_S64:
      MeasurePlanes<std::int64_t>(frame, planar, level);
      break;
    case AV_SAMPLE_FMT_FLT:
      MeasurePlanes<float>(frame, planar, level);
      break;
    case AV_SAMPLE_FMT_DBL:
      MeasurePlanes<double>(frame, planar, level);
      break;
    default:
      break;
  }
  return level;
}

void LevelMeter::Add(const AVFrame& frame) { Add(MeasureFrame(frame)); }

void LevelMeter::Add(const BlockLevel& block) {
  if (block.samples <= 0) return;
  std::lock_guard<std::mutex> lock(mutex_);
  period_.peak = std::max(period_.peak, block.peak);
  period_.squareSum += block.squareSum;
  period_.values += block.values;
  period_.samples += block.samples;
}

SourceLevel LevelMeter::Take() {
  BlockLevel period;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    period = period_;
    period_ = BlockLevel{};
  }
  SourceLevel level;
  level.state = state_.load();
  level.samples = period.samples;
  level.peak = period.peak;
  level.rms = period.values > 0 ? static_cast<float>(std::sqrt(period.squareSum / period.values)) : 0.0f;
  return level;
}

void LevelMeter::Reset(LevelState state) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    period_ = BlockLevel{};
  }
  state_ = state;
}

void LevelReporter::Start(std::function<void()> report) {
  Stop();
  report_ = std::move(report);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = false;
  }
  thread_ = std::thread(&LevelReporter::Run, this);
}

void LevelReporter::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void LevelReporter::Run() {
  pthread_setname_np(pthread_self(), "sound-levels");
  try {
    auto next = std::chrono::steady_clock::now();
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_) {
      // A fixed schedule: a late report does not push the later ones back.
      next += std::chrono::milliseconds(kLevelReportPeriodMs);
      if (wake_.wait_until(lock, next, [this] { return stop_; })) break;
      lock.unlock();
      report_();
      lock.lock();
      const auto now = std::chrono::steady_clock::now();
      if (now > next + std::chrono::milliseconds(kLevelReportPeriodMs)) next = now;
    }
  } catch (const std::exception& e) {
    LOG(ERROR) << "sound level reports failed: " << e.what();
  } catch (...) {
    LOG(ERROR) << "sound level reports failed";
  }
}

}  // namespace tarn
