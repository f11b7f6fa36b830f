#pragma once
// A stand-in X server for one client, on the abstract socket of a free display
// number. It answers the connection setup with one 640x480 TrueColor screen
// of depth 24 and GetImage with pixels of one colour. It may offer MIT-SHM and
// then refuse to attach a segment, as a server on another machine does; every
// other extension is absent and other requests go unanswered. It can stop
// taking data while keeping the socket open: the client's next write then
// fails with EPIPE (raising SIGPIPE), as a write to a server whose socket
// broke between two of the client's polls does.

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace tarn::test {

class FakeXServer {
 public:
  static constexpr std::uint32_t kScreenColour = 0xA1B2C3;

  // `offerShm`: MIT-SHM is present, but attaching a segment fails.
  explicit FakeXServer(bool offerShm = false) : offerShm_(offerShm) {}
  ~FakeXServer() {
    stop_.store(true);
    if (clientFd_.load() >= 0) ::shutdown(clientFd_.load(), SHUT_RDWR);
    if (thread_.joinable()) thread_.join();
    if (clientFd_.load() >= 0) ::close(clientFd_.load());
    if (listenFd_ >= 0) ::close(listenFd_);
  }
  FakeXServer(const FakeXServer&) = delete;
  FakeXServer& operator=(const FakeXServer&) = delete;

  // Listens on the first free display number from 3100 on.
  bool Start() {
    for (int number = 3100; number < 3200 && listenFd_ < 0; ++number) {
      if (::access(("/tmp/.X" + std::to_string(number) + "-lock").c_str(), F_OK) == 0) continue;
      const std::string path = "/tmp/.X11-unix/X" + std::to_string(number);
      sockaddr_un address{};
      address.sun_family = AF_UNIX;
      path.copy(address.sun_path + 1, sizeof address.sun_path - 2);  // abstract name
      const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + path.size());
      const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
      if (fd < 0) return false;
      if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0 &&
          ::listen(fd, 4) == 0) {
        listenFd_ = fd;
        displayName_ = ":" + std::to_string(number);
      } else {
        ::close(fd);
      }
    }
    if (listenFd_ < 0) return false;
    thread_ = std::thread([this] { Serve(); });
    return true;
  }

  const std::string& displayName() const { return displayName_; }

  // From now on the client's writes fail; its reads see nothing.
  void StopReading() {
    const int fd = clientFd_.load();
    if (fd >= 0) ::shutdown(fd, SHUT_RD);
  }

 private:
  static void Put16(std::vector<std::uint8_t>& out, unsigned value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
  }
  static void Put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
  }

  // The connection setup's answer, little-endian as the client asks.
  static std::vector<std::uint8_t> SetupReply() {
    std::vector<std::uint8_t> body;
    Put32(body, 1);           // release
    Put32(body, 0x00200000);  // resource id base
    Put32(body, 0x001FFFFF);  // resource id mask
    Put32(body, 0);           // motion buffer
    Put16(body, 4);           // vendor length
    Put16(body, 0xFFFF);      // maximum request length
    const std::uint8_t counts[] = {1, 2, 0, 0, 32, 32, 8, 255};  // screens, formats, orders...
    body.insert(body.end(), std::begin(counts), std::end(counts));
    Put32(body, 0);
    for (char c : std::string("tarn")) body.push_back(static_cast<std::uint8_t>(c));
    const std::uint8_t formats[] = {1, 1, 32, 0, 0, 0, 0, 0, 24, 32, 32, 0, 0, 0, 0, 0};
    body.insert(body.end(), std::begin(formats), std::end(formats));
    Put32(body, 0x100);       // root
    Put32(body, 0x20);        // colormap
    Put32(body, 0xFFFFFF);    // white
    Put32(body, 0);           // black
    Put32(body, 0);           // input masks
    Put16(body, 640);
    Put16(body, 480);
    Put16(body, 170);
    Put16(body, 127);
    Put16(body, 1);
    Put16(body, 1);
    Put32(body, 0x21);        // root visual
    const std::uint8_t screenTail[] = {0, 0, 24, 1};  // backing, save-unders, depth, depths
    body.insert(body.end(), std::begin(screenTail), std::end(screenTail));
    const std::uint8_t depth[] = {24, 0, 1, 0, 0, 0, 0, 0};  // depth 24 with one visual
    body.insert(body.end(), std::begin(depth), std::end(depth));
    Put32(body, 0x21);
    const std::uint8_t visual[] = {4, 8, 0, 1};  // TrueColor, 8 bits, 256 entries
    body.insert(body.end(), std::begin(visual), std::end(visual));
    Put32(body, 0xFF0000);
    Put32(body, 0x00FF00);
    Put32(body, 0x0000FF);
    Put32(body, 0);
    std::vector<std::uint8_t> reply = {1, 0};
    Put16(reply, 11);
    Put16(reply, 0);
    Put16(reply, static_cast<unsigned>(body.size() / 4));
    reply.insert(reply.end(), body.begin(), body.end());
    return reply;
  }

  bool ReadExactly(int fd, std::uint8_t* data, std::size_t size) {
    while (size > 0) {
      const ssize_t got = ::read(fd, data, size);
      if (got <= 0) return false;
      data += got;
      size -= static_cast<std::size_t>(got);
    }
    return true;
  }

  bool WriteAll(int fd, const std::vector<std::uint8_t>& data) {
    return ::send(fd, data.data(), data.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(data.size());
  }

  void Serve() {
    pollfd pfd{listenFd_, POLLIN, 0};
    while (!stop_.load() && ::poll(&pfd, 1, 50) <= 0) {
    }
    if (stop_.load()) return;
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return;
    clientFd_.store(fd);
    std::uint8_t header[12];
    if (!ReadExactly(fd, header, sizeof header)) return;
    const std::size_t nameLength = header[6] | (header[7] << 8);
    const std::size_t dataLength = header[8] | (header[9] << 8);
    std::vector<std::uint8_t> auth(((nameLength + 3) & ~3u) + ((dataLength + 3) & ~3u));
    if (!ReadExactly(fd, auth.data(), auth.size()) || !WriteAll(fd, SetupReply())) return;
    for (unsigned sequence = 1; !stop_.load(); ++sequence) {
      std::vector<std::uint8_t> request(4);
      if (!ReadExactly(fd, request.data(), 4)) return;
      const std::size_t units = request[2] | (request[3] << 8);
      request.resize(std::max<std::size_t>(units * 4, 4));
      if (!ReadExactly(fd, request.data() + 4, request.size() - 4)) return;
      const std::vector<std::uint8_t> answer = Answer(request, sequence);
      if (!answer.empty() && !WriteAll(fd, answer)) return;
    }
  }

  static constexpr std::uint8_t kShmOpcode = 130;

  // The reply or error for one request; empty when there is none.
  std::vector<std::uint8_t> Answer(const std::vector<std::uint8_t>& request, unsigned sequence) {
    std::vector<std::uint8_t> out(32, 0);
    out[0] = 1;  // a reply
    out[2] = static_cast<std::uint8_t>(sequence);
    out[3] = static_cast<std::uint8_t>(sequence >> 8);
    switch (request[0]) {
      case 98: {  // QueryExtension
        const std::size_t length = request[4] | (request[5] << 8);
        const std::string name(request.begin() + 8, request.begin() + 8 + length);
        if (offerShm_ && name == "MIT-SHM") {
          out[8] = 1;  // present
          out[9] = kShmOpcode;
        }
        return out;
      }
      case 43:  // GetInputFocus, which XCB sends to learn that a request went through
        return out;
      case 73: {  // GetImage, Z format, 32 bits per pixel
        const std::size_t width = request[12] | (request[13] << 8);
        const std::size_t height = request[14] | (request[15] << 8);
        out[1] = 24;
        std::vector<std::uint8_t> length;
        Put32(length, static_cast<std::uint32_t>(width * height));
        std::copy(length.begin(), length.end(), out.begin() + 4);
        for (std::size_t i = 0; i < width * height; ++i) Put32(out, kScreenColour);
        return out;
      }
      case kShmOpcode:
        if (request[1] == 0) {  // QueryVersion: 1.2
          out[8] = 1;
          out[10] = 2;
          return out;
        }
        // Attach, and anything else that would use a segment: BadAccess.
        out[0] = 0;
        out[1] = 10;
        out[8] = request[1];
        out[10] = kShmOpcode;
        return out;
      default:
        return {};
    }
  }

  const bool offerShm_;
  int listenFd_ = -1;
  std::atomic<int> clientFd_{-1};
  std::atomic<bool> stop_{false};
  std::string displayName_;
  std::thread thread_;
};

}  // namespace tarn::test
