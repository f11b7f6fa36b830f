#pragma once
// Connections to the X server through XCB and what every user of one needs:
// owners for the connection and for XCB's malloc'ed replies, and a guard that
// keeps a write to a closed connection from ending the process.
//
// XCB reports a broken connection through xcb_connection_has_error() and null
// replies instead of ending the process, so each user decides what a lost
// server means for it.

#include <signal.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

namespace tarn::platform::x11 {

struct ConnectionCloser {
  void operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }
};
using ConnectionPtr = std::unique_ptr<xcb_connection_t, ConnectionCloser>;

// Replies, events and errors of XCB are malloc'ed blocks the caller frees.
struct FreeDeleter {
  void operator()(void* block) const { std::free(block); }
};
template <typename T>
using XcbPtr = std::unique_ptr<T, FreeDeleter>;

// An open connection and its default screen.
struct Connection {
  ConnectionPtr connection;
  // Part of the connection's setup data: valid while the connection lives.
  const xcb_screen_t* screen = nullptr;
  // $DISPLAY when the connection was made, for messages.
  std::string displayName;
};

// What xcb_connection_has_error()'s code means, in a few words.
std::string ConnectionErrorText(int code);

// Opens a connection to the display named by $DISPLAY. A server that is
// resetting (as Xvfb does when its last client leaves) refuses connections for
// a moment, so a refused connection is tried again for up to about a second.
// On failure `whyNot` names the display and says why, for a log line.
std::optional<Connection> Connect(std::string& whyNot);

// While it lives, a SIGPIPE that the calling thread raises (by writing to a
// connection whose server has gone) is taken off the thread instead of ending
// the process; the write itself then fails with EPIPE, which XCB reports as
// a connection error. Only the calling thread's signal mask changes, and only
// for the guard's scope: the program's disposition of SIGPIPE is untouched,
// and a SIGPIPE that was already pending is left pending.
class SigpipeGuard {
 public:
  SigpipeGuard();
  ~SigpipeGuard();
  SigpipeGuard(const SigpipeGuard&) = delete;
  SigpipeGuard& operator=(const SigpipeGuard&) = delete;

 private:
  sigset_t previousMask_;
  bool wasPending_ = false;
};

// A file descriptor closed when the holder goes.
class FileDescriptor {
 public:
  FileDescriptor() = default;
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() { reset(); }
  FileDescriptor(FileDescriptor&& other) noexcept;
  FileDescriptor& operator=(FileDescriptor&& other) noexcept;

  int get() const { return fd_; }
  void reset(int fd = -1);

 private:
  int fd_ = -1;
};

}  // namespace tarn::platform::x11
