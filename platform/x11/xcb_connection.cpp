#include "platform/x11/xcb_connection.h"

#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <ctime>
#include <thread>
#include <utility>

namespace tarn::platform::x11 {

namespace {

std::string CannotOpen(const char* name, const std::string& why) {
  return std::string("cannot open X display \"") + name + "\": " + why;
}

}  // namespace

std::string ConnectionErrorText(int code) {
  switch (code) {
    case 0:
      return "no error";
    case XCB_CONN_ERROR:
      return "the socket was closed or failed";
    case XCB_CONN_CLOSED_EXT_NOTSUPPORTED:
      return "a needed extension is missing";
    case XCB_CONN_CLOSED_MEM_INSUFFICIENT:
      return "out of memory";
    case XCB_CONN_CLOSED_REQ_LEN_EXCEED:
      return "a request was longer than the server accepts";
    case XCB_CONN_CLOSED_PARSE_ERR:
      return "the display name cannot be parsed";
    case XCB_CONN_CLOSED_INVALID_SCREEN:
      return "the display has no such screen";
    default:
      return "connection error " + std::to_string(code);
  }
}

std::optional<Connection> Connect(std::string& whyNot) {
  const char* name = std::getenv("DISPLAY");
  if (name == nullptr || name[0] == '\0') {
    whyNot = "cannot open an X display: DISPLAY is not set";
    return std::nullopt;
  }
  for (int attempt = 0; attempt < 10; ++attempt) {
    if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    int screenNumber = 0;
    ConnectionPtr connection(xcb_connect(nullptr, &screenNumber));
    const int error = xcb_connection_has_error(connection.get());
    if (error != 0) {
      if (error != XCB_CONN_ERROR) {
        whyNot = CannotOpen(name, ConnectionErrorText(error));
        return std::nullopt;
      }
      // Refused: the server may be resetting.
      whyNot = CannotOpen(name, "no X server answers there, or it refused the connection");
      continue;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection.get()));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i) xcb_screen_next(&screens);
    if (screens.rem <= 0) {
      whyNot = CannotOpen(name, ConnectionErrorText(XCB_CONN_CLOSED_INVALID_SCREEN));
      return std::nullopt;
    }
    return Connection{std::move(connection), screens.data, name};
  }
  return std::nullopt;
}

namespace {

sigset_t SigpipeSet() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGPIPE);
  return set;
}

bool SigpipePending() {
  sigset_t pending;
  sigemptyset(&pending);
  return sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
}

}  // namespace

SigpipeGuard::SigpipeGuard() {
  const sigset_t pipe = SigpipeSet();
  pthread_sigmask(SIG_BLOCK, &pipe, &previousMask_);
  wasPending_ = SigpipePending();
}

SigpipeGuard::~SigpipeGuard() {
  if (!wasPending_ && SigpipePending()) {
    // Raised in this scope: take it off before unblocking delivers it.
    const sigset_t pipe = SigpipeSet();
    const timespec noWait{0, 0};
    while (sigtimedwait(&pipe, nullptr, &noWait) < 0 && errno == EINTR) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
}

FileDescriptor::FileDescriptor(FileDescriptor&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)) {}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
  if (this != &other) reset(std::exchange(other.fd_, -1));
  return *this;
}

void FileDescriptor::reset(int fd) {
  if (fd_ >= 0) close(fd_);
  fd_ = fd;
}

}  // namespace tarn::platform::x11
