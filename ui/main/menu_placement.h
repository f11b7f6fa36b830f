#pragma once
// Where the tray menu and the row menu open: next to the mouse, kept inside
// the work area of the screen under it.

#include <QPoint>
#include <QRect>
#include <QSize>

namespace tarn::ui {

// The tray menu: its top-left corner at the cursor; moved up so that its
// bottom is at the cursor when it would reach below the work area, and
// right-aligned with the work area when it would reach past its right edge (a
// menu taller or wider than the work area starts at the work area's top or
// left instead). Then moved 6 pixels right and 6 up, off the cursor, without
// leaving the work area.
QPoint PlaceTrayMenu(QPoint cursor, QSize menu, QRect workArea);

// The row menu opens to the left of the click point: its right edge at the
// click, its top at the click; a menu reaching below the work area sits on the
// work area's bottom, one reaching past its right edge is moved left by as
// much; it never starts left of the work area.
QPoint PlacePopMenu(QPoint click, QSize menu, QRect workArea);

// The work area (the screen without panels and docks) of the screen showing
// `point`, else of the primary screen.
QRect WorkAreaAt(QPoint point);

}  // namespace tarn::ui
