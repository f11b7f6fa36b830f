#pragma once
// Finds where a cut without re-encoding really starts: the video keyframe at
// or before a position. Positions count from the file's start time, as the
// player's position and the transcoder's seeks do. No Qt.

#include <optional>
#include <string>

namespace tarn::ui::tools {

// Milliseconds (rounded up, so that a seek to the result lands on that
// keyframe and not the one before) of the last video keyframe at or before
// `positionMs`; nothing when the file cannot be read or has no video. A file
// whose first keyframe lies after `positionMs` gives that first keyframe.
std::optional<long long> KeyframeAtOrBeforeMs(const std::string& path, long long positionMs);

}  // namespace tarn::ui::tools
