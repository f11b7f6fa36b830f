#include "recorder/output/recording_marker.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <glog/logging.h>

#include <cstring>
#include <memory>
#include <string_view>
#include <utility>

namespace tarn {
namespace {

constexpr std::string_view kMarkerSuffix = ".recording";

std::pair<std::string, std::string> SplitPath(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return {".", path};
  return {path.substr(0, slash), path.substr(slash + 1)};
}

}  // namespace

RecordingMarker::~RecordingMarker() { Release(); }

RecordingMarker::RecordingMarker(RecordingMarker&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {}

RecordingMarker& RecordingMarker::operator=(RecordingMarker&& other) noexcept {
  if (this != &other) {
    Release();
    fd_ = std::exchange(other.fd_, -1);
    path_ = std::move(other.path_);
  }
  return *this;
}

std::string RecordingMarker::MarkerPathFor(const std::string& recordingPath) {
  const auto [dir, name] = SplitPath(recordingPath);
  return dir + "/." + name + std::string(kMarkerSuffix);
}

std::string RecordingMarker::FinishingPathFor(const std::string& recordingPath) {
  const auto [dir, name] = SplitPath(recordingPath);
  return dir + "/." + name + ".finishing";
}

std::string RecordingMarker::RecordingNameFor(const std::string& markerName) {
  const std::size_t minimum = 2 + kMarkerSuffix.size();
  if (markerName.size() < minimum || markerName[0] != '.' ||
      !std::string_view(markerName).ends_with(kMarkerSuffix)) {
    return {};
  }
  return markerName.substr(1, markerName.size() - 1 - kMarkerSuffix.size());
}

bool RecordingMarker::LockIfCurrent(int fd, const std::string& path, bool wait) {
  while (::flock(fd, wait ? LOCK_EX : LOCK_EX | LOCK_NB) != 0) {
    if (errno != EINTR) return false;
  }
  // Whoever held the lock before may have removed the marker (a finished
  // recording, or a dead one taken care of): a lock on a file that no longer
  // has the name means nothing.
  struct stat held = {};
  struct stat named = {};
  if (::fstat(fd, &held) == 0 && held.st_nlink > 0 && ::stat(path.c_str(), &named) == 0 &&
      held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
    return true;
  }
  ::flock(fd, LOCK_UN);
  return false;
}

int RecordingMarker::Create(const std::string& recordingPath) {
  Release();
  const std::string path = MarkerPathFor(recordingPath);
  for (int attempt = 0; attempt < 10; ++attempt) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
      if (errno != EEXIST) return errno;
      // A marker of that name: a live recording's, or a dead one's to take over.
      RecordingMarker old;
      if (!old.Claim(path)) {
        if (::access(path.c_str(), F_OK) == 0) return EBUSY;
        continue;
      }
      old.Remove();
      continue;
    }
    if (LockIfCurrent(fd, path, true)) {
      fd_ = fd;
      path_ = path;
      return 0;
    }
    ::close(fd);
  }
  return EBUSY;
}

bool RecordingMarker::Claim(const std::string& markerPath) {
  Release();
  const int fd = ::open(markerPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  if (!LockIfCurrent(fd, markerPath, false)) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  path_ = markerPath;
  return true;
}

void RecordingMarker::Remove() {
  if (fd_ < 0) return;
  if (::unlink(path_.c_str()) != 0 && errno != ENOENT) {
    PLOG(WARNING) << "cannot remove the marker " << path_;
  }
  Release();
}

void RecordingMarker::Release() {
  if (fd_ < 0) return;
  ::close(fd_);
  fd_ = -1;
}

std::vector<RecordingMarker> ClaimDeadMarkers(const std::string& dir) {
  std::vector<RecordingMarker> dead;
  std::unique_ptr<DIR, int (*)(DIR*)> listing(::opendir(dir.c_str()), &::closedir);
  if (!listing) {
    PLOG(WARNING) << "cannot look for unfinished recordings in " << dir;
    return dead;
  }
  while (const dirent* entry = ::readdir(listing.get())) {
    if (RecordingMarker::RecordingNameFor(entry->d_name).empty()) continue;
    RecordingMarker marker;
    if (marker.Claim(dir + "/" + entry->d_name)) dead.push_back(std::move(marker));
  }
  return dead;
}

}  // namespace tarn
