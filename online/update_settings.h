#pragma once
// The settings of the update check, section "online" of configure.ini.

#include <cstddef>
#include <string_view>

#include "settings/settings_keys.h"

namespace tarn {

inline constexpr std::string_view kOnlineSection = "online";
// The update service's check address (the reply format is in update_reply.h).
inline constexpr SettingKey kUpdateUrl{kOnlineSection, "update-url"};
inline constexpr std::string_view kUpdateUrlDefault = "https://www.tarnrecorder.com/v1/upgrade_check";
// "0" switches the check at start-up off; the tray menu's check still runs.
inline constexpr SettingKey kUpdateCheck{kOnlineSection, "update-check"};
inline constexpr int kUpdateCheckDefault = 1;
// A file of extra certificate authorities trusted beside the system's.
inline constexpr SettingKey kUpdateCaFile{kOnlineSection, "ca-file"};
inline constexpr std::size_t kOnlineValueCapacity = 2048;

}  // namespace tarn
