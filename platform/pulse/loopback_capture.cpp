// Loopback of the default sink: a PulseAudio record stream on the sink's
// monitor source, 32-bit signed little-endian samples at the sink's rate and
// channel count. The stream runs on a private main loop that Read() turns
// without waiting, so the one thread that owns the capture does all the
// work and no lock is needed.

#include <glog/logging.h>
#include <pulse/pulseaudio.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/audio_devices.h"
#include "platform/pulse/pulse_holders.h"

namespace tarn::platform {
namespace {

using pulse::ContextPtr;
using pulse::MainloopPtr;
using pulse::OperationPtr;
using pulse::StreamPtr;

using Clock = std::chrono::steady_clock;

// The server delivers the sound in fragments of about this length, the
// period at which the capture thread polls.
constexpr pa_usec_t kFragmentUs = 10 * 1000;

// Read() handles at most this many batches of server events per call, so a
// flood of events cannot hold the caller; what is left waits for the next call.
constexpr int kMaxDispatchPasses = 64;


int RemainingMs(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return static_cast<int>(std::clamp<long long>(left.count(), 0, INT_MAX));
}

class PulseLoopbackCapture final : public SoundCapture {
 public:
  explicit PulseLoopbackCapture(std::optional<std::string> sourceName) : sourceName_(std::move(sourceName)) {}
  bool Open(int timeoutMs) override;
  int sampleRate() const override { return rate_; }
  int channels() const override { return channels_; }
  int Read(std::vector<std::uint8_t>& out, std::int64_t& firstSampleUs) override;

 private:
  // Runs the main loop until `done` holds, the connection fails or the
  // deadline passes; each poll waits at most until the deadline.
  template <typename Done>
  bool IterateUntil(Clock::time_point deadline, Done done);
  bool OpenFailed(const std::string& what);
  int ReadFailed(const std::string& what);
  void Close();
  std::string ServerError() const { return pa_strerror(pa_context_errno(context_.get())); }

  // Released in reverse order: the stream, then the context, then the loop.
  MainloopPtr loop_;
  ContextPtr context_;
  StreamPtr stream_;
  int rate_ = 0;
  int channels_ = 0;
  bool failed_ = false;  // set once Read has reported the end (or Open failed)
  std::optional<std::string> sourceName_;  // none: the default sink's monitor
};

template <typename Done>
bool PulseLoopbackCapture::IterateUntil(Clock::time_point deadline, Done done) {
  while (!done()) {
    if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context_.get()))) return false;
    if (stream_ && !PA_STREAM_IS_GOOD(pa_stream_get_state(stream_.get()))) return false;
    const auto now = Clock::now();
    if (now >= deadline) return false;
    const long long remainingUs =
        std::chrono::duration_cast<std::chrono::microseconds>(deadline - now).count() + 1;
    const int timeoutUs = static_cast<int>(std::min<long long>(remainingUs, INT_MAX));
    if (pa_mainloop_prepare(loop_.get(), timeoutUs) < 0 || pa_mainloop_poll(loop_.get()) < 0 ||
        pa_mainloop_dispatch(loop_.get()) < 0) {
      return false;
    }
  }
  return true;
}

bool PulseLoopbackCapture::Open(int timeoutMs) {
  Close();
  failed_ = true;  // until the stream is ready
  rate_ = 0;
  channels_ = 0;
  const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));

  AudioServerInfo server;
  if (!QueryAudioServer(server, RemainingMs(deadline))) return false;  // it logged why
  pa_sample_spec spec{};
  spec.format = PA_SAMPLE_S32LE;
  std::string monitor;
  if (sourceName_) {
    monitor = sourceName_->empty() ? server.defaultSourceName : *sourceName_;
    if (monitor.empty()) return OpenFailed("the sound server has no default source");
    spec.rate = 48000;
    spec.channels = 2;
  } else {
    if (server.defaultSinkName.empty()) return OpenFailed("the sound server has no default sink");
    spec.rate = static_cast<std::uint32_t>(std::max(server.sinkRate, 0));
    spec.channels = static_cast<std::uint8_t>(std::clamp(server.sinkChannels, 0, 255));
    monitor = server.defaultSinkMonitor.empty() ? server.defaultSinkName + ".monitor"
                                                : server.defaultSinkMonitor;
  }
  if (!pa_sample_spec_valid(&spec)) {
    return OpenFailed("the source \"" + monitor + "\" has no usable format");
  }

  loop_.reset(pa_mainloop_new());
  if (!loop_) return OpenFailed("cannot create a main loop");
  context_.reset(pa_context_new(pa_mainloop_get_api(loop_.get()), "TarnRecorder"));
  if (!context_) return OpenFailed("cannot create a sound server context");
  if (pa_context_connect(context_.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
    return OpenFailed("no sound server: " + ServerError());
  }
  if (!IterateUntil(deadline, [this] {
        return pa_context_get_state(context_.get()) == PA_CONTEXT_READY;
      })) {
    const bool timedOut = PA_CONTEXT_IS_GOOD(pa_context_get_state(context_.get()));
    return OpenFailed("no sound server: " +
                      (timedOut ? std::string(pa_strerror(PA_ERR_TIMEOUT)) : ServerError()));
  }

  stream_.reset(pa_stream_new(context_.get(), "System sound", &spec, nullptr));
  if (!stream_) return OpenFailed("cannot create a record stream: " + ServerError());
  pa_buffer_attr buffer{};
  buffer.maxlength = static_cast<std::uint32_t>(-1);
  buffer.tlength = static_cast<std::uint32_t>(-1);
  buffer.prebuf = static_cast<std::uint32_t>(-1);
  buffer.minreq = static_cast<std::uint32_t>(-1);
  buffer.fragsize = static_cast<std::uint32_t>(pa_usec_to_bytes(kFragmentUs, &spec));
  // DONT_MOVE: when the monitored sink goes away the server ends the stream
  // instead of moving it to some other source, which would then be recorded
  // as system sound.
  const auto flags =
      static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
  if (pa_stream_connect_record(stream_.get(), monitor.c_str(), &buffer, flags) < 0) {
    return OpenFailed("cannot record " + monitor + ": " + ServerError());
  }
  if (!IterateUntil(deadline, [this] {
        return pa_stream_get_state(stream_.get()) == PA_STREAM_READY;
      })) {
    const bool timedOut = PA_CONTEXT_IS_GOOD(pa_context_get_state(context_.get())) &&
                          PA_STREAM_IS_GOOD(pa_stream_get_state(stream_.get()));
    return OpenFailed("cannot record " + monitor + ": " +
                      (timedOut ? std::string(pa_strerror(PA_ERR_TIMEOUT)) : ServerError()));
  }

  // The server may have adjusted the format; report what the stream delivers.
  const pa_sample_spec* actual = pa_stream_get_sample_spec(stream_.get());
  rate_ = static_cast<int>(actual->rate);
  channels_ = actual->channels;
  failed_ = false;
  LOG(INFO) << "system sound: recording " << monitor << ", " << rate_ << " Hz, " << channels_
            << " channels";
  return true;
}

int PulseLoopbackCapture::Read(std::vector<std::uint8_t>& out, std::int64_t& firstSampleUs) {
  if (failed_) return -1;
  if (!stream_) return ReadFailed("read before the capture was opened");

  for (int pass = 0; pass < kMaxDispatchPasses; ++pass) {
    const int dispatched = pa_mainloop_iterate(loop_.get(), 0, nullptr);
    if (dispatched < 0) return ReadFailed("the main loop failed");
    if (dispatched == 0) break;
  }
  if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context_.get()))) {
    return ReadFailed("lost the sound server: " + ServerError());
  }
  if (pa_stream_get_state(stream_.get()) != PA_STREAM_READY) {
    return ReadFailed("the server ended the record stream: " + ServerError());
  }

  const std::size_t before = out.size();
  for (;;) {
    const void* data = nullptr;
    std::size_t bytes = 0;
    if (pa_stream_peek(stream_.get(), &data, &bytes) < 0) {
      return ReadFailed("cannot read the record stream: " + ServerError());
    }
    if (bytes == 0) break;  // nothing buffered
    if (data != nullptr) {
      const auto* first = static_cast<const std::uint8_t*>(data);
      out.insert(out.end(), first, first + bytes);
    } else {
      // A gap in the recorded sound: silence of the same length keeps the timing.
      out.resize(out.size() + bytes, 0);
    }
    pa_stream_drop(stream_.get());
  }
  const std::size_t added = out.size() - before;
  if (added > 0) {
    // Until the server's own timing is read: the sound ended about now.
    const std::int64_t nowUs = std::chrono::duration_cast<std::chrono::microseconds>(
                                   Clock::now().time_since_epoch()).count();
    firstSampleUs = nowUs - static_cast<std::int64_t>(pa_bytes_to_usec(added, pa_stream_get_sample_spec(stream_.get())));
  }
  return static_cast<int>(added);
}

bool PulseLoopbackCapture::OpenFailed(const std::string& what) {
  LOG(WARNING) << "system sound: " << what;
  Close();
  return false;
}

int PulseLoopbackCapture::ReadFailed(const std::string& what) {
  LOG(ERROR) << "system sound: " << what;
  failed_ = true;
  Close();
  return -1;
}

void PulseLoopbackCapture::Close() {
  stream_.reset();
  context_.reset();
  loop_.reset();
}

}  // namespace

std::unique_ptr<SoundCapture> CreateLoopbackCapture() {
  return std::make_unique<PulseLoopbackCapture>(std::nullopt);
}

std::unique_ptr<SoundCapture> CreateSourceCapture(const std::string& sourceName) {
  return std::make_unique<PulseLoopbackCapture>(sourceName);
}

}  // namespace tarn::platform
