#pragma once
// What the recording engine needs of the desktop: the screen's pixels, the
// cursor, and mouse clicks. The Linux implementation is X11 (platform/x11/);
// the engine sees only these interfaces.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tarn::platform {

// A rectangle of the desktop in pixels.
struct ScreenRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

// The cursor as the screen shows it now.
struct CursorImage {
  // Position of the hot spot relative to the primary monitor's top-left; it
  // lies outside 0..screenWidth x 0..screenHeight while the pointer is on
  // another monitor (negative, or beyond the size).
  int x = 0;
  int y = 0;
  int hotX = 0;  // hot spot inside the image
  int hotY = 0;
  int width = 0;
  int height = 0;
  // width * height pixels, rows top-down, premultiplied ARGB (0xAARRGGBB).
  std::vector<std::uint32_t> pixels;
  // Changes whenever the cursor's shape changes; lets callers skip a copy.
  std::uint64_t serial = 0;
};

// Copies rectangles of the primary monitor, which is "the screen" for the
// engine: coordinates (0, 0) are its top-left corner, whatever other monitors
// lie around it. The monitor layout is read once, when the grabber is opened.
// Not thread-safe: one thread owns an instance from Open to destruction; only
// DisplayLost and lastError may be called from other threads too.
class ScreenGrabber {
 public:
  virtual ~ScreenGrabber() = default;

  // Size of the primary monitor in pixels.
  virtual int screenWidth() const = 0;
  virtual int screenHeight() const = 0;

  // Prepares captures of `width` x `height` pixels into `frames` buffers of
  // one block of memory, each with `headerRoom` bytes before its pixels
  // (rounded up to a multiple of 16), so that a caller can hand a captured
  // frame on, header and all, while the next one is captured into another.
  // False (with a log line) when the size is not positive or the buffers
  // cannot be made.
  virtual bool Init(int width, int height, int frames = 1, int headerRoom = 0) = 0;

  // Copies the rectangle whose top-left is (sourceX, sourceY), relative to the
  // primary monitor, into frame `frame`. A rectangle reaching past the monitor
  // is clamped to it: the part outside stays black, even where another
  // monitor lies. False (with a log line) when the copy fails.
  virtual bool Capture(int sourceX, int sourceY, int frame = 0) = 0;

  // The pixels of a frame: rows top-down, `stride()` bytes apart, 4 bytes per
  // pixel in the order blue, green, red, unused (little-endian 0x00RRGGBB).
  // Valid after Init until the next Init or destruction; writable so overlays
  // can be drawn into it. The frame's header room lies just before them.
  virtual std::uint8_t* pixels(int frame = 0) = 0;
  virtual int stride() const = 0;
  virtual int width() const = 0;
  virtual int height() const = 0;

  // The current cursor; false when the display has none to report.
  virtual bool QueryCursor(CursorImage& cursor) = 0;

  // True once the connection to the display is broken (the server ended or
  // went away). It stays broken: from then on Init, Capture and QueryCursor
  // return false at once without talking to the server.
  virtual bool DisplayLost() const = 0;

  // Why the last Init or Capture failed, in a short English sentence for the
  // user ("lost the connection to the X display :1"); empty before any
  // failure.
  virtual std::string lastError() const = 0;
};

// Opens the X display named by $DISPLAY. Null (with a log line naming the
// display and why it cannot be opened) when it cannot be opened.
std::unique_ptr<ScreenGrabber> OpenScreenGrabber();

// The primary monitor's rectangle on the X root window (the whole desktop),
// without keeping a connection: the RandR monitor flagged primary, else the
// first one, else the whole root window. False when there is no display.
bool QueryPrimaryMonitor(ScreenRect& monitor);

// The primary monitor's size, as QueryPrimaryMonitor; false when no display.
bool QueryScreenSize(int& width, int& height);

// Reports presses of mouse buttons anywhere on the desktop, on a thread of its
// own, while it runs. Button 0 is the left button, 1 the right one (other
// buttons are not reported).
class ClickMonitor {
 public:
  virtual ~ClickMonitor() = default;
  // Starts listening; false (with a log line) when the display or its input
  // extension is missing. The callback runs on the monitor's thread.
  virtual bool Start(std::function<void(int button)> onPress) = 0;
  // Stops listening and joins the thread; safe to call twice.
  virtual void Stop() = 0;
};

std::unique_ptr<ClickMonitor> CreateClickMonitor();

}  // namespace tarn::platform
