#pragma once
// Watches a sink's monitor for sound the server loses. A server that skips
// cycles of its graph (PipeWire held up on a loaded machine) delivers fewer
// frames than the time that passed, and plays what streams give it that much
// later: a tone scheduled by the latency of its stream is then heard late,
// and a test that compares the recording with the schedule compares with the
// wrong moment.

#include <pthread.h>
#include <pulse/simple.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/sound_capture_support.h"

namespace tarn::test {

class SoundLossWatch {
 public:
  explicit SoundLossWatch(std::string source, int rate = 48000) : source_(std::move(source)), rate_(rate) {
    thread_ = std::thread([this] {
      pthread_setname_np(pthread_self(), "loss watch");
      Run();
    });
  }
  ~SoundLossWatch() {
    stop_ = true;
    thread_.join();
  }
  SoundLossWatch(const SoundLossWatch&) = delete;
  SoundLossWatch& operator=(const SoundLossWatch&) = delete;

  // How much sound (microseconds) the server failed to deliver between
  // `fromUs` and `toUs` (steady clock), from the readings of the 300 ms
  // before the first and after the second; none while those are missing.
  // Each reading's lateness (when it came, less the time its frames cover)
  // is least for the reading that came straight from the server, whatever
  // the chunks it delivers in or the scheduling of this thread; the loss is
  // how much that least lateness grew.
  std::optional<std::int64_t> LostUs(std::int64_t fromUs, std::int64_t toUs) const {
    const std::optional<std::int64_t> before = LeastLatenessUs(fromUs - kSpanUs, fromUs);
    const std::optional<std::int64_t> after = LeastLatenessUs(toUs, toUs + kSpanUs);
    if (!before || !after) return std::nullopt;
    return *after - *before;
  }

 private:
  static constexpr std::int64_t kSpanUs = 300000;

  struct Reading {
    std::int64_t atUs;    // when the read returned
    std::int64_t frames;  // delivered so far, this read's included
  };

  std::optional<std::int64_t> LeastLatenessUs(std::int64_t fromUs, std::int64_t toUs) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::optional<std::int64_t> least;
    for (const Reading& reading : readings_) {
      if (reading.atUs < fromUs || reading.atUs > toUs) continue;
      const std::int64_t latenessUs = reading.atUs - reading.frames * 1000000 / rate_;
      least = std::min(least.value_or(INT64_MAX), latenessUs);
    }
    return least;
  }

  void Run() {
    pa_sample_spec spec{PA_SAMPLE_S16LE, static_cast<std::uint32_t>(rate_), 1};
    pa_buffer_attr buffer{};
    buffer.maxlength = static_cast<std::uint32_t>(-1);
    buffer.fragsize = static_cast<std::uint32_t>(pa_usec_to_bytes(10000, &spec));
    int error = 0;
    struct SimpleFree {
      void operator()(pa_simple* stream) const { pa_simple_free(stream); }
    };
    std::unique_ptr<pa_simple, SimpleFree> stream(pa_simple_new(
        nullptr, "tarn-test", PA_STREAM_RECORD, source_.c_str(), "loss watch", &spec, nullptr, &buffer, &error));
    if (!stream) return;
    const int blockFrames = rate_ / 200;
    std::vector<std::int16_t> block(static_cast<std::size_t>(blockFrames));
    std::int64_t frames = 0;
    while (!stop_) {
      if (pa_simple_read(stream.get(), block.data(), block.size() * 2, &error) != 0) return;
      frames += blockFrames;
      const std::int64_t atUs = SteadyNowUs();
      std::lock_guard<std::mutex> lock(mutex_);
      readings_.push_back({atUs, frames});
    }
  }

  const std::string source_;
  const int rate_;
  mutable std::mutex mutex_;
  std::vector<Reading> readings_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace tarn::test
