#pragma once
// The brush canvas's picture: every visible shape drawn in list order over a
// practically invisible clear colour, in premultiplied ARGB.
//
// Drawing the whole list on each pointer move is too slow for a long list,
// so the picture keeps two images: a base with every shape but the last one,
// and the frame shown (the base plus the last shape). Shapes other than the
// last never change, so a move only restores the last shape's old area from
// the base and draws it again; a shape that stops being last is drawn into
// the base once; a growing stroke is drawn again only around its new end.
// The result is the same, pixel for pixel, as drawing the
// whole list (RenderAll), which a change anywhere else in the list (undo,
// redo) falls back to. UI thread only.

#include <QImage>
#include <QRect>
#include <QSize>
#include <vector>

#include "ui/brush/brush_shape.h"

class QPainter;

namespace tarn::ui {

// Draws one shape as the canvas shows it (nothing for an invisible one).
void DrawShape(QPainter& painter, const BrushShape& shape);
// The area DrawShape may touch, with a margin for smoothed edges; empty for
// an invisible shape.
QRect ShapeBounds(const BrushShape& shape);
// Clears `image` and draws every shape of `shapes` in order.
void RenderAll(QImage& image, const std::vector<BrushShape>& shapes);
// A new picture of `size`, cleared.
QImage NewCanvasImage(const QSize& size);

class BrushPicture {
 public:
  explicit BrushPicture(const QSize& size);

  // Brings the frame up to `shapes`; returns the area that changed.
  QRect Update(const std::vector<BrushShape>& shapes);
  // The next Update draws everything afresh.
  void Invalidate() { valid_ = false; }

  const QImage& image() const { return frame_; }

 private:
  void CopyFromBase(const QRect& area);
  bool GrowStroke(const BrushShape& last, QRect& changed);

  QImage base_;   // the shapes before the last one
  QImage frame_;  // the base and the last shape
  bool valid_ = false;
  std::size_t baseCount_ = 0;       // shapes drawn into the base
  std::uint64_t baseLastId_ = 0;    // id of the last of them
  QRect liveArea_;                  // where the frame differs from the base
  std::uint64_t liveId_ = 0;        // the last shape as drawn in the frame
  std::size_t livePoints_ = 0;      // and its points then
};

}  // namespace tarn::ui
