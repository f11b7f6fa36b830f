#pragma once
// Opening connections to the X server named by $DISPLAY.

#include <X11/Xlib.h>

namespace tarn::platform::x11 {

// Opens a new connection, or returns null. Xlib's thread support is switched
// on once per process before the first connection (switching it on again
// after connections existed breaks later opens). A server that is resetting
// (as Xvfb does when its last client leaves) refuses connections for a moment,
// so a refused open is tried again for up to about a second.
Display* OpenConnection();

}  // namespace tarn::platform::x11
