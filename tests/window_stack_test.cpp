// Finding the window under the pointer in a window tree: the topmost
// top-level window wins whatever the list's order, then the first child
// containing the point, level by level.

#include "platform/window_stack.h"

#include <gtest/gtest.h>

namespace tarn::platform {
namespace {

WindowNode Node(std::uint32_t id, ScreenRect rect, int zIndex,
                std::vector<WindowNode> children = {}) {
  WindowNode node;
  node.window = id;
  node.rect = rect;
  node.zIndex = zIndex;
  node.children = std::move(children);
  return node;
}

TEST(WindowUnderPointTest, TheTopmostWindowWinsThenItsChildrenAreSearched) {
  // Children are listed topmost first; 11 overlaps 12 and comes first.
  const std::vector<WindowNode> tree = {
      Node(1, {0, 0, 800, 600}, 0,
           {Node(11, {100, 100, 100, 100}, 1, {Node(111, {150, 150, 20, 20}, 0)}),
            Node(12, {50, 50, 400, 400}, 0)}),
      Node(2, {400, 300, 800, 600}, 2),
      Node(3, {300, 200, 300, 300}, 1),
  };
  struct Case {
    const char* what;
    int x, y;
    std::uint32_t want;  // 0: none
  };
  const Case cases[] = {
      {"only the bottom window", 10, 10, 1},
      {"three overlap: the highest z-index, listed in the middle", 450, 350, 2},
      {"two overlap: the higher", 350, 250, 3},
      {"down to a grandchild", 160, 160, 111},
      {"the first child containing it, though another does too", 120, 120, 11},
      {"the other child", 60, 60, 12},
      {"a child's last pixel", 199, 199, 11},
      {"the right edge is outside", 800, 10, 0},
      {"nothing there", 1300, 10, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const WindowNode* found = WindowUnderPoint(tree, c.x, c.y);
    EXPECT_EQ(found != nullptr ? found->window : 0u, c.want);
  }
  EXPECT_EQ(WindowUnderPoint({}, 0, 0), nullptr);
}

}  // namespace
}  // namespace tarn::platform
