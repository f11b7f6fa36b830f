// The sound server's defaults and its sources, asked of PulseAudio (or of
// PipeWire's pulse server). Each call opens its own connection on a private
// main loop, runs its queries and closes the connection again. Every wait is
// bounded by the caller's deadline, so a server whose socket accepts the
// connection but never answers cannot hold the caller past `timeoutMs`.

#include <glog/logging.h>
#include <pulse/pulseaudio.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <memory>
#include <string>
#include <vector>

#include "platform/audio_devices.h"
#include "platform/pulse/pulse_holders.h"

namespace tarn::platform {
namespace {

using pulse::ContextPtr;
using pulse::MainloopPtr;
using pulse::OperationPtr;

using Clock = std::chrono::steady_clock;


// A connection used for a few queries and then closed, on one thread.
class ServerSession {
 public:
  explicit ServerSession(int timeoutMs)
      : deadline_(Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0))) {}

  // Connects without spawning a server when none runs. False when the server
  // is not reachable or not ready before the deadline; error() tells why.
  bool Connect() {
    loop_.reset(pa_mainloop_new());
    if (!loop_) return Failed(PA_ERR_INTERNAL);
    context_.reset(pa_context_new(pa_mainloop_get_api(loop_.get()), "TarnRecorder"));
    if (!context_) return Failed(PA_ERR_INTERNAL);
    if (pa_context_connect(context_.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
      return Failed(pa_context_errno(context_.get()));
    }
    return IterateUntil(
        [this] { return pa_context_get_state(context_.get()) == PA_CONTEXT_READY; });
  }

  // Waits for a query started on context() to finish (its callback has run).
  bool Run(pa_operation* started) {
    OperationPtr operation(started);
    if (!operation) return Failed(pa_context_errno(context_.get()));
    const bool finished = IterateUntil([&operation] {
      return pa_operation_get_state(operation.get()) != PA_OPERATION_RUNNING;
    });
    if (!finished) {
      pa_operation_cancel(operation.get());
      return false;
    }
    if (pa_operation_get_state(operation.get()) != PA_OPERATION_DONE) {
      return Failed(pa_context_errno(context_.get()));
    }
    return true;
  }

  pa_context* context() const { return context_.get(); }

  // The one log line of a failed call.
  void LogFailure() const { LOG(WARNING) << "no sound server: " << pa_strerror(error_); }

 private:
  bool Failed(int error) {
    error_ = error != PA_OK ? error : PA_ERR_UNKNOWN;
    return false;
  }

  // Runs the main loop until `done` holds, the connection fails or the
  // deadline passes. Each poll waits at most until the deadline.
  template <typename Done>
  bool IterateUntil(Done done) {
    while (!done()) {
      const pa_context_state_t state = pa_context_get_state(context_.get());
      if (!PA_CONTEXT_IS_GOOD(state)) return Failed(pa_context_errno(context_.get()));
      const auto now = Clock::now();
      if (now >= deadline_) return Failed(PA_ERR_TIMEOUT);
      const long long remainingUs =
          std::chrono::duration_cast<std::chrono::microseconds>(deadline_ - now).count() + 1;
      const int timeoutUs = static_cast<int>(std::min<long long>(remainingUs, INT_MAX));
      if (pa_mainloop_prepare(loop_.get(), timeoutUs) < 0 || pa_mainloop_poll(loop_.get()) < 0 ||
          pa_mainloop_dispatch(loop_.get()) < 0) {
        return Failed(PA_ERR_INTERNAL);
      }
    }
    return true;
  }

  const Clock::time_point deadline_;
  MainloopPtr loop_;  // declared before the context: released after it
  ContextPtr context_;
  int error_ = PA_OK;
};

std::string Text(const char* text) { return text != nullptr ? text : std::string(); }

// --- Query callbacks (userdata is the AudioServerInfo being filled) --------

void OnServerInfo(pa_context*, const pa_server_info* server, void* userdata) {
  auto& info = *static_cast<AudioServerInfo*>(userdata);
  if (server == nullptr) return;
  info.defaultSourceName = Text(server->default_source_name);
  info.defaultSinkName = Text(server->default_sink_name);
}

// A lookup by name that fails (the device went away since the server info was
// read) is called with eol < 0 and leaves the fields empty.
void OnDefaultSourceInfo(pa_context*, const pa_source_info* source, int eol, void* userdata) {
  auto& info = *static_cast<AudioServerInfo*>(userdata);
  if (eol != 0 || source == nullptr) return;
  info.defaultSourceDescription = Text(source->description);
  info.defaultSourceIsMonitor = source->monitor_of_sink != PA_INVALID_INDEX;
}

void OnDefaultSinkInfo(pa_context*, const pa_sink_info* sink, int eol, void* userdata) {
  auto& info = *static_cast<AudioServerInfo*>(userdata);
  if (eol != 0 || sink == nullptr) return;
  info.defaultSinkMonitor = Text(sink->monitor_source_name);
  info.sinkRate = static_cast<int>(sink->sample_spec.rate);
  info.sinkChannels = sink->sample_spec.channels;
}

void OnSourceListEntry(pa_context*, const pa_source_info* source, int eol, void* userdata) {
  auto& sources = *static_cast<std::vector<AudioSourceInfo>*>(userdata);
  if (eol != 0 || source == nullptr) return;
  if (source->monitor_of_sink != PA_INVALID_INDEX) return;  // what a sink plays, not an input
  sources.push_back({Text(source->name), Text(source->description)});
}

}  // namespace

bool QueryAudioServer(AudioServerInfo& info, int timeoutMs) {
  info = AudioServerInfo{};
  AudioServerInfo found;  // outlives the session, whose callbacks fill it
  ServerSession session(timeoutMs);
  bool ok = session.Connect() &&
            session.Run(pa_context_get_server_info(session.context(), OnServerInfo, &found));
  if (ok && !found.defaultSourceName.empty()) {
    ok = session.Run(pa_context_get_source_info_by_name(
        session.context(), found.defaultSourceName.c_str(), OnDefaultSourceInfo, &found));
  }
  if (ok && !found.defaultSinkName.empty()) {
    ok = session.Run(pa_context_get_sink_info_by_name(
        session.context(), found.defaultSinkName.c_str(), OnDefaultSinkInfo, &found));
  }
  if (!ok) {
    session.LogFailure();
    return false;
  }
  info = std::move(found);
  return true;
}

bool ListAudioSources(std::vector<AudioSourceInfo>& sources, int timeoutMs) {
  sources.clear();
  std::vector<AudioSourceInfo> found;  // outlives the session, whose callbacks fill it
  ServerSession session(timeoutMs);
  if (!session.Connect() ||
      !session.Run(pa_context_get_source_info_list(session.context(), OnSourceListEntry, &found))) {
    session.LogFailure();
    return false;
  }
  sources = std::move(found);
  return true;
}

}  // namespace tarn::platform
