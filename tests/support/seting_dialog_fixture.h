#pragma once
// A settings dialog on a private settings file, with the main window's parts
// it works with replaced by recorders: the region frame, the camera preview,
// the choosers, and hot keys that grab nothing (MainHotKeys over
// FakeHotKeys) unless a test gives its own.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QColorDialog>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "settings/settings_store.h"
#include "tests/support/fake_hot_keys.h"
#include "tests/support/qt_wait.h"
#include "tests/support/temp_dir.h"
#include "ui/main/main_hot_keys.h"
#include "ui/main/shell_actions.h"
#include "ui/settings/seting_dialog.h"

namespace tarn::test {

// Dismisses every prompt box that shows while it lives, keeping the texts.
class PromptCollector {
 public:
  PromptCollector() {
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      if (QWidget* box = VisibleWindowOfClass("PromptBoxDialog")) {
        texts.push_back(box->findChild<QLabel*>("msgText")->text());
        box->findChild<QPushButton*>("msgConfirm")->click();
      }
    });
    timer_.start();
  }
  std::vector<QString> texts;

 private:
  QTimer timer_;
};

class SetingDialogFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ui::WindowImplBase::SetResourcePath(TARN_SOURCE_SKIN_DIR);
    std::filesystem::create_directories(outputDir_);
    settings_.SetString(kOutputDir, outputDir_);
    ui::SetDesktopOpenerForTesting([this](const QUrl& url) { opened_.push_back(url); });
    hotKeys_ = std::make_unique<ui::MainHotKeys>(
        settings_, std::make_unique<FakeHotKeys>(hotKeyState_), FakeHotKeyIdentifier);
    hotKeys_->RegisterAll([this](int id) { pressedIds_.push_back(id); });
  }
  void TearDown() override {
    delete dialog_.data();
    hotKeys_.reset();
    ui::SetDesktopOpenerForTesting(nullptr);
    ui::WindowImplBase::SetResourcePath(QString());
  }

  ui::SetingDialog::Services MakeServices() {
    ui::SetingDialog::Services services;
    services.settings = &settings_;
    services.replaceStartPause = [this](HotKey hotKey) { return hotKeys_->ReplaceStartPause(hotKey); };
    services.replaceStop = [this](HotKey hotKey) { return hotKeys_->ReplaceStop(hotKey); };
    if (withRegionFrame_) {
      services.enterRegionMode = [this] { ++enterRegionCalls_; };
      services.leaveRegionMode = [this] { ++leaveRegionCalls_; };
    }
    services.openCameraPreview = [this] { ++cameraCalls_; };
    services.chooseFolder = [this](QWidget*, const QString&, const QString&) { return chosenFolder_; };
    services.chooseColor = [this](QWidget*, const QColor& initial) {
      initialColour_ = initial;
      customColoursAtCall_.clear();
      for (int i = 0; i < QColorDialog::customCount(); ++i) {
        customColoursAtCall_.push_back(QColorDialog::customColor(i));
      }
      return chosenColour_;
    };
    services.chooseImageFile = [this](QWidget*, const QString&) { return chosenImage_; };
    services.recording = recording_;
    services.cameraAvailable = cameraAvailable_;
    return services;
  }

  ui::SetingDialog& OpenDialog() {
    dialog_ = ui::SetingDialog::Open(nullptr, MakeServices());
    if (!dialog_) throw std::runtime_error("the settings dialog did not open");
    dialog_->show();
    return *dialog_;
  }
  // Closes the dialog as its close button does; true once it has deleted itself.
  bool CloseDialog() {
    if (dialog_) dialog_->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return dialog_.isNull();
  }

  template <class T = QWidget>
  T* Control(const char* name) const {
    T* control = dialog_ ? dialog_->FindControl<T>(name) : nullptr;
    EXPECT_NE(control, nullptr) << name;
    return control;
  }
  QAbstractButton* Button(const char* name) const { return Control<QAbstractButton>(name); }
  QComboBox* List(const char* name) const { return Control<QComboBox>(name); }
  QLineEdit* Edit(const char* name) const { return Control<QLineEdit>(name); }

  std::string Setting(std::string_view section, std::string_view key) const {
    return settings_.GetString(section, key, "(absent)", 300);
  }

  TempDir home_;
  ScopedEnv homeEnv_{"HOME", home_.path()};
  ScopedEnv dataEnv_{"XDG_DATA_HOME", std::nullopt};
  std::string outputDir_ = home_ / "videos";
  SettingsStore settings_{home_ / "configure.ini"};
  std::shared_ptr<FakeHotKeyState> hotKeyState_ = std::make_shared<FakeHotKeyState>();
  std::unique_ptr<ui::MainHotKeys> hotKeys_;
  std::vector<int> pressedIds_;
  QPointer<ui::SetingDialog> dialog_;

  // What the dialog is given.
  bool withRegionFrame_ = true;
  bool recording_ = false;
  bool cameraAvailable_ = true;
  QString chosenFolder_;
  QString chosenImage_;
  QColor chosenColour_;

  // What the dialog did.
  int enterRegionCalls_ = 0;
  int leaveRegionCalls_ = 0;
  int cameraCalls_ = 0;
  QColor initialColour_;
  std::vector<QColor> customColoursAtCall_;
  std::vector<QUrl> opened_;
};

}  // namespace tarn::test
