// X11 screen grabber: copies rectangles of the root window into a 32-bit
// BGRX buffer, with MIT-SHM when the server offers it and XGetImage otherwise,
// and reads the cursor through XFixes.

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/Xfixes.h>
#include <glog/logging.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/screen_capture.h"
#include "platform/x11/x_connection.h"

namespace tarn::platform {
namespace {

// X coordinates are 16-bit signed; larger captures cannot be requested.
constexpr int kMaxCaptureSide = 32767;

struct DisplayCloser {
  void operator()(Display* display) const { XCloseDisplay(display); }
};
using DisplayPtr = std::unique_ptr<Display, DisplayCloser>;

struct ImageDestroyer {
  void operator()(XImage* image) const { XDestroyImage(image); }
};
using ImagePtr = std::unique_ptr<XImage, ImageDestroyer>;

struct XFreeDeleter {
  void operator()(void* data) const { XFree(data); }
};

std::string DisplayLabel() {
  const char* name = XDisplayName(nullptr);
  if (name == nullptr || name[0] == '\0') return "(DISPLAY is not set)";
  return std::string("\"") + name + "\"";
}

// --- X errors -------------------------------------------------------------
// Xlib's default error handler ends the process. While a grabber lives, a
// handler that logs the error is installed instead, so that a failed request
// makes the call fail rather than the program. The handler is process-wide;
// a count of the grabbers alive decides when to put the previous one back.
// A thread may trap the errors of one display (to probe XShmAttach): Xlib
// calls the handler on the thread that talks to that display.

thread_local Display* trapDisplay = nullptr;
thread_local int trappedErrorCode = 0;

int HandleXError(Display* display, XErrorEvent* event) {
  if (display == trapDisplay) {
    trappedErrorCode = event->error_code;
    return 0;
  }
  char text[256] = {};
  XGetErrorText(display, event->error_code, text, sizeof text);
  LOG(ERROR) << "X error: " << text << " (request " << static_cast<int>(event->request_code) << "."
             << static_cast<int>(event->minor_code) << ", resource 0x" << std::hex
             << event->resourceid << ")";
  return 0;
}

std::mutex handlerMutex;
int handlerUsers = 0;                     // guarded by handlerMutex
XErrorHandler previousHandler = nullptr;  // guarded by handlerMutex

class ErrorHandlerScope {
 public:
  ErrorHandlerScope() {
    std::lock_guard lock(handlerMutex);
    if (handlerUsers++ == 0) previousHandler = XSetErrorHandler(HandleXError);
  }
  ~ErrorHandlerScope() {
    std::lock_guard lock(handlerMutex);
    if (--handlerUsers == 0) XSetErrorHandler(previousHandler);
  }
  ErrorHandlerScope(const ErrorHandlerScope&) = delete;
  ErrorHandlerScope& operator=(const ErrorHandlerScope&) = delete;
};

// --- Shared memory --------------------------------------------------------

// A System V shared-memory segment mapped here and, once attached, in the
// X server. Removal is requested as soon as both sides hold it, so the
// segment cannot outlive the process even after a crash.
class SharedSegment {
 public:
  explicit SharedSegment(Display* display) : display_(display) {
    info_.shmid = -1;
    info_.shmaddr = nullptr;
    info_.readOnly = False;
  }
  ~SharedSegment() {
    if (attachedToServer_) {
      XShmDetach(display_, &info_);
      XSync(display_, False);
    }
    if (info_.shmaddr != nullptr) shmdt(info_.shmaddr);
    if (info_.shmid >= 0 && !removed_) shmctl(info_.shmid, IPC_RMID, nullptr);
  }
  SharedSegment(const SharedSegment&) = delete;
  SharedSegment& operator=(const SharedSegment&) = delete;

  bool Create(std::size_t bytes) {
    info_.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (info_.shmid < 0) {
      PLOG(WARNING) << "shmget of " << bytes << " bytes failed";
      return false;
    }
    void* address = shmat(info_.shmid, nullptr, 0);
    if (address == reinterpret_cast<void*>(-1)) {
      PLOG(WARNING) << "shmat failed";
      return false;
    }
    info_.shmaddr = static_cast<char*>(address);
    return true;
  }

  // Asks the server to map the segment. Fails, without ending the process,
  // when the server cannot reach it (a display on another machine).
  bool AttachToServer() {
    trapDisplay = display_;
    trappedErrorCode = 0;
    const Status sent = XShmAttach(display_, &info_);
    XSync(display_, False);
    const int error = trappedErrorCode;
    trapDisplay = nullptr;
    if (!sent || error != 0) {
      if (error != 0) {
        // The server saw the request but refused it: there is nothing to detach.
        char text[256] = {};
        XGetErrorText(display_, error, text, sizeof text);
        LOG(WARNING) << "XShmAttach failed: " << text;
      } else {
        LOG(WARNING) << "XShmAttach failed";
      }
      return false;
    }
    attachedToServer_ = true;
    if (shmctl(info_.shmid, IPC_RMID, nullptr) == 0) removed_ = true;
    return true;
  }

  XShmSegmentInfo* info() { return &info_; }

 private:
  Display* display_;
  XShmSegmentInfo info_{};
  bool attachedToServer_ = false;
  bool removed_ = false;
};

// True when the variable asks to bypass MIT-SHM (set, non-empty, not "0").
bool ShmDisabledByEnvironment() {
  const char* value = std::getenv("TARN_X11_NO_SHM");
  return value != nullptr && value[0] != '\0' && std::strcmp(value, "0") != 0;
}

// --- The grabber ----------------------------------------------------------

class X11ScreenGrabber final : public ScreenGrabber {
 public:
  explicit X11ScreenGrabber(DisplayPtr display) : display_(std::move(display)) {
    Display* d = display_.get();
    screenNumber_ = DefaultScreen(d);
    root_ = RootWindow(d, screenNumber_);
    screenWidth_ = DisplayWidth(d, screenNumber_);
    screenHeight_ = DisplayHeight(d, screenNumber_);
    shmAvailable_ = XShmQueryExtension(d) == True;
    int eventBase = 0;
    int errorBase = 0;
    if (XFixesQueryExtension(d, &eventBase, &errorBase)) {
      int major = 4;
      int minor = 0;
      hasXFixes_ = XFixesQueryVersion(d, &major, &minor) && major >= 1;
    }
  }

  ~X11ScreenGrabber() override { Release(); }

  int screenWidth() const override { return screenWidth_; }
  int screenHeight() const override { return screenHeight_; }

  bool Init(int width, int height) override;
  bool Capture(int sourceX, int sourceY) override;

  std::uint8_t* pixels() override { return pixels_; }
  int stride() const override { return stride_; }
  int width() const override { return width_; }
  int height() const override { return height_; }

  bool QueryCursor(CursorImage& cursor) override;

 private:
  bool FormatSupported();
  bool InitShm(int width, int height);
  void InitPlain(int width, int height);
  bool CopyWithGetImage(int x, int y, int width, int height, std::uint8_t* destination);
  void Release();

  // Members are destroyed bottom-up: the image before its segment, both
  // before the display, and the error handler stays until the display closes.
  ErrorHandlerScope errorHandler_;
  DisplayPtr display_;
  int screenNumber_ = 0;
  Window root_ = 0;
  int screenWidth_ = 0;
  int screenHeight_ = 0;
  bool shmAvailable_ = false;
  bool hasXFixes_ = false;

  std::vector<std::uint8_t> plainBuffer_;  // the pixels when MIT-SHM is not used
  std::unique_ptr<SharedSegment> segment_;
  ImagePtr shmImage_;  // its data is the segment's memory
  std::uint8_t* pixels_ = nullptr;
  int stride_ = 0;
  int width_ = 0;
  int height_ = 0;
};

void X11ScreenGrabber::Release() {
  shmImage_.reset();
  segment_.reset();
  plainBuffer_.clear();
  plainBuffer_.shrink_to_fit();
  pixels_ = nullptr;
  stride_ = width_ = height_ = 0;
}

// The buffer is handed out as BGRX bytes, so the screen must be TrueColor
// with 8-bit channels in 32-bit little-endian pixels.
bool X11ScreenGrabber::FormatSupported() {
  Display* d = display_.get();
  const int depth = DefaultDepth(d, screenNumber_);
  const Visual* visual = DefaultVisual(d, screenNumber_);
  int bitsPerPixel = 0;
  int count = 0;
  std::unique_ptr<XPixmapFormatValues, XFreeDeleter> formats(XListPixmapFormats(d, &count));
  for (int i = 0; formats && i < count; ++i) {
    if (formats.get()[i].depth == depth) bitsPerPixel = formats.get()[i].bits_per_pixel;
  }
  const bool supported = (depth == 24 || depth == 32) && bitsPerPixel == 32 &&
                         visual->c_class == TrueColor && visual->red_mask == 0xFF0000 &&
                         visual->green_mask == 0x00FF00 && visual->blue_mask == 0x0000FF &&
                         ImageByteOrder(d) == LSBFirst;
  if (!supported) {
    LOG(ERROR) << "unsupported screen depth " << depth << " (" << bitsPerPixel
               << " bits per pixel, visual class " << visual->c_class
               << "): screen capture needs a 24- or 32-bit TrueColor screen with 32-bit "
                  "little-endian pixels";
  }
  return supported;
}

bool X11ScreenGrabber::Init(int width, int height) {
  Release();
  if (width <= 0 || height <= 0 || width > kMaxCaptureSide || height > kMaxCaptureSide) {
    LOG(ERROR) << "screen capture size " << width << "x" << height << " is out of range";
    return false;
  }
  if (!FormatSupported()) return false;

  // TARN_X11_NO_SHM=1 forces the XGetImage path, as on a remote display.
  if (shmAvailable_ && !ShmDisabledByEnvironment()) {
    if (InitShm(width, height)) {
      LOG(INFO) << "screen capture of " << width << "x" << height << " through MIT-SHM";
      return true;
    }
    LOG(WARNING) << "MIT-SHM capture unavailable; copying the screen with XGetImage";
    Release();
  }
  InitPlain(width, height);
  LOG(INFO) << "screen capture of " << width << "x" << height << " through XGetImage";
  return true;
}

bool X11ScreenGrabber::InitShm(int width, int height) {
  Display* d = display_.get();
  segment_ = std::make_unique<SharedSegment>(d);
  shmImage_.reset(XShmCreateImage(d, DefaultVisual(d, screenNumber_),
                                  DefaultDepth(d, screenNumber_), ZPixmap, nullptr,
                                  segment_->info(), width, height));
  if (!shmImage_ || shmImage_->bits_per_pixel != 32) return false;
  const std::size_t bytes =
      static_cast<std::size_t>(shmImage_->bytes_per_line) * static_cast<std::size_t>(height);
  if (!segment_->Create(bytes)) return false;
  shmImage_->data = segment_->info()->shmaddr;
  if (!segment_->AttachToServer()) return false;
  pixels_ = reinterpret_cast<std::uint8_t*>(shmImage_->data);
  std::memset(pixels_, 0, bytes);
  stride_ = shmImage_->bytes_per_line;
  width_ = width;
  height_ = height;
  return true;
}

void X11ScreenGrabber::InitPlain(int width, int height) {
  stride_ = width * 4;
  plainBuffer_.assign(static_cast<std::size_t>(stride_) * static_cast<std::size_t>(height), 0);
  pixels_ = plainBuffer_.data();
  width_ = width;
  height_ = height;
}

// Copies a rectangle that lies wholly on the screen to `destination`, which
// has `stride_` bytes per row.
bool X11ScreenGrabber::CopyWithGetImage(int x, int y, int width, int height,
                                        std::uint8_t* destination) {
  ImagePtr part(XGetImage(display_.get(), root_, x, y, static_cast<unsigned>(width),
                          static_cast<unsigned>(height), AllPlanes, ZPixmap));
  if (!part) {
    LOG(ERROR) << "XGetImage of " << width << "x" << height << " at " << x << "," << y << " failed";
    return false;
  }
  if (part->bits_per_pixel != 32 || part->width != width || part->height != height) {
    LOG(ERROR) << "XGetImage returned an image of " << part->bits_per_pixel << " bits per pixel";
    return false;
  }
  const std::size_t rowBytes = static_cast<std::size_t>(width) * 4;
  for (int row = 0; row < height; ++row) {
    std::memcpy(destination + static_cast<std::size_t>(row) * stride_,
                part->data + static_cast<std::size_t>(row) * part->bytes_per_line, rowBytes);
  }
  return true;
}

bool X11ScreenGrabber::Capture(int sourceX, int sourceY) {
  if (pixels_ == nullptr) {
    LOG(ERROR) << "screen capture before Init";
    return false;
  }
  // The part of the requested rectangle that lies on the screen (64-bit so
  // that extreme offsets cannot overflow).
  const long long left = std::max<long long>(sourceX, 0);
  const long long top = std::max<long long>(sourceY, 0);
  const long long right =
      std::min<long long>(static_cast<long long>(sourceX) + width_, screenWidth_);
  const long long bottom =
      std::min<long long>(static_cast<long long>(sourceY) + height_, screenHeight_);
  const std::size_t bufferBytes = static_cast<std::size_t>(stride_) * height_;

  const bool whole =
      left == sourceX && top == sourceY && right - left == width_ && bottom - top == height_;
  if (whole && shmImage_) {
    if (!XShmGetImage(display_.get(), root_, shmImage_.get(), sourceX, sourceY, AllPlanes)) {
      LOG(ERROR) << "XShmGetImage at " << sourceX << "," << sourceY << " failed";
      return false;
    }
    return true;
  }
  // Off-screen parts stay black.
  if (!whole) std::memset(pixels_, 0, bufferBytes);
  if (left >= right || top >= bottom) return true;
  std::uint8_t* destination = pixels_ + static_cast<std::size_t>(top - sourceY) * stride_ +
                              static_cast<std::size_t>(left - sourceX) * 4;
  return CopyWithGetImage(static_cast<int>(left), static_cast<int>(top),
                          static_cast<int>(right - left), static_cast<int>(bottom - top),
                          destination);
}

// Callers that keep one CursorImage between calls get the shape converted
// only when its serial or size changes.
bool X11ScreenGrabber::QueryCursor(CursorImage& cursor) {
  if (!hasXFixes_) return false;
  std::unique_ptr<XFixesCursorImage, XFreeDeleter> image(XFixesGetCursorImage(display_.get()));
  if (!image) return false;
  const int width = image->width;
  const int height = image->height;
  const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  const bool sameShape = cursor.serial == image->cursor_serial && cursor.width == width &&
                         cursor.height == height && cursor.pixels.size() == count;
  if (!sameShape) {
    // XFixes hands out each 32-bit ARGB pixel in an unsigned long.
    cursor.pixels.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
      cursor.pixels[i] = static_cast<std::uint32_t>(image->pixels[i]);
    }
  }
  cursor.x = image->x;
  cursor.y = image->y;
  cursor.hotX = image->xhot;
  cursor.hotY = image->yhot;
  cursor.width = width;
  cursor.height = height;
  cursor.serial = image->cursor_serial;
  return true;
}

DisplayPtr OpenDisplay() {
  DisplayPtr display(x11::OpenConnection());
  if (!display) LOG(ERROR) << "cannot open X display " << DisplayLabel();
  return display;
}

}  // namespace

std::unique_ptr<ScreenGrabber> OpenScreenGrabber() {
  DisplayPtr display = OpenDisplay();
  if (!display) return nullptr;
  return std::make_unique<X11ScreenGrabber>(std::move(display));
}

bool QueryScreenSize(int& width, int& height) {
  DisplayPtr display = OpenDisplay();
  if (!display) return false;
  const int screen = DefaultScreen(display.get());
  width = DisplayWidth(display.get(), screen);
  height = DisplayHeight(display.get(), screen);
  return true;
}

}  // namespace tarn::platform
