// The settings dialog's values without a window: colours, list positions,
// the hot keys its lists stand for, the follow areas, and the tables of
// what each control writes.

#include "ui/settings/seting_values.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace tarn::ui {
namespace {

TEST(SetingColoursTest, StoredColoursBecomeOpaqueSwatchColours) {
  struct Case {
    const char* stored;
    const char* defaultText;
    std::uint32_t argb;
  };
  const Case cases[] = {
      {"255", "255", 0xFFFF0000},         // red
      {"65280", "255", 0xFF00FF00},       // green
      {"65535", "255", 0xFFFFFF00},       // yellow
      {"16711680", "255", 0xFF0000FF},    // blue
      {"11394815", "255", 0xFFFFDEAD},    // 0xADDEFF: the bytes are swapped
      {"0", "255", 0xFF000000},           // black is a colour, not "missing"
      {"4278190335", "255", 0xFFFF0000},  // bits above the colour are ignored
      {"-1", "255", 0xFFFFFFFF},          // read as 0xFFFFFFFF, as the recording does
      {"255 and more", "65280", 0xFFFF0000},  // the leading number counts
      {"blue", "65280", 0xFF00FF00},      // not a number: the key's default
      {"", "65535", 0xFFFFFF00},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored);
    EXPECT_EQ(SwatchArgbFromSetting(c.stored, c.defaultText), c.argb);
  }
}

TEST(SetingColoursTest, ChosenColoursAreStoredWithRedInTheLowByte) {
  EXPECT_EQ(ColorrefFromRgb(255, 0, 0), 255u);
  EXPECT_EQ(ColorrefFromRgb(0, 0, 255), 16711680u);
  EXPECT_EQ(ColorrefFromRgb(0x12, 0x34, 0x56), 0x563412u);
  for (const std::uint32_t colorref : kCustomColorrefs) {
    const std::uint32_t argb = ArgbFromColorref(colorref);
    EXPECT_EQ(ColorrefFromRgb((argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF), colorref);
  }
  EXPECT_EQ(ArgbFromColorref(kColorDialogInitialColorref), 0xFF640000u);  // RGB(100, 0, 0)
}

TEST(SetingListsTest, StoredTextsSelectTheirItemOrNothing) {
  EXPECT_EQ(ItemIndex(kFrameRateItems, "10"), 0);
  EXPECT_EQ(ItemIndex(kFrameRateItems, "24"), 4);
  EXPECT_EQ(ItemIndex(kFrameRateItems, "30"), 5);
  for (const char* other : {"25", "60", "", "10 ", "010"}) {
    EXPECT_EQ(ItemIndex(kFrameRateItems, other), -1) << other;
  }
  EXPECT_EQ(ItemIndex(kFontFamilyItems, "微软雅黑"), 0);
  EXPECT_EQ(ItemIndex(kFontFamilyItems, "宋体"), 1);
  EXPECT_EQ(ItemIndex(kFontFamilyItems, "Arial"), -1);
  // Sizes 12 to 40 in steps of 2.
  for (int size = 12; size <= 40; size += 2) {
    EXPECT_EQ(ItemIndex(kFontSizeItems, std::to_string(size)), (size - 12) / 2) << size;
  }
  for (const char* other : {"10", "13", "42", "32px"}) {
    EXPECT_EQ(ItemIndex(kFontSizeItems, other), -1) << other;
  }
}

TEST(SetingListsTest, FollowItemsGiveTheirAreas) {
  const std::optional<FollowArea> portrait = FollowAreaForItem(4);
  ASSERT_TRUE(portrait);
  EXPECT_EQ(portrait->width, 720);
  EXPECT_EQ(portrait->height, 1080);
  EXPECT_EQ(FollowAreaText(*portrait), "720 x 1080");
  EXPECT_EQ(FollowAreaForItem(0)->width, 1280);
  EXPECT_EQ(FollowAreaForItem(7)->height, 320);
  EXPECT_FALSE(FollowAreaForItem(-1));
  EXPECT_FALSE(FollowAreaForItem(8));
}

TEST(SetingHotKeyItemsTest, ListItemsGiveModifierFlagsAndFunctionKeys) {
  EXPECT_EQ(HotKeyFromItems(0, 7), (HotKey{kHotKeyModAlt, 119}));   // Alt+F8
  EXPECT_EQ(HotKeyFromItems(1, 0), (HotKey{kHotKeyModCtrl, 112}));   // Ctrl+F1
  EXPECT_EQ(HotKeyFromItems(1, 11), (HotKey{kHotKeyModCtrl, 123}));  // Ctrl+F12
  // Without a selection, or with an item the lists do not have, no hot key.
  for (const auto& [modifier, key] : {std::pair{-1, 3}, {0, -1}, {-1, -1}, {2, 0}, {0, 12}}) {
    EXPECT_FALSE(HotKeyFromItems(modifier, key)) << modifier << " " << key;
  }
  EXPECT_EQ(HotKeyText({kHotKeyModAlt, 119}), "Alt+F8");
  EXPECT_EQ(HotKeyText({kHotKeyModCtrl | kHotKeyModAlt, 0x42}), "Ctrl+Alt+B");
  EXPECT_EQ(HotKeyText({kHotKeyModShift, 0x87}), "Shift+F24");
  EXPECT_EQ(HotKeyText({kHotKeyModAlt, 0x2D}), "Alt+#45");
}

TEST(SetingTablesTest, EachLoadedGroupHasItsOptionsAndNoControlIsListedTwice) {
  std::set<std::string_view> controls;
  std::map<std::string_view, int> optionsPerKey;
  for (const OptionWrite& option : OptionWrites()) {
    EXPECT_TRUE(controls.insert(option.control).second) << option.control;
    ++optionsPerKey[option.key.name];
    EXPECT_EQ(FindOptionWrite(option.control), &option);
  }
  for (const TickBox& box : TickBoxes()) EXPECT_TRUE(controls.insert(box.control).second) << box.control;
  for (const TextField& field : EditFields()) {
    EXPECT_TRUE(controls.insert(field.control).second) << field.control;
  }
  for (const TextField& field : ListFields()) {
    EXPECT_TRUE(controls.insert(field.control).second) << field.control;
  }
  EXPECT_EQ(FindOptionWrite("no-such-option"), nullptr);
  // A group is loaded by selecting the option of the stored value: a group
  // needs two options at least, and its default must be one of them.
  for (const OptionGroupLoad& group : OptionGroupLoads()) {
    SCOPED_TRACE(group.key.name);
    EXPECT_GE(optionsPerKey[group.key.name], 2);
    const std::string defaultValue =
        group.isText ? std::string(group.defaultText) : std::to_string(group.defaultInt);
    bool found = false;
    for (const OptionWrite& option : OptionWrites()) {
      found = found || (option.key.name == group.key.name && option.value == defaultValue);
    }
    EXPECT_TRUE(found);
  }
}

}  // namespace
}  // namespace tarn::ui
