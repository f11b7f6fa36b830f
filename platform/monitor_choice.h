#pragma once
// Which monitor "the whole screen" is: the choice among the monitors the
// display lists, kept apart from the X calls so it can be checked alone.

#include <vector>

#include "platform/screen_capture.h"

namespace tarn::platform {

// One monitor as the display lists it, on the root window.
struct MonitorRect {
  ScreenRect rect;
  bool primary = false;
};

// The monitor flagged primary, else the first one listed, cut to the root
// window of rootWidth x rootHeight (a monitor may be declared partly or
// wholly outside it). Monitors with nothing on the root window are passed
// over; when none is left the result is the whole root window.
ScreenRect ChoosePrimaryMonitor(const std::vector<MonitorRect>& monitors, int rootWidth,
                                int rootHeight);

}  // namespace tarn::platform
