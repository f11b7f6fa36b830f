#include "platform/x11/primary_monitor.h"

#include <xcb/randr.h>

#include <vector>

#include "platform/monitor_choice.h"
#include "platform/x11/xcb_connection.h"

namespace tarn::platform::x11 {
namespace {

std::string Describe(const ScreenRect& rect) {
  return std::to_string(rect.width) + "x" + std::to_string(rect.height) + " at " +
         std::to_string(rect.x) + "," + std::to_string(rect.y);
}

// The active monitors RandR lists; nothing when RandR 1.5 is missing, with
// the reason in `whyNot`. Sets `broken` when the connection failed.
std::optional<std::vector<MonitorRect>> ListMonitors(xcb_connection_t* c, xcb_window_t root,
                                                     bool& broken, std::string& whyNot) {
  const xcb_query_extension_reply_t* extension = xcb_get_extension_data(c, &xcb_randr_id);
  broken = xcb_connection_has_error(c) != 0;
  if (broken) return std::nullopt;
  if (extension == nullptr || extension->present == 0) {
    whyNot = "the server has no RandR";
    return std::nullopt;
  }
  // The server answers with the highest version both sides know.
  XcbPtr<xcb_randr_query_version_reply_t> version(
      xcb_randr_query_version_reply(c, xcb_randr_query_version(c, 1, 5), nullptr));
  if (!version) {
    broken = xcb_connection_has_error(c) != 0;
    whyNot = "the server did not tell its RandR version";
    return std::nullopt;
  }
  if (version->major_version < 1 || (version->major_version == 1 && version->minor_version < 5)) {
    whyNot = "the server's RandR " + std::to_string(version->major_version) + "." +
             std::to_string(version->minor_version) + " lists no monitors";
    return std::nullopt;
  }
  XcbPtr<xcb_randr_get_monitors_reply_t> reply(
      xcb_randr_get_monitors_reply(c, xcb_randr_get_monitors(c, root, 1), nullptr));
  if (!reply) {
    broken = xcb_connection_has_error(c) != 0;
    whyNot = "the server refused to list its monitors";
    return std::nullopt;
  }
  std::vector<MonitorRect> monitors;
  for (auto it = xcb_randr_get_monitors_monitors_iterator(reply.get()); it.rem > 0;
       xcb_randr_monitor_info_next(&it)) {
    const xcb_randr_monitor_info_t& info = *it.data;
    monitors.push_back({{info.x, info.y, info.width, info.height}, info.primary != 0});
  }
  return monitors;
}

}  // namespace

std::optional<ScreenRect> ReadPrimaryMonitor(xcb_connection_t* connection,
                                             const xcb_screen_t* screen, std::string& how) {
  SigpipeGuard pipeGuard;
  const int rootWidth = screen->width_in_pixels;
  const int rootHeight = screen->height_in_pixels;
  const ScreenRect root{0, 0, rootWidth, rootHeight};
  bool broken = false;
  std::string whyNot;
  const std::optional<std::vector<MonitorRect>> monitors =
      ListMonitors(connection, screen->root, broken, whyNot);
  if (broken) return std::nullopt;
  if (!monitors) {
    how = "the root window " + Describe(root) + " (" + whyNot + ")";
    return root;
  }
  const ScreenRect chosen = ChoosePrimaryMonitor(*monitors, rootWidth, rootHeight);
  bool flagged = false;
  for (const MonitorRect& monitor : *monitors) flagged = flagged || monitor.primary;
  if (monitors->empty()) {
    how = "the root window " + Describe(root) + " (RandR lists no monitor)";
  } else {
    how = std::string(flagged ? "the primary monitor " : "the first monitor (none is primary) ") +
          Describe(chosen) + " of " + std::to_string(monitors->size()) + " on a " +
          std::to_string(rootWidth) + "x" + std::to_string(rootHeight) + " root window";
  }
  return chosen;
}

}  // namespace tarn::platform::x11
