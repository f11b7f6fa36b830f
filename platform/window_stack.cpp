// Finding the window under a point in a window tree: plain arithmetic, apart
// from the X calls that read the tree (platform/x11/window_stack.cpp).

#include "platform/window_stack.h"

#include <algorithm>

namespace tarn::platform {
namespace {

bool Contains(const ScreenRect& rect, int x, int y) {
  return x >= rect.x && y >= rect.y && x < rect.x + rect.width && y < rect.y + rect.height;
}

}  // namespace

const WindowNode* WindowUnderPoint(const std::vector<WindowNode>& tree, int x, int y) {
  const WindowNode* found = nullptr;
  for (const WindowNode& node : tree) {
    if (Contains(node.rect, x, y) && (found == nullptr || node.zIndex > found->zIndex)) {
      found = &node;
    }
  }
  while (found != nullptr) {
    const auto child = std::find_if(found->children.begin(), found->children.end(),
                                    [&](const WindowNode& c) { return Contains(c.rect, x, y); });
    if (child == found->children.end()) break;
    found = &*child;
  }
  return found;
}

}  // namespace tarn::platform
