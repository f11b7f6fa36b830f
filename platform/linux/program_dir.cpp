#include "platform/program_dir.h"

#include <glog/logging.h>
#include <limits.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace tarn::platform {

namespace {

// The skin folder marks a folder of the program's files.
bool HoldsSkin(const std::string& dir) {
  std::error_code error;
  return std::filesystem::is_directory(dir + "/skin", error);
}

}  // namespace

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

std::string DataDirFor(const std::string& programDir) {
  if (programDir.empty() || HoldsSkin(programDir)) return programDir;
  // The installed layout: <prefix>/bin/tarnrecorder and <prefix>/share/tarnrecorder.
  const std::filesystem::path prefix = std::filesystem::path(programDir).parent_path();
  const std::string installed = (prefix / "share" / "tarnrecorder").string();
  if (HoldsSkin(installed)) return installed;
  return programDir;
}

std::string DataDir() {
  static const std::string dir = [] {
    const std::string programDir = ProgramDir();
    std::string found = DataDirFor(programDir);
    if (HoldsSkin(found)) {
      LOG(INFO) << "the program's files are taken from " << found;
    } else {
      LOG(WARNING) << "no skin folder beside the program (" << programDir
                   << ") nor in ../share/tarnrecorder; the program's files are looked for in "
                   << found;
    }
    return found;
  }();
  return dir;
}

}  // namespace tarn::platform
