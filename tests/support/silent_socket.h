#pragma once
// A Unix socket that queues connections and never answers: a server that
// hangs, for tests of time limits.

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <string>

namespace tarn::test {

class SilentSocket {
 public:
  explicit SilentSocket(const std::string& path) : fd_(::socket(AF_UNIX, SOCK_STREAM, 0)) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    listening_ = fd_ >= 0 &&
                 ::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
                 ::listen(fd_, 16) == 0;
  }
  ~SilentSocket() {
    if (fd_ >= 0) ::close(fd_);
  }
  SilentSocket(const SilentSocket&) = delete;
  SilentSocket& operator=(const SilentSocket&) = delete;
  bool listening() const { return listening_; }

 private:
  int fd_;
  bool listening_ = false;
};

}  // namespace tarn::test
