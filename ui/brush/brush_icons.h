#pragma once
// The palette's pictures, painted rather than loaded: one per tool and one
// per pen width. UI thread only.

#include <QIcon>

namespace tarn::ui {

QIcon ToolIcon(int tool);
QIcon SizeIcon(int size);

}  // namespace tarn::ui
