#pragma once
// Where the running program lives, and where the files it ships are kept: the
// skin folder, the default watermark image and the watermark fonts.

#include <string>

namespace tarn::platform {

// The folder of the running executable, as the kernel names it
// (/proc/self/exe, symbolic links resolved), without a trailing slash; ""
// when it cannot be read. Thread-safe.
std::string ProgramDir();

// The folder of the program's shipped files for an executable in
// `programDir`: `programDir` itself when it holds the skin folder (the build
// tree), else <programDir>/../share/tarnrecorder when that holds it (an
// installed tree, whatever its prefix), else `programDir`. No trailing slash.
std::string DataDirFor(const std::string& programDir);

// DataDirFor(ProgramDir()), found once per process; logs where the files are
// taken from, and a warning when neither place holds the skin. Thread-safe.
std::string DataDir();

}  // namespace tarn::platform
