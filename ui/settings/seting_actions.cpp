// The settings dialog's buttons: the pages, the colour swatches, the
// watermark image and output folder choosers, and saving the hot keys.

#include <glog/logging.h>

#include <QAbstractButton>
#include <QColorDialog>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QStackedWidget>
#include <string>

#include "settings/settings_store.h"
#include "ui/framework/ui_text.h"
#include "ui/main/message_box_dialog.h"
#include "ui/main/output_folder.h"
#include "ui/main/shell_actions.h"
#include "ui/settings/seting_dialog.h"
#include "ui/settings/seting_values.h"

namespace tarn::ui {
namespace {

QColor ColourOfColorref(std::uint32_t colorref) {
  return QColor::fromRgba(ArgbFromColorref(colorref));
}

}  // namespace

void SetingDialog::ShowPage(int index) {
  if (index < 0 || index >= pages_->count()) return;
  pages_->setCurrentIndex(index);
  const std::string_view name = kPageOptionNames[static_cast<std::size_t>(index)];
  auto* option = FindControl<QAbstractButton>(QString::fromUtf8(name.data(), static_cast<int>(name.size())));
  if (option != nullptr && !option->isChecked()) option->setChecked(true);
}

// --- Colour swatches --------------------------------------------------------------------

void SetingDialog::ShowSwatch(QWidget* swatch, QColor colour) {
  if (swatch == nullptr) return;
  colour.setAlpha(255);
  // The swatch is filled with its colour: a style sheet of its own, whole
  // (a background alone is not drawn by every style), over the shared one.
  swatch->setStyleSheet(
      QString("QPushButton { background-color: %1; border: 1px solid #b8c1d1; border-radius: 4px; }")
          .arg(colour.name(QColor::HexRgb)));
  swatch->setToolTip(colour.name(QColor::HexRgb).toUpper());
}

void SetingDialog::ChooseSwatchColour(const QString& name) {
  const ColorSwatch* chosenSwatch = nullptr;
  for (const ColorSwatch& swatch : kColorSwatches) {
    if (name == QLatin1String(swatch.control.data(), static_cast<int>(swatch.control.size()))) {
      chosenSwatch = &swatch;
    }
  }
  if (chosenSwatch == nullptr) return;
  for (std::size_t i = 0; i < kCustomColorrefs.size(); ++i) {
    QColorDialog::setCustomColor(static_cast<int>(i), ColourOfColorref(kCustomColorrefs[i]));
  }
  const QColor colour = services_.chooseColor(this, ColourOfColorref(kColorDialogInitialColorref));
  if (!colour.isValid()) return;  // cancelled
  ShowSwatch(FindControl<QWidget>(name), colour);
  const std::uint32_t colorref = ColorrefFromRgb(colour.red(), colour.green(), colour.blue());
  settings_.SetString(chosenSwatch->key, std::to_string(colorref));
}

// --- Choosers ---------------------------------------------------------------------------

void SetingDialog::ChooseWatermarkImage() {
  auto* pathEdit = FindControl<QLineEdit>("watermark-image-path");
  const QString start = pathEdit->text().isEmpty() ? QString() : QFileInfo(pathEdit->text()).path();
  const QString chosen = services_.chooseImageFile(this, start);
  if (chosen.isEmpty()) return;  // cancelled
  // Stored with the other edits when the dialog closes.
  pathEdit->setText(chosen);
}

void SetingDialog::ShowOutputDir(const std::string& folder) {
  outputDirEdit_->setText(QString::fromStdString(folder));
}

void SetingDialog::ChooseOutputFolder() {
  const QString chosen =
      services_.chooseFolder(this, UiText(kChooseFolderTitle), outputDirEdit_->text());
  if (chosen.isEmpty()) return;  // cancelled
  const std::string folder = chosen.toStdString();
  if (!AcceptOutputFolder(this, settings_, folder)) return;
  ShowOutputDir(folder);
  if (auto* userFolder = FindControl<QAbstractButton>("user-define-output-dir")) {
    loading_ = true;
    userFolder->setChecked(true);
    loading_ = false;
  }
}

void SetingDialog::UseDefaultOutputFolder() {
  // No folder of its own: recordings go to the derived default folder.
  settings_.SetString(kOutputDir, "");
  const std::string folder = GetOutputDir(settings_);
  ShowOutputDir(folder);
  LOG(INFO) << "recordings go to the default folder " << folder;
}

void SetingDialog::OpenOutputFolder() {
  const QString folder = outputDirEdit_->text();
  if (folder.isEmpty()) return;
  OpenFolder(folder.toStdString());
}

// --- Camera -----------------------------------------------------------------------------

void SetingDialog::OpenCameraPreview() {
  if (!services_.openCameraPreview) return;
  services_.openCameraPreview();
  Close();
}

// --- Hot keys ---------------------------------------------------------------------------

void SetingDialog::SaveHotKeys() {
  // A refused start/pause combination stops here: the stop hot key stays.
  if (SaveOneHotKey(true)) SaveOneHotKey(false);
  ShowCurrentHotKeys();
}

bool SetingDialog::SaveOneHotKey(bool startPause) {
  const char* const modifierName = startPause ? "start-pause-key1" : "stop-key1";
  const char* const keyName = startPause ? "start-pause-key2" : "stop-key2";
  const int modifierItem = FindControl<QComboBox>(modifierName)->currentIndex();
  const int keyItem = FindControl<QComboBox>(keyName)->currentIndex();
  const std::optional<HotKey> hotKey = HotKeyFromItems(modifierItem, keyItem);
  const char* const action = startPause ? "start/pause" : "stop";
  if (!hotKey) {
    // Nothing chosen: that hot key stays as it is.
    LOG(INFO) << "the " << action << " hot key is kept: its lists have no selection";
    return true;
  }
  const std::function<bool(HotKey)>& replace =
      startPause ? services_.replaceStartPause : services_.replaceStop;
  if (!replace || !replace(*hotKey)) {
    LOG(WARNING) << "the " << action << " hot key " << HotKeyText(*hotKey)
                 << " was refused; the previous one stays";
    PromptBoxDialog::Show(
        this, UiText(startPause ? kStartPauseHotKeyFailedText : kStopHotKeyFailedText));
    return false;
  }
  settings_.SetInt(startPause ? kStartPauseKey1Index : kStopKey1Index, modifierItem);
  settings_.SetInt(startPause ? kStartPauseKey2Index : kStopKey2Index, keyItem);
  if (startPause) {
    WriteStartPauseHotKey(settings_, *hotKey);
  } else {
    WriteStopHotKey(settings_, *hotKey);
  }
  LOG(INFO) << "the " << action << " hot key is now " << HotKeyText(*hotKey);
  PromptBoxDialog::Show(this, UiText(startPause ? kStartPauseHotKeySetText : kStopHotKeySetText));
  return true;
}

void SetingDialog::ShowCurrentHotKeys() {
  if (currentHotKeysLabel_ == nullptr) return;
  currentHotKeysLabel_->setText(
      QCoreApplication::translate("TarnRecorder", "当前热键: 开始/暂停 %1, 停止 %2")
          .arg(QString::fromStdString(HotKeyText(ReadStartPauseHotKey(settings_))),
               QString::fromStdString(HotKeyText(ReadStopHotKey(settings_)))));
}

}  // namespace tarn::ui
