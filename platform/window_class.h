#pragma once
// Naming a top-level window for window managers: its X11 WM_CLASS property
// (instance and class), which their rules and tests match on.

#include <cstdint>
#include <string>

namespace tarn::platform {

// Sets WM_CLASS of `window` on the X connection `xcbConnection` (an
// xcb_connection_t*) to `instance` and `className`. Best set before the window
// is mapped; false when there is no connection or window.
bool SetWindowClass(void* xcbConnection, std::uint32_t window, const std::string& instance,
                    const std::string& className);

}  // namespace tarn::platform
