#pragma once
// The main window: the record page, the lists and the tool pages, and the hub
// the other windows and the engine send their messages to.

#include <QString>

#include "online/update_checker.h"
#include "ui/framework/window_impl_base.h"

class QAbstractButton;
class QCheckBox;
class QLabel;
class QListWidget;
class QPushButton;
class QSlider;
class QStackedWidget;

namespace tarn::ui {

// Window title and class name of the main window.
inline constexpr const char* kMainWindowTitle = "TARN屏幕录制";
// The property that marks the main window for a second start of the program.
inline constexpr const char* kInstanceMarkerProperty = "TarnRecorder";

class CMainWnd : public WindowImplBase, public UpdateCheckListener {
  Q_OBJECT

 public:
  CMainWnd();
  ~CMainWnd() override;

 protected:
  QString GetSkinFile() const override { return "MainWindow.ui"; }
  QString GetWindowClassName() const override { return QString::fromUtf8(kMainWindowTitle); }
  void InitWindow() override;
  void Notify(const TNotifyUI& msg) override;
  void OnFinalMessage() override;

 private:
  void SelectPage(int index);

  // Controls of the layout, found in InitWindow; owned by the window.
  QStackedWidget* mainTab_ = nullptr;
  QAbstractButton* pageOptions_[4] = {};
  QAbstractButton* voiceSourceOptions_[3] = {};
  QAbstractButton* containerOptions_[6] = {};
  QAbstractButton* qualityOptions_[3] = {};
  QCheckBox* microphoneCheck_ = nullptr;
  QCheckBox* audioMuteCheck_ = nullptr;
  QSlider* voiceSlider_ = nullptr;
  QLabel* voiceSizeLabel_ = nullptr;
  QPushButton* startButton_ = nullptr;
  QPushButton* pauseButton_ = nullptr;
  QPushButton* stopButton_ = nullptr;
  QLabel* recordTimeText_ = nullptr;
  QListWidget* fileList_ = nullptr;
  QPushButton* brushButton_ = nullptr;
};

}  // namespace tarn::ui
