#include "ui/settings/seting_values.h"

#include "recorder/recorder.h"

namespace tarn::ui {
namespace {

constexpr int kVirtualKeyF1 = 0x70;

constexpr OptionWrite kOptionWrites[] = {
    {"video-source-screen", kVideoSource, "0"},
    {"video-source-camera", kVideoSource, "1"},
    {"voice-source-default", kVoiceSource, "0"},
    {"voice-source-microphone", kVoiceSource, "1"},
    {"voice-source-system", kVoiceSource, "2"},
    {"window-close-exit", kWindowClose, "0"},
    {"window-close-tray", kWindowClose, "1"},
    {"audio-compress-mp3", kAudioCompress, "0"},
    {"audio-compress-aac", kAudioCompress, "1"},
    {"audio-none-compress-flac", kAudioNoneCompress, "0"},
    {"default-output-dir", kOutputDirType, "0"},
    {"user-define-output-dir", kOutputDirType, "1"},
    {"watermark-none", kWatermarkType, "0"},
    {"watermark-image", kWatermarkType, "1"},
    {"watermark-text", kWatermarkType, "2"},
    {"watermark-pos-lt", kWatermarkPos, "0"},
    {"watermark-pos-rt", kWatermarkPos, "1"},
    {"watermark-pos-lb", kWatermarkPos, "2"},
    {"watermark-pos-rb", kWatermarkPos, "3"},
    {"watermark-color-red", kWatermarkColor, "red"},
    {"watermark-color-orange", kWatermarkColor, "orange"},
    {"watermark-color-yellow", kWatermarkColor, "yellow"},
    {"watermark-color-green", kWatermarkColor, "green"},
    {"watermark-color-blue", kWatermarkColor, "blue"},
};

// The audio-compression keys are written only: no group is loaded for them.
constexpr OptionGroupLoad kOptionGroupLoads[] = {
    {kVideoSource, false, true, kVideoSourceDefault, ""},
    {kVoiceSource, false, false, kVoiceSourceDefault, ""},
    {kWindowClose, false, true, kWindowCloseDefault, ""},
    {kOutputDirType, false, true, 0, ""},
    {kWatermarkType, false, false, kWatermarkTypeDefault, ""},
    {kWatermarkPos, false, false, kWatermarkPosDefault, ""},
    {kWatermarkColor, true, false, 0, kWatermarkColorDefault},
};

// Follow-the-mouse and region mode are tick boxes too, with writes of their
// own (they exclude each other).
constexpr TickBox kTickBoxes[] = {
    {"suspend-check", kSuspendCheck, kSuspendCheckDefault},
    {"mouse-check", kMouseCheck, kMouseCheckDefault},
    {"mouse-effect-click-check", kMouseEffectClickCheck, kMouseEffectClickCheckDefault},
    {"mouse-hot-region-check", kMouseHotRegionCheck, kMouseHotRegionCheckDefault},
};

constexpr std::string_view kEdgeDefault = kWatermarkEdgeOffsetSettingsPageDefault;
constexpr std::size_t kEdgeCapacity = kWatermarkEdgeOffsetSettingsPageCapacity;

constexpr TextField kEditFields[] = {
    {"watermark-lt-left", kWatermarkLtLeft, kEdgeDefault, kEdgeCapacity},
    {"watermark-lt-top", kWatermarkLtTop, kEdgeDefault, kEdgeCapacity},
    {"watermark-rt-right", kWatermarkRtRight, kEdgeDefault, kEdgeCapacity},
    {"watermark-rt-top", kWatermarkRtTop, kEdgeDefault, kEdgeCapacity},
    {"watermark-lb-left", kWatermarkLbLeft, kEdgeDefault, kEdgeCapacity},
    {"watermark-lb-bottom", kWatermarkLbBottom, kEdgeDefault, kEdgeCapacity},
    {"watermark-rb-right", kWatermarkRbRight, kEdgeDefault, kEdgeCapacity},
    {"watermark-rb-bottom", kWatermarkRbBottom, kEdgeDefault, kEdgeCapacity},
    {"watermark-image-path", kWatermarkImagePath, kWatermarkImagePathDefault,
     kWatermarkImagePathCapacity},
    {"watermark-text-desc", kWatermarkTextDesc, kWatermarkTextDescDefault,
     kWatermarkTextDescCapacity},
    {"watermark-text-offset-x", kWatermarkTextOffsetX, kWatermarkTextOffsetSettingsPageDefault,
     kWatermarkTextOffsetSettingsPageCapacity},
    {"watermark-text-offset-y", kWatermarkTextOffsetY, kWatermarkTextOffsetSettingsPageDefault,
     kWatermarkTextOffsetSettingsPageCapacity},
};

constexpr TextField kListFields[] = {
    {"watermark-font-family", kWatermarkFontFamily, kWatermarkFontFamilyDefault,
     kWatermarkFontFamilyCapacity},
    {"watermark-font-size", kWatermarkFontSize, kWatermarkFontSizeSettingsPageDefault,
     kWatermarkFontSizeSettingsPageCapacity},
    {"video-framerate", kVideoFramerate, kVideoFramerateSettingsPageDefault,
     kVideoFramerateSettingsPageCapacity},
};

}  // namespace

std::uint32_t ArgbFromColorref(std::uint32_t colorref) {
  const std::uint32_t red = colorref & 0xFF;
  const std::uint32_t green = (colorref >> 8) & 0xFF;
  const std::uint32_t blue = (colorref >> 16) & 0xFF;
  return 0xFF000000u | (red << 16) | (green << 8) | blue;
}

std::uint32_t ColorrefFromRgb(int red, int green, int blue) {
  return (static_cast<std::uint32_t>(red) & 0xFF) |
         ((static_cast<std::uint32_t>(green) & 0xFF) << 8) |
         ((static_cast<std::uint32_t>(blue) & 0xFF) << 16);
}

std::uint32_t SwatchArgbFromSetting(const std::string& stored, std::string_view defaultText) {
  // The same reading as the recording's, so the swatch shows what is drawn.
  const Rgb colour = ParseColourSetting(stored, defaultText);
  return ArgbFromColorref(ColorrefFromRgb(colour.red, colour.green, colour.blue));
}

int ItemIndex(std::span<const std::string_view> items, std::string_view text) {
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (items[i] == text) return static_cast<int>(i);
  }
  return -1;
}

std::optional<FollowArea> FollowAreaForItem(int item) {
  if (item < 0 || item >= static_cast<int>(std::size(kMouseFollowAreas))) return std::nullopt;
  return kMouseFollowAreas[item];
}

std::string FollowAreaText(const FollowArea& area) {
  return std::to_string(area.width) + " x " + std::to_string(area.height);
}

std::optional<HotKey> HotKeyFromItems(int modifierItem, int keyItem) {
  if (keyItem < 0 || keyItem >= kHotKeyKeyItemCount) return std::nullopt;
  int modifiers = 0;
  if (modifierItem == 0) {
    modifiers = kHotKeyModAlt;
  } else if (modifierItem == 1) {
    modifiers = kHotKeyModCtrl;
  } else {
    return std::nullopt;
  }
  return HotKey{modifiers, kVirtualKeyF1 + keyItem};
}

std::span<const OptionWrite> OptionWrites() { return kOptionWrites; }

const OptionWrite* FindOptionWrite(std::string_view control) {
  for (const OptionWrite& option : kOptionWrites) {
    if (option.control == control) return &option;
  }
  return nullptr;
}

std::span<const OptionGroupLoad> OptionGroupLoads() { return kOptionGroupLoads; }
std::span<const TickBox> TickBoxes() { return kTickBoxes; }
std::span<const TextField> EditFields() { return kEditFields; }
std::span<const TextField> ListFields() { return kListFields; }

}  // namespace tarn::ui
