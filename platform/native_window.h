#pragma once
// What the program does with its native X11 windows beyond what the toolkit
// does: the WM_CLASS name window managers match on, the shape of windows
// that show only part of themselves, the keyboard focus, exposures, and
// whether a compositor runs.

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

// Which of a window's shapes a change applies to: what is shown (and can take
// the pointer), or only what takes the pointer.
enum class ShapeKind { kBounding, kInput };
// How rectangles change a shape: replace it, add to it, take from it.
enum class ShapeOp { kSet, kUnion, kSubtract };

// Changes the `kind` shape of `window` by `rects` (window pixels). A window's
// pointer input is limited to both its bounding and its input shape. False
// without a connection, window or Shape extension.
bool CombineWindowShape(void* xcbConnection, std::uint32_t window, ShapeKind kind, ShapeOp op,
                        const std::vector<ShapeRect>& rects);

// Whether a compositing manager runs on the default screen of the connection
// (it owns the _NET_WM_CM_S<screen> selection).
bool CompositorRunning(void* xcbConnection);

// Gives the keyboard to `window` now, whatever event time the toolkit last
// saw (a window manager that moved the focus since then would otherwise win).
// False without a connection or window.
bool FocusWindowNow(void* xcbConnection, std::uint32_t window);

// Reads `xcbEvent` (an xcb_generic_event_t*); true, with the exposed `area`
// and the number of exposures still to follow in `remaining`, when it is an
// exposure of `window`.
bool ReadExposure(const void* xcbEvent, std::uint32_t window, ShapeRect& area, int& remaining);

}  // namespace tarn::platform
