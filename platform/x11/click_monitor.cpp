// X11 click monitor: XInput 2 raw button presses of the master pointers,
// read on a thread of its own with its own connection to the server.

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <glog/logging.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <exception>
#include <mutex>
#include <string>
#include <thread>

#include "platform/screen_capture.h"
#include "platform/x11/x_connection.h"

namespace tarn::platform {
namespace {

// How long one wait for X events lasts before the stop flag is read again;
// Stop also wakes the thread at once through an eventfd.
constexpr int kPollTimeoutMs = 50;

constexpr int kLeftButton = 0;
constexpr int kRightButton = 1;

struct DisplayCloser {
  void operator()(Display* display) const { XCloseDisplay(display); }
};
using DisplayPtr = std::unique_ptr<Display, DisplayCloser>;

// A file descriptor closed when the holder goes.
class FileDescriptor {
 public:
  FileDescriptor() = default;
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() { reset(); }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;

  int get() const { return fd_; }
  void reset() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }
  void reset(int fd) {
    reset();
    fd_ = fd;
  }

 private:
  int fd_ = -1;
};

std::string DisplayLabel() {
  const char* name = XDisplayName(nullptr);
  if (name == nullptr || name[0] == '\0') return "(DISPLAY is not set)";
  return std::string("\"") + name + "\"";
}

// Button numbers of the raw events are the physical ones: 1 left, 3 right.
int ButtonFromDetail(int detail) {
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
  void HandleEvent(XEvent& event);

  std::mutex controlMutex_;  // serialises Start and Stop
  // Set by Start before the thread begins and released by Stop after the
  // join; in between only the thread uses them.
  DisplayPtr display_;
  int inputOpcode_ = 0;
  FileDescriptor wakeFd_;
  std::function<void(int)> onPress_;
  // Written by Stop, read by the thread.
  std::atomic<bool> stopRequested_{false};
  std::thread thread_;
};

// Opens the connection and selects raw button presses on the root window.
bool X11ClickMonitor::OpenInput() {
  display_.reset(x11::OpenConnection());
  if (!display_) {
    LOG(ERROR) << "click monitor: cannot open X display " << DisplayLabel();
    return false;
  }
  Display* d = display_.get();
  int eventBase = 0;
  int errorBase = 0;
  if (!XQueryExtension(d, "XInputExtension", &inputOpcode_, &eventBase, &errorBase)) {
    LOG(ERROR) << "click monitor: the X server has no XInput extension";
    return false;
  }
  // Announcing 2.2 makes the server send raw events even while another
  // client holds a grab; 2.0 is enough to receive them at all.
  int major = 2;
  int minor = 2;
  if (XIQueryVersion(d, &major, &minor) != Success || major < 2) {
    LOG(ERROR) << "click monitor: the X server lacks XInput 2 (has " << major << "." << minor
               << ")";
    return false;
  }
  unsigned char maskBits[XIMaskLen(XI_LASTEVENT)] = {};
  XISetMask(maskBits, XI_RawButtonPress);
  XIEventMask mask;
  mask.deviceid = XIAllMasterDevices;
  mask.mask_len = sizeof maskBits;
  mask.mask = maskBits;
  XISelectEvents(d, DefaultRootWindow(d), &mask, 1);
  XSync(d, False);  // presses from now on are delivered
  return true;
}

bool X11ClickMonitor::Start(std::function<void(int button)> onPress) {
  std::lock_guard lock(controlMutex_);
  if (thread_.joinable()) {
    LOG(ERROR) << "click monitor: already started";
    return false;
  }
  if (!OpenInput()) {
    display_.reset();
    return false;
  }
  wakeFd_.reset(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (wakeFd_.get() < 0) {
    PLOG(ERROR) << "click monitor: eventfd failed";
    display_.reset();
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
  display_.reset();
  wakeFd_.reset();
  onPress_ = nullptr;
}

void X11ClickMonitor::HandleEvent(XEvent& event) {
  XGenericEventCookie& cookie = event.xcookie;
  if (cookie.type != GenericEvent || cookie.extension != inputOpcode_) return;
  if (!XGetEventData(display_.get(), &cookie)) return;
  int button = -1;
  if (cookie.evtype == XI_RawButtonPress) {
    button = ButtonFromDetail(static_cast<const XIRawEvent*>(cookie.data)->detail);
  }
  XFreeEventData(display_.get(), &cookie);
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

void X11ClickMonitor::Run() {
  pthread_setname_np(pthread_self(), "click-monitor");
  Display* d = display_.get();
  while (!stopRequested_.load()) {
    // XPending also reads what has arrived on the socket.
    while (!stopRequested_.load() && XPending(d) > 0) {
      XEvent event;
      XNextEvent(d, &event);
      HandleEvent(event);
    }
    pollfd fds[2] = {{ConnectionNumber(d), POLLIN, 0}, {wakeFd_.get(), POLLIN, 0}};
    const int ready = poll(fds, 2, kPollTimeoutMs);
    if (ready < 0 && errno != EINTR) {
      PLOG(ERROR) << "click monitor: poll failed";
      break;
    }
    if (ready > 0 && (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
      LOG(ERROR) << "click monitor: the connection to the X server was lost";
      break;
    }
  }
}

}  // namespace

std::unique_ptr<ClickMonitor> CreateClickMonitor() { return std::make_unique<X11ClickMonitor>(); }

}  // namespace tarn::platform
