// X11 screen grabber: copies rectangles of the primary monitor (a part of the
// root window, see primary_monitor.h) into a 32-bit BGRX buffer, with MIT-SHM
// when the server offers it and GetImage otherwise, and reads the cursor
// through XFixes. Callers' coordinates are relative to the monitor's top-left;
// the requests to the server are in root-window coordinates. Everything goes through XCB, so a
// server that goes away makes the calls fail (DisplayLost) instead of ending
// the process.

#include <glog/logging.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/randr.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/screen_capture.h"
#include "platform/x11/primary_monitor.h"
#include "platform/x11/xcb_connection.h"

namespace tarn::platform {
namespace {

using x11::XcbPtr;

// X coordinates are 16-bit signed; larger captures cannot be requested.
constexpr int kMaxCaptureSide = 32767;
constexpr std::uint32_t kAllPlanes = ~0u;

// The client's half of a System V shared-memory segment. Removal is requested
// as soon as the server holds it too, so the segment cannot outlive both
// processes even after a crash.
class SharedSegment {
 public:
  SharedSegment() = default;
  ~SharedSegment() {
    if (address_ != nullptr) shmdt(address_);
    if (id_ >= 0 && !removed_) shmctl(id_, IPC_RMID, nullptr);
  }
  SharedSegment(const SharedSegment&) = delete;
  SharedSegment& operator=(const SharedSegment&) = delete;

  bool Create(std::size_t bytes) {
    id_ = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (id_ < 0) {
      PLOG(WARNING) << "shmget of " << bytes << " bytes failed";
      return false;
    }
    void* address = shmat(id_, nullptr, 0);
    if (address == reinterpret_cast<void*>(-1)) {
      PLOG(WARNING) << "shmat failed";
      return false;
    }
    address_ = static_cast<std::uint8_t*>(address);
    return true;
  }

  // Called once the server has attached the segment.
  void MarkForRemoval() {
    if (shmctl(id_, IPC_RMID, nullptr) == 0) removed_ = true;
  }

  int id() const { return id_; }
  std::uint8_t* address() const { return address_; }

 private:
  int id_ = -1;
  std::uint8_t* address_ = nullptr;
  bool removed_ = false;
};

// True when the variable asks to bypass MIT-SHM (set, non-empty, not "0").
bool ShmDisabledByEnvironment() {
  const char* value = std::getenv("TARN_X11_NO_SHM");
  return value != nullptr && value[0] != '\0' && std::strcmp(value, "0") != 0;
}

// Whether the server has the extension; asking for several with
// xcb_prefetch_extension_data first costs one round trip for all.
bool ExtensionPresent(xcb_connection_t* connection, xcb_extension_t* extension) {
  const xcb_query_extension_reply_t* data = xcb_get_extension_data(connection, extension);
  return data != nullptr && data->present != 0;
}

class X11ScreenGrabber final : public ScreenGrabber {
 public:
  explicit X11ScreenGrabber(x11::Connection connection);
  ~X11ScreenGrabber() override { Release(); }

  int screenWidth() const override { return monitor_.width; }
  int screenHeight() const override { return monitor_.height; }

  bool Init(int width, int height, int frames, int headerRoom) override;
  bool Capture(int sourceX, int sourceY, int frame) override;

  std::uint8_t* pixels(int frame) override {
    if (pixels_ == nullptr || frame < 0 || frame >= frames_) return nullptr;
    return pixels_ + static_cast<std::size_t>(frame) * frameBytes_;
  }
  int stride() const override { return stride_; }
  int width() const override { return width_; }
  int height() const override { return height_; }

  bool QueryCursor(CursorImage& cursor) override;

  bool DisplayLost() const override { return lost_.load(); }
  std::string lastError() const override {
    std::lock_guard lock(errorMutex_);
    return lastError_;
  }

 private:
  bool FormatSupported();
  bool InitShm(int width, int height);
  void InitPlain(int width, int height);
  bool CaptureShm(int x, int y, int frame);
  bool CopyWithGetImage(int x, int y, int width, int height, std::uint8_t* destination);
  void SetError(const std::string& text);
  bool Fail(const std::string& text);
  bool RequestFailed(const char* what, const xcb_generic_error_t* error);
  bool NoticeLoss();
  void Release();

  // Members are destroyed bottom-up: the segment before the connection.
  x11::ConnectionPtr connection_;
  const xcb_screen_t* screen_;  // in the connection's setup data
  ScreenRect monitor_;          // the primary monitor on the root window, read at Open
  std::string displayName_;
  bool shmAvailable_ = false;
  bool hasXFixes_ = false;

  // Written by the owning thread; read from any thread.
  std::atomic<bool> lost_{false};
  mutable std::mutex errorMutex_;
  std::string lastError_;  // guarded by errorMutex_

  std::vector<std::uint8_t> plainBuffer_;  // the pixels when MIT-SHM is not used
  std::unique_ptr<SharedSegment> segment_;  // the pixels with MIT-SHM
  xcb_shm_seg_t serverSegment_ = 0;         // the segment's id in the server, 0 if none
  std::uint8_t* pixels_ = nullptr;  // frame 0's pixels
  int stride_ = 0;
  int width_ = 0;
  int height_ = 0;
  int frames_ = 1;
  std::size_t headerRoom_ = 0;
  std::size_t frameBytes_ = 0;  // from one frame's pixels to the next one's
};

X11ScreenGrabber::X11ScreenGrabber(x11::Connection connection)
    : connection_(std::move(connection.connection)),
      screen_(connection.screen),
      displayName_(std::move(connection.displayName)) {
  xcb_connection_t* c = connection_.get();
  x11::SigpipeGuard pipeGuard;
  xcb_prefetch_extension_data(c, &xcb_shm_id);
  xcb_prefetch_extension_data(c, &xcb_xfixes_id);
  xcb_prefetch_extension_data(c, &xcb_randr_id);
  if (ExtensionPresent(c, &xcb_shm_id)) {
    XcbPtr<xcb_shm_query_version_reply_t> version(
        xcb_shm_query_version_reply(c, xcb_shm_query_version(c), nullptr));
    shmAvailable_ = version != nullptr;
  }
  if (ExtensionPresent(c, &xcb_xfixes_id)) {
    // XFixes answers nothing else before the client has told its version.
    XcbPtr<xcb_xfixes_query_version_reply_t> version(
        xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, 4, 0), nullptr));
    hasXFixes_ = version != nullptr && version->major_version >= 1;
  }
  std::string how;
  const std::optional<ScreenRect> monitor = x11::ReadPrimaryMonitor(c, screen_, how);
  if (NoticeLoss()) return;
  monitor_ =
      monitor.value_or(ScreenRect{0, 0, screen_->width_in_pixels, screen_->height_in_pixels});
  LOG(INFO) << "screen capture: the screen is " << how;
}

void X11ScreenGrabber::SetError(const std::string& text) {
  std::lock_guard lock(errorMutex_);
  lastError_ = text;
}

// Records and logs why a call failed; returns false for the caller to pass on.
bool X11ScreenGrabber::Fail(const std::string& text) {
  LOG(ERROR) << "screen capture: " << text;
  SetError(text);
  return false;
}

// True when the connection is broken; the first time, also logs it and makes
// it the last error.
bool X11ScreenGrabber::NoticeLoss() {
  if (lost_.load()) return true;
  const int error = xcb_connection_has_error(connection_.get());
  if (error == 0) return false;
  const std::string text = "lost the connection to the X display " + displayName_;
  LOG(ERROR) << "screen capture: " << text << " (" << x11::ConnectionErrorText(error) << ")";
  SetError(text);
  lost_.store(true);
  return true;
}

// A request without a reply: the connection broke, or the server refused it.
bool X11ScreenGrabber::RequestFailed(const char* what, const xcb_generic_error_t* error) {
  if (NoticeLoss()) return false;
  std::string text = std::string("the X server refused to ") + what;
  if (error != nullptr) text += " (X error " + std::to_string(error->error_code) + ")";
  return Fail(text);
}

void X11ScreenGrabber::Release() {
  if (serverSegment_ != 0 && !lost_.load()) {
    x11::SigpipeGuard pipeGuard;
    xcb_shm_detach(connection_.get(), serverSegment_);
    xcb_flush(connection_.get());
  }
  serverSegment_ = 0;
  segment_.reset();
  plainBuffer_.clear();
  plainBuffer_.shrink_to_fit();
  pixels_ = nullptr;
  stride_ = width_ = height_ = 0;
  // The frame layout stays: a capture through GetImage after a refused
  // segment keeps the one Init asked for.
}

// The buffer is handed out as BGRX bytes, so the screen must be TrueColor
// with 8-bit channels in 32-bit little-endian pixels.
bool X11ScreenGrabber::FormatSupported() {
  const xcb_setup_t* setup = xcb_get_setup(connection_.get());
  const int depth = screen_->root_depth;
  int bitsPerPixel = 0;
  for (auto formats = xcb_setup_pixmap_formats_iterator(setup); formats.rem > 0;
       xcb_format_next(&formats)) {
    if (formats.data->depth == depth) bitsPerPixel = formats.data->bits_per_pixel;
  }
  const xcb_visualtype_t* visual = nullptr;
  for (auto depths = xcb_screen_allowed_depths_iterator(screen_); depths.rem > 0 && !visual;
       xcb_depth_next(&depths)) {
    for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem > 0;
         xcb_visualtype_next(&visuals)) {
      if (visuals.data->visual_id == screen_->root_visual) visual = visuals.data;
    }
  }
  const bool supported = (depth == 24 || depth == 32) && bitsPerPixel == 32 && visual &&
                         visual->_class == XCB_VISUAL_CLASS_TRUE_COLOR &&
                         visual->red_mask == 0xFF0000 && visual->green_mask == 0x00FF00 &&
                         visual->blue_mask == 0x0000FF &&
                         setup->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST;
  if (!supported) {
    LOG(ERROR) << "screen capture: screen of depth " << depth << ", " << bitsPerPixel
               << " bits per pixel, visual class " << (visual ? visual->_class : -1)
               << ", byte order " << static_cast<int>(setup->image_byte_order)
               << ": capture needs a 24- or 32-bit TrueColor screen with 32-bit little-endian "
                  "pixels";
    Fail("unsupported screen depth " + std::to_string(depth) +
         " (screen capture needs a 24- or 32-bit TrueColor screen)");
  }
  return supported;
}

bool X11ScreenGrabber::Init(int width, int height, int frames, int headerRoom) {
  Release();
  if (NoticeLoss()) return false;
  if (width <= 0 || height <= 0 || width > kMaxCaptureSide || height > kMaxCaptureSide) {
    return Fail("screen capture size " + std::to_string(width) + "x" + std::to_string(height) +
                " is out of range");
  }
  if (frames < 1 || frames > 64 || headerRoom < 0 || headerRoom > 4096) {
    return Fail("screen capture of " + std::to_string(frames) + " frames with " +
                std::to_string(headerRoom) + " header bytes is out of range");
  }
  frames_ = frames;
  headerRoom_ = (static_cast<std::size_t>(headerRoom) + 15) / 16 * 16;
  frameBytes_ = headerRoom_ + static_cast<std::size_t>(width) * 4 * static_cast<std::size_t>(height);
  if (!FormatSupported()) return false;

  // TARN_X11_NO_SHM=1 forces the GetImage path, as on a remote display.
  if (shmAvailable_ && !ShmDisabledByEnvironment()) {
    if (InitShm(width, height)) {
      LOG(INFO) << "screen capture of " << width << "x" << height << " through MIT-SHM";
      return true;
    }
    Release();
    if (NoticeLoss()) return false;
    LOG(WARNING) << "MIT-SHM capture unavailable; copying the screen with GetImage";
  }
  InitPlain(width, height);
  LOG(INFO) << "screen capture of " << width << "x" << height << " through GetImage";
  return true;
}

// Makes a segment and has the server attach it. Fails, without harm, when
// the server cannot reach it (a display on another machine).
bool X11ScreenGrabber::InitShm(int width, int height) {
  xcb_connection_t* c = connection_.get();
  const int stride = width * 4;
  const std::size_t bytes = frameBytes_ * static_cast<std::size_t>(frames_);
  segment_ = std::make_unique<SharedSegment>();
  if (!segment_->Create(bytes)) return false;
  const xcb_shm_seg_t id = xcb_generate_id(c);
  if (id == static_cast<xcb_shm_seg_t>(-1)) return false;
  {
    x11::SigpipeGuard pipeGuard;
    XcbPtr<xcb_generic_error_t> error(xcb_request_check(
        c, xcb_shm_attach_checked(c, id, static_cast<std::uint32_t>(segment_->id()), 0)));
    if (error || xcb_connection_has_error(c) != 0) {
      if (error) {
        LOG(WARNING) << "MIT-SHM attach failed with X error "
                     << static_cast<int>(error->error_code);
      }
      return false;
    }
  }
  serverSegment_ = id;
  segment_->MarkForRemoval();
  std::memset(segment_->address(), 0, bytes);
  pixels_ = segment_->address() + headerRoom_;
  stride_ = stride;
  width_ = width;
  height_ = height;
  return true;
}

void X11ScreenGrabber::InitPlain(int width, int height) {
  stride_ = width * 4;
  plainBuffer_.assign(frameBytes_ * static_cast<std::size_t>(frames_), 0);
  pixels_ = plainBuffer_.data() + headerRoom_;
  width_ = width;
  height_ = height;
}

// The server writes the whole rectangle, given in root coordinates, straight
// into the segment.
bool X11ScreenGrabber::CaptureShm(int x, int y, int frame) {
  xcb_connection_t* c = connection_.get();
  const auto offset = static_cast<std::uint32_t>(static_cast<std::size_t>(frame) * frameBytes_ + headerRoom_);
  const auto cookie = xcb_shm_get_image(
      c, screen_->root, static_cast<std::int16_t>(x), static_cast<std::int16_t>(y),
      static_cast<std::uint16_t>(width_), static_cast<std::uint16_t>(height_), kAllPlanes,
      XCB_IMAGE_FORMAT_Z_PIXMAP, serverSegment_, offset);
  xcb_generic_error_t* rawError = nullptr;
  XcbPtr<xcb_shm_get_image_reply_t> reply(xcb_shm_get_image_reply(c, cookie, &rawError));
  XcbPtr<xcb_generic_error_t> error(rawError);
  if (!reply) return RequestFailed("copy the screen", error.get());
  return true;
}

// Copies a rectangle that lies wholly on the root window, given in root
// coordinates, to `destination`, which has `stride_` bytes per row.
bool X11ScreenGrabber::CopyWithGetImage(int x, int y, int width, int height,
                                        std::uint8_t* destination) {
  xcb_connection_t* c = connection_.get();
  const auto cookie = xcb_get_image(
      c, XCB_IMAGE_FORMAT_Z_PIXMAP, screen_->root, static_cast<std::int16_t>(x),
      static_cast<std::int16_t>(y), static_cast<std::uint16_t>(width),
      static_cast<std::uint16_t>(height), kAllPlanes);
  xcb_generic_error_t* rawError = nullptr;
  XcbPtr<xcb_get_image_reply_t> reply(xcb_get_image_reply(c, cookie, &rawError));
  XcbPtr<xcb_generic_error_t> error(rawError);
  if (!reply) return RequestFailed("copy the screen", error.get());
  // 32-bit pixels: rows are width * 4 bytes whatever the scanline padding.
  const std::size_t rowBytes = static_cast<std::size_t>(width) * 4;
  const std::size_t needed = rowBytes * static_cast<std::size_t>(height);
  const int length = xcb_get_image_data_length(reply.get());
  if (length < 0 || static_cast<std::size_t>(length) < needed) {
    return Fail("the X server sent " + std::to_string(length) + " bytes for a " +
                std::to_string(width) + "x" + std::to_string(height) + " image");
  }
  const std::uint8_t* source = xcb_get_image_data(reply.get());
  for (int row = 0; row < height; ++row) {
    std::memcpy(destination + static_cast<std::size_t>(row) * stride_,
                source + static_cast<std::size_t>(row) * rowBytes, rowBytes);
  }
  return true;
}

bool X11ScreenGrabber::Capture(int sourceX, int sourceY, int frame) {
  if (lost_.load()) return false;
  if (pixels_ == nullptr) return Fail("screen capture before Init");
  if (frame < 0 || frame >= frames_) return Fail("screen capture into frame " + std::to_string(frame) + " of " + std::to_string(frames_));
  std::uint8_t* const framePixels = pixels(frame);
  x11::SigpipeGuard pipeGuard;
  // The part of the requested rectangle that lies on the monitor (64-bit so
  // that extreme offsets cannot overflow), in the monitor's coordinates.
  const long long left = std::max<long long>(sourceX, 0);
  const long long top = std::max<long long>(sourceY, 0);
  const long long right =
      std::min<long long>(static_cast<long long>(sourceX) + width_, screenWidth());
  const long long bottom =
      std::min<long long>(static_cast<long long>(sourceY) + height_, screenHeight());

  const bool whole =
      left == sourceX && top == sourceY && right - left == width_ && bottom - top == height_;
  if (whole && serverSegment_ != 0) {
    return CaptureShm(sourceX + monitor_.x, sourceY + monitor_.y, frame);
  }
  // Parts off the monitor stay black.
  if (!whole) std::memset(framePixels, 0, static_cast<std::size_t>(stride_) * height_);
  if (left >= right || top >= bottom) return true;
  std::uint8_t* destination = framePixels + static_cast<std::size_t>(top - sourceY) * stride_ +
                              static_cast<std::size_t>(left - sourceX) * 4;
  return CopyWithGetImage(static_cast<int>(left) + monitor_.x, static_cast<int>(top) + monitor_.y,
                          static_cast<int>(right - left), static_cast<int>(bottom - top),
                          destination);
}

// Callers that keep one CursorImage between calls get the shape converted
// only when its serial or size changes.
bool X11ScreenGrabber::QueryCursor(CursorImage& cursor) {
  if (!hasXFixes_ || lost_.load()) return false;
  xcb_connection_t* c = connection_.get();
  XcbPtr<xcb_xfixes_get_cursor_image_reply_t> image;
  {
    x11::SigpipeGuard pipeGuard;
    image.reset(xcb_xfixes_get_cursor_image_reply(c, xcb_xfixes_get_cursor_image(c), nullptr));
  }
  if (!image) {
    NoticeLoss();
    return false;
  }
  const int width = image->width;
  const int height = image->height;
  const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  const int length = xcb_xfixes_get_cursor_image_cursor_image_length(image.get());
  if (length < 0 || static_cast<std::size_t>(length) < count) return false;
  const bool sameShape = cursor.serial == image->cursor_serial && cursor.width == width &&
                         cursor.height == height && cursor.pixels.size() == count;
  if (!sameShape) {
    const std::uint32_t* pixels = xcb_xfixes_get_cursor_image_cursor_image(image.get());
    cursor.pixels.assign(pixels, pixels + count);
  }
  cursor.x = image->x - monitor_.x;
  cursor.y = image->y - monitor_.y;
  cursor.hotX = image->xhot;
  cursor.hotY = image->yhot;
  cursor.width = width;
  cursor.height = height;
  cursor.serial = image->cursor_serial;
  return true;
}

std::optional<x11::Connection> OpenDisplay() {
  std::string whyNot;
  std::optional<x11::Connection> connection = x11::Connect(whyNot);
  if (!connection) {
    LOG(ERROR) << "screen capture: " << whyNot;
  }
  return connection;
}

}  // namespace

std::unique_ptr<ScreenGrabber> OpenScreenGrabber() {
  std::optional<x11::Connection> connection = OpenDisplay();
  if (!connection) return nullptr;
  auto grabber = std::make_unique<X11ScreenGrabber>(std::move(*connection));
  if (grabber->DisplayLost()) return nullptr;  // lost while asking for its extensions
  return grabber;
}

bool QueryPrimaryMonitor(ScreenRect& monitor) {
  const std::optional<x11::Connection> connection = OpenDisplay();
  if (!connection) return false;
  std::string how;
  const std::optional<ScreenRect> primary =
      x11::ReadPrimaryMonitor(connection->connection.get(), connection->screen, how);
  if (!primary) {
    LOG(ERROR) << "screen geometry: lost the connection to the X display "
               << connection->displayName << " while reading its monitors";
    return false;
  }
  VLOG(1) << "screen geometry: " << how;
  monitor = *primary;
  return true;
}

bool QueryScreenSize(int& width, int& height) {
  ScreenRect monitor;
  if (!QueryPrimaryMonitor(monitor)) return false;
  width = monitor.width;
  height = monitor.height;
  return true;
}

}  // namespace tarn::platform
