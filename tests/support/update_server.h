#pragma once
// A stand-in update service for the tests: certificates made at run time with
// openssl, and update_server.py serving HTTPS on 127.0.0.1.

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "tests/support/temp_dir.h"

extern char** environ;

namespace tarn::test {

// The certificates of one test program: ca.pem signs server.pem; rogue.pem
// is signed by another authority.
class TestCertificates {
 public:
  TestCertificates() {
    const std::string command = std::string("bash ") + TARN_TEST_SUPPORT_DIR +
                                "/make_test_certs.sh " + dir_.path();
    ok_ = std::system(command.c_str()) == 0;
  }
  bool ok() const { return ok_; }
  std::string caFile() const { return dir_ / "ca.pem"; }
  std::string file(const std::string& name) const { return dir_ / name; }

 private:
  TempDir dir_;
  bool ok_ = false;
};

// One server process, killed (by its id) at the end.
class UpdateServer {
 public:
  // `certName`: "server" (signed by the test CA) or "rogue".
  UpdateServer(const TestCertificates& certs, const std::string& certName = "server") {
    ::mkdir((dir_ / "files").c_str(), 0700);
    SetReply("{}");
    int out[2];
    if (::pipe(out) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const std::string script = std::string(TARN_TEST_SUPPORT_DIR) + "/update_server.py";
    std::string python = "/usr/bin/python3";
    std::string cert = certs.file(certName + ".pem");
    std::string key = certs.file(certName + ".key");
    std::string folder = dir_.path();
    std::string scriptArg = script;
    char* argv[] = {python.data(), scriptArg.data(), cert.data(), key.data(), folder.data(), nullptr};
    if (posix_spawn(&pid_, python.c_str(), &actions, nullptr, argv, environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    // The script prints its port once it listens.
    std::string line;
    pollfd waitFor{out[0], POLLIN, 0};
    while (pid_ > 0 && line.find('\n') == std::string::npos && ::poll(&waitFor, 1, 20000) == 1) {
      char buffer[64];
      const ssize_t got = ::read(out[0], buffer, sizeof buffer);
      if (got <= 0) break;
      line.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(out[0]);
    port_ = std::atoi(line.c_str());
  }
  ~UpdateServer() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  UpdateServer(const UpdateServer&) = delete;
  UpdateServer& operator=(const UpdateServer&) = delete;

  bool ok() const { return pid_ > 0 && port_ > 0; }
  std::string url(const std::string& path) const {
    return "https://127.0.0.1:" + std::to_string(port_) + path;
  }
  std::string checkUrl() const { return url("/v1/upgrade_check"); }

  // What the next POSTs are answered with.
  void SetReply(const std::string& body) { std::ofstream(dir_ / "reply.json", std::ios::binary) << body; }
  // Puts a file of `bytes` pseudo-random bytes under files/; returns its contents.
  std::string AddFile(const std::string& name, std::size_t bytes) {
    std::string data(bytes, '\0');
    unsigned state = 12345;
    for (char& c : data) {
      state = state * 1103515245u + 12345u;
      c = static_cast<char>(state >> 16);
    }
    std::ofstream(dir_ / ("files/" + name), std::ios::binary) << data;
    return data;
  }
  int connections() const { return CountLines("connections.log"); }
  int posts() const { return CountLines("bodies.log"); }
  std::string log(const std::string& name) const {
    std::ifstream in(dir_ / name);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

 private:
  int CountLines(const std::string& name) const {
    int lines = 0;
    for (char c : log(name)) lines += c == '\n';
    return lines;
  }

  TempDir dir_;
  pid_t pid_ = -1;
  int port_ = 0;
};

}  // namespace tarn::test
