#include "recorder/screen_overlays.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>

namespace tarn {
namespace {

constexpr double kHighlightAlpha = 60.0 / 255.0;
constexpr double kRingLineWidth = 2.0;

struct SurfaceDeleter {
  void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
struct ContextDeleter {
  void operator()(cairo_t* context) const { cairo_destroy(context); }
};
using SurfacePtr = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;
using ContextPtr = std::unique_ptr<cairo_t, ContextDeleter>;

// A cairo context drawing straight into the picture's memory. The picture's
// BGRX bytes are cairo's RGB24 pixels on a little-endian machine.
class PictureCanvas {
 public:
  explicit PictureCanvas(const PictureView& picture) {
    if (picture.data == nullptr || picture.width <= 0 || picture.height <= 0 ||
        picture.stride < picture.width * 4) {
      return;
    }
    surface_.reset(cairo_image_surface_create_for_data(
        picture.data, CAIRO_FORMAT_RGB24, picture.width, picture.height, picture.stride));
    if (cairo_surface_status(surface_.get()) != CAIRO_STATUS_SUCCESS) return;
    context_.reset(cairo_create(surface_.get()));
    if (cairo_status(context_.get()) != CAIRO_STATUS_SUCCESS) {
      context_.reset();
      return;
    }
    cairo_set_antialias(context_.get(), CAIRO_ANTIALIAS_GOOD);
  }
  ~PictureCanvas() {
    // The picture's memory is read by others as soon as drawing returns.
    if (surface_) cairo_surface_flush(surface_.get());
  }
  PictureCanvas(const PictureCanvas&) = delete;
  PictureCanvas& operator=(const PictureCanvas&) = delete;

  cairo_t* get() const { return context_.get(); }

 private:
  SurfacePtr surface_;  // destroyed after the context
  ContextPtr context_;
};

void SetColour(cairo_t* cr, Rgb colour, double alpha) {
  auto channel = [](int value) { return std::clamp(value, 0, 255) / 255.0; };
  cairo_set_source_rgba(cr, channel(colour.red), channel(colour.green), channel(colour.blue),
                        alpha);
}

// Adds the ellipse inside the box to the path (in device coordinates, so a
// following stroke keeps an even width).
void AddEllipse(cairo_t* cr, double left, double top, double width, double height) {
  cairo_save(cr);
  cairo_translate(cr, left + width / 2.0, top + height / 2.0);
  cairo_scale(cr, width / 2.0, height / 2.0);
  cairo_new_sub_path(cr);
  cairo_arc(cr, 0.0, 0.0, 1.0, 0.0, 2.0 * std::numbers::pi);
  cairo_close_path(cr);
  cairo_restore(cr);
}

// Growth per pass, chosen so that a ring reaches about the same size in half
// a second at the common frame rates.
int RingStep(int frameRate) {
  if (frameRate >= 20) return 2;
  if (frameRate == 10) return 6;
  if (frameRate == 12 || frameRate == 15) return 4;
  return 0;
}

void DrawRingOutline(cairo_t* cr, const ClickRing& ring, Rgb colour) {
  SetColour(cr, colour, ring.alpha / 255.0);
  cairo_set_line_width(cr, kRingLineWidth);
  if (ring.width <= 0 || ring.height <= 0) {
    // No room for an ellipse (a ring that does not grow): a round dot.
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_move_to(cr, ring.left, ring.top);
    cairo_line_to(cr, ring.left + std::max(ring.width, 0), ring.top + std::max(ring.height, 0));
  } else {
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
    AddEllipse(cr, ring.left, ring.top, ring.width, ring.height);
  }
  cairo_stroke(cr);
}

// Premultiplied "over": destination * (1 - alpha) + source, per channel.
inline std::uint8_t BlendChannel(std::uint32_t source, std::uint32_t destination,
                                 std::uint32_t inverseAlpha) {
  const std::uint32_t value = source + (destination * inverseAlpha + 127) / 255;
  return static_cast<std::uint8_t>(std::min<std::uint32_t>(value, 255));
}

}  // namespace

void DrawHighlight(const PictureView& picture, int centreX, int centreY, int width, int height,
                   Rgb colour) {
  if (width <= 0 || height <= 0) return;
  PictureCanvas canvas(picture);
  cairo_t* cr = canvas.get();
  if (cr == nullptr) return;
  SetColour(cr, colour, kHighlightAlpha);
  AddEllipse(cr, centreX - width / 2.0, centreY - height / 2.0, width, height);
  cairo_fill(cr);
}

void DrawClickRings(const PictureView& picture, std::vector<ClickRing>& rings, int frameRate,
                    Rgb leftColour, Rgb rightColour) {
  std::erase_if(rings, [](const ClickRing& ring) { return ring.done; });
  if (rings.empty()) return;
  const int quarter = frameRate / 4;
  if (quarter <= 0) {
    // Too few pictures per second to fade in and out: the rings just end.
    for (ClickRing& ring : rings) ring.done = true;
    return;
  }
  const int step = RingStep(frameRate);
  const int fade = 255 / quarter;
  const int lastAge = frameRate / 2;

  PictureCanvas canvas(picture);
  cairo_t* cr = canvas.get();
  for (ClickRing& ring : rings) {
    if (ring.age < quarter) {
      ring.alpha = std::min(ring.alpha + fade, 255);
    } else {
      ring.alpha = std::max(ring.alpha - fade, 0);
    }
    if (cr != nullptr) DrawRingOutline(cr, ring, ring.button == 1 ? rightColour : leftColour);
    ring.width += step;
    ring.height += step;
    ring.left -= step / 2;
    ring.top -= step / 2;
    ring.age += 1;
    if (ring.age == lastAge) ring.done = true;
  }
}

void AddClickRing(std::vector<ClickRing>& rings, int button, int x, int y) {
  ClickRing ring;
  ring.button = button;
  ring.clickX = x;
  ring.clickY = y;
  ring.left = x;
  ring.top = y;
  rings.push_back(ring);
}

void DrawCursor(const PictureView& picture, const platform::CursorImage& cursor, int x, int y) {
  if (picture.data == nullptr || picture.width <= 0 || picture.height <= 0 ||
      picture.stride < picture.width * 4 || cursor.width <= 0 || cursor.height <= 0 ||
      cursor.pixels.size() <
          static_cast<std::size_t>(cursor.width) * static_cast<std::size_t>(cursor.height)) {
    return;
  }
  // The image's top-left on the picture, and the rows and columns of the
  // image that land on the picture (64-bit: the positions come from outside).
  const long long imageLeft = static_cast<long long>(x) - cursor.hotX;
  const long long imageTop = static_cast<long long>(y) - cursor.hotY;
  const long long firstColumn = std::max<long long>(0, -imageLeft);
  const long long firstRow = std::max<long long>(0, -imageTop);
  const long long endColumn = std::min<long long>(cursor.width, picture.width - imageLeft);
  const long long endRow = std::min<long long>(cursor.height, picture.height - imageTop);
  if (firstColumn >= endColumn || firstRow >= endRow) return;

  for (long long row = firstRow; row < endRow; ++row) {
    const std::uint32_t* source = cursor.pixels.data() + row * cursor.width;
    std::uint8_t* target = picture.data + (imageTop + row) * picture.stride;
    for (long long column = firstColumn; column < endColumn; ++column) {
      const std::uint32_t argb = source[column];
      const std::uint32_t alpha = argb >> 24;
      if (alpha == 0 && (argb & 0xFFFFFF) == 0) continue;
      std::uint8_t* pixel = target + (imageLeft + column) * 4;
      const std::uint32_t inverse = 255 - alpha;
      pixel[0] = BlendChannel(argb & 0xFF, pixel[0], inverse);
      pixel[1] = BlendChannel((argb >> 8) & 0xFF, pixel[1], inverse);
      pixel[2] = BlendChannel((argb >> 16) & 0xFF, pixel[2], inverse);
    }
  }
}

}  // namespace tarn
