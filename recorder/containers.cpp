#include "recorder/containers.h"

#include <algorithm>
#include <array>

namespace tarn {
namespace {

constexpr std::array<ContainerChoice, 6> kContainers = {{
    {"radio_mp4", "mp4", "mp4", "mp4"},
    {"radio_flv", "flv", "flv", "flv"},
    {"radio_wmv", "wmv", "wmv", "asf"},
    {"radio_avi", "avi", "avi", "avi"},
    {"radio_mov", "mov", "mov", "mov"},
    {"radio_mkv", "mkv", "mkv", "matroska"},
}};

constexpr int kPanelWidth = 120;
constexpr int kPanelHeight = 28;

}  // namespace

std::optional<ContainerChoice> ContainerForFormat(std::string_view format) {
  for (const ContainerChoice& choice : kContainers) {
    if (choice.format == format) return choice;
  }
  return std::nullopt;
}

PanelPosition PlaceFloatingPanel(int workWidth, int workHeight, int top, int right) {
  PanelPosition position;
  position.y = std::min(std::max(top, 0), workHeight - kPanelHeight);
  position.x = std::min(workWidth - kPanelWidth, std::max(workWidth - kPanelWidth - right, 0));
  return position;
}

}  // namespace tarn
