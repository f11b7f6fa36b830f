#include "ui/main/removed_recordings.h"

#include <glog/logging.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <utility>

namespace tarn::ui {
namespace {

// One line per file: the modification time in nanoseconds, a tab, the path.
// Paths with a line break cannot be stored and are not remembered.
bool ParseLine(const std::string& line, std::int64_t* modifiedNs, std::string* path) {
  const std::size_t tab = line.find('\t');
  if (tab == std::string::npos || tab == 0 || tab + 1 >= line.size()) return false;
  const std::string number = line.substr(0, tab);
  if (!std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return false;
  }
  if (number.size() > 19) return false;  // would not fit in 64 bits
  errno = 0;
  const long long value = std::strtoll(number.c_str(), nullptr, 10);
  if (errno != 0) return false;
  *modifiedNs = value;
  *path = line.substr(tab + 1);
  return (*path)[0] == '/';
}

}  // namespace

RemovedRecordings::RemovedRecordings(std::string storePath) : storePath_(std::move(storePath)) {
  std::ifstream in(storePath_);
  if (!in) return;  // nothing removed yet
  std::string line;
  int skipped = 0;
  while (std::getline(in, line)) {
    Entry entry;
    if (ParseLine(line, &entry.modifiedNs, &entry.path)) {
      entries_.push_back(std::move(entry));
    } else if (!line.empty()) {
      ++skipped;
    }
  }
  if (skipped > 0) {
    LOG(WARNING) << "skipped " << skipped << " unreadable lines of " << storePath_;
  }
  if (entries_.size() > kMaxEntries) {
    entries_.erase(entries_.begin(), entries_.end() - static_cast<std::ptrdiff_t>(kMaxEntries));
  }
}

std::int64_t RemovedRecordings::ModifiedNs(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return -1;
  return static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
}

bool RemovedRecordings::Contains(const std::string& path, std::int64_t modifiedNs) const {
  return std::any_of(entries_.begin(), entries_.end(), [&](const Entry& entry) {
    return entry.modifiedNs == modifiedNs && entry.path == path;
  });
}

bool RemovedRecordings::Add(const std::string& path, std::int64_t modifiedNs) {
  if (modifiedNs < 0 || path.empty() || path[0] != '/' || path.find('\n') != std::string::npos) {
    return false;
  }
  if (Contains(path, modifiedNs)) return true;
  entries_.push_back({modifiedNs, path});
  if (entries_.size() > kMaxEntries) entries_.erase(entries_.begin());
  return Save();
}

void RemovedRecordings::Forget(const std::string& path) {
  const auto removed = std::erase_if(entries_, [&](const Entry& entry) { return entry.path == path; });
  if (removed > 0) Save();
}

bool RemovedRecordings::Save() const {
  // Written beside the store and moved over it, so a crash or a full disk
  // leaves the old store whole.
  const std::string temporary = storePath_ + ".new";
  {
    std::ofstream out(temporary, std::ios::trunc);
    for (const Entry& entry : entries_) out << entry.modifiedNs << '\t' << entry.path << '\n';
    out.flush();
    if (!out) {
      LOG(ERROR) << "cannot write the list of removed recordings " << temporary;
      ::unlink(temporary.c_str());
      return false;
    }
  }
  if (std::rename(temporary.c_str(), storePath_.c_str()) != 0) {
    LOG(ERROR) << "cannot replace " << storePath_ << ": " << std::strerror(errno);
    ::unlink(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace tarn::ui
