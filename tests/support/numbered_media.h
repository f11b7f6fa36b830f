#pragma once
// Media files whose pictures carry their own number, for checking which
// picture a player shows: 16 bits drawn as white and black blocks in the top
// rows of an H.264 picture, with optional AAC sound.

#include <string>

extern "C" {
#include <libavutil/frame.h>
}

namespace tarn::test {

struct NumberedMediaOptions {
  int frameRate = 30;
  int frames = 300;
  int gop = 250;
  bool video = true;
  bool audio = true;
  double audioSeconds = -1;  // sound length; -1: as long as the pictures
};

// Writes the file (container from the extension: .mp4, .mkv ...). False with
// the reason in `why`.
bool WriteNumberedMedia(const std::string& path, const NumberedMediaOptions& options,
                        std::string& why);

// The number a decoded picture of such a file carries; -1 when unreadable.
int ReadPictureNumber(const AVFrame* frame);

}  // namespace tarn::test
