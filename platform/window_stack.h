#pragma once
// The windows a user sees on the desktop, top to bottom, for picking a window
// by pointing at it. The Linux implementation reads the X server
// (platform/x11/window_stack.cpp); the lookup is plain arithmetic.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/screen_capture.h"

namespace tarn::platform {

// One visible window and its visible child windows.
struct WindowNode {
  std::uint32_t window = 0;  // X window id
  std::string title;         // UTF-8, at most kWindowTitleMaxChars characters
  ScreenRect rect;           // on the root window, borders and frame included
  // Stacking position among its siblings: 0 is the bottom one, larger is
  // higher up.
  int zIndex = 0;
  // Visible children, topmost first.
  std::vector<WindowNode> children;
};

inline constexpr std::size_t kWindowTitleMaxChars = 260;

// Reads the visible windows of the display named by $DISPLAY, in one pass.
// Top level: the window manager's client windows in stacking order, each with
// its frame (the rectangle grown by _NET_FRAME_EXTENTS), leaving out
// minimised and unmapped ones; without a window manager, the viewable
// children of the root window. Below them, their viewable child windows,
// recursively. Windows listed in `excluded` are left out with their
// children. The requests of each tree level are sent together before any
// reply is read, so the cost is a few round trips whatever the number of
// windows. False, with the reason in `whyNot`, when the display cannot be
// reached; windows that vanish while being read are skipped.
bool ReadWindowStack(const std::vector<std::uint32_t>& excluded, std::vector<WindowNode>& tree,
                     std::string& whyNot);

// The window under (x, y), root coordinates: among the top-level nodes whose
// rectangle contains the point the one with the largest zIndex, then, level
// by level, the first child whose rectangle contains it. Null when no
// top-level node contains the point. A rectangle contains the points from
// its x, y up to but not including x + width, y + height.
const WindowNode* WindowUnderPoint(const std::vector<WindowNode>& tree, int x, int y);

}  // namespace tarn::platform
