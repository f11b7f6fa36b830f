// X11 click monitor: XInput 2 raw button presses of the master pointers,
// read through XCB on a thread of its own with its own connection to the
// server. A server that goes away ends the thread with a log line.

#include <glog/logging.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xinput.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <exception>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "platform/screen_capture.h"
#include "platform/x11/xcb_connection.h"

namespace tarn::platform {
namespace {

using x11::XcbPtr;

// How long one wait for X events lasts before the stop flag is read again;
// Stop also wakes the thread at once through an eventfd.
constexpr int kPollTimeoutMs = 50;

constexpr int kLeftButton = 0;
constexpr int kRightButton = 1;

// Button numbers of the raw events are the physical ones: 1 left, 3 right.
int ButtonFromDetail(std::uint32_t detail) {
  if (detail == 1) return kLeftButton;
  if (detail == 3) return kRightButton;
  return -1;
}

class X11ClickMonitor final : public ClickMonitor {
 public:
  ~X11ClickMonitor() override { Stop(); }

  bool Start(std::function<void(int button)> onPress) override;
  void Stop() override;

 private:
  bool OpenInput();
  void Run();
  void HandleEvent(const xcb_generic_event_t& event);

  std::mutex controlMutex_;  // serialises Start and Stop
  // Set by Start before the thread begins and released by Stop after the
  // join; in between only the thread uses them.
  std::optional<x11::Connection> connection_;
  std::uint8_t inputOpcode_ = 0;
  x11::FileDescriptor wakeFd_;
  std::function<void(int)> onPress_;
  // Written by Stop, read by the thread.
  std::atomic<bool> stopRequested_{false};
  std::thread thread_;
};

// Opens the connection and selects raw button presses on the root window.
bool X11ClickMonitor::OpenInput() {
  std::string whyNot;
  connection_ = x11::Connect(whyNot);
  if (!connection_) {
    LOG(ERROR) << "click monitor: " << whyNot;
    return false;
  }
  xcb_connection_t* c = connection_->connection.get();
  x11::SigpipeGuard pipeGuard;
  const xcb_query_extension_reply_t* input = xcb_get_extension_data(c, &xcb_input_id);
  if (input == nullptr || input->present == 0) {
    LOG(ERROR) << "click monitor: the X server has no XInput extension";
    return false;
  }
  inputOpcode_ = input->major_opcode;
  // Announcing 2.2 makes the server send raw events even while another
  // client holds a grab; 2.0 is enough to receive them at all.
  XcbPtr<xcb_input_xi_query_version_reply_t> version(
      xcb_input_xi_query_version_reply(c, xcb_input_xi_query_version(c, 2, 2), nullptr));
  if (!version || version->major_version < 2) {
    LOG(ERROR) << "click monitor: the X server lacks XInput 2";
    return false;
  }
  struct {
    xcb_input_event_mask_t head;
    std::uint32_t bits;
  } mask{{XCB_INPUT_DEVICE_ALL_MASTER, 1}, XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS};
  // Checked: once the reply is in, presses from now on are delivered.
  XcbPtr<xcb_generic_error_t> error(xcb_request_check(
      c, xcb_input_xi_select_events_checked(c, connection_->screen->root, 1, &mask.head)));
  if (error || xcb_connection_has_error(c) != 0) {
    LOG(ERROR) << "click monitor: the X server refused to report button presses";
    return false;
  }
  return true;
}

bool X11ClickMonitor::Start(std::function<void(int button)> onPress) {
  std::lock_guard lock(controlMutex_);
  if (thread_.joinable()) {
    LOG(ERROR) << "click monitor: already started";
    return false;
  }
  if (!OpenInput()) {
    connection_.reset();
    return false;
  }
  wakeFd_.reset(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (wakeFd_.get() < 0) {
    PLOG(ERROR) << "click monitor: eventfd failed";
    connection_.reset();
    return false;
  }
  onPress_ = std::move(onPress);
  stopRequested_.store(false);
  thread_ = std::thread([this] { Run(); });
  return true;
}

void X11ClickMonitor::Stop() {
  std::lock_guard lock(controlMutex_);
  if (!thread_.joinable()) return;
  stopRequested_.store(true);
  const std::uint64_t one = 1;
  if (write(wakeFd_.get(), &one, sizeof one) < 0) {
    // The thread still notices the flag within one poll period.
    PLOG(WARNING) << "click monitor: cannot wake the thread";
  }
  thread_.join();
  connection_.reset();
  wakeFd_.reset();
  onPress_ = nullptr;
}

void X11ClickMonitor::HandleEvent(const xcb_generic_event_t& event) {
  if ((event.response_type & 0x7f) != XCB_GE_GENERIC) return;
  const auto& generic = reinterpret_cast<const xcb_ge_generic_event_t&>(event);
  if (generic.extension != inputOpcode_ || generic.event_type != XCB_INPUT_RAW_BUTTON_PRESS) {
    return;
  }
  const auto& press = reinterpret_cast<const xcb_input_raw_button_press_event_t&>(event);
  const int button = ButtonFromDetail(press.detail);
  if (button < 0 || !onPress_) return;
  // A failing callback loses one click, not the monitor.
  try {
    onPress_(button);
  } catch (const std::exception& error) {
    LOG(ERROR) << "click monitor: the press handler failed: " << error.what();
  } catch (...) {
    LOG(ERROR) << "click monitor: the press handler failed";
  }
}

// Reads events until Stop asks it to end or the connection breaks. The thread
// only reads, so a server that goes away cannot raise SIGPIPE here.
void X11ClickMonitor::Run() {
  pthread_setname_np(pthread_self(), "click-monitor");
  xcb_connection_t* c = connection_->connection.get();
  const int xFd = xcb_get_file_descriptor(c);
  while (!stopRequested_.load()) {
    // Also reads what has arrived on the socket.
    while (!stopRequested_.load()) {
      XcbPtr<xcb_generic_event_t> event(xcb_poll_for_event(c));
      if (!event) break;
      HandleEvent(*event);
    }
    if (const int error = xcb_connection_has_error(c); error != 0) {
      LOG(ERROR) << "click monitor: lost the connection to the X display "
                 << connection_->displayName << " (" << x11::ConnectionErrorText(error)
                 << "); clicks are no longer reported";
      break;
    }
    pollfd fds[2] = {{xFd, POLLIN, 0}, {wakeFd_.get(), POLLIN, 0}};
    const int ready = poll(fds, 2, kPollTimeoutMs);
    if (ready < 0 && errno != EINTR) {
      PLOG(ERROR) << "click monitor: poll failed";
      break;
    }
    // A hang-up is read as end of file on the next turn, which names the loss.
  }
}

}  // namespace

std::unique_ptr<ClickMonitor> CreateClickMonitor() { return std::make_unique<X11ClickMonitor>(); }

}  // namespace tarn::platform
