#pragma once
// The private messages between the region frame, its toolbar and the main
// window, and from the screen brush's palette to its canvas.

#include "ui/framework/custom_message.h"

namespace tarn::ui {

// To the mask window: leave region mode (show the main window, hide the frame).
inline constexpr unsigned kWmRegionLeave = kWmUser + 602;
// To the mask window: the toolbar moved; wParam, lParam = the frame's new x, y.
inline constexpr unsigned kWmRegionMove = kWmUser + 603;
// To the toolbar: the frame changed under the pointer (follow it, store it).
inline constexpr unsigned kWmRegionChanged = kWmUser + 700;
// To the brush canvas: take back the last shape, resp. put back the last one
// taken back.
inline constexpr unsigned kWmBrushUndo = kWmUser + 801;
inline constexpr unsigned kWmBrushRedo = kWmUser + 802;

}  // namespace tarn::ui
