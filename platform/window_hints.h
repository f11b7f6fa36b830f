#pragma once
// Hints that tell window managers how to treat a small floating window of the
// program: kept out of task bars and pagers, and standing on its own rather
// than as a dependent of the program's other windows.

#include <cstdint>

namespace tarn::platform {

// Adds _NET_WM_STATE_SKIP_TASKBAR and _NET_WM_STATE_SKIP_PAGER to the
// _NET_WM_STATE of `window` on the X connection `xcbConnection` (an
// xcb_connection_t*), keeping the states already there. For a window that is
// not mapped yet: the window manager reads the property when it maps it.
// False when there is no connection or window.
bool SetSkipTaskbar(void* xcbConnection, std::uint32_t window);

// Removes WM_TRANSIENT_FOR from `window`, so that the window manager does not
// minimise or hide it together with the window (or the window group) it was
// marked as belonging to. False when there is no connection or window.
bool ClearTransientFor(void* xcbConnection, std::uint32_t window);

}  // namespace tarn::platform
