#include "platform/user_dirs.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string_view>

namespace tarn::platform {
namespace {

std::string EnvAbsolutePath(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || value[0] != '/') return {};
  return value;
}

std::string StripTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// Reads one entry such as XDG_DOCUMENTS_DIR="$HOME/Documents" from the
// user-dirs file. Returns "" when the file or the entry is missing or the
// value is not a path the format allows ("$HOME/..." or absolute).
std::string ReadUserDirsEntry(std::string_view entry) {
  std::string config = EnvAbsolutePath("XDG_CONFIG_HOME");
  if (config.empty()) {
    const std::string home = HomeDir();
    if (home.empty()) return {};
    config = home + "/.config";
  }
  std::ifstream in(config + "/user-dirs.dirs");
  if (!in) return {};
  std::string line;
  std::string found;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::string_view view(line);
    while (!view.empty() && (view.front() == ' ' || view.front() == '\t')) view.remove_prefix(1);
    if (view.empty() || view.front() == '#') continue;
    if (view.substr(0, entry.size()) != entry) continue;
    view.remove_prefix(entry.size());
    if (view.empty() || view.front() != '=') continue;
    view.remove_prefix(1);
    if (view.size() < 2 || view.front() != '"' || view.back() != '"') continue;
    view = view.substr(1, view.size() - 2);
    std::string value;
    if (view.substr(0, 5) == "$HOME") {
      value = HomeDir() + std::string(view.substr(5));
    } else if (!view.empty() && view.front() == '/') {
      value = std::string(view);
    } else {
      continue;
    }
    found = StripTrailingSlashes(value);  // the last entry wins, as in the shell
  }
  return found;
}

std::string UserDir(std::string_view entry, const char* fallbackName) {
  std::string dir = ReadUserDirsEntry(entry);
  if (!dir.empty()) return dir;
  const std::string home = HomeDir();
  if (home.empty()) return {};
  return home + "/" + fallbackName;
}

}  // namespace

std::string HomeDir() {
  std::string home = EnvAbsolutePath("HOME");
  if (!home.empty()) return StripTrailingSlashes(home);
  // getpwuid_r keeps this usable from several threads.
  struct passwd entry {};
  struct passwd* result = nullptr;
  char buffer[4096];
  if (getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &result) == 0 && result != nullptr &&
      result->pw_dir != nullptr && result->pw_dir[0] == '/') {
    return StripTrailingSlashes(result->pw_dir);
  }
  return {};
}

std::string LocalAppDataDir() {
  std::string data = EnvAbsolutePath("XDG_DATA_HOME");
  if (!data.empty()) return StripTrailingSlashes(data);
  const std::string home = HomeDir();
  if (home.empty()) return {};
  return home == "/" ? "/.local/share" : home + "/.local/share";
}

std::string DocumentsDir() { return UserDir("XDG_DOCUMENTS_DIR", "Documents"); }

std::string DesktopDir() { return UserDir("XDG_DESKTOP_DIR", "Desktop"); }

std::string RuntimeDir() {
  std::string runtime = EnvAbsolutePath("XDG_RUNTIME_DIR");
  if (!runtime.empty()) return StripTrailingSlashes(runtime);
  // Without a session runtime folder, a private folder per user under /tmp.
  std::string fallback = "/tmp/tarnrecorder-" + std::to_string(getuid());
  if (::mkdir(fallback.c_str(), 0700) != 0 && !IsDirectory(fallback)) return "/tmp";
  return fallback;
}

bool PathExists(const std::string& path) {
  struct stat info {};
  return !path.empty() && ::stat(path.c_str(), &info) == 0;
}

bool IsDirectory(const std::string& path) {
  struct stat info {};
  return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace tarn::platform
