#include "recorder/capture_clock.h"

#include <chrono>
#include <cmath>
#include <thread>

namespace tarn {
namespace {
constexpr std::int64_t kMicrosPerSecond = 1000000;
}  // namespace

std::int64_t SteadyTimeSource::NowUs() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void SteadyTimeSource::SleepUs(std::int64_t durationUs) {
  if (durationUs > 0) std::this_thread::sleep_for(std::chrono::microseconds(durationUs));
}

CaptureClock::CaptureClock(int frameRate, TimeSource& time)
    : frameRate_(frameRate > 0 ? frameRate : 1), time_(time) {}

void CaptureClock::Start() {
  const std::int64_t now = time_.NowUs();
  deadline_ = now * frameRate_;
  frameCount_ = 0;
  activeTimeUs_ = 0;
  clockRefUs_ = now;
}

void CaptureClock::BeginFrame() { deadline_ += kMicrosPerSecond; }

void CaptureClock::Restart() {
  const std::int64_t now = time_.NowUs();
  clockRefUs_ = now;
  deadline_ = now * frameRate_ + kMicrosPerSecond;
}

void CaptureClock::EnterPause() {
  const std::int64_t now = time_.NowUs();
  activeTimeUs_ += now - clockRefUs_;
  clockRefUs_ = now;
}

void CaptureClock::LeavePause() {
  const std::int64_t now = time_.NowUs();
  deadline_ = now * frameRate_ + kMicrosPerSecond;
  clockRefUs_ = now;
}

std::int64_t CaptureClock::ActiveTimeUs() { return activeTimeUs_ + time_.NowUs() - clockRefUs_; }

std::int64_t CaptureClock::ExpectedFrames() {
  return std::llround(static_cast<double>(ActiveTimeUs()) * frameRate_ / kMicrosPerSecond);
}

void CaptureClock::WaitForFrame() {
  const std::int64_t intervalUs = kMicrosPerSecond / frameRate_;
  for (;;) {
    if (frameCount_ < ExpectedFrames()) {
      // Behind schedule: take the picture at once and count from now.
      deadline_ = time_.NowUs() * frameRate_;
      return;
    }
    const std::int64_t now = time_.NowUs();
    const std::int64_t waitUs = deadline_ / frameRate_ - now;
    if (waitUs <= 0) {
      // A deadline more than one interval in the past is moved on by one, so a
      // long stall does not leave the schedule far behind.
      if (deadline_ / frameRate_ < now - intervalUs) deadline_ += kMicrosPerSecond;
      return;
    }
    time_.SleepUs(waitUs);
  }
}

}  // namespace tarn
