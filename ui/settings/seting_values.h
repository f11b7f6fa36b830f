#pragma once
// What the settings dialog shows and stores, without any window: the colour
// conversions of the mouse-effect swatches, the items of its lists and their
// positions, the hot keys its lists stand for, and which setting each
// control writes. The dialog (seting_dialog.h) only moves values between
// these tables and its controls.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "settings/hot_key_settings.h"
#include "settings/settings_keys.h"
#include "ui/framework/ui_text.h"

namespace tarn::ui {

// --- Colours -------------------------------------------------------------------------
// Colours are stored as 0x00BBGGRR values in decimal text; a swatch shows
// them as opaque 0xAARRGGBB.

std::uint32_t ArgbFromColorref(std::uint32_t colorref);
std::uint32_t ColorrefFromRgb(int red, int green, int blue);
// The swatch colour for a stored text, read as the recording reads it (the
// leading decimal integer); text that is not a number shows `defaultText`.
std::uint32_t SwatchArgbFromSetting(const std::string& stored, std::string_view defaultText);

// The colour dialog opens at RGB(100, 0, 0) and offers these sixteen custom
// colours (0x00BBGGRR).
inline constexpr std::uint32_t kColorDialogInitialColorref = 0x000064;
inline constexpr std::array<std::uint32_t, 16> kCustomColorrefs = {
    0xADDEFF, 0x800000, 0x008080, 0x238E6B, 0x0045FF, 0xD670DA, 0xAAE8EE, 0x7FFF00,
    0x32CD9A, 0xB9DAFF, 0x13458B, 0x3F85CD, 0x2D52A0, 0xCBC0FF, 0xDDA0DD, 0xE16941};

// The three swatches and the settings they show.
struct ColorSwatch {
  std::string_view control;
  SettingKey key;
  std::string_view defaultText;
};
inline constexpr std::array<ColorSwatch, 3> kColorSwatches = {{
    {"mouse-click-left-color", kMouseClickLeftColor, kMouseClickLeftColorDefault},
    {"mouse-click-right-color", kMouseClickRightColor, kMouseClickRightColorDefault},
    {"mouse-hot-region-color", kMouseHotRegionColor, kMouseHotRegionColorDefault},
}};

// --- Lists ---------------------------------------------------------------------------

inline constexpr std::array<std::string_view, 6> kFrameRateItems = {"10", "12", "15",
                                                                    "20", "24", "30"};
inline constexpr std::array<std::string_view, 2> kFontFamilyItems = {"微软雅黑", "宋体"};
inline constexpr std::array<std::string_view, 15> kFontSizeItems = {
    "12", "14", "16", "18", "20", "22", "24", "26", "28", "30", "32", "34", "36", "38", "40"};
inline constexpr std::array<std::string_view, 2> kHotKeyModifierItems = {"Alt", "Ctrl"};
inline constexpr int kHotKeyKeyItemCount = 12;  // F1 to F12

// The position of `text` among `items`, -1 when it is not one of them.
int ItemIndex(std::span<const std::string_view> items, std::string_view text);

// The follow area of the follow-size list's item, nothing for another item.
std::optional<FollowArea> FollowAreaForItem(int item);
// The follow-size list's text for an area ("720 x 1080").
std::string FollowAreaText(const FollowArea& area);

// --- Hot keys ------------------------------------------------------------------------

// The hot key the two lists stand for: modifier item 0 Alt, 1 Ctrl; key item
// i is F(i + 1). Nothing when either list has no selection or an unknown item.
std::optional<HotKey> HotKeyFromItems(int modifierItem, int keyItem);

// The prompts of saving the hot keys.
inline constexpr const char* kStartPauseHotKeyFailedText = QT_TRANSLATE_NOOP("TarnRecorder", "[开始/暂停], 热键设置失败!");
inline constexpr const char* kStartPauseHotKeySetText = QT_TRANSLATE_NOOP("TarnRecorder", "[开始/暂停], 热键设置成功!");
inline constexpr const char* kStopHotKeyFailedText = QT_TRANSLATE_NOOP("TarnRecorder", "[停止], 热键设置失败!");
inline constexpr const char* kStopHotKeySetText = QT_TRANSLATE_NOOP("TarnRecorder", "[停止], 热键设置成功!");

// --- What each control writes ---------------------------------------------------------

// An option that writes `value` to `key` when it is selected. The options
// writing one key form a group; the dialog selects the one whose value is
// stored.
struct OptionWrite {
  std::string_view control;
  SettingKey key;
  std::string_view value;
};
std::span<const OptionWrite> OptionWrites();
// The option `control` is, or null.
const OptionWrite* FindOptionWrite(std::string_view control);

// How an option group is loaded: an integer key (non-zero counted as "1"
// when `nonZeroIsOne`) or a text key, with the default the dialog assumes.
struct OptionGroupLoad {
  SettingKey key;
  bool isText;
  bool nonZeroIsOne;
  int defaultInt;
  std::string_view defaultText;
};
std::span<const OptionGroupLoad> OptionGroupLoads();

// A tick box that writes "1" or "0" to its key at once and is loaded from it.
struct TickBox {
  std::string_view control;
  SettingKey key;
  int defaultValue;
};
std::span<const TickBox> TickBoxes();

// An edit or a list whose text is loaded when the dialog opens and written
// when it closes.
struct TextField {
  std::string_view control;
  SettingKey key;
  std::string_view defaultText;
  std::size_t capacity;
};
std::span<const TextField> EditFields();
std::span<const TextField> ListFields();

// The page options, in the order of the pages.
inline constexpr std::array<std::string_view, 5> kPageOptionNames = {
    "basic-seting", "mouse-effect", "watermark", "shortcut-key", "other-seting"};

// The hot-region size shown before the stored one is loaded.
inline constexpr int kHotRegionInitialSize = 54;

}  // namespace tarn::ui
