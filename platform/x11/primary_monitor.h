#pragma once
// The primary monitor of an X screen, from the RandR 1.5 monitor list.

#include <xcb/xcb.h>

#include <optional>
#include <string>

#include "platform/screen_capture.h"

namespace tarn::platform::x11 {

// The primary monitor of `screen` on the root window: the active monitor
// flagged primary, else the first one, else (no RandR 1.5, or no monitor)
// the whole root window. `how` says where the rectangle came from, for a log
// line. Nothing when the connection broke while asking. Costs up to two round
// trips; calling xcb_prefetch_extension_data(connection, &xcb_randr_id)
// beforehand lets the extension query share a round trip with others.
std::optional<ScreenRect> ReadPrimaryMonitor(xcb_connection_t* connection,
                                             const xcb_screen_t* screen, std::string& how);

}  // namespace tarn::platform::x11
