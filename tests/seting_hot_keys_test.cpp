// Saving the two recording hot keys from the settings dialog: the new
// combination is registered before the old one is released, so a refused
// one leaves the old hot key working and nothing written.

#include <gtest/gtest.h>

#include "tests/support/seting_dialog_fixture.h"
#include "ui/settings/seting_values.h"

namespace tarn::test {
namespace {

class SetingHotKeysTest : public SetingDialogFixture {
 protected:
  // Chooses modifier and key items in the two lists of an action.
  void Choose(const char* action, int modifierItem, int keyItem) {
    List((std::string(action) + "-key1").c_str())->setCurrentIndex(modifierItem);
    List((std::string(action) + "-key2").c_str())->setCurrentIndex(keyItem);
  }
  // The action a press of the combination reaches, kNone when none.
  ui::HotKeyAction Pressed(int modifiers, int virtualKey) {
    pressedIds_.clear();
    if (!hotKeyState_->Press(modifiers, virtualKey) || pressedIds_.size() != 1) {
      return ui::HotKeyAction::kNone;
    }
    return hotKeys_->ActionFor(pressedIds_[0]);
  }
  // The "hotkey" section: the four keys and the four list positions.
  std::string HotKeySection() const {
    std::string text;
    for (const char* key : {"start-pause-key1", "start-pause-key2", "stop-key1", "stop-key2",
                            "start-pause-key1-index", "start-pause-key2-index", "stop-key1-index",
                            "stop-key2-index"}) {
      text += Setting("hotkey", key) + " ";
    }
    return text;
  }
};

TEST_F(SetingHotKeysTest, BothHotKeysAreReplacedWithAPromptEachAndStored) {
  OpenDialog();
  PromptCollector prompts;
  Choose("start-pause", 1, 2);  // Ctrl+F3
  Choose("stop", 0, 3);         // Alt+F4
  Button("hotkey-save")->click();
  EXPECT_EQ(prompts.texts, (std::vector<QString>{QString::fromUtf8(ui::kStartPauseHotKeySetText),
                                                 QString::fromUtf8(ui::kStopHotKeySetText)}));
  EXPECT_EQ(HotKeySection(), "2 114 1 115 1 2 0 3 ");
  EXPECT_EQ(Pressed(kHotKeyModCtrl, 114), ui::HotKeyAction::kStartPause);
  EXPECT_EQ(Pressed(kHotKeyModAlt, 115), ui::HotKeyAction::kStop);
  // The old combinations are released.
  EXPECT_EQ(Pressed(kHotKeyModAlt, 119), ui::HotKeyAction::kNone);
  EXPECT_EQ(Pressed(kHotKeyModAlt, 123), ui::HotKeyAction::kNone);
  EXPECT_EQ(hotKeyState_->registered.size(), 5u);
  EXPECT_NE(Control<QLabel>("hotkey-current")->text().indexOf("Ctrl+F3"), -1);

  // Saving the combinations in use again keeps them.
  prompts.texts.clear();
  Button("hotkey-save")->click();
  EXPECT_EQ(prompts.texts.size(), 2u);
  EXPECT_EQ(prompts.texts[1], QString::fromUtf8(ui::kStopHotKeySetText));
  EXPECT_EQ(Pressed(kHotKeyModCtrl, 114), ui::HotKeyAction::kStartPause);

  // The stored lists are shown the next time.
  ASSERT_TRUE(CloseDialog());
  OpenDialog();
  EXPECT_EQ(List("start-pause-key1")->currentText(), "Ctrl");
  EXPECT_EQ(List("stop-key2")->currentText(), "F4");
}

TEST_F(SetingHotKeysTest, ARefusedStartPauseKeyKeepsTheOldOneAndTouchesNothingElse) {
  hotKeyState_->heldElsewhere.insert({kHotKeyModCtrl, 116});  // Ctrl+F5
  const std::string before = HotKeySection();
  OpenDialog();
  PromptCollector prompts;
  Choose("start-pause", 1, 4);
  Choose("stop", 1, 5);
  Button("hotkey-save")->click();
  EXPECT_EQ(prompts.texts, (std::vector<QString>{QString::fromUtf8(ui::kStartPauseHotKeyFailedText)}));
  EXPECT_EQ(HotKeySection(), before);
  EXPECT_EQ(Pressed(kHotKeyModAlt, 119), ui::HotKeyAction::kStartPause);
  EXPECT_EQ(Pressed(kHotKeyModAlt, 123), ui::HotKeyAction::kStop);
  EXPECT_EQ(Pressed(kHotKeyModCtrl, 117), ui::HotKeyAction::kNone);  // stop not tried
  EXPECT_TRUE(hotKeys_->startPauseActive());
}

TEST_F(SetingHotKeysTest, ARefusedStopKeyKeepsTheOldStopKeyAfterTheStartPauseKeyChanged) {
  OpenDialog();
  PromptCollector prompts;
  Choose("start-pause", 0, 0);  // Alt+F1
  Choose("stop", 0, 0);         // the same: this program holds it now
  Button("hotkey-save")->click();
  EXPECT_EQ(prompts.texts, (std::vector<QString>{QString::fromUtf8(ui::kStartPauseHotKeySetText),
                                                 QString::fromUtf8(ui::kStopHotKeyFailedText)}));
  EXPECT_EQ(HotKeySection(), "1 112 1 123 0 0 (absent) (absent) ");
  EXPECT_EQ(Pressed(kHotKeyModAlt, 112), ui::HotKeyAction::kStartPause);
  EXPECT_EQ(Pressed(kHotKeyModAlt, 123), ui::HotKeyAction::kStop);
}

TEST_F(SetingHotKeysTest, ListsWithoutASelectionKeepTheirHotKey) {
  OpenDialog();
  PromptCollector prompts;
  Choose("start-pause", 1, -1);  // a modifier without a key
  Choose("stop", 1, 11);         // Ctrl+F12
  Button("hotkey-save")->click();
  EXPECT_EQ(prompts.texts, (std::vector<QString>{QString::fromUtf8(ui::kStopHotKeySetText)}));
  EXPECT_EQ(HotKeySection(), "1 119 2 123 (absent) (absent) 1 11 ");
  EXPECT_EQ(Pressed(kHotKeyModAlt, 119), ui::HotKeyAction::kStartPause);
  EXPECT_EQ(Pressed(kHotKeyModCtrl, 123), ui::HotKeyAction::kStop);
}

TEST_F(SetingHotKeysTest, APressReportedUnderTheReplacedIdentifierStillCounts) {
  const int oldId = hotKeys_->IdentifierOf(ui::HotKeyAction::kStartPause);
  ASSERT_TRUE(hotKeys_->ReplaceStartPause({kHotKeyModCtrl, 113}));
  EXPECT_NE(hotKeys_->IdentifierOf(ui::HotKeyAction::kStartPause), oldId);
  EXPECT_EQ(hotKeys_->ActionFor(oldId), ui::HotKeyAction::kStartPause);
  // Replaced once more, the first identifier is used again.
  ASSERT_TRUE(hotKeys_->ReplaceStartPause({kHotKeyModCtrl, 114}));
  EXPECT_EQ(hotKeys_->IdentifierOf(ui::HotKeyAction::kStartPause), oldId);
  EXPECT_EQ(Pressed(kHotKeyModCtrl, 113), ui::HotKeyAction::kNone);
  EXPECT_EQ(Pressed(kHotKeyModCtrl, 114), ui::HotKeyAction::kStartPause);
}

}  // namespace
}  // namespace tarn::test
