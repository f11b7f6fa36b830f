#pragma once
// Drawing pictures into a native window with SDL2, shared by the video player
// and the camera preview: a YUY2 streaming texture at the picture's size,
// scaled by the renderer (linear filtering) into the destination area.
//
// A surface belongs to the one thread that attaches it and draws with it (the
// render thread); every SDL texture update, clear, copy and present of the
// process is made under RenderLock().

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace tarn::preview {

// The process-wide lock around SDL drawing calls.
std::mutex& RenderLock();

class VideoSurface {
 public:
  VideoSurface();
  ~VideoSurface();
  VideoSurface(const VideoSurface&) = delete;
  VideoSurface& operator=(const VideoSurface&) = delete;

  // Creates the SDL window from `nativeWindow` (an X11 window id), its
  // renderer and a YUY2 texture of `width` x `height`. False with the reason
  // in `why` (SDL's error text).
  bool Attach(std::uintptr_t nativeWindow, int width, int height, std::string& why);

  // Draws one packed YUYV 4:2:2 picture of the attached size (`pitch` bytes
  // per row) scaled into (0, 0, destWidth, destHeight), then presents it.
  bool Present(const std::uint8_t* yuyv, int pitch, int destWidth, int destHeight);
  // Presents the last picture again (the window was exposed or resized).
  void Repaint(int destWidth, int destHeight);
  // Fills the window black.
  void Clear();

  // Destroys the texture, renderer and SDL window (also done by the destructor).
  void Detach();
  bool attached() const;

 private:
  struct Sdl;
  std::unique_ptr<Sdl> sdl_;
};

}  // namespace tarn::preview
