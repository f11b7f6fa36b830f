// Sound capture from PulseAudio (or PipeWire's pulse server): a record stream
// on one source, 32-bit signed little-endian samples at the source's rate and
// channel count. The loopback of the default sink records that sink's monitor
// source. The stream runs on a private main loop that Read() turns without
// waiting, so the one thread that owns the capture does all the work and no
// lock is needed.
//
// Time stamps come from the server's timing reports, asked for on each read
// that finds sound. A report tells, at the moment the server wrote it, how
// many bytes it had written into the stream (write_index) and how long ago
// the newest of them was captured (the source's latency) - or, for a sink's
// monitor, how much later it will be played (the sink's latency: monitors
// deliver what their sink renders ahead of playing it). With the bytes read
// so far (read_index) that places the first unread sample in time:
//   stamp = report time + sink latency - source latency
//           - duration(write_index - read_index).
// The library's own latency interpolation is not used: on a plain PulseAudio
// null sink it ran hundreds of milliseconds off for seconds after the sink
// changed its latency, and its transport estimate counts the time a report
// waits for the next poll. A report taken before the stream carried sound
// places nothing (the capture had not started at its write_index), so the
// first sound waits for a report given after it arrived.

#include <glog/logging.h>
#include <pulse/pulseaudio.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/audio_devices.h"
#include "platform/pulse/capture_stamps.h"
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

// The first sound waits at most this long for a timing report that places
// it; after that it is stamped as captured just before it was read.
constexpr std::int64_t kFirstReportWaitUs = 100 * 1000;

std::int64_t NowUs() {
  return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch())
      .count();
}

// The reports' times are on the system clock; the stamps are monotonic.
std::int64_t SystemToMonotonicUs(const timeval& time) {
  const auto systemNowUs = std::chrono::duration_cast<std::chrono::microseconds>(
                               std::chrono::system_clock::now().time_since_epoch())
                               .count();
  const std::int64_t monotonicNowUs = NowUs();
  const std::int64_t timeUs = static_cast<std::int64_t>(time.tv_sec) * 1000000 + time.tv_usec;
  return timeUs - (systemNowUs - monotonicNowUs);
}

// What Open learns about the source before recording it.
struct SourceLookup {
  bool found = false;
  std::string name;
  pa_sample_spec spec{};
};

class PulseSoundCapture final : public SoundCapture {
 public:
  // `loopback`: the default sink's monitor; otherwise `sourceName`, or the
  // default source when it is empty.
  PulseSoundCapture(bool loopback, std::string sourceName)
      : loopback_(loopback),
        sourceName_(std::move(sourceName)),
        logName_(loopback ? "system sound" : "microphone") {}

  bool Open(int timeoutMs) override;
  int sampleRate() const override { return rate_; }
  int channels() const override { return channels_; }
  int Read(std::vector<std::uint8_t>& out, std::int64_t& firstSampleUs) override;

 private:
  // Runs the main loop until `done` holds, the connection fails or the
  // deadline passes; each poll waits at most until the deadline.
  template <typename Done>
  bool IterateUntil(Clock::time_point deadline, Done done);
  bool Connect(Clock::time_point deadline);
  // Waits for a query started on the context to finish.
  bool RunQuery(Clock::time_point deadline, pa_operation* started);
  bool FindSource(Clock::time_point deadline, SourceLookup& source);
  bool StartStream(Clock::time_point deadline, const SourceLookup& source);
  // The stamp of the first unread sample by a timing report that came since
  // the last call; none when no usable new one did.
  std::optional<std::int64_t> NewReportStampUs();
  void AskForReport();
  void LogResyncs();
  std::string TimedOutOr(bool timedOut) const;
  // After a failed query: the server said no (rather than not answering in
  // time or breaking the connection).
  bool QueryAnswered(Clock::time_point deadline) const {
    return PA_CONTEXT_IS_GOOD(pa_context_get_state(context_.get())) && Clock::now() < deadline;
  }
  bool OpenFailed(const std::string& what);
  int ReadFailed(const std::string& what);
  void Close();
  bool ContextGood() const { return PA_CONTEXT_IS_GOOD(pa_context_get_state(context_.get())); }
  std::string ServerError() const { return pa_strerror(pa_context_errno(context_.get())); }

  const bool loopback_;
  const std::string sourceName_;
  const char* const logName_;
  // Released in reverse order: the stream, then the context, then the loop.
  MainloopPtr loop_;
  ContextPtr context_;
  StreamPtr stream_;
  int rate_ = 0;
  int channels_ = 0;
  bool failed_ = false;  // set once Read has reported the end (or Open failed)
  std::optional<pulse::CaptureStamps> stamps_;  // from Open on
  OperationPtr reportRequest_;                  // the timing report asked for, if any
  timeval lastReportTime_{};                    // the time of the last report used
  std::int64_t firstSoundSeenUs_ = 0;           // when the first sound was waiting (0: not yet)
  int reportedResyncs_ = 0;                     // resyncs already logged
};

template <typename Done>
bool PulseSoundCapture::IterateUntil(Clock::time_point deadline, Done done) {
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

std::string PulseSoundCapture::TimedOutOr(bool timedOut) const {
  return timedOut ? std::string(pa_strerror(PA_ERR_TIMEOUT)) : ServerError();
}

bool PulseSoundCapture::Connect(Clock::time_point deadline) {
  loop_.reset(pa_mainloop_new());
  if (!loop_) return OpenFailed("cannot create a main loop");
  context_.reset(pa_context_new(pa_mainloop_get_api(loop_.get()), "TarnRecorder"));
  if (!context_) return OpenFailed("cannot create a sound server context");
  if (pa_context_connect(context_.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
    return OpenFailed("no sound server: " + ServerError());
  }
  if (!IterateUntil(deadline,
                    [this] { return pa_context_get_state(context_.get()) == PA_CONTEXT_READY; })) {
    return OpenFailed("no sound server: " +
                      TimedOutOr(PA_CONTEXT_IS_GOOD(pa_context_get_state(context_.get()))));
  }
  return true;
}

bool PulseSoundCapture::RunQuery(Clock::time_point deadline, pa_operation* started) {
  OperationPtr operation(started);
  if (!operation) return false;
  if (!IterateUntil(deadline, [&operation] {
        return pa_operation_get_state(operation.get()) != PA_OPERATION_RUNNING;
      })) {
    pa_operation_cancel(operation.get());
    return false;
  }
  return pa_operation_get_state(operation.get()) == PA_OPERATION_DONE;
}

// The source to record and its format. The default sink and the default
// source are looked up by the server's special names and then recorded by
// their own names, so the stream stays with them.
bool PulseSoundCapture::FindSource(Clock::time_point deadline, SourceLookup& source) {
  std::string sourceName = sourceName_.empty() ? "@DEFAULT_SOURCE@" : sourceName_;
  if (loopback_) {
    SourceLookup sink;
    const auto onSink = [](pa_context*, const pa_sink_info* info, int eol, void* data) {
      auto* found = static_cast<SourceLookup*>(data);
      if (eol != 0 || info == nullptr || found->found) return;
      found->found = true;
      found->name = info->monitor_source_name != nullptr ? info->monitor_source_name : "";
      if (found->name.empty() && info->name != nullptr)
        found->name = std::string(info->name) + ".monitor";
    };
    if (!RunQuery(deadline, pa_context_get_sink_info_by_name(context_.get(), "@DEFAULT_SINK@",
                                                             onSink, &sink)) &&
        !QueryAnswered(deadline)) {
      return OpenFailed("no answer from the sound server: " + TimedOutOr(ContextGood()));
    }
    if (!sink.found) return OpenFailed("the sound server has no default sink");
    sourceName = sink.name;
  }

  const auto onSource = [](pa_context*, const pa_source_info* info, int eol, void* data) {
    auto* found = static_cast<SourceLookup*>(data);
    if (eol != 0 || info == nullptr || found->found) return;
    found->found = true;
    found->name = info->name != nullptr ? info->name : "";
    found->spec = info->sample_spec;
  };
  if (!RunQuery(deadline, pa_context_get_source_info_by_name(context_.get(), sourceName.c_str(),
                                                             onSource, &source))) {
    if (!QueryAnswered(deadline)) {
      return OpenFailed("no answer from the sound server: " + TimedOutOr(ContextGood()));
    }
  }
  if (!source.found || source.name.empty()) {
    return OpenFailed(sourceName_.empty() && !loopback_
                          ? std::string("the sound server has no default source")
                          : "the sound server has no source \"" + sourceName + "\"");
  }
  return true;
}

bool PulseSoundCapture::StartStream(Clock::time_point deadline, const SourceLookup& source) {
  pa_sample_spec spec = source.spec;
  spec.format = PA_SAMPLE_S32LE;
  if (!pa_sample_spec_valid(&spec)) {
    return OpenFailed("the source \"" + source.name + "\" has no usable format");
  }
  stream_.reset(
      pa_stream_new(context_.get(), loopback_ ? "System sound" : "Microphone", &spec, nullptr));
  if (!stream_) return OpenFailed("cannot create a record stream: " + ServerError());
  pa_buffer_attr buffer{};
  buffer.maxlength = static_cast<std::uint32_t>(-1);
  buffer.tlength = static_cast<std::uint32_t>(-1);
  buffer.prebuf = static_cast<std::uint32_t>(-1);
  buffer.minreq = static_cast<std::uint32_t>(-1);
  buffer.fragsize = static_cast<std::uint32_t>(pa_usec_to_bytes(kFragmentUs, &spec));
  // DONT_MOVE: when the source goes away the server ends the stream instead
  // of moving it to some other source, which would then be recorded in its
  // place.
  const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
  if (pa_stream_connect_record(stream_.get(), source.name.c_str(), &buffer, flags) < 0) {
    return OpenFailed("cannot record " + source.name + ": " + ServerError());
  }
  const auto streamGood = [this] {
    return PA_CONTEXT_IS_GOOD(pa_context_get_state(context_.get())) &&
           PA_STREAM_IS_GOOD(pa_stream_get_state(stream_.get()));
  };
  if (!IterateUntil(deadline,
                    [this] { return pa_stream_get_state(stream_.get()) == PA_STREAM_READY; })) {
    return OpenFailed("cannot record " + source.name + ": " + TimedOutOr(streamGood()));
  }
  return true;
}

bool PulseSoundCapture::Open(int timeoutMs) {
  Close();
  failed_ = true;  // until the stream is ready
  stamps_.reset();
  lastReportTime_ = timeval{};
  firstSoundSeenUs_ = 0;
  reportedResyncs_ = 0;
  rate_ = 0;
  channels_ = 0;
  const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
  SourceLookup source;
  if (!Connect(deadline) || !FindSource(deadline, source) || !StartStream(deadline, source)) {
    return false;  // it logged why
  }
  // The server may have adjusted the format; report what the stream delivers.
  const pa_sample_spec* actual = pa_stream_get_sample_spec(stream_.get());
  rate_ = static_cast<int>(actual->rate);
  channels_ = actual->channels;
  stamps_.emplace(rate_);
  failed_ = false;
  const pa_buffer_attr* buffer = pa_stream_get_buffer_attr(stream_.get());
  LOG(INFO) << logName_ << ": recording " << source.name << ", " << rate_ << " Hz, " << channels_
            << " channels, fragments of "
            << (buffer != nullptr ? pa_bytes_to_usec(buffer->fragsize, actual) / 1000 : 0) << " ms";
  return true;
}

std::optional<std::int64_t> PulseSoundCapture::NewReportStampUs() {
  const pa_timing_info* report = pa_stream_get_timing_info(stream_.get());
  if (report == nullptr || report->write_index_corrupt || report->read_index_corrupt ||
      report->write_index <= 0) {
    return std::nullopt;
  }
  if (report->timestamp.tv_sec == lastReportTime_.tv_sec &&
      report->timestamp.tv_usec == lastReportTime_.tv_usec) {
    return std::nullopt;  // used already
  }
  lastReportTime_ = report->timestamp;
  const std::int64_t unreadBytes = report->write_index - report->read_index;
  const pa_sample_spec* spec = pa_stream_get_sample_spec(stream_.get());
  const std::int64_t bytesPerSecond = static_cast<std::int64_t>(pa_bytes_per_second(spec));
  const std::int64_t unreadUs = unreadBytes * 1000000 / std::max<std::int64_t>(bytesPerSecond, 1);
  return SystemToMonotonicUs(report->timestamp) + static_cast<std::int64_t>(report->sink_usec) -
         static_cast<std::int64_t>(report->source_usec) - unreadUs;
}

void PulseSoundCapture::AskForReport() {
  if (reportRequest_ && pa_operation_get_state(reportRequest_.get()) != PA_OPERATION_RUNNING) {
    reportRequest_.reset();
  }
  if (!reportRequest_) {
    reportRequest_.reset(pa_stream_update_timing_info(stream_.get(), nullptr, nullptr));
  }
}

int PulseSoundCapture::Read(std::vector<std::uint8_t>& out, std::int64_t& firstSampleUs) {
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

  const std::size_t waiting = pa_stream_readable_size(stream_.get());
  if (waiting == static_cast<std::size_t>(-1)) {
    return ReadFailed("cannot read the record stream: " + ServerError());
  }
  if (waiting == 0) return 0;
  AskForReport();  // for the next read: the stamps stay close to the server's
  // Placed before the first fragment is dropped: the report counts from the
  // first sample not yet read.
  const std::optional<std::int64_t> reportUs = NewReportStampUs();
  const std::int64_t nowUs = NowUs();
  if (!reportUs && !stamps_->started()) {
    if (firstSoundSeenUs_ == 0) firstSoundSeenUs_ = nowUs;
    if (nowUs - firstSoundSeenUs_ < kFirstReportWaitUs) return 0;
    LOG(WARNING) << logName_ << ": no timing report from the server; the first sound is "
                 << "stamped by the time it was read";
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
      LOG_EVERY_N(WARNING, 20) << logName_ << ": the sound server lost "
                               << bytes * 1000 / std::max<std::size_t>(1, static_cast<std::size_t>(channels_) * 4 * rate_)
                               << " ms of the recorded sound (" << google::COUNTER << " times so far)";
    }
    pa_stream_drop(stream_.get());
  }
  const std::size_t appended = out.size() - before;
  if (appended == 0) return 0;
  const auto frames =
      static_cast<std::int64_t>(appended / (static_cast<std::size_t>(channels_) * 4));
  const std::int64_t appendedUs = frames * 1000000 / rate_;
  firstSampleUs = stamps_->Next(reportUs, frames, nowUs - appendedUs);
  VLOG(2) << logName_ << ": " << appendedUs << " us stamped " << firstSampleUs << ", "
          << nowUs - firstSampleUs << " us before the read; the report said "
          << (reportUs ? *reportUs - firstSampleUs : 0) << " us from the stamp";
  LogResyncs();
  return static_cast<int>(appended);
}

void PulseSoundCapture::LogResyncs() {
  if (stamps_->resyncs() == reportedResyncs_) return;
  reportedResyncs_ = stamps_->resyncs();
  // A few lines, not one per read should the server's timing go astray.
  if (reportedResyncs_ <= 5 || reportedResyncs_ % 100 == 0) {
    LOG(INFO) << logName_ << ": the sound moved by " << stamps_->lastJumpUs() / 1000
              << " ms against its sample count (" << reportedResyncs_ << " times so far)";
  }
}

bool PulseSoundCapture::OpenFailed(const std::string& what) {
  LOG(WARNING) << logName_ << ": " << what;
  Close();
  return false;
}

int PulseSoundCapture::ReadFailed(const std::string& what) {
  LOG(ERROR) << logName_ << ": " << what;
  failed_ = true;
  Close();
  return -1;
}

void PulseSoundCapture::Close() {
  reportRequest_.reset();
  stream_.reset();
  context_.reset();
  loop_.reset();
}

}  // namespace

std::unique_ptr<SoundCapture> CreateLoopbackCapture() {
  return std::make_unique<PulseSoundCapture>(true, std::string());
}

std::unique_ptr<SoundCapture> CreateSourceCapture(const std::string& sourceName) {
  return std::make_unique<PulseSoundCapture>(false, sourceName);
}

}  // namespace tarn::platform
