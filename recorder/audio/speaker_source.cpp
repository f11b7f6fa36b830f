// System sound: what the default speaker plays, taken from its monitor every
// 10 ms, converted in short chunks to the encoder's format and
// handed to the encoder. While nothing plays for a second the source reports
// itself idle, so the encoder records silence instead of waiting.

#include <glog/logging.h>
#include <pthread.h>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/mathematics.h>
}

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/audio_devices.h"
#include "recorder/recorder.h"

namespace tarn {
namespace {

// Sound is converted and handed on in chunks of 50 ms at 44.1 kHz. Longer
// chunks make the encoder hold the pictures back until the sound arrives:
// half-second chunks kept about 90 MB of 1080p pictures waiting.
constexpr int kChunkFrames = 2205;
constexpr int kAudioOutRate = 44100;
constexpr int kIdlePolls = 100;  // of 10 ms: one second without sound
constexpr int kPollMs = 10;

}  // namespace

void Recorder::SpeakerThread() {
  pthread_setname_np(pthread_self(), "speaker");
  struct EndGuard {
    Recorder& recorder;
    ~EndGuard() {
      recorder.speakerEnded_ = true;
      recorder.speakerActive_ = false;
      if (recorder.voiceSource_ == 0) {
        recorder.audioGate2_ = true;
      } else {
        recorder.audioGate1_ = true;
      }
      std::printf("speaker audio capture thread exit\n");
    }
  } guard{*this};

  std::unique_ptr<platform::SoundCapture> loopback = platform::CreateLoopbackCapture();
  if (!loopback || !loopback->Open()) {
    LOG(ERROR) << "system sound capture could not start";
    return;
  }
  const int rate = loopback->sampleRate();
  const int channels = loopback->channels();
  const std::size_t frameBytes = static_cast<std::size_t>(channels) * 4;
  LOG(INFO) << "nChannels: " << channels << " nSamplesPerSec: " << rate << " wBitsPerSample: 32";
  if (rate <= 0 || channels <= 0) {
    LOG(ERROR) << "Unsupported Audio Format";
    return;
  }

  SwrContext* context = nullptr;
  AVChannelLayout inLayout;
  av_channel_layout_default(&inLayout, channels);
  AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
  if (swr_alloc_set_opts2(&context, &stereo, AV_SAMPLE_FMT_FLTP, kAudioOutRate, &inLayout,
                          AV_SAMPLE_FMT_S32, rate, 0, nullptr) < 0 ||
      context == nullptr) {
    LOG(ERROR) << "Could not allocate resampler context";
    return;
  }
  av::SwrPtr resampler(context);
  if (swr_init(context) < 0) {
    LOG(ERROR) << "swr_init error";
    return;
  }
  const int capacity = static_cast<int>(
      av_rescale_rnd(swr_get_delay(context, rate) + kChunkFrames, kAudioOutRate, rate, AV_ROUND_UP));
  std::vector<float> left(static_cast<std::size_t>(capacity));
  std::vector<float> right(static_cast<std::size_t>(capacity));
  {
    std::lock_guard<std::mutex> lock(speakerFifoLock_);
    if (!speakerFifo_) speakerFifo_.reset(av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, 2, capacity * 6));
    if (!speakerFifo_) {
      LOG(ERROR) << "frame alloc error";
      return;
    }
  }

  const std::size_t chunkBytes = frameBytes * kChunkFrames;
  std::vector<std::uint8_t> chunk;
  chunk.reserve(chunkBytes);
  std::vector<std::uint8_t> incoming;
  std::int64_t incomingUs = 0;  // capture time of the first incoming sample (not used yet)
  int idlePolls = 0;

  // Converts the full chunk and queues it for the encoder; false on error.
  auto convertChunk = [&]() {
    const std::uint8_t* in[1] = {chunk.data()};
    std::uint8_t* out[2] = {reinterpret_cast<std::uint8_t*>(left.data()),
                            reinterpret_cast<std::uint8_t*>(right.data())};
    const int made = swr_convert(resampler.get(), out, capacity, in, kChunkFrames);
    chunk.clear();
    if (made < 0) {
      LOG(ERROR) << "swr_convert  error";
      return false;
    }
    std::lock_guard<std::mutex> lock(speakerFifoLock_);
    // A full FIFO (the encoder is stalled) drops the oldest sound rather than
    // blocking the capture.
    const int space = av_audio_fifo_space(speakerFifo_.get());
    if (space < made) av_audio_fifo_drain(speakerFifo_.get(), made - space);
    void* data[2] = {left.data(), right.data()};
    av_audio_fifo_write(speakerFifo_.get(), data, made);
    return true;
  };

  while (!stopRequested_) {
    incoming.clear();
    const int read = loopback->Read(incoming, incomingUs);
    if (read < 0) {
      LOG(ERROR) << "system sound source is gone";
      return;
    }
    // Start gate: the gate opens with the first sound the monitor delivers
    // (so the pictures start with it); what comes before every source is
    // ready is dropped.
    std::atomic<bool>& myGate = voiceSource_ == 0 ? audioGate2_ : audioGate1_;
    if (read > 0 && !myGate) myGate = true;
    const bool allReady = voiceSource_ == 0 ? (audioGate1_ && audioGate2_ && videoGate_)
                                            : (audioGate1_ && videoGate_);
    if (!allReady) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      continue;
    }
    if (read == 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
      if (++idlePolls >= kIdlePolls) {
        speakerActive_ = false;
        idlePolls = 0;
      }
      continue;
    }
    speakerActive_ = true;
    idlePolls = 0;
    if (!running_) continue;  // paused: drained and dropped

    // Whole frames only; a partial frame cannot come from the server.
    std::size_t offset = 0;
    const std::size_t usable = incoming.size() - incoming.size() % frameBytes;
    while (offset < usable) {
      const std::size_t take = std::min(chunkBytes - chunk.size(), usable - offset);
      chunk.insert(chunk.end(), incoming.begin() + static_cast<std::ptrdiff_t>(offset),
                   incoming.begin() + static_cast<std::ptrdiff_t>(offset + take));
      offset += take;
      if (chunk.size() == chunkBytes && !convertChunk()) return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
  }
}

}  // namespace tarn
