#pragma once
// The containers a recording can be written in, as the record page offers
// them: the stored "video-format" value, the file extension and the FFmpeg
// muxer name.

#include <optional>
#include <string>
#include <string_view>

namespace tarn {

struct ContainerChoice {
  std::string_view radioName;   // the record page's option ("radio_mp4")
  std::string_view format;      // the "video-format" setting's value
  std::string_view extension;   // of the file name
  std::string_view muxer;       // FFmpeg's name of the muxer
};

// The choice for a "video-format" value; nullopt for a value the record page
// does not offer.
std::optional<ContainerChoice> ContainerForFormat(std::string_view format);

// Where the floating control panel (120 x 28) goes in a work area of
// workWidth x workHeight, `top` pixels from the top and `right` from the right
// edge, kept inside the work area.
struct PanelPosition {
  int x = 0;
  int y = 0;
};
PanelPosition PlaceFloatingPanel(int workWidth, int workHeight, int top, int right);

}  // namespace tarn
