// Video capture devices: the V4L2 nodes /dev/videoN whose driver says they
// capture video (cameras; metadata and output nodes are left out).
//
// The environment variable TARN_DEV_DIR, when set and not empty, names the
// folder scanned instead of /dev, so that tests can point the scan at a
// folder of their own. Entries there that are not V4L2 devices fail the
// capability query and are left out.

#include <fcntl.h>
#include <glog/logging.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/audio_devices.h"

namespace tarn::platform {
namespace {

// Closes a file descriptor at the end of its scope.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }

 private:
  int fd_;
};

std::string DeviceFolder() {
  const char* folder = std::getenv("TARN_DEV_DIR");
  std::string path = (folder != nullptr && folder[0] != '\0') ? folder : "/dev";
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// The N of a name "videoN" (decimal digits only), or -1 for any other name.
long DeviceNumber(std::string_view name) {
  constexpr std::string_view kPrefix = "video";
  if (name.size() <= kPrefix.size() || name.substr(0, kPrefix.size()) != kPrefix) return -1;
  const std::string_view digits = name.substr(kPrefix.size());
  if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return -1;
  }
  long number = -1;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
  if (error != std::errc() || end != digits.data() + digits.size()) return -1;
  return number;
}

// The card name of a device that captures video; false for anything else.
bool QueryCaptureCard(const std::string& path, std::string& card) {
  FileDescriptor fd(::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
  if (!fd.valid()) {
    // A camera this user may not open is worth a line; a node that vanished is not.
    if (errno != ENOENT) LOG(WARNING) << "cannot open " << path << ": " << std::strerror(errno);
    return false;
  }
  v4l2_capability cap{};
  int result;
  do {
    result = ::ioctl(fd.get(), VIDIOC_QUERYCAP, &cap);
  } while (result < 0 && errno == EINTR);
  if (result < 0) return false;  // not a V4L2 device
  const std::uint32_t caps =
      (cap.capabilities & V4L2_CAP_DEVICE_CAPS) != 0 ? cap.device_caps : cap.capabilities;
  if ((caps & V4L2_CAP_VIDEO_CAPTURE) == 0) return false;
  // The driver's name fills the field and need not end with a NUL.
  const auto* text = reinterpret_cast<const char*>(cap.card);
  card.assign(text, ::strnlen(text, sizeof cap.card));
  return true;
}

}  // namespace

std::vector<VideoDeviceInfo> ListVideoCaptureDevices() {
  const std::string folder = DeviceFolder();
  std::vector<std::pair<long, std::string>> nodes;
  std::error_code error;
  for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error)) {
    const std::string name = it->path().filename().string();
    const long number = DeviceNumber(name);
    if (number >= 0) nodes.emplace_back(number, name);
  }
  if (error) LOG(WARNING) << "cannot list " << folder << ": " << error.message();
  std::sort(nodes.begin(), nodes.end());

  std::vector<VideoDeviceInfo> devices;
  for (const auto& [number, name] : nodes) {
    const std::string path = (folder == "/" ? "" : folder) + "/" + name;
    std::string card;
    if (QueryCaptureCard(path, card)) devices.push_back({std::move(card), path});
  }
  return devices;
}

}  // namespace tarn::platform
