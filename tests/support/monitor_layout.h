#pragma once
// An Xvfb of the test's own whose 3840x1080 root window holds three monitors
// declared with `xrandr --setmonitor NAME GEOMETRY none`, the primary one
// second from the left and lower than the others, each painted a colour of
// its own on a grey root window.

#include <xcb/randr.h>
#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "platform/screen_capture.h"
#include "tests/support/private_x_server.h"

namespace tarn::test {

struct PaintedMonitor {
  const char* name;
  platform::ScreenRect rect;  // on the root window
  std::uint32_t rgb;          // 0xRRGGBB
  bool primary;
};

inline constexpr std::uint32_t kGapRgb = 0x808080;  // the root window between monitors
inline constexpr PaintedMonitor kLeftMonitor{"left", {0, 0, 1024, 768}, 0xC01010, false};
inline constexpr PaintedMonitor kPrimaryMonitor{"middle", {1024, 100, 1600, 900}, 0x10A040, true};
inline constexpr PaintedMonitor kRightMonitor{"right", {2624, 0, 1216, 1080}, 0x2040F0, false};

class MonitorLayoutServer {
 public:
  MonitorLayoutServer() = default;
  MonitorLayoutServer(const MonitorLayoutServer&) = delete;
  MonitorLayoutServer& operator=(const MonitorLayoutServer&) = delete;

  // Starts the server, declares `monitors` in their order and paints them.
  // False with the reason in `whyNot` when any step fails.
  bool Start(std::string& whyNot,
             const std::vector<PaintedMonitor>& monitors = {kLeftMonitor, kPrimaryMonitor,
                                                            kRightMonitor}) {
    if (!server_.Start("3840x1080x24", whyNot)) return false;
    connection_.reset(xcb_connect(server_.displayName().c_str(), nullptr));
    c_ = connection_.get();
    if (xcb_connection_has_error(c_) != 0) {
      whyNot = "cannot connect to " + server_.displayName();
      return false;
    }
    root_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
    std::unique_ptr<xcb_randr_query_version_reply_t, Free> version(
        xcb_randr_query_version_reply(c_, xcb_randr_query_version(c_, 1, 5), nullptr));
    if (!version || (version->major_version == 1 && version->minor_version < 5)) {
      whyNot = "the test's Xvfb has no RandR 1.5";
      return false;
    }
    if (std::system("command -v xrandr >/dev/null") != 0) {
      whyNot = "xrandr is not installed";
      return false;
    }
    const int before = MonitorCount();
    for (const PaintedMonitor& monitor : monitors) {
      if (!Declare(monitor)) {
        whyNot = std::string("xrandr cannot declare the monitor ") + monitor.name;
        return false;
      }
    }
    if (MonitorCount() != before + static_cast<int>(monitors.size())) {
      whyNot = "the server does not list the declared monitors";
      return false;
    }
    std::uint32_t gap = kGapRgb;
    xcb_change_window_attributes(c_, root_, XCB_CW_BACK_PIXEL, &gap);
    xcb_clear_area(c_, 0, root_, 0, 0, 0, 0);
    for (const PaintedMonitor& monitor : monitors) Fill(monitor.rect, monitor.rgb);
    if (!RoundTrip()) {
      whyNot = "the test's Xvfb stopped answering";
      return false;
    }
    return true;
  }

  const std::string& displayName() const { return server_.displayName(); }

  // Fills a rectangle of the root window; done once RoundTrip returns.
  void Fill(const platform::ScreenRect& rect, std::uint32_t rgb) {
    const xcb_gcontext_t gc = xcb_generate_id(c_);
    xcb_create_gc(c_, gc, root_, XCB_GC_FOREGROUND, &rgb);
    const xcb_rectangle_t area{static_cast<std::int16_t>(rect.x), static_cast<std::int16_t>(rect.y),
                               static_cast<std::uint16_t>(rect.width),
                               static_cast<std::uint16_t>(rect.height)};
    xcb_poly_fill_rectangle(c_, root_, gc, 1, &area);
    xcb_free_gc(c_, gc);
  }

  // Moves the pointer to a point of the root window; done once RoundTrip returns.
  void WarpPointer(int x, int y) {
    xcb_warp_pointer(c_, XCB_NONE, root_, 0, 0, 0, 0, static_cast<std::int16_t>(x),
                     static_cast<std::int16_t>(y));
  }

  // True once the server has carried out every request sent so far.
  bool RoundTrip() {
    std::unique_ptr<xcb_get_input_focus_reply_t, Free> reply(
        xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr));
    return reply != nullptr;
  }

 private:
  struct Free {
    void operator()(void* block) const { std::free(block); }
  };
  struct Disconnect {
    void operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }
  };

  // Declares a monitor with no output, as a user would.
  bool Declare(const PaintedMonitor& monitor) {
    const platform::ScreenRect& r = monitor.rect;
    const std::string geometry = std::to_string(r.width) + "/" + std::to_string(r.width / 4) + "x" +
                                 std::to_string(r.height) + "/" + std::to_string(r.height / 4) +
                                 "+" + std::to_string(r.x) + "+" + std::to_string(r.y);
    // xrandr waits for the server to take the request before it exits.
    const std::string command = "xrandr -display '" + displayName() + "' --setmonitor '" +
                                (monitor.primary ? "*" : "") + monitor.name + "' " + geometry +
                                " none";
    return std::system(command.c_str()) == 0;
  }

  // How many monitors the server lists now.
  int MonitorCount() {
    std::unique_ptr<xcb_randr_get_monitors_reply_t, Free> reply(
        xcb_randr_get_monitors_reply(c_, xcb_randr_get_monitors(c_, root_, 1), nullptr));
    return reply ? reply->nMonitors : -1;
  }

  // The connection closes before the server ends.
  PrivateXServer server_;
  std::unique_ptr<xcb_connection_t, Disconnect> connection_;
  xcb_connection_t* c_ = nullptr;  // connection_.get()
  xcb_window_t root_ = 0;
};

}  // namespace tarn::test
