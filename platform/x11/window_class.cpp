#include "platform/window_class.h"

#include <xcb/xcb.h>

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

}  // namespace tarn::platform
