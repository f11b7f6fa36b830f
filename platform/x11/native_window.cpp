#include "platform/native_window.h"

#include <xcb/shape.h>
#include <xcb/xcb.h>

#include <algorithm>

namespace tarn::platform {

bool SetWindowClass(void* xcbConnection, std::uint32_t window, const std::string& instance,
                    const std::string& className) {
  auto* connection = static_cast<xcb_connection_t*>(xcbConnection);
  if (connection == nullptr || window == 0) return false;
  // Two strings, each ending in a NUL, as ICCCM asks.
  std::string value = instance;
  value.push_back('\0');
  value += className;
  value.push_back('\0');
  xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS,
                      XCB_ATOM_STRING, 8, static_cast<std::uint32_t>(value.size()), value.data());
  xcb_flush(connection);
  return true;
}

bool SetWindowShape(void* xcbConnection, std::uint32_t window, const std::vector<ShapeRect>& rects) {
  auto* connection = static_cast<xcb_connection_t*>(xcbConnection);
  if (connection == nullptr || window == 0) return false;
  const xcb_query_extension_reply_t* shape = xcb_get_extension_data(connection, &xcb_shape_id);
  if (shape == nullptr || shape->present == 0) return false;
  // X rectangles hold 16-bit positions and sizes.
  auto to16 = [](int v) {
    return static_cast<std::int16_t>(std::clamp(v, -32768, 32767));
  };
  std::vector<xcb_rectangle_t> list;
  for (const ShapeRect& r : rects) {
    if (r.width <= 0 || r.height <= 0) continue;
    list.push_back({to16(r.x), to16(r.y), static_cast<std::uint16_t>(std::min(r.width, 65535)),
                    static_cast<std::uint16_t>(std::min(r.height, 65535))});
  }
  xcb_shape_rectangles(connection, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING,
                       XCB_CLIP_ORDERING_UNSORTED, window, 0, 0,
                       static_cast<std::uint32_t>(list.size()), list.data());
  xcb_flush(connection);
  return true;
}

}  // namespace tarn::platform
