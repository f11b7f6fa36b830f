#pragma once
// What the program sets on its native X11 windows beyond what the toolkit
// does: the WM_CLASS name window managers match on, and the shape of windows
// that show only part of themselves.

#include <cstdint>
#include <string>
#include <vector>

namespace tarn::platform {

// Sets WM_CLASS of `window` on the X connection `xcbConnection` (an
// xcb_connection_t*) to `instance` and `className`. Best set before the window
// is mapped; false when there is no connection or window.
bool SetWindowClass(void* xcbConnection, std::uint32_t window, const std::string& instance,
                    const std::string& className);

// One rectangle of a window's shape, in the window's pixels.
struct ShapeRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

// Makes only `rects` of `window` visible and able to take the pointer (the
// X Shape bounding region): clicks elsewhere reach the windows below. An
// empty list hides the whole window. False without a connection, window or
// Shape extension.
bool SetWindowShape(void* xcbConnection, std::uint32_t window, const std::vector<ShapeRect>& rects);

}  // namespace tarn::platform
