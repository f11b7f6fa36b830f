#pragma once
// Owning holders for PulseAudio objects, each released with its own call.

#include <pulse/pulseaudio.h>

#include <memory>

namespace tarn::platform::pulse {

struct MainloopFree {
  void operator()(pa_mainloop* loop) const { pa_mainloop_free(loop); }
};
struct ContextClose {
  void operator()(pa_context* context) const {
    pa_context_disconnect(context);
    pa_context_unref(context);
  }
};
struct StreamClose {
  void operator()(pa_stream* stream) const {
    // Fails harmlessly on a stream the server has already ended.
    pa_stream_disconnect(stream);
    pa_stream_unref(stream);
  }
};
struct OperationUnref {
  void operator()(pa_operation* operation) const { pa_operation_unref(operation); }
};

using MainloopPtr = std::unique_ptr<pa_mainloop, MainloopFree>;
using ContextPtr = std::unique_ptr<pa_context, ContextClose>;
using StreamPtr = std::unique_ptr<pa_stream, StreamClose>;
using OperationPtr = std::unique_ptr<pa_operation, OperationUnref>;

}  // namespace tarn::platform::pulse
