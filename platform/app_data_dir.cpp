#include "platform/app_data_dir.h"

#include <sys/stat.h>

#include <cerrno>
#include <iostream>

#include "platform/user_dirs.h"

namespace tarn {
namespace {

// Creates `path` when nothing exists there yet; reports a failure with `prefix`.
void EnsureLevel(const std::string& path, const char* prefix) {
  if (platform::PathExists(path)) return;
  if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) {
    std::cout << prefix << path << std::endl;
  }
}

}  // namespace

bool CreateDirectoryLevels(const std::string& path) {
  if (path.empty()) return false;
  // The head is everything up to and including the first separator (the root
  // "/" of an absolute path); the remaining components are added one by one.
  std::string head;
  std::string rest = path;
  const std::size_t first = path.find('/');
  if (first != std::string::npos) {
    head = path.substr(0, first + 1);
    rest = path.substr(first + 1);
  }
  std::size_t start = 0;
  while (start <= rest.size()) {
    const std::size_t slash = rest.find('/', start);
    const bool last = slash == std::string::npos;
    const std::string component = rest.substr(start, last ? std::string::npos : slash - start);
    if (!component.empty()) {
      if (!head.empty() && head.back() != '/') head += '/';
      head += component;
      // A trailing separator means the last real component was the one before it.
      const bool isLastLevel = last || rest.find_first_not_of('/', slash) == std::string::npos;
      EnsureLevel(head, isLastLevel ? "create dir error curPath: " : "create dir error fullPath: ");
    }
    if (last) break;
    start = slash + 1;
  }
  return platform::IsDirectory(path);
}

std::string GetAppDataDir(const std::string& relative) {
  const std::string root = platform::LocalAppDataDir();
  std::string result = root + "/" + relative;
  while (result.size() > 1 && result.back() == '/') result.pop_back();
  CreateDirectoryLevels(result);
  return result;
}

}  // namespace tarn
