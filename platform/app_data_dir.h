#pragma once
// Per-user data folders of the program.

#include <string>

namespace tarn {

// Relative folders under the per-user data root.
inline constexpr const char* kLogRelativeDir = "TarnRecorder/Log";
inline constexpr const char* kConfigRelativeDir = "TarnRecorder/Config";

// Returns the per-user data root (see platform::LocalAppDataDir) + "/" +
// `relative` (slash separated, no leading slash), without a trailing slash.
// Every missing level of that path is created first; a level that cannot be
// created is reported on standard output ("create dir error fullPath: " for
// inner levels, "create dir error curPath: " for the last one) and the path is
// returned all the same. Thread-safe.
std::string GetAppDataDir(const std::string& relative);

// Creates every missing level of `path`, one component at a time, with the
// same reporting as GetAppDataDir. A relative path is taken from the current
// folder. Returns true when the whole path exists as a folder afterwards.
bool CreateDirectoryLevels(const std::string& path);

}  // namespace tarn
