#pragma once
// What the X server says about a window's place on the desktop, read on a
// connection of the test's own: the top-level window that holds it (a window
// manager's frame), found by walking up the tree.

#include <xcb/xcb.h>

#include <cstdlib>

#include "platform/screen_capture.h"

namespace tarn::test {

// The rectangle, borders included, of the child of the root window that
// holds `window` (the window itself when it is one); empty when the window
// or the display is missing.
inline platform::ScreenRect TopLevelFrameOf(xcb_window_t window) {
  platform::ScreenRect rect;
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(connection) == 0) {
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    for (int depth = 0; depth < 64 && window != 0; ++depth) {
      xcb_query_tree_reply_t* tree =
          xcb_query_tree_reply(connection, xcb_query_tree(connection, window), nullptr);
      const xcb_window_t parent = tree != nullptr ? tree->parent : 0;
      std::free(tree);
      if (parent == 0) break;
      if (parent != root) {
        window = parent;
        continue;
      }
      xcb_get_geometry_reply_t* geometry =
          xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), nullptr);
      if (geometry != nullptr) {
        rect = {geometry->x, geometry->y, geometry->width + 2 * geometry->border_width,
                geometry->height + 2 * geometry->border_width};
      }
      std::free(geometry);
      break;
    }
  }
  xcb_disconnect(connection);
  return rect;
}

}  // namespace tarn::test
