// Registration of the main window's hot keys: built-in fall-backs, the
// settings written back, combinations held by another program.

#include "ui/main/main_hot_keys.h"

#include <gtest/gtest.h>

#include <set>

#include "tests/support/fake_hot_keys.h"
#include "tests/support/temp_dir.h"

namespace tarn::ui {
namespace {

class MainHotKeysTest : public ::testing::Test {
 protected:
  std::unique_ptr<MainHotKeys> Make() {
    return std::make_unique<MainHotKeys>(settings_, std::make_unique<test::FakeHotKeys>(state_),
                                         test::FakeHotKeyIdentifier);
  }
  std::string Stored(std::string_view key) const {
    return settings_.GetString(kHotKeySection, key, "(absent)", 64);
  }

  test::TempDir dir_;
  SettingsStore settings_{dir_ / "configure.ini"};
  std::shared_ptr<test::FakeHotKeyState> state_ = std::make_shared<test::FakeHotKeyState>();
};

TEST_F(MainHotKeysTest, WithoutSettingsTheBuiltInKeysRegisterAndAreWrittenBack) {
  auto keys = Make();
  std::set<int> pressed;
  keys->RegisterAll([&](int id) { pressed.insert(id); });
  ASSERT_TRUE(state_->started);
  EXPECT_EQ(state_->registered.size(), 5u);
  EXPECT_TRUE(keys->startPauseActive());
  EXPECT_TRUE(keys->stopActive());
  EXPECT_EQ(Stored("start-pause-key1"), "1");
  EXPECT_EQ(Stored("start-pause-key2"), "119");
  EXPECT_EQ(Stored("stop-key1"), "1");
  EXPECT_EQ(Stored("stop-key2"), "123");

  // Each combination reaches the action it belongs to.
  struct Case {
    int modifiers, virtualKey;
    HotKeyAction action;
    const char* name;
  };
  const Case cases[] = {
      {1, 119, HotKeyAction::kStartPause, kHotKeyNamePlayPause},
      {1, 123, HotKeyAction::kStop, kHotKeyNameStop},
      {3, 0x42, HotKeyAction::kOpenLog, kHotKeyNameLog},
      {1, 0x4B, HotKeyAction::kScreenBrush, kHotKeyNameScreenBrush},
      {1, 0x50, HotKeyAction::kScreenshot, kHotKeyNameScreenshot},
  };
  std::set<int> ids;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    pressed.clear();
    ASSERT_TRUE(state_->Press(c.modifiers, c.virtualKey));
    ASSERT_EQ(pressed.size(), 1u);
    const int id = *pressed.begin();
    EXPECT_EQ(id, test::FakeHotKeyIdentifier(c.name));
    EXPECT_EQ(keys->ActionFor(id), c.action);
    EXPECT_EQ(keys->IdentifierOf(c.action), id);
    ids.insert(id);
  }
  EXPECT_EQ(ids.size(), 5u);
  EXPECT_EQ(keys->ActionFor(-1), HotKeyAction::kNone);
  EXPECT_EQ(keys->ActionFor(0x3FFF), HotKeyAction::kNone);

  keys.reset();
  EXPECT_TRUE(state_->stopped);
  EXPECT_TRUE(state_->registered.empty());
}

TEST_F(MainHotKeysTest, HalfConfiguredPairsFallBackAndConfiguredPairsAreKept) {
  // Ctrl without a key is not a hot key: the pair falls back to Alt+F8.
  settings_.SetString(kHotKeySection, "start-pause-key1", "2");
  settings_.SetString(kHotKeySection, "start-pause-key2", "0");
  // Ctrl+Shift+S is a whole pair and is used as it is.
  settings_.SetString(kHotKeySection, "stop-key1", "6");
  settings_.SetString(kHotKeySection, "stop-key2", "83");
  auto keys = Make();
  keys->RegisterAll([](int) {});
  EXPECT_EQ(state_->registered.at(keys->IdentifierOf(HotKeyAction::kStartPause)),
            std::make_pair(1, 119));
  EXPECT_EQ(state_->registered.at(keys->IdentifierOf(HotKeyAction::kStop)), std::make_pair(6, 83));
  EXPECT_EQ(Stored("start-pause-key1"), "1");
  EXPECT_EQ(Stored("start-pause-key2"), "119");
  EXPECT_EQ(Stored("stop-key1"), "6");
  EXPECT_EQ(Stored("stop-key2"), "83");
}

TEST_F(MainHotKeysTest, ACombinationHeldElsewhereStaysInactiveAndIsNotWritten) {
  state_->heldElsewhere.insert({1, 119});
  auto keys = Make();
  keys->RegisterAll([](int) {});
  EXPECT_FALSE(keys->startPauseActive());
  EXPECT_TRUE(keys->stopActive());
  EXPECT_EQ(Stored("start-pause-key1"), "(absent)");
  EXPECT_EQ(Stored("start-pause-key2"), "(absent)");
  EXPECT_EQ(Stored("stop-key2"), "123");
  EXPECT_FALSE(state_->Press(1, 119));

  // A replacement that registers becomes active; the old grab is released.
  EXPECT_TRUE(keys->ReplaceStartPause({2, 0x71}));
  EXPECT_TRUE(keys->startPauseActive());
  EXPECT_TRUE(state_->Press(2, 0x71));
  EXPECT_TRUE(keys->ReplaceStop({1, 0x72}));
  EXPECT_FALSE(state_->Press(1, 123));
  EXPECT_TRUE(state_->Press(1, 0x72));
}

TEST_F(MainHotKeysTest, NoDisplayMeansNoIdentifiersAndNothingWritten) {
  MainHotKeys keys(settings_, std::make_unique<test::FakeHotKeys>(state_),
                   [](const std::string&) { return -1; });
  keys.RegisterAll([](int) {});
  EXPECT_TRUE(state_->registered.empty());
  EXPECT_FALSE(keys.startPauseActive());
  EXPECT_EQ(Stored("start-pause-key1"), "(absent)");
  EXPECT_EQ(keys.ActionFor(-1), HotKeyAction::kNone);
}

}  // namespace
}  // namespace tarn::ui
