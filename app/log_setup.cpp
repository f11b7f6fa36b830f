#include "app/log_setup.h"

#include <dirent.h>
#include <glog/logging.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

namespace tarn {
namespace {

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

std::string LocalDate(std::time_t now) {
  std::tm local {};
  localtime_r(&now, &local);
  char text[16] = {};
  std::strftime(text, sizeof text, "%Y%m%d", &local);
  return text;
}

}  // namespace

int SweepStaleLogs(const std::string& logDir, std::time_t now) {
  DirHandle dir(::opendir(logDir.c_str()));
  if (!dir) return -1;
  const std::string today = LocalDate(now);
  std::string base = logDir;
  if (!base.empty() && base.back() != '/') base += '/';
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    const std::string path = base + name;
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) continue;
    const std::string datePart = name.size() > 4 ? name.substr(4, 8) : std::string();
    if (datePart != today) ::unlink(path.c_str());
  }
  return 0;
}

void InitLogging(const std::string& logDir) {
  google::InitGoogleLogging("TarnRecorder");
  // The destination is a file-name prefix: with "log." at its end every file
  // starts with "log." and the date, as the sweep expects.
  const std::string prefix = logDir + "log.";
  google::SetLogDestination(google::GLOG_INFO, prefix.c_str());
  // The INFO file already holds every severity; no extra files or links.
  google::SetLogDestination(google::GLOG_WARNING, "");
  google::SetLogDestination(google::GLOG_ERROR, "");
  google::SetLogDestination(google::GLOG_FATAL, "");
  google::SetLogSymlink(google::GLOG_INFO, "");
  FLAGS_logtostderr = false;
  FLAGS_alsologtostderr = false;
  FLAGS_logbufsecs = 0;
  FLAGS_max_log_size = 10;
  FLAGS_stop_logging_if_full_disk = true;
}

void ShutdownLogging() { google::ShutdownGoogleLogging(); }

}  // namespace tarn
