#include "platform/input_window.h"

#include <xcb/xcb.h>

namespace tarn::platform {
namespace {

xcb_connection_t* Xcb(void* connection) { return static_cast<xcb_connection_t*>(connection); }

// Glyphs of the standard cursor font.
constexpr std::uint16_t kGlyphArrow = 68;    // left_ptr
constexpr std::uint16_t kGlyphCross = 34;    // crosshair
constexpr std::uint16_t kGlyphSizeAll = 52;  // fleur

}  // namespace

InputWindow::InputWindow(void* xcbConnection, const ScreenRect& area) : connection_(xcbConnection) {
  xcb_connection_t* c = Xcb(connection_);
  if (c == nullptr || xcb_connection_has_error(c) != 0 || area.width <= 0 || area.height <= 0) return;
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
  if (screen == nullptr) return;
  window_ = xcb_generate_id(c);
  const std::uint32_t mask = XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK;
  const std::uint32_t values[] = {
      1, XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE |
             XCB_EVENT_MASK_POINTER_MOTION};
  xcb_create_window(c, 0, window_, screen->root, static_cast<std::int16_t>(area.x),
                    static_cast<std::int16_t>(area.y), static_cast<std::uint16_t>(area.width),
                    static_cast<std::uint16_t>(area.height), 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                    XCB_COPY_FROM_PARENT, mask, values);
  xcb_map_window(c, window_);
  xcb_flush(c);
}

InputWindow::~InputWindow() {
  xcb_connection_t* c = Xcb(connection_);
  if (c == nullptr || window_ == 0) return;
  xcb_destroy_window(c, window_);
  for (std::uint32_t cursor : cursors_) {
    if (cursor != 0) xcb_free_cursor(c, cursor);
  }
  if (cursorFont_ != 0) xcb_close_font(c, cursorFont_);
  xcb_flush(c);
}

std::uint32_t InputWindow::CursorFor(PointerCursor cursor) {
  xcb_connection_t* c = Xcb(connection_);
  const int index = static_cast<int>(cursor);
  if (cursors_[index] != 0) return cursors_[index];
  if (cursorFont_ == 0) {
    cursorFont_ = xcb_generate_id(c);
    xcb_open_font(c, cursorFont_, 6, "cursor");
  }
  const std::uint16_t glyph = cursor == PointerCursor::kCross     ? kGlyphCross
                              : cursor == PointerCursor::kSizeAll ? kGlyphSizeAll
                                                                  : kGlyphArrow;
  cursors_[index] = xcb_generate_id(c);
  xcb_create_glyph_cursor(c, cursors_[index], cursorFont_, cursorFont_, glyph, glyph + 1, 0, 0, 0,
                          0xFFFF, 0xFFFF, 0xFFFF);
  return cursors_[index];
}

void InputWindow::SetCursor(PointerCursor cursor) {
  if (window_ == 0) return;
  const std::uint32_t value = CursorFor(cursor);
  xcb_change_window_attributes(Xcb(connection_), window_, XCB_CW_CURSOR, &value);
  xcb_flush(Xcb(connection_));
}

void InputWindow::StackAbove(std::uint32_t window) {
  if (window_ == 0 || window == 0) return;
  const std::uint32_t values[] = {window, XCB_STACK_MODE_ABOVE};
  xcb_configure_window(Xcb(connection_), window_,
                       XCB_CONFIG_WINDOW_SIBLING | XCB_CONFIG_WINDOW_STACK_MODE, values);
  xcb_flush(Xcb(connection_));
}

bool InputWindow::Decode(const void* xcbEvent, PointerEvent& out) const {
  if (window_ == 0 || xcbEvent == nullptr) return false;
  const auto* event = static_cast<const xcb_generic_event_t*>(xcbEvent);
  switch (event->response_type & 0x7F) {
    case XCB_BUTTON_PRESS:
    case XCB_BUTTON_RELEASE: {
      const auto* button = reinterpret_cast<const xcb_button_press_event_t*>(event);
      if (button->event != window_) return false;
      out.kind = (event->response_type & 0x7F) == XCB_BUTTON_PRESS ? PointerEvent::Kind::kPress
                                                                    : PointerEvent::Kind::kRelease;
      out.button = button->detail;
      out.x = button->event_x;
      out.y = button->event_y;
      return true;
    }
    case XCB_MOTION_NOTIFY: {
      const auto* motion = reinterpret_cast<const xcb_motion_notify_event_t*>(event);
      if (motion->event != window_) return false;
      out.kind = PointerEvent::Kind::kMove;
      out.button = 0;
      out.x = motion->event_x;
      out.y = motion->event_y;
      return true;
    }
    default:
      return false;
  }
}

}  // namespace tarn::platform
