#include "platform/window_hints.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

namespace tarn::platform {
namespace {

struct FreeDeleter {
  void operator()(void* reply) const { std::free(reply); }
};
template <class T>
using Reply = std::unique_ptr<T, FreeDeleter>;

xcb_atom_t InternAtom(xcb_connection_t* connection, std::string_view name) {
  const Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
      connection,
      xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(name.size()), name.data()),
      nullptr));
  if (reply == nullptr) return XCB_ATOM_NONE;
  return reply->atom;
}

}  // namespace

bool SetSkipTaskbar(void* xcbConnection, std::uint32_t window) {
  auto* connection = static_cast<xcb_connection_t*>(xcbConnection);
  if (connection == nullptr || window == 0) return false;
  const xcb_atom_t state = InternAtom(connection, "_NET_WM_STATE");
  const xcb_atom_t wanted[] = {InternAtom(connection, "_NET_WM_STATE_SKIP_TASKBAR"),
                               InternAtom(connection, "_NET_WM_STATE_SKIP_PAGER")};
  if (state == XCB_ATOM_NONE) return false;

  std::vector<xcb_atom_t> atoms;
  const Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
      connection, xcb_get_property(connection, 0, window, state, XCB_ATOM_ATOM, 0, 1024),
      nullptr));
  if (reply != nullptr && reply->format == 32 && reply->type == XCB_ATOM_ATOM) {
    const auto* values = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get()));
    atoms.assign(values, values + xcb_get_property_value_length(reply.get()) / 4);
  }
  for (const xcb_atom_t atom : wanted) {
    if (atom == XCB_ATOM_NONE) continue;
    bool present = false;
    for (const xcb_atom_t existing : atoms) present = present || existing == atom;
    if (!present) atoms.push_back(atom);
  }
  xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, state, XCB_ATOM_ATOM, 32,
                      static_cast<std::uint32_t>(atoms.size()), atoms.data());
  xcb_flush(connection);
  return true;
}

bool ClearTransientFor(void* xcbConnection, std::uint32_t window) {
  auto* connection = static_cast<xcb_connection_t*>(xcbConnection);
  if (connection == nullptr || window == 0) return false;
  xcb_delete_property(connection, window, XCB_ATOM_WM_TRANSIENT_FOR);
  xcb_flush(connection);
  return true;
}

}  // namespace tarn::platform
