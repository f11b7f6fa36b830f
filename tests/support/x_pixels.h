#pragma once
// Reading a window's pixels back from the X server (24-bit visual).

#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>

namespace tarn::test {

struct Rgb {
  int r = -1, g = -1, b = -1;
};

// The pixel (x, y) of `window`; all -1 when it cannot be read.
inline Rgb PixelOf(std::uintptr_t window, int x, int y) {
  Rgb rgb;
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(connection) == 0) {
    xcb_get_image_reply_t* reply = xcb_get_image_reply(
        connection,
        xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, static_cast<xcb_window_t>(window),
                      static_cast<int16_t>(x), static_cast<int16_t>(y), 1, 1, ~0u),
        nullptr);
    if (reply != nullptr && xcb_get_image_data_length(reply) >= 4) {
      const std::uint8_t* data = xcb_get_image_data(reply);
      rgb = {data[2], data[1], data[0]};
    }
    std::free(reply);
  }
  xcb_disconnect(connection);
  return rgb;
}

inline bool IsRed(const Rgb& c) { return c.r > 200 && c.g < 60 && c.b < 60; }
inline bool IsBlue(const Rgb& c) { return c.b > 200 && c.r < 60 && c.g < 60; }

}  // namespace tarn::test
