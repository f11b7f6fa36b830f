#pragma once
// Per-user special folders of the desktop session.
//
// All functions read the environment and the user's XDG configuration on every
// call (nothing is cached), so a test may point HOME or XDG_* elsewhere between
// calls. They are safe to call from any thread as long as no thread changes the
// environment at the same time.

#include <string>

namespace tarn::platform {

// The user's home folder: $HOME, else the password database entry; "" if neither.
std::string HomeDir();

// The folder for the application's own per-user data: $XDG_DATA_HOME when it is
// an absolute path, else HomeDir() + "/.local/share"; "" when no home is known.
// No trailing slash.
std::string LocalAppDataDir();

// The user's Documents and Desktop folders as the XDG user-dirs configuration
// ($XDG_CONFIG_HOME/user-dirs.dirs, else ~/.config/user-dirs.dirs) names them,
// else HomeDir() + "/Documents" and "/Desktop". The folder need not exist.
std::string DocumentsDir();
std::string DesktopDir();

// The folder for per-session runtime files (sockets, locks): $XDG_RUNTIME_DIR
// when set and absolute, else a private folder /tmp/tarnrecorder-UID.
std::string RuntimeDir();

// True when `path` names something that exists (file or folder).
bool PathExists(const std::string& path);

// True when `path` names an existing folder.
bool IsDirectory(const std::string& path);

}  // namespace tarn::platform
