#include "platform/monitor_choice.h"

#include <algorithm>
#include <optional>

namespace tarn::platform {
namespace {

// The part of `rect` on the root window; nothing when they do not overlap.
std::optional<ScreenRect> OnRoot(const ScreenRect& rect, int rootWidth, int rootHeight) {
  // 64-bit, so that extreme sizes cannot overflow.
  const long long left = std::max<long long>(rect.x, 0);
  const long long top = std::max<long long>(rect.y, 0);
  const long long right =
      std::min<long long>(static_cast<long long>(rect.x) + rect.width, rootWidth);
  const long long bottom =
      std::min<long long>(static_cast<long long>(rect.y) + rect.height, rootHeight);
  if (rect.width <= 0 || rect.height <= 0 || left >= right || top >= bottom) return std::nullopt;
  return ScreenRect{static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left),
                    static_cast<int>(bottom - top)};
}

}  // namespace

ScreenRect ChoosePrimaryMonitor(const std::vector<MonitorRect>& monitors, int rootWidth,
                                int rootHeight) {
  std::optional<ScreenRect> first;
  for (const MonitorRect& monitor : monitors) {
    const std::optional<ScreenRect> usable = OnRoot(monitor.rect, rootWidth, rootHeight);
    if (!usable) continue;
    if (monitor.primary) return *usable;
    if (!first) first = usable;
  }
  return first.value_or(ScreenRect{0, 0, rootWidth, rootHeight});
}

}  // namespace tarn::platform
