// The settings dialog's life: creation, the controls' notifications and the
// close. Loading and writing are in seting_pages.cpp, the buttons in
// seting_actions.cpp.

#include "ui/settings/seting_dialog.h"

#include <glog/logging.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFileDialog>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QStackedWidget>
#include <utility>

#include "settings/settings_store.h"
#include "ui/main/output_folder.h"
#include "ui/settings/seting_values.h"

namespace tarn::ui {
namespace {

// The filter of the watermark image chooser.
constexpr const char* kImageFilter = QT_TRANSLATE_NOOP("TarnRecorder", "图像文件(*.bmp *.jpg *.png)");

constexpr int kLargestOffset = 99999;

QColor ChooseColourWithDialog(QWidget* parent, const QColor& initial) {
  return QColorDialog::getColor(initial, parent);
}

QString ChooseImageWithDialog(QWidget* parent, const QString& start) {
  return QFileDialog::getOpenFileName(parent, UiText(kChooseWatermarkImageTitle), start,
                                      UiText(kImageFilter));
}

}  // namespace

SetingDialog::SetingDialog(Services services)
    : settings_(services.settings != nullptr ? *services.settings : SettingsStore::Instance()),
      services_(std::move(services)) {
  if (!services_.chooseFolder) services_.chooseFolder = ChooseFolderWithDialog;
  if (!services_.chooseColor) services_.chooseColor = ChooseColourWithDialog;
  if (!services_.chooseImageFile) services_.chooseImageFile = ChooseImageWithDialog;
}

SetingDialog::~SetingDialog() {
  // Destroyed without closing (with its owner): the edits are kept all the same.
  SaveOnClose();
}

QPointer<SetingDialog> SetingDialog::Open(QWidget* owner, Services services) {
  auto* dialog = new SetingDialog(std::move(services));
  try {
    dialog->Create(owner, UiText(kSetingDialogTitle));
  } catch (const WindowInitError& error) {
    LOG(ERROR) << "the settings dialog cannot be opened: " << error.what();
    dialog->saved_ = true;  // nothing was loaded, so nothing is written
    delete dialog;
    return nullptr;
  }
  return dialog;
}

int SetingDialog::currentPage() const { return pages_ != nullptr ? pages_->currentIndex() : -1; }

void SetingDialog::InitWindow() {
  pages_ = RequireControl<QStackedWidget>("setings");
  for (const std::string_view name : kPageOptionNames) {
    RequireControl<QAbstractButton>(QString::fromUtf8(name.data(), static_cast<int>(name.size())));
  }
  followCheck_ = RequireControl<QCheckBox>("mouse-follow-check");
  regionCheck_ = RequireControl<QCheckBox>("user-defined-region-check");
  followSizeList_ = RequireControl<QComboBox>("mouse-follow-ratio");
  hotRegionSlider_ = RequireControl<QSlider>("mouse-hot-region-slider");
  hotRegionSizeLabel_ = RequireControl<QLabel>("mouse-hot-region-size");
  outputDirEdit_ = RequireControl<QLineEdit>("output-dir-edit");
  currentHotKeysLabel_ = FindControl<QLabel>("hotkey-current");
  for (const char* name : {"watermark-choose", "output-choose-btn", "output-open-btn", "hotkey-save"}) {
    RequireControl<QAbstractButton>(name);
  }
  for (const ColorSwatch& swatch : kColorSwatches) {
    RequireControl<QAbstractButton>(QString::fromUtf8(swatch.control.data(),
                                                      static_cast<int>(swatch.control.size())));
  }
  for (const TextField& field : EditFields()) {
    auto* edit = RequireControl<QLineEdit>(
        QString::fromUtf8(field.control.data(), static_cast<int>(field.control.size())));
    // The margins and offsets are whole pixels; the path and the text are free.
    if (field.control != "watermark-image-path" && field.control != "watermark-text-desc") {
      edit->setValidator(new QIntValidator(0, kLargestOffset, edit));
    }
  }
  setWindowModality(Qt::ApplicationModal);
  if (auto* notice = FindControl<QLabel>("recording-notice")) {
    notice->setText(UiText(kChangesApplyNextRecordingText));
    notice->setVisible(services_.recording);
  }
  FillLists();
  LoadControls();
  TrackUserEdits();
  LockWhileRecording();
  ShowPage(0);
}

void SetingDialog::Notify(const TNotifyUI& msg) {
  if (loading_) return;
  const QString& name = msg.senderName;
  if (msg.sType == kNotifySelectChanged) {
    const bool ticked = msg.wParam != 0;
    for (std::size_t i = 0; i < kPageOptionNames.size(); ++i) {
      if (ticked && name == QLatin1String(kPageOptionNames[i].data(),
                                          static_cast<int>(kPageOptionNames[i].size()))) {
        ShowPage(static_cast<int>(i));
        return;
      }
    }
    if (name == "mouse-follow-check") {
      OnFollowChecked(ticked);
    } else if (name == "user-defined-region-check") {
      OnRegionChecked(ticked);
    } else if (name == "camera-check") {
      OpenCameraPreview();
    } else if (qobject_cast<QCheckBox*>(msg.pSender) != nullptr) {
      OnTickBox(name, ticked);
    } else if (ticked) {
      OnOptionSelected(name);
    }
    return;
  }
  if (msg.sType == kNotifyValueChanged && name == "mouse-hot-region-slider") {
    hotRegionSizeLabel_->setText(QString::number(msg.wParam));
    settings_.SetInt(kMouseHotRegionSize, msg.wParam);
    return;
  }
  if (msg.sType != kNotifyClick) return;
  if (name == "watermark-choose") {
    ChooseWatermarkImage();
  } else if (name == "output-choose-btn") {
    ChooseOutputFolder();
  } else if (name == "output-open-btn") {
    OpenOutputFolder();
  } else if (name == "hotkey-save") {
    SaveHotKeys();
  } else {
    for (const ColorSwatch& swatch : kColorSwatches) {
      if (name == QLatin1String(swatch.control.data(), static_cast<int>(swatch.control.size()))) {
        ChooseSwatchColour(name);
      }
    }
  }
}

void SetingDialog::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    Close();
    return;
  }
  WindowImplBase::keyPressEvent(event);
}

void SetingDialog::OnFinalMessage() {
  SaveOnClose();
  deleteLater();
}

}  // namespace tarn::ui
