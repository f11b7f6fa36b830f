#include "settings/settings_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <fstream>
#include <memory>
#include <system_error>

#include <glog/logging.h>

#include "platform/app_data_dir.h"
#include "platform/user_dirs.h"
#include "settings/ini_document.h"

namespace tarn {
namespace {

constexpr const char* kIniFileName = "configure.ini";
// The integer parser looks at no more than this many characters of a value.
constexpr std::size_t kIntValueCharacters = 29;

std::string ErrnoText(int error) {
  return std::error_code(error, std::generic_category()).message();
}

std::string LowerAscii(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

// Length in bytes of the first `maxCharacters` characters of `text`. A lead
// byte followed by the right number of continuation bytes is one character;
// any other byte is a character of its own.
std::size_t PrefixBytes(std::string_view text, std::size_t maxCharacters) {
  std::size_t pos = 0;
  for (std::size_t count = 0; count < maxCharacters && pos < text.size(); ++count) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    std::size_t length = 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
    }
    bool complete = pos + length <= text.size();
    for (std::size_t i = 1; complete && i < length; ++i) {
      complete = (static_cast<unsigned char>(text[pos + i]) & 0xC0) == 0x80;
    }
    pos += complete ? length : 1;
  }
  return pos;
}

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Leading whitespace, optional sign, decimal digits to the first non-digit;
// the digits wrap around in 32 bits. No digits gives 0.
int ParseLeadingInt(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size() && IsSpace(text[pos])) ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    negative = text[pos] == '-';
    ++pos;
  }
  std::uint32_t value = 0;
  for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
    value = value * 10u + static_cast<std::uint32_t>(text[pos] - '0');
  }
  if (negative) value = 0u - value;
  return static_cast<int>(value);
}

enum class ReadResult { kOk, kMissing, kFailed };

// Reads a whole file; `error` receives errno on failure.
ReadResult ReadWholeFile(const std::string& path, std::string& bytes, int& error) {
  bytes.clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = errno;
    return error == ENOENT ? ReadResult::kMissing : ReadResult::kFailed;
  }
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) {
      bytes.append(buffer, static_cast<std::size_t>(n));
    } else if (n == 0) {
      break;
    } else if (errno != EINTR) {
      error = errno;
      ::close(fd);
      return ReadResult::kFailed;
    }
  }
  ::close(fd);
  return ReadResult::kOk;
}

std::string DirName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Follows a chain of symbolic links so the replacement lands on the real file
// and the link stays a link. A dangling link resolves to its target.
std::string ResolveSymlinks(std::string path) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) break;
    char target[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), target, sizeof target);
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof target) break;
    std::string link(target, static_cast<std::size_t>(n));
    path = link.front() == '/' ? link : DirName(path) + "/" + link;
  }
  return path;
}

// The process's file-creation mask, read without changing it (umask() would
// briefly change it for every thread).
mode_t CurrentUmask() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0) {
      try {
        return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
      } catch (...) {
        break;
      }
    }
  }
  return 022;
}

// Removes temporary files left by a writer that was killed before its rename.
// Called with the lock file held, so no cooperating writer is using one.
void RemoveStaleTemporaries(const std::string& dir, const std::string& prefix) {
  DIR* folder = ::opendir(dir.c_str());
  if (folder == nullptr) return;
  while (const dirent* entry = ::readdir(folder)) {
    const std::string_view name = entry->d_name;
    if (name.size() == prefix.size() + 6 && name.substr(0, prefix.size()) == prefix) {
      ::unlinkat(::dirfd(folder), entry->d_name, 0);
    }
  }
  ::closedir(folder);
}

// An exclusive flock() on a file, released when the holder goes away.
class FileLock {
 public:
  explicit FileLock(const std::string& path)
      : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {
    if (fd_ < 0) {
      error_ = errno;
      return;
    }
    while (::flock(fd_, LOCK_EX) != 0) {
      if (errno != EINTR) {
        error_ = errno;
        ::close(fd_);
        fd_ = -1;
        return;
      }
    }
  }
  ~FileLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  bool locked() const { return fd_ >= 0; }
  int error() const { return error_; }

 private:
  int fd_ = -1;
  int error_ = 0;
};

// Writes `bytes` to a new temporary file beside `target`, flushes it and
// renames it over `target`. On failure the temporary file is removed and
// `what` / `error` describe the step that failed.
bool ReplaceFile(const std::string& target, const std::string& tempPrefix,
                 const std::string& bytes, mode_t mode, const char*& what, int& error) {
  const std::string dir = DirName(target);
  std::string tempPath = dir + "/" + tempPrefix + "XXXXXX";
  const int fd = ::mkostemp(tempPath.data(), O_CLOEXEC);
  if (fd < 0) {
    what = "cannot create temporary file beside";
    error = errno;
    return false;
  }
  auto fail = [&](const char* step) {
    what = step;
    error = errno;
    ::close(fd);
    ::unlink(tempPath.c_str());
    return false;
  };
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail("cannot write temporary file for");
    }
    written += static_cast<std::size_t>(n);
  }
  if (::fchmod(fd, mode) != 0) return fail("cannot set permissions of temporary file for");
  if (::fsync(fd) != 0) return fail("cannot flush temporary file for");
  if (::close(fd) != 0) {
    what = "cannot close temporary file for";
    error = errno;
    ::unlink(tempPath.c_str());
    return false;
  }
  if (::rename(tempPath.c_str(), target.c_str()) != 0) {
    what = "cannot replace";
    error = errno;
    ::unlink(tempPath.c_str());
    return false;
  }
  // Make the rename itself durable; a failure here loses nothing written.
  const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
  return true;
}

// The process-wide store: owned by gStoreOwner, published through gStore so
// that later callers find it without taking the mutex.
std::atomic<SettingsStore*> gStore{nullptr};
std::mutex gStoreMutex;
std::unique_ptr<SettingsStore> gStoreOwner;  // guarded by gStoreMutex

}  // namespace

SettingsStore& SettingsStore::Instance() {
  SettingsStore* store = gStore.load(std::memory_order_acquire);
  if (store != nullptr) return *store;
  std::string path = GetAppDataDir(kConfigRelativeDir) + "/" + kIniFileName;
  std::lock_guard<std::mutex> lock(gStoreMutex);
  store = gStore.load(std::memory_order_relaxed);
  if (store == nullptr) {
    gStoreOwner = std::make_unique<SettingsStore>(std::move(path));
    store = gStoreOwner.get();
    gStore.store(store, std::memory_order_release);
  }
  return *store;
}

SettingsStore::SettingsStore(std::string iniPath) : path_(std::move(iniPath)) {}

bool SettingsStore::ReadValue(std::string_view section, std::string_view key,
                              std::string& value) const {
  {
    std::lock_guard<std::mutex> lock(overrideMutex_);
    const auto found = overrides_.find({LowerAscii(section), LowerAscii(key)});
    if (found != overrides_.end()) {
      value = found->second;
      return true;
    }
  }
  std::string bytes;
  int error = 0;
  // A missing or unreadable file reads as an empty one: every reader gets its default.
  if (ReadWholeFile(path_, bytes, error) != ReadResult::kOk) return false;
  std::optional<std::string> found = IniDocument::Parse(bytes).Get(section, key);
  if (!found) return false;
  value = std::move(*found);
  return true;
}

int SettingsStore::GetInt(std::string_view section, std::string_view key, int defaultValue) const {
  std::string value;
  if (!ReadValue(section, key, value)) return defaultValue;
  const std::string_view limited(value.data(), PrefixBytes(value, kIntValueCharacters));
  if (limited.empty()) return defaultValue;
  return ParseLeadingInt(limited);
}

int SettingsStore::GetInt(const SettingKey& key, int defaultValue) const {
  return GetInt(key.section, key.name, defaultValue);
}

bool SettingsStore::GetString(std::string_view section, std::string_view key,
                              std::string_view defaultValue, std::string& out,
                              std::size_t capacity) const {
  out.clear();
  if (capacity == 0) return false;
  std::string value;
  if (!ReadValue(section, key, value)) value = std::string(defaultValue);
  value.resize(PrefixBytes(value, capacity - 1));
  out = std::move(value);
  return !out.empty();
}

bool SettingsStore::GetString(const SettingKey& key, std::string_view defaultValue,
                              std::string& out, std::size_t capacity) const {
  return GetString(key.section, key.name, defaultValue, out, capacity);
}

std::string SettingsStore::GetString(std::string_view section, std::string_view key,
                                     std::string_view defaultValue, std::size_t capacity) const {
  std::string out;
  GetString(section, key, defaultValue, out, capacity);
  return out;
}

std::string SettingsStore::GetString(const SettingKey& key, std::string_view defaultValue,
                                     std::size_t capacity) const {
  return GetString(key.section, key.name, defaultValue, capacity);
}

bool SettingsStore::SetString(std::string_view section, std::string_view key,
                              std::string_view value) {
  if (!IniDocument::IsValidSectionName(section) || !IniDocument::IsValidKeyName(key)) {
    LOG(WARNING) << "settings write refused, unusable name [" << section << "] " << key
                 << " for " << path_;
    return false;
  }
  std::lock_guard<std::mutex> lock(writeMutex_);
  return WriteLocked(section, key, value);
}

bool SettingsStore::WriteLocked(std::string_view section, std::string_view key,
                                std::string_view value) {
  const std::string target = ResolveSymlinks(path_);
  const std::string dir = DirName(target);
  const std::string base = BaseName(target);
  if (!platform::IsDirectory(dir)) CreateDirectoryLevels(dir);

  FileLock fileLock(dir + "/." + base + ".lock");
  if (!fileLock.locked()) {
    LOG(WARNING) << "settings write failed, cannot lock " << target << ": "
                 << ErrnoText(fileLock.error());
    return false;
  }

  std::string bytes;
  int error = 0;
  const ReadResult read = ReadWholeFile(target, bytes, error);
  if (read == ReadResult::kFailed) {
    // Writing now would replace the unread entries with this one alone.
    LOG(WARNING) << "settings write failed, cannot read " << target << ": " << ErrnoText(error);
    return false;
  }

  mode_t mode = 0666 & ~CurrentUmask();
  struct stat info {};
  if (read == ReadResult::kOk && ::stat(target.c_str(), &info) == 0) mode = info.st_mode & 07777;

  IniDocument document = IniDocument::Parse(bytes);
  document.Set(section, key, value);

  const std::string tempPrefix = "." + base + ".tmp.";
  RemoveStaleTemporaries(dir, tempPrefix);
  const char* what = "";
  if (!ReplaceFile(target, tempPrefix, document.Serialize(), mode, what, error)) {
    LOG(WARNING) << "settings write failed, " << what << " " << target << ": "
                 << ErrnoText(error);
    return false;
  }
  return true;
}

bool SettingsStore::SetString(const SettingKey& key, std::string_view value) {
  return SetString(key.section, key.name, value);
}

bool SettingsStore::SetInt(std::string_view section, std::string_view key, int value) {
  return SetString(section, key, std::to_string(value));
}

bool SettingsStore::SetInt(const SettingKey& key, int value) {
  return SetInt(key.section, key.name, value);
}

void SettingsStore::SetOverride(std::string_view section, std::string_view key, std::string value) {
  std::lock_guard<std::mutex> lock(overrideMutex_);
  overrides_[{LowerAscii(section), LowerAscii(key)}] = std::move(value);
}

void SettingsStore::SetOverride(const SettingKey& key, std::string value) {
  SetOverride(key.section, key.name, std::move(value));
}

void SettingsStore::ClearOverrides() {
  std::lock_guard<std::mutex> lock(overrideMutex_);
  overrides_.clear();
}

std::string GetOutputDir() { return GetOutputDir(SettingsStore::Instance()); }

std::string GetOutputDir(const SettingsStore& store) {
  const std::string stored = store.GetString(kOutputDir, kOutputDirDefault, kOutputDirCapacity);
  if (!stored.empty()) {
    CreateDirectoryLevels(stored);
    return stored;
  }
  const std::string documents = platform::DocumentsDir();
  const std::string base = platform::IsDirectory(documents) ? documents : platform::DesktopDir();
  std::string derived = base + "/" + std::string(kDefaultOutputFolderName);
  CreateDirectoryLevels(derived);
  return derived;
}

}  // namespace tarn
