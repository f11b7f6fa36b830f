#include "platform/native_window.h"

#include <xcb/shape.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>

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

namespace {

struct FreeReply {
  void operator()(void* reply) const { std::free(reply); }
};

}  // namespace

bool SetWindowShape(void* xcbConnection, std::uint32_t window, const std::vector<ShapeRect>& rects) {
  return CombineWindowShape(xcbConnection, window, ShapeKind::kBounding, ShapeOp::kSet, rects);
}

bool CombineWindowShape(void* xcbConnection, std::uint32_t window, ShapeKind kind, ShapeOp op,
                        const std::vector<ShapeRect>& rects) {
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
  // Union and subtract with nothing change nothing: no request.
  if (list.empty() && op != ShapeOp::kSet) return true;
  const xcb_shape_op_t shapeOp = op == ShapeOp::kSet     ? XCB_SHAPE_SO_SET
                                 : op == ShapeOp::kUnion ? XCB_SHAPE_SO_UNION
                                                         : XCB_SHAPE_SO_SUBTRACT;
  const xcb_shape_kind_t shapeKind =
      kind == ShapeKind::kBounding ? XCB_SHAPE_SK_BOUNDING : XCB_SHAPE_SK_INPUT;
  xcb_shape_rectangles(connection, shapeOp, shapeKind, XCB_CLIP_ORDERING_UNSORTED, window, 0, 0,
                       static_cast<std::uint32_t>(list.size()), list.data());
  xcb_flush(connection);
  return true;
}

bool ReadExposure(const void* xcbEvent, std::uint32_t window, ShapeRect& area, int& remaining) {
  const auto* event = static_cast<const xcb_generic_event_t*>(xcbEvent);
  if (event == nullptr || (event->response_type & 0x7F) != XCB_EXPOSE) return false;
  const auto* expose = reinterpret_cast<const xcb_expose_event_t*>(event);
  if (expose->window != window) return false;
  area = {expose->x, expose->y, expose->width, expose->height};
  remaining = expose->count;
  return true;
}

bool FocusWindowNow(void* xcbConnection, std::uint32_t window) {
  auto* connection = static_cast<xcb_connection_t*>(xcbConnection);
  if (connection == nullptr || window == 0) return false;
  xcb_set_input_focus(connection, XCB_INPUT_FOCUS_PARENT, window, XCB_CURRENT_TIME);
  xcb_flush(connection);
  return true;
}

bool CompositorRunning(void* xcbConnection) {
  auto* connection = static_cast<xcb_connection_t*>(xcbConnection);
  if (connection == nullptr || xcb_connection_has_error(connection) != 0) return false;
  int screen = 0;
  const char* display = std::getenv("DISPLAY");
  if (display != nullptr) {
    char* host = nullptr;
    int number = 0;
    if (xcb_parse_display(display, &host, &number, &screen) == 0) screen = 0;
    std::free(host);
  }
  const std::string name = "_NET_WM_CM_S" + std::to_string(screen);
  std::unique_ptr<xcb_intern_atom_reply_t, FreeReply> atom(xcb_intern_atom_reply(
      connection, xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(name.size()), name.c_str()),
      nullptr));
  if (!atom) return false;
  std::unique_ptr<xcb_get_selection_owner_reply_t, FreeReply> owner(xcb_get_selection_owner_reply(
      connection, xcb_get_selection_owner(connection, atom->atom), nullptr));
  return owner && owner->owner != XCB_NONE;
}

}  // namespace tarn::platform
