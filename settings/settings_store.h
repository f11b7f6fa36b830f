#pragma once
// The per-user settings file, configure.ini.
//
// Nothing is cached: every read parses the file, every write reads the file,
// changes one entry and replaces the file atomically (a temporary file in the
// same folder, flushed to disk, renamed over the old one), so a reader or a
// crash never sees half a file. Writers are serialised within the process by a
// mutex and between processes by flock() on a lock file beside the ini.
//
// All methods are thread-safe. Readers pass their own default; defaults are
// never written into the file. Lengths and capacities count characters (UTF-8
// code points; a byte that is not valid UTF-8 counts as one character).

#include <cstddef>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>

#include "settings/settings_keys.h"

namespace tarn {

class SettingsStore {
 public:
  // The process-wide store for GetAppDataDir(kConfigRelativeDir) +
  // "/configure.ini"; the folder levels are created on the first call. The
  // object lives until the process ends.
  static SettingsStore& Instance();

  // A store for any file; the file and its folders appear at the first write.
  explicit SettingsStore(std::string iniPath);

  SettingsStore(const SettingsStore&) = delete;
  SettingsStore& operator=(const SettingsStore&) = delete;

  const std::string& path() const { return path_; }

  // The integer at the start of the value: leading whitespace, an optional
  // sign and the decimal digits up to the first other character, within the
  // first 29 characters, wrapping around in 32 bits. `defaultValue` when the
  // key, the file or the value is missing or empty; 0 when there are no digits.
  int GetInt(std::string_view section, std::string_view key, int defaultValue) const;
  int GetInt(const SettingKey& key, int defaultValue) const;

  // Stores the value (or `defaultValue` when the key is absent) in `out`,
  // truncated to `capacity` - 1 characters; multi-byte characters are never
  // split. Returns true when at least one character was stored. Capacity 0
  // leaves `out` empty and returns false.
  bool GetString(std::string_view section, std::string_view key, std::string_view defaultValue,
                 std::string& out, std::size_t capacity) const;
  bool GetString(const SettingKey& key, std::string_view defaultValue, std::string& out,
                 std::size_t capacity) const;
  std::string GetString(std::string_view section, std::string_view key,
                        std::string_view defaultValue, std::size_t capacity) const;
  std::string GetString(const SettingKey& key, std::string_view defaultValue,
                        std::size_t capacity) const;

  // Writes one entry, creating the file's folders, the file, the section and
  // the key as needed and keeping every other line as it was. Returns false
  // (after one warning in the log) when the file cannot be read or replaced,
  // or when the section or key name cannot be written (see IniDocument).
  bool SetString(std::string_view section, std::string_view key, std::string_view value);
  bool SetString(const SettingKey& key, std::string_view value);
  bool SetInt(std::string_view section, std::string_view key, int value);
  bool SetInt(const SettingKey& key, int value);

  // Values that hide the file's value for this process only (a command-line
  // recording run). They go through the same parsing as file values and are
  // never written to the file; SetString still writes the file, but the
  // override keeps hiding it. Names compare as in the file.
  void SetOverride(std::string_view section, std::string_view key, std::string value);
  void SetOverride(const SettingKey& key, std::string value);
  void ClearOverrides();

 private:
  // The raw value of the key (override first, then file), or false if absent.
  bool ReadValue(std::string_view section, std::string_view key, std::string& value) const;
  bool WriteLocked(std::string_view section, std::string_view key, std::string_view value);

  const std::string path_;

  std::mutex writeMutex_;  // held by SetString for the whole read-modify-replace

  mutable std::mutex overrideMutex_;
  // Keyed by the lower-case section and key; guarded by overrideMutex_.
  std::map<std::pair<std::string, std::string>, std::string> overrides_;
};

// The folder recordings are written to and listed from: "global"/"output-dir"
// when set (every missing level is created), else "TARN屏幕录制" under the
// Documents folder, or under the Desktop folder when Documents does not exist
// (created as needed, never written back). Never fails; a folder that cannot
// be created is reported on standard output and the path returned all the same.
std::string GetOutputDir();
std::string GetOutputDir(const SettingsStore& store);

}  // namespace tarn
