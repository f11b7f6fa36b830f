#include "preview/video_surface.h"

#include <SDL.h>
#include <glog/logging.h>

namespace tarn::preview {

std::mutex& RenderLock() {
  static std::mutex lock;
  return lock;
}

void PrepareSdl() {
  // The program turns SIGINT and SIGTERM into an orderly shutdown itself;
  // SDL would otherwise replace those handlers with its own quit events.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
}

namespace {

struct WindowDeleter {
  void operator()(SDL_Window* window) const { SDL_DestroyWindow(window); }
};
struct RendererDeleter {
  void operator()(SDL_Renderer* renderer) const { SDL_DestroyRenderer(renderer); }
};
struct TextureDeleter {
  void operator()(SDL_Texture* texture) const { SDL_DestroyTexture(texture); }
};

}  // namespace

struct VideoSurface::Sdl {
  bool videoInitialised = false;  // this surface holds one use of SDL's video subsystem
  // Declared in this order so that the texture goes before its renderer and
  // the renderer before its window.
  std::unique_ptr<SDL_Window, WindowDeleter> window;
  std::unique_ptr<SDL_Renderer, RendererDeleter> renderer;
  std::unique_ptr<SDL_Texture, TextureDeleter> texture;
  int width = 0;
  int height = 0;
  bool hasPicture = false;

  ~Sdl() {
    texture.reset();
    renderer.reset();
    window.reset();
    if (videoInitialised) SDL_QuitSubSystem(SDL_INIT_VIDEO);
  }
};

VideoSurface::VideoSurface() = default;

VideoSurface::~VideoSurface() { Detach(); }

bool VideoSurface::Attach(std::uintptr_t nativeWindow, int width, int height, std::string& why) {
  Detach();
  if (nativeWindow == 0 || width <= 0 || height <= 0) {
    why = "no window or an empty picture size";
    return false;
  }
  std::lock_guard<std::mutex> lock(RenderLock());
  auto sdl = std::make_unique<Sdl>();
  PrepareSdl();
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    why = SDL_GetError();
    LOG(ERROR) << "Window could not be created! SDL_Error: " << why;
    return false;
  }
  sdl->videoInitialised = true;
  sdl->window.reset(SDL_CreateWindowFrom(reinterpret_cast<const void*>(nativeWindow)));
  if (!sdl->window) {
    why = SDL_GetError();
    LOG(ERROR) << "SDL_CreateWindowFrom failed: " << why;
    return false;
  }
  SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "linear");
  SDL_SetHint(SDL_HINT_RENDER_VSYNC, "1");
  sdl->renderer.reset(SDL_CreateRenderer(sdl->window.get(), -1, 0));
  if (!sdl->renderer) {
    why = SDL_GetError();
    LOG(ERROR) << "SDL_CreateRenderer failed: " << why;
    return false;
  }
  sdl->texture.reset(SDL_CreateTexture(sdl->renderer.get(), SDL_PIXELFORMAT_YUY2,
                                       SDL_TEXTUREACCESS_STREAMING, width, height));
  if (!sdl->texture) {
    why = SDL_GetError();
    LOG(ERROR) << "SDL_CreateTexture failed: " << why;
    return false;
  }
  SDL_RendererInfo info{};
  if (SDL_GetRendererInfo(sdl->renderer.get(), &info) == 0) {
    VLOG(1) << "Video surface on window " << nativeWindow << ": " << width << "x" << height
            << " with the " << info.name << " renderer";
  }
  sdl->width = width;
  sdl->height = height;
  sdl_ = std::move(sdl);
  return true;
}

bool VideoSurface::Draw(int destWidth, int destHeight) {
  SDL_Window* window = sdl_->window.get();
  SDL_Renderer* renderer = sdl_->renderer.get();
  // SDL does not follow the size of a window it did not create: tell it, so
  // that the renderer's output covers the whole window.
  int windowWidth = 0;
  int windowHeight = 0;
  SDL_GetWindowSize(window, &windowWidth, &windowHeight);
  if (destWidth > 0 && destHeight > 0 && (windowWidth != destWidth || windowHeight != destHeight)) {
    SDL_SetWindowSize(window, destWidth, destHeight);
  }
  if (SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255) != 0 || SDL_RenderClear(renderer) != 0) {
    LOG(WARNING) << "sdlRenderer error: " << SDL_GetError();
    return false;
  }
  if (sdl_->hasPicture && destWidth > 0 && destHeight > 0) {
    const SDL_Rect source{0, 0, sdl_->width, sdl_->height};
    const SDL_Rect dest{0, 0, destWidth, destHeight};
    if (SDL_RenderCopy(renderer, sdl_->texture.get(), &source, &dest) != 0) {
      LOG(WARNING) << "SDL_RenderCopy failed: " << SDL_GetError();
      return false;
    }
  }
  SDL_RenderPresent(renderer);
  return true;
}

bool VideoSurface::Present(const std::uint8_t* yuyv, int pitch, int destWidth, int destHeight) {
  if (!sdl_ || yuyv == nullptr) return false;
  std::lock_guard<std::mutex> lock(RenderLock());
  if (SDL_UpdateTexture(sdl_->texture.get(), nullptr, yuyv, pitch) != 0) {
    LOG(WARNING) << "SDL_UpdateTexture failed: " << SDL_GetError();
    return false;
  }
  sdl_->hasPicture = true;
  return Draw(destWidth, destHeight);
}

void VideoSurface::Repaint(int destWidth, int destHeight) {
  if (!sdl_) return;
  std::lock_guard<std::mutex> lock(RenderLock());
  Draw(destWidth, destHeight);
}

void VideoSurface::Clear() {
  if (!sdl_) return;
  std::lock_guard<std::mutex> lock(RenderLock());
  sdl_->hasPicture = false;
  int windowWidth = 0;
  int windowHeight = 0;
  SDL_GetWindowSize(sdl_->window.get(), &windowWidth, &windowHeight);
  Draw(windowWidth, windowHeight);
}

void VideoSurface::Detach() {
  if (!sdl_) return;
  std::lock_guard<std::mutex> lock(RenderLock());
  sdl_.reset();
}

bool VideoSurface::attached() const { return sdl_ != nullptr; }
int VideoSurface::width() const { return sdl_ ? sdl_->width : 0; }
int VideoSurface::height() const { return sdl_ ? sdl_->height : 0; }

}  // namespace tarn::preview
