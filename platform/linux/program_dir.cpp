#include "platform/program_dir.h"

#include <glog/logging.h>
#include <limits.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tarn::platform {

std::string ProgramDir() {
  char target[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", target, sizeof target);
  if (length <= 0 || static_cast<std::size_t>(length) >= sizeof target) {
    LOG(ERROR) << "cannot read the program's path from /proc/self/exe: "
               << (length < 0 ? std::strerror(errno) : "the path is too long");
    return {};
  }
  const std::string path(target, static_cast<std::size_t>(length));
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

}  // namespace tarn::platform
