#pragma once
// An invisible window that takes the pointer over a rectangle of the screen
// without drawing anything (an X InputOnly window, placed by the program
// rather than a window manager). The screen brush puts one over its canvas,
// so the pointer draws everywhere while the canvas itself shows only what is
// drawn. UI thread only: it uses the toolkit's X connection.

#include <cstdint>

#include "platform/screen_capture.h"

namespace tarn::platform {

enum class PointerCursor { kArrow, kCross, kSizeAll };

// One pointer event of an input window, in the window's pixels.
struct PointerEvent {
  enum class Kind { kPress, kMove, kRelease };
  Kind kind = Kind::kMove;
  int button = 0;  // 1 left, 2 middle, 3 right; 0 for moves
  int x = 0;
  int y = 0;
};

class InputWindow {
 public:
  // Creates and maps the window over `area` (root pixels) on the X connection
  // `xcbConnection` (an xcb_connection_t*). valid() is false when it could
  // not be made.
  InputWindow(void* xcbConnection, const ScreenRect& area);
  ~InputWindow();
  InputWindow(const InputWindow&) = delete;
  InputWindow& operator=(const InputWindow&) = delete;

  bool valid() const { return window_ != 0; }
  std::uint32_t id() const { return window_; }
  void SetCursor(PointerCursor cursor);
  // Puts the window directly above its sibling `window` in the stacking order.
  void StackAbove(std::uint32_t window);

  // Reads `xcbEvent` (an xcb_generic_event_t*); true, with `out` filled, when
  // it is a pointer event of this window.
  bool Decode(const void* xcbEvent, PointerEvent& out) const;

 private:
  std::uint32_t CursorFor(PointerCursor cursor);

  void* connection_;
  std::uint32_t window_ = 0;
  std::uint32_t cursorFont_ = 0;
  std::uint32_t cursors_[3] = {0, 0, 0};
};

}  // namespace tarn::platform
