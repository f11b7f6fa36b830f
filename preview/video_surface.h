#pragma once
// Drawing pictures into a native window with SDL2, shared by the video player
// and the camera preview: a YUY2 streaming texture at the picture's size,
// scaled by the renderer (linear filtering) into the destination area.
//
// A surface belongs to the one thread that attaches it and draws with it (the
// render thread). Every SDL call of the surfaces of the process (window,
// renderer and texture creation, update, clear, copy, present, destruction)
// is made under RenderLock(), so two surfaces on two threads never use SDL's
// X11 connection at the same time. The owner of the native window takes the
// same lock while it moves or resizes that window.
//
// SDL's video subsystem is initialised by the first attached surface and shut
// down with the last one (SDL counts the users of each subsystem); SDL never
// installs its own SIGINT/SIGTERM handlers in this process.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace tarn::preview {

// The process-wide lock around SDL drawing calls.
std::mutex& RenderLock();

// Where a render thread draws: a native window whose size the UI thread
// changes while the render thread reads it. All methods are thread-safe.
class DrawingArea {
 public:
  virtual ~DrawingArea() = default;
  // The X11 window id; valid for the life of the area.
  virtual std::uintptr_t NativeWindow() const = 0;
  // The destination size of every picture, in the window's pixels.
  virtual int AreaWidth() const = 0;
  virtual int AreaHeight() const = 0;
};

// Makes sure SDL leaves the process's signal handlers alone; call before any
// SDL_Init* of the process (the surface and the player do).
void PrepareSdl();

class VideoSurface {
 public:
  VideoSurface();
  ~VideoSurface();
  VideoSurface(const VideoSurface&) = delete;
  VideoSurface& operator=(const VideoSurface&) = delete;

  // Creates the SDL window from `nativeWindow` (an X11 window id), its
  // renderer and a YUY2 texture of `width` x `height`. False with the reason
  // in `why` (SDL's error text). The native window must outlive the surface
  // (Detach before the window is destroyed).
  bool Attach(std::uintptr_t nativeWindow, int width, int height, std::string& why);

  // Draws one packed YUYV 4:2:2 picture of the attached size (`pitch` bytes
  // per row) scaled into (0, 0, destWidth, destHeight), then presents it.
  // False (and a log line) when SDL fails or nothing is attached.
  bool Present(const std::uint8_t* yuyv, int pitch, int destWidth, int destHeight);
  // Presents the last picture again (the window was exposed or resized);
  // black when no picture was drawn yet.
  void Repaint(int destWidth, int destHeight);
  // Fills the window black and forgets the last picture.
  void Clear();

  // Destroys the texture, renderer and SDL window (also done by the destructor).
  void Detach();
  bool attached() const;
  // The attached picture size.
  int width() const;
  int height() const;

 private:
  struct Sdl;
  bool Draw(int destWidth, int destHeight);  // with RenderLock() held
  std::unique_ptr<Sdl> sdl_;
};

}  // namespace tarn::preview
