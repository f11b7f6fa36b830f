#pragma once
// Where the running program lives: the files shipped beside the executable
// (the default watermark image, the watermark fonts) are looked up there.

#include <string>

namespace tarn::platform {

// The folder of the running executable, as the kernel names it
// (/proc/self/exe, symbolic links resolved), without a trailing slash; ""
// when it cannot be read. Thread-safe.
std::string ProgramDir();

}  // namespace tarn::platform
