#include "ui/brush/brush_shape.h"

#include <cmath>
#include <cstdio>

namespace tarn::ui {

ArrowHead ArrowHeadOf(int x1, int y1, int x2, int y2) {
  // The angle points from the tip back to the tail.
  const double a = std::atan2(static_cast<double>(y1 - y2), static_cast<double>(x1 - x2));
  const double c = std::cos(a);
  const double s = std::sin(a);
  // Conversion to int truncates toward zero, as the corners are defined.
  auto t = [](double v) { return static_cast<int>(v); };
  return {{x2, y2},
          {x2 + t(16 * c - 8 * s + 0.5), y2 + t(16 * s + 8 * c + 0.5)},
          {x2 + t(16 * c + 8 * s + 0.5), y2 - t(8 * c - 16 * s + 0.5)}};
}

BrushShape BrushBoard::NewShape(int x, int y) {
  BrushShape shape;
  shape.tool = tool;
  shape.x1 = shape.x2 = x;
  shape.y1 = shape.y2 = y;
  shape.colour = colour;
  shape.size = size;
  shape.id = nextId_++;
  return shape;
}

BrushBoard::PressResult BrushBoard::Press(int a, int b) {
  buttonDown = true;
  if (tool == kToolSeq) {
    BrushShape shape = NewShape(a, b);
    shape.number = seqCounter++;
    shape.visible = true;
    shapeList_.push_back(std::move(shape));
    return PressResult::kNumbered;
  }
  if (tool == kToolText) return PressResult::kText;
  shapeList_.push_back(NewShape(a, b));
  std::printf("graphList size: %zu\n", shapeList_.size());
  return PressResult::kStarted;
}

bool BrushBoard::Move(int a, int b) {
  if (!buttonDown || shapeList_.empty() || !IsDraggedTool(tool)) return false;
  BrushShape& last = shapeList_.back();
  // A shape of another tool (a numbered marker placed before a tool change
  // during the drag) is never reshaped.
  if (last.tool != tool) return false;
  last.x2 = a;
  last.y2 = b;
  last.visible = true;
  last.finished = false;
  if (tool == kToolPen || tool == kToolMarker) last.points.push_back({a, b});
  return true;
}

bool BrushBoard::Release() {
  buttonDown = false;
  if (shapeList_.empty()) return false;
  BrushShape& last = shapeList_.back();
  if (!last.visible) {
    // Pressed and never dragged: nothing to keep.
    shapeList_.pop_back();
    return true;
  }
  if (last.tool == kToolEraser && !last.finished) {
    last.finished = true;
    return true;
  }
  return false;
}

bool BrushBoard::Undo() {
  if (shapeList_.empty()) return false;
  redoList_.push_back(std::move(shapeList_.back()));
  shapeList_.pop_back();
  return true;
}

bool BrushBoard::Redo() {
  if (redoList_.empty()) return false;
  shapeList_.push_back(std::move(redoList_.back()));
  redoList_.pop_back();
  return true;
}

void BrushBoard::AddText(int x, int y, const std::string& text) {
  BrushShape shape = NewShape(x, y);
  shape.tool = kToolText;
  shape.text = text;
  shape.visible = true;
  shapeList_.push_back(std::move(shape));
}

}  // namespace tarn::ui
