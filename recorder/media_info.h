#pragma once
// Facts about a media file that the lists of recordings show.

#include <string>

namespace tarn {

// The playing time of a media file in seconds: the first video or audio
// stream's duration, else the container's in whole seconds. 0 when the file
// cannot be opened as media (also a folder or a text file), -1 when it has no
// video or audio stream.
double GetMediaDuration(const std::string& path);

}  // namespace tarn
