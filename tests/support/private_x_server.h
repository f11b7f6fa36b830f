#pragma once
// An Xvfb of the test's own on a free display number, for tests that change
// the screen's format or kill the server. Xvfb picks the number itself and
// writes it to a pipe once it accepts connections (-displayfd), so there is
// neither a race for the number nor a wait by polling.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace tarn::test {

class PrivateXServer {
 public:
  PrivateXServer() = default;
  ~PrivateXServer() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      Reap();
    }
  }
  PrivateXServer(const PrivateXServer&) = delete;
  PrivateXServer& operator=(const PrivateXServer&) = delete;

  // Arguments given to Xvfb after the usual ones ("-extension", "RANDR").
  void AddArguments(const std::vector<std::string>& arguments) {
    extraArguments_.insert(extraArguments_.end(), arguments.begin(), arguments.end());
  }

  // Starts Xvfb with one screen of `geometry` ("640x480x24"); false with the
  // reason in `whyNot` when it does not come up within `timeout`.
  bool Start(const std::string& geometry, std::string& whyNot,
             std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
      whyNot = "pipe failed";
      return false;
    }
    const int readFd = fds[0];
    const int writeFd = fds[1];
    // The child gets the write end as descriptor 3, without close-on-exec.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, writeFd, 3);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> args = {"Xvfb",   "-displayfd", "3",        "-screen",
                                     "0",      geometry,     "-nolisten", "tcp",
                                     "-noreset", "+extension", "MIT-SHM", "+extension",
                                     "XFIXES", "+extension", "XInputExtension"};
    args.insert(args.end(), extraArguments_.begin(), extraArguments_.end());
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const int spawned = ::posix_spawnp(&pid_, "Xvfb", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(writeFd);
    if (spawned != 0) {
      pid_ = -1;
      ::close(readFd);
      whyNot = "cannot start Xvfb (is it installed?)";
      return false;
    }
    const bool ready = ReadDisplayNumber(readFd, timeout);
    ::close(readFd);
    if (!ready) {
      whyNot = "Xvfb did not report a display within the time limit";
      ::kill(pid_, SIGKILL);
      Reap();
      return false;
    }
    return true;
  }

  // ":N", for DISPLAY.
  const std::string& displayName() const { return displayName_; }

  // Ends the server at once, as a crash would, and waits until it is gone.
  void Kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    Reap();
  }

 private:
  bool ReadDisplayNumber(int fd, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::string text;
    while (text.find('\n') == std::string::npos) {
      const auto leftMs = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (leftMs.count() <= 0) return false;
      pollfd pfd{fd, POLLIN, 0};
      const int ready = ::poll(&pfd, 1, static_cast<int>(leftMs.count()));
      if (ready < 0 && errno == EINTR) continue;
      if (ready <= 0) return false;
      char buffer[32];
      const ssize_t got = ::read(fd, buffer, sizeof buffer);
      if (got <= 0) return false;  // Xvfb ended before it was ready
      text.append(buffer, static_cast<std::size_t>(got));
    }
    number_ = std::stoi(text);
    displayName_ = ":" + std::to_string(number_);
    return true;
  }

  // Waits for the server and removes what a killed server leaves behind: its
  // lock file, if it made one, and its socket, once nothing answers there.
  void Reap() {
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    if (number_ >= 0) {
      const std::string lock = "/tmp/.X" + std::to_string(number_) + "-lock";
      std::ifstream lockFile(lock);
      long owner = -1;
      if (lockFile >> owner && owner == pid_) std::remove(lock.c_str());
      const std::string socketPath = "/tmp/.X11-unix/X" + std::to_string(number_);
      if (SocketIsStale(socketPath)) std::remove(socketPath.c_str());
    }
    pid_ = -1;
  }

  static bool SocketIsStale(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    const bool refused =
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 &&
        errno == ECONNREFUSED;
    ::close(fd);
    return refused;
  }

  std::vector<std::string> extraArguments_;
  pid_t pid_ = -1;
  int number_ = -1;
  std::string displayName_;
};

}  // namespace tarn::test
