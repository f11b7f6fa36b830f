// The settings dialog's pages: loading every control from the settings,
// the writes made the moment a control changes, and the writes at close.

#include <glog/logging.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <span>
#include <string>

#include "settings/settings_store.h"
#include "ui/framework/ui_text.h"
#include "ui/main/main_wnd.h"
#include "ui/settings/seting_dialog.h"
#include "ui/settings/seting_values.h"

namespace tarn::ui {
namespace {

QString Name(std::string_view name) {
  return QString::fromUtf8(name.data(), static_cast<int>(name.size()));
}

bool SameKey(const SettingKey& a, const SettingKey& b) {
  return a.section == b.section && a.name == b.name;
}

void AddItems(QComboBox* list, std::span<const std::string_view> items) {
  list->clear();
  for (const std::string_view item : items) list->addItem(Name(item));
}

// The hot-key lists: a modifier and a key for each action, with the keys
// that store their selected items.
struct HotKeyLists {
  const char* modifierList;
  const char* keyList;
  SettingKey modifierIndex;
  SettingKey keyIndex;
};
constexpr HotKeyLists kHotKeyLists[] = {
    {"start-pause-key1", "start-pause-key2", kStartPauseKey1Index, kStartPauseKey2Index},
    {"stop-key1", "stop-key2", kStopKey1Index, kStopKey2Index},
};

// What the record page also locks while a recording runs.
constexpr const char* kLockedWhileRecording[] = {
    "video-source-screen", "video-source-camera", "mouse-follow-check", "mouse-follow-ratio",
    "user-defined-region-check", "camera-check", "video-framerate", "output-choose-btn",
    "default-output-dir", "user-define-output-dir"};

// The items of a list the dialog fills.
std::span<const std::string_view> ItemsOfList(std::string_view name) {
  if (name == "video-framerate") return kFrameRateItems;
  if (name == "watermark-font-family") return kFontFamilyItems;
  if (name == "watermark-font-size") return kFontSizeItems;
  return {};
}

}  // namespace

void SetingDialog::FillLists() {
  for (const TextField& field : ListFields()) {
    AddItems(RequireControl<QComboBox>(Name(field.control)), ItemsOfList(field.control));
  }
  followSizeList_->clear();
  for (const FollowArea& area : kMouseFollowAreas) {
    followSizeList_->addItem(QString::fromStdString(FollowAreaText(area)));
  }
  for (const HotKeyLists& lists : kHotKeyLists) {
    AddItems(RequireControl<QComboBox>(lists.modifierList), kHotKeyModifierItems);
    QComboBox* keys = RequireControl<QComboBox>(lists.keyList);
    keys->clear();
    for (int i = 1; i <= kHotKeyKeyItemCount; ++i) keys->addItem(QString("F%1").arg(i));
  }
}

void SetingDialog::LoadControls() {
  loading_ = true;
  // The size shown until the stored one is read.
  hotRegionSlider_->setValue(kHotRegionInitialSize);
  hotRegionSizeLabel_->setText(QString::number(kHotRegionInitialSize));

  for (const TickBox& box : TickBoxes()) {
    if (auto* check = FindControl<QCheckBox>(Name(box.control))) {
      check->setChecked(settings_.GetInt(box.key, box.defaultValue) != 0);
    }
  }
  followCheck_->setChecked(settings_.GetInt(kMouseFollowCheck, kMouseFollowCheckDefault) != 0);
  regionCheck_->setChecked(
      settings_.GetInt(kUserDefinedRegionCheck, kUserDefinedRegionCheckDefault) != 0);
  const int followItem = settings_.GetInt(kMouseFollowRatioIndex, kMouseFollowRatioIndexDefault);
  followSizeList_->setCurrentIndex(FollowAreaForItem(followItem) ? followItem : -1);
  loadedFollowItem_ = followSizeList_->currentIndex();

  for (const ColorSwatch& swatch : kColorSwatches) {
    const std::string stored = settings_.GetString(swatch.key, swatch.defaultText, kMouseColorCapacity);
    ShowSwatch(FindControl<QWidget>(Name(swatch.control)),
               QColor::fromRgba(SwatchArgbFromSetting(stored, swatch.defaultText)));
  }
  const int hotRegionSize = settings_.GetInt(kMouseHotRegionSize, kMouseHotRegionSizeDefault);
  hotRegionSlider_->setValue(hotRegionSize);
  hotRegionSizeLabel_->setText(QString::number(hotRegionSize));

  LoadOptionGroups();
  LoadTexts();
  LoadHotKeyLists();
  ShowCurrentHotKeys();

  // The folder recordings go to now, which is also stored as chosen.
  const std::string outputDir = GetOutputDir(settings_);
  ShowOutputDir(outputDir);
  settings_.SetString(kOutputDir, outputDir);
  loading_ = false;
}

void SetingDialog::LoadOptionGroups() {
  for (const OptionGroupLoad& group : OptionGroupLoads()) {
    std::string value;
    if (group.isText) {
      value = settings_.GetString(group.key, group.defaultText, kWatermarkColorCapacity);
    } else {
      int number = settings_.GetInt(group.key, group.defaultInt);
      if (group.nonZeroIsOne && number != 0) number = 1;
      value = std::to_string(number);
    }
    // Another value selects none of the group's options.
    for (const OptionWrite& option : OptionWrites()) {
      if (!SameKey(option.key, group.key) || option.value != value) continue;
      if (auto* button = FindControl<QAbstractButton>(Name(option.control))) button->setChecked(true);
    }
  }
}

void SetingDialog::LoadTexts() {
  loadedTexts_.clear();
  for (const TextField& field : EditFields()) {
    auto* edit = FindControl<QLineEdit>(Name(field.control));
    edit->setText(QString::fromStdString(settings_.GetString(field.key, field.defaultText, field.capacity)));
    loadedTexts_[edit->objectName()] = edit->text();
  }
  for (const TextField& field : ListFields()) {
    auto* list = FindControl<QComboBox>(Name(field.control));
    const std::string stored = settings_.GetString(field.key, field.defaultText, field.capacity);
    // A text that is not one of the items selects nothing, and nothing is
    // written for the list unless the user picks an item.
    list->setCurrentIndex(ItemIndex(ItemsOfList(field.control), stored));
    loadedTexts_[list->objectName()] = list->currentText();
  }
}

void SetingDialog::LoadHotKeyLists() {
  for (const HotKeyLists& lists : kHotKeyLists) {
    for (const auto& [name, key] : {std::pair{lists.modifierList, lists.modifierIndex},
                                    std::pair{lists.keyList, lists.keyIndex}}) {
      auto* list = FindControl<QComboBox>(name);
      const int item = settings_.GetInt(key, kHotKeyIndexDefault);
      list->setCurrentIndex(item >= 0 && item < list->count() ? item : -1);
    }
  }
}

void SetingDialog::TrackUserEdits() {
  for (const TextField& field : EditFields()) {
    auto* edit = FindControl<QLineEdit>(Name(field.control));
    connect(edit, &QLineEdit::textEdited, this, [this, edit] { touched_.insert(edit->objectName()); });
  }
  for (const TextField& field : ListFields()) {
    auto* list = FindControl<QComboBox>(Name(field.control));
    connect(list, &QComboBox::activated, this, [this, list] { touched_.insert(list->objectName()); });
  }
  connect(followSizeList_, &QComboBox::activated, this,
          [this] { touched_.insert(followSizeList_->objectName()); });
}

void SetingDialog::LockWhileRecording() {
  if (!services_.cameraAvailable) {
    for (const char* name : {"video-source-camera", "camera-check"}) {
      if (auto* control = FindControl<QWidget>(name)) {
        control->setEnabled(false);
        control->setToolTip(UiText(kNoCameraText));
      }
    }
  }
  if (!services_.recording) return;
  for (const char* name : kLockedWhileRecording) {
    if (auto* control = FindControl<QWidget>(name)) {
      control->setEnabled(false);
      control->setToolTip(UiText(kLockedWhileRecordingText));
    }
  }
}

// --- Immediate writes ------------------------------------------------------------------

void SetingDialog::OnTickBox(const QString& name, bool ticked) {
  for (const TickBox& box : TickBoxes()) {
    if (name == Name(box.control)) settings_.SetString(box.key, ticked ? "1" : "0");
  }
}

void SetingDialog::OnOptionSelected(const QString& name) {
  const OptionWrite* option = FindOptionWrite(name.toStdString());
  if (option == nullptr) return;
  settings_.SetString(option->key, option->value);
  if (name == "default-output-dir") UseDefaultOutputFolder();
}

void SetingDialog::OnFollowChecked(bool ticked) {
  settings_.SetString(kMouseFollowCheck, ticked ? "1" : "0");
  if (!ticked) return;
  // Following the mouse ends region mode.
  loading_ = true;
  regionCheck_->setChecked(false);
  loading_ = false;
  settings_.SetString(kUserDefinedRegionCheck, "0");
  if (services_.leaveRegionMode) services_.leaveRegionMode();
}

void SetingDialog::OnRegionChecked(bool ticked) {
  settings_.SetString(kUserDefinedRegionCheck, ticked ? "1" : "0");
  if (!ticked) {
    // As on the record page, the frame goes with region mode.
    if (services_.leaveRegionMode) services_.leaveRegionMode();
    return;
  }
  loading_ = true;
  followCheck_->setChecked(false);
  loading_ = false;
  settings_.SetString(kMouseFollowCheck, "0");
  if (!services_.enterRegionMode) return;
  // The frame and its toolbar take over; the dialog makes way for them.
  services_.enterRegionMode();
  Close();
}

// --- Writes at close --------------------------------------------------------------------

void SetingDialog::SaveOnClose() {
  if (saved_ || pages_ == nullptr) return;
  saved_ = true;
  auto changed = [this](const QString& name, const QString& text) {
    return touched_.count(name) != 0 || text != loadedTexts_[name];
  };
  // An empty edit keeps what is stored.
  for (const TextField& field : EditFields()) {
    const auto* edit = FindControl<QLineEdit>(Name(field.control));
    if (edit == nullptr || edit->text().isEmpty() || !changed(edit->objectName(), edit->text())) continue;
    settings_.SetString(field.key, edit->text().toStdString());
  }
  for (const TextField& field : ListFields()) {
    const auto* list = FindControl<QComboBox>(Name(field.control));
    if (list == nullptr || list->currentIndex() < 0 || !changed(list->objectName(), list->currentText())) {
      continue;
    }
    settings_.SetString(field.key, list->currentText().toStdString());
  }
  const int followItem = followSizeList_->currentIndex();
  const std::optional<FollowArea> area = FollowAreaForItem(followItem);
  if (area && (followItem != loadedFollowItem_ || touched_.count(followSizeList_->objectName()) != 0)) {
    settings_.SetInt(kMouseFollowRatioIndex, followItem);
    settings_.SetInt(kMouseFollowRatioWidth, area->width);
    settings_.SetInt(kMouseFollowRatioHeight, area->height);
  }
  LOG(INFO) << "settings dialog closed";
}

}  // namespace tarn::ui
