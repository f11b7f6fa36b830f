#pragma once
// Helpers for the tests of platform::SoundCapture: polling a capture as the
// engine does (every 10 ms), its samples, and a player whose tone is heard at
// a known monotonic time.

#include <gtest/gtest.h>
#include <pthread.h>
#include <pulse/simple.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/audio_devices.h"

namespace tarn::test {

using SoundClock = std::chrono::steady_clock;

inline std::int64_t SteadyNowUs() {
  return std::chrono::duration_cast<std::chrono::microseconds>(SoundClock::now().time_since_epoch())
      .count();
}

inline bool SoundServerReachable() { return std::system("pactl info >/dev/null 2>&1") == 0; }

// One read that appended sound.
struct CapturedBlock {
  std::int64_t stampUs = 0;  // what Read said of its first sample
  std::int64_t readUs = 0;   // when Read returned
  std::size_t offset = 0;    // of its first byte in Captured::bytes
  std::size_t bytes = 0;
};

// What the reads delivered.
struct Captured {
  std::vector<std::uint8_t> bytes;
  std::vector<CapturedBlock> blocks;
  std::vector<int> results;            // every Read's result, in order
  std::vector<SoundClock::duration> readTimes;  // how long each Read took
};

// Reads every 10 ms until `stop` holds, a read fails or `limit` passes.
template <typename Stop>
Captured ReadWhile(platform::SoundCapture& capture, SoundClock::duration limit, Stop stop) {
  Captured captured;
  const auto end = SoundClock::now() + limit;
  while (SoundClock::now() < end && !stop()) {
    const std::size_t before = captured.bytes.size();
    std::int64_t stampUs = 0;
    const auto start = SoundClock::now();
    const int got = capture.Read(captured.bytes, stampUs);
    captured.readTimes.push_back(SoundClock::now() - start);
    captured.results.push_back(got);
    if (got < 0) break;
    if (got > 0)
      captured.blocks.push_back({stampUs, SteadyNowUs(), before, captured.bytes.size() - before});
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return captured;
}

// Channel 0 of interleaved S32LE frames, scaled to [-1, 1).
inline std::vector<double> FirstChannel(const std::vector<std::uint8_t>& bytes, int channels) {
  std::vector<double> samples;
  const std::size_t frameBytes = static_cast<std::size_t>(channels) * 4;
  for (std::size_t at = 0; at + frameBytes <= bytes.size(); at += frameBytes) {
    std::uint32_t raw = 0;
    for (int i = 0; i < 4; ++i) raw |= static_cast<std::uint32_t>(bytes[at + i]) << (8 * i);
    samples.push_back(static_cast<double>(static_cast<std::int32_t>(raw)) / 2147483648.0);
  }
  return samples;
}

// The capture time of the first sample louder than `threshold`, from the
// stamp of the block that holds it; -1 when there is none.
inline std::int64_t FirstLoudSampleUs(const Captured& captured, int rate, int channels,
                                      double threshold) {
  for (const CapturedBlock& block : captured.blocks) {
    const std::vector<std::uint8_t> part(
        captured.bytes.begin() + static_cast<std::ptrdiff_t>(block.offset),
        captured.bytes.begin() + static_cast<std::ptrdiff_t>(block.offset + block.bytes));
    const std::vector<double> samples = FirstChannel(part, channels);
    for (std::size_t i = 0; i < samples.size(); ++i) {
      if (std::fabs(samples[i]) > threshold) {
        return block.stampUs + static_cast<std::int64_t>(i) * 1000000 / rate;
      }
    }
  }
  return -1;
}

// Plays silence, then a 1 kHz tone at half of full scale, then silence into
// one sink, through a playback stream of its own on a thread named "player".
// The stream's latency, taken just before the tone is written, tells when
// its first sample is heard.
class TonePlayer {
 public:
  TonePlayer(std::string sink, int rate, double leadSeconds, double toneSeconds)
      : sink_(std::move(sink)), rate_(rate), leadSeconds_(leadSeconds), toneSeconds_(toneSeconds) {
    thread_ = std::thread([this] {
      pthread_setname_np(pthread_self(), "player");
      Play();
      done_ = true;
    });
  }
  ~TonePlayer() { thread_.join(); }
  TonePlayer(const TonePlayer&) = delete;
  TonePlayer& operator=(const TonePlayer&) = delete;

  bool done() const { return done_; }
  // Valid once done(): false when the stream failed.
  bool played() const { return played_; }
  std::int64_t toneHeardUs() const { return toneHeardUs_.load(); }
  std::int64_t latencyUs() const { return latencyUs_; }

 private:
  void Play() {
    pa_sample_spec spec{PA_SAMPLE_S16LE, static_cast<std::uint32_t>(rate_), 1};
    pa_buffer_attr buffer{};
    buffer.maxlength = static_cast<std::uint32_t>(-1);
    buffer.tlength = static_cast<std::uint32_t>(pa_usec_to_bytes(100000, &spec));
    buffer.prebuf = static_cast<std::uint32_t>(-1);
    buffer.minreq = static_cast<std::uint32_t>(pa_usec_to_bytes(10000, &spec));
    buffer.fragsize = static_cast<std::uint32_t>(-1);
    int error = 0;
    struct SimpleFree {
      void operator()(pa_simple* stream) const { pa_simple_free(stream); }
    };
    std::unique_ptr<pa_simple, SimpleFree> stream(
        pa_simple_new(nullptr, "tarn-test", PA_STREAM_PLAYBACK, sink_.c_str(), "tone", &spec,
                      nullptr, &buffer, &error));
    if (!stream) return;
    const int blockFrames = rate_ / 100;
    std::vector<std::int16_t> block(static_cast<std::size_t>(blockFrames), 0);
    auto write = [&]() {
      return pa_simple_write(stream.get(), block.data(), block.size() * 2, &error) == 0;
    };
    for (int i = 0; i < static_cast<int>(leadSeconds_ * 100); ++i) {
      if (!write()) return;
    }
    // The latency read between two clock readings close together, so that
    // the time it counts from is known (a busy machine may hold the thread).
    for (int attempt = 0;; ++attempt) {
      const std::int64_t beforeUs = SteadyNowUs();
      const pa_usec_t latency = pa_simple_get_latency(stream.get(), &error);
      const std::int64_t afterUs = SteadyNowUs();
      if (latency == static_cast<pa_usec_t>(-1)) return;
      if (afterUs - beforeUs < 2000) {
        latencyUs_ = static_cast<std::int64_t>(latency);
        toneHeardUs_ = (beforeUs + afterUs) / 2 + latencyUs_;
        break;
      }
      if (attempt == 100 || !write()) return;
    }
    const int toneBlocks = static_cast<int>(toneSeconds_ * 100);
    for (int b = 0; b < toneBlocks; ++b) {
      for (int i = 0; i < blockFrames; ++i) {
        const double t = static_cast<double>(b * blockFrames + i) / rate_;
        block[static_cast<std::size_t>(i)] =
            static_cast<std::int16_t>(16384.0 * std::sin(2.0 * M_PI * 1000.0 * t));
      }
      if (!write()) return;
    }
    std::fill(block.begin(), block.end(), 0);
    for (int i = 0; i < 30; ++i) {
      if (!write()) return;
    }
    played_ = pa_simple_drain(stream.get(), &error) == 0;
  }

  const std::string sink_;
  const int rate_;
  const double leadSeconds_;
  const double toneSeconds_;
  // Written by the player thread just before the tone is written (so a test
  // may wait for it and act when the tone is heard); 0 until then.
  std::atomic<std::int64_t> toneHeardUs_{0};
  // Written by the player thread before done_, read by the test after it.
  std::int64_t latencyUs_ = 0;
  bool played_ = false;
  std::atomic<bool> done_{false};
  std::thread thread_;
};

}  // namespace tarn::test
