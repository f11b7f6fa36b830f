#pragma once
// A main window on a private settings file and recordings folder, with hot
// keys that grab nothing unless a test asks for the real ones.

#include <gtest/gtest.h>

#include <QListWidget>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/global_hot_keys.h"
#include "settings/settings_store.h"
#include "tests/support/fake_hot_keys.h"
#include "tests/support/qt_wait.h"
#include "tests/support/temp_dir.h"
#include "ui/main/main_wnd.h"
#include "ui/main/recorded_file_list.h"
#include "ui/main/shell_actions.h"

namespace tarn::test {

class MainWindowFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ui::WindowImplBase::SetResourcePath(TARN_SOURCE_SKIN_DIR);
    std::filesystem::create_directories(outputDir_);
    settings_.SetString(kOutputDir, outputDir_);
    ui::SetDesktopOpenerForTesting([this](const QUrl& url) { opened_.push_back(url); });
  }
  void TearDown() override {
    window_.reset();
    ui::SetDesktopOpenerForTesting(nullptr);
    ui::SetTrashForTesting(nullptr);
    ui::WindowImplBase::SetResourcePath(QString());
  }

  // Creates and shows the window; `realHotKeys` grabs on the X display.
  ui::CMainWnd& OpenWindow(bool realHotKeys = false) {
    ui::CMainWnd::Services services;
    services.settings = &settings_;
    // The test's event loops go on after the window closes.
    services.onClosed = [this] { ++closedCount_; };
    if (realHotKeys) {
      services.hotKeys = platform::CreateGlobalHotKeys();
      services.hotKeyIdentifier = platform::HotKeyIdentifier;
    } else {
      services.hotKeys = std::make_unique<FakeHotKeys>(hotKeys_);
      services.hotKeyIdentifier = FakeHotKeyIdentifier;
    }
    services.listCameras = [this] { return cameras_; };
    services.chooseFolder = [this](QWidget*, const QString&, const QString&) { return chosenFolder_; };
    services.chooseVideoFile = [this](QWidget*) { return chosenVideo_; };
    services.notificationBus = notificationBus_;
    window_ = std::make_unique<ui::CMainWnd>(std::move(services));
    window_->Create(nullptr, QString::fromUtf8(ui::kMainWindowTitle));
    window_->show();
    return *window_;
  }

  std::string Setting(std::string_view section, std::string_view key) const {
    return settings_.GetString(section, key, "(absent)", 300);
  }

  QListWidget* List() const { return window_->FindControl<QListWidget>("listview"); }

  // Waits until every listed recording has its row and its measured duration
  // (results are shown when they are taken).
  bool WaitForDurations(int timeoutMs = 20000) {
    return WaitUntil(
        [this] {
          return window_->fileList().pendingRows() == 0 && window_->fileList().pendingDurations() == 0;
        },
        timeoutMs);
  }

  TempDir home_;
  ScopedEnv homeEnv_{"HOME", home_.path()};
  ScopedEnv dataEnv_{"XDG_DATA_HOME", std::nullopt};
  std::string outputDir_ = home_ / "videos";
  SettingsStore settings_{home_ / "configure.ini"};
  std::shared_ptr<FakeHotKeyState> hotKeys_ = std::make_shared<FakeHotKeyState>();
  std::vector<QUrl> opened_;
  // The cameras the record page lists, and what the folder dialog answers.
  std::vector<std::string> cameras_;
  QString chosenFolder_;
  QString chosenVideo_;  // what the cut page's open-file dialog answers
  // The D-Bus connection for notices of finished recordings; empty: the session bus.
  QString notificationBus_;
  int closedCount_ = 0;
  std::unique_ptr<ui::CMainWnd> window_;
};

}  // namespace tarn::test
