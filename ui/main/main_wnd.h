#pragma once
// The main window: the record page and its options, the recording control
// (start, pause, resume, stop), the recordings list, the global hot keys and
// the tray icon; the hub the other windows and the engine send their messages
// to. UI thread only, except the listener calls, which hand over to it.

#include <QColor>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "online/update_checker.h"
#include "recorder/recorder.h"
#include "ui/framework/ui_text.h"
#include "ui/framework/window_impl_base.h"
#include "ui/main/output_folder.h"

class QAbstractButton;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QLabel;
class QListWidget;
class QPushButton;
class QSlider;
class QStackedWidget;

namespace tarn {
class SettingsStore;
namespace platform {
class ClickMonitor;
class GlobalHotKeys;
}  // namespace platform
}  // namespace tarn

namespace tarn::ui {

class CScreenMask;
class CUserDefineRegion;
class CCameraWindow;
class CutPagePlayer;
class CMainTaskMenu;
class FinishedNotice;
class CVideoMask;
class MainHotKeys;
class MainTrayIcon;
class RecordedFileList;
enum class TrayRecordingState;
class SetingDialog;
class RecordPageMeters;
class UpdateFlow;
namespace tools {
class ToolPages;
}

// Window title and class name of the main window.
inline constexpr const char* kMainWindowTitle = QT_TRANSLATE_NOOP("TarnRecorder", "TARN屏幕录制");
// The property that marks the main window for a second start of the program.
inline constexpr const char* kInstanceMarkerProperty = "TarnRecorder";

// Recording UI states.
inline constexpr int kUiIdle = 0;
inline constexpr int kUiRecording = 1;
inline constexpr int kUiPaused = 2;
inline constexpr int kUiStopped = 3;

// Prompts and questions of the main window.
inline constexpr const char* kNoVideoDeviceText = QT_TRANSLATE_NOOP("TarnRecorder", "获取视频设备失败");
inline constexpr const char* kNoAudioDeviceText = QT_TRANSLATE_NOOP("TarnRecorder", "获取音频设备失败");
inline constexpr const char* kStartFailedText = QT_TRANSLATE_NOOP("TarnRecorder", "开始录制失败,请检查保存目录");
inline constexpr const char* kQuitWhileRecordingText = QT_TRANSLATE_NOOP("TarnRecorder", "正在录制中,确定要退出吗?");
// Delete moves the file to the trash; %1 is the file's name.
inline constexpr const char* kDeleteQuestionText = QT_TRANSLATE_NOOP("TarnRecorder", "确定要将“%1”移到回收站吗?");
// The file cannot go to the trash (%1 its name, %2 why): delete it for good?
inline constexpr const char* kDeleteForGoodQuestionText = QT_TRANSLATE_NOOP("TarnRecorder", "无法将“%1”移到回收站(%2)。要永久删除它吗?");
inline constexpr const char* kDeleteFailedText = QT_TRANSLATE_NOOP("TarnRecorder", "无法删除: ");
// No file manager could be started for a folder; the folder follows.
inline constexpr const char* kOpenFolderFailedText = QT_TRANSLATE_NOOP("TarnRecorder", "无法打开文件夹: ");
inline constexpr const char* kRecordingIncompleteText = QT_TRANSLATE_NOOP("TarnRecorder", "录制文件未能完整保存: ");
// A start that failed for a reason the user can fix, with the reason after it.
inline constexpr const char* kStartScreenFailedText = QT_TRANSLATE_NOOP("TarnRecorder", "开始录制失败,无法录制屏幕: ");
inline constexpr const char* kStartFrameRateText = QT_TRANSLATE_NOOP("TarnRecorder", "开始录制失败,帧率无效: ");
inline constexpr const char* kStartEncoderFailedText = QT_TRANSLATE_NOOP("TarnRecorder", "开始录制失败,无法编码: ");
// Closing while transcoder jobs run.
inline constexpr const char* kQuitWhileJobsText = QT_TRANSLATE_NOOP("TarnRecorder", "有任务正在进行,确定要退出吗?");
// A recording that ended by itself (a full disk, a lost display), with why.
inline constexpr const char* kRecordingEndedText = QT_TRANSLATE_NOOP("TarnRecorder", "录制已结束: ");
// Why the record page's source controls are disabled.
inline constexpr const char* kLockedWhileRecordingText = QT_TRANSLATE_NOOP("TarnRecorder", "录制中不能更改，停止录制后再选择");
inline constexpr const char* kNoCameraText = QT_TRANSLATE_NOOP("TarnRecorder", "没有找到摄像头");
// A camera recording took the camera from the open preview.
inline constexpr const char* kCameraPreviewClosedText = QT_TRANSLATE_NOOP("TarnRecorder", "摄像头预览已关闭，摄像头用于录制");

// The record page's choices of what to record, in the order of its options.
enum class RecordArea { kFullScreen = 0, kRegion = 1, kFollowMouse = 2, kCamera = 3 };

// A recording that started without its watermark.
inline constexpr const char* kWatermarkFailedText = QT_TRANSLATE_NOOP("TarnRecorder", "水印无法添加，本次录制不带水印");

class CMainWnd : public WindowImplBase, public UpdateCheckListener, public RecorderListener {
  Q_OBJECT

 public:
  // What the window works with; each null member takes the program's own
  // (the settings file, X11 hot keys and clicks).
  struct Services {
    SettingsStore* settings = nullptr;
    std::unique_ptr<platform::GlobalHotKeys> hotKeys;
    std::function<int(const std::string&)> hotKeyIdentifier;
    std::function<std::unique_ptr<platform::ClickMonitor>()> clickMonitorFactory;
    // The cameras' names, as the record page offers them.
    std::function<std::vector<std::string>()> listCameras;
    // The folder dialog: (parent, title, start folder) → the chosen folder, or
    // empty when cancelled.
    std::function<QString(QWidget*, const QString&, const QString&)> chooseFolder;
    // The cut page's open-file dialog: (parent) → the chosen video, or empty
    // when cancelled.
    std::function<QString(QWidget*)> chooseVideoFile;
    // The D-Bus connection (by its Qt connection name) that carries the
    // notices of finished recordings; empty: the session bus.
    QString notificationBus;
    // The settings dialog's colour dialog and watermark image chooser (see
    // SetingDialog::Services); empty takes Qt's.
    std::function<QColor(QWidget*, const QColor&)> chooseColor;
    std::function<QString(QWidget*, const QString&)> chooseImageFile;
    // Shows a notice over the window; by default the modal PromptBoxDialog.
    std::function<void(QWidget*, const QString&)> showPrompt;
    // Runs when the window has closed for good; ends the program's event loop.
    std::function<void()> onClosed;
  };

  CMainWnd();
  explicit CMainWnd(Services services);
  ~CMainWnd() override;

  // Starts a new recording, or resumes a paused one.
  void StartRecording();
  // Pauses a running recording.
  void PauseRecording();
  // Stops a running or paused recording; its file is listed once complete.
  void StopRecording();

  int recordingUiState() const { return uiState_; }
  Recorder& recorder() { return *recorder_; }
  RecordedFileList& fileList() { return *fileList_; }
  MainTrayIcon& trayIcon() { return *trayIcon_; }
  MainHotKeys& hotKeys() { return *hotKeys_; }
  // The notice of a finished recording (exists from InitWindow on).
  FinishedNotice& finishedNotice() { return *finishedNotice_; }
  // The tray menu while it is open.
  CMainTaskMenu* trayMenu() const;
  // The name (without folder) of the last recording started.
  const std::string& currentFileName() const { return currentFileName_; }
  const std::string& containerExtension() const { return containerExt_; }
  const std::string& containerName() const { return containerName_; }
  // Where the floating panel goes in panel mode (computed at each start).
  QPoint panelPosition() const { return panelPosition_; }
  // The window waits for a recording's file before it closes.
  bool closingAfterRecording() const { return quitPending_; }
  // A start waits for the last recording's file to be complete.
  bool startWaitingForFile() const { return startPending_; }
  // The region frame (its window exists from InitWindow on).
  CVideoMask* videoMask() const { return videoMask_.get(); }
  // What the record page shows as chosen.
  RecordArea recordArea() const;
  // The camera preview window while it is open.
  CCameraWindow* cameraPreview() const;
  // The cut page's player controls (they exist from InitWindow on).
  CutPagePlayer* cutPagePlayer() const { return cutPlayer_; }
  // The cut, convert and compress pages and their jobs (from InitWindow on).
  tools::ToolPages& toolPages() { return *tools_; }
  // Shows the cut page and plays `path` there.
  void SendToCutPage(const std::string& path);
  // The settings dialog while it is open (it deletes itself).
  SetingDialog* settingsDialog() const;
  // The screen brush's canvas while it is open, else null.
  CScreenMask* screenBrush() const;
  // Whether clicks are being watched for the recording's click rings.
  bool watchingClicks() const { return clickMonitor_ != nullptr; }
  // The record page's sound meters (they exist from InitWindow on).
  RecordPageMeters* soundMeters() const { return soundMeters_.get(); }

  // The update prompts and download (exist from InitWindow on).
  UpdateFlow* updateFlow() const { return updateFlow_.get(); }
  // UpdateCheckListener, called on the start-up check's thread.
  void OnUpdateChecked(const UpdateCheckResult& result) override;

  // RecorderListener, called on the engine's threads.
  void OnRecordSeconds(std::int64_t seconds) override;
  void OnRecordingFinished(const RecordingResult& result) override;
  void OnSoundLevels(const SoundLevels& levels) override;

 protected:
  QString GetSkinFile() const override { return "MainWindow.ui"; }
  QString GetWindowClassName() const override { return QString::fromUtf8(kMainWindowTitle); }
  void InitWindow() override;
  void Notify(const TNotifyUI& msg) override;
  qintptr HandleCustomMessage(unsigned message, quintptr wParam, qintptr lParam,
                              bool& handled) override;
  bool OnClose(quintptr wParam) override;
  void OnFinalMessage() override;
  void changeEvent(QEvent* event) override;

 private:
  void FindControls();
  void LoadRecordPageOptions();
  void SelectPage(int index);
  void SelectContainer(const std::string& format);
  void OnOptionSelected(const QString& name);
  void OnRowButton(const TNotifyUI& msg);
  void CreateCutPagePlayer();
  void CreateToolPages();
  // Asks before closing while transcoder jobs run; false to stay open.
  bool AskToEndToolJobs(quintptr wParam);
  // Ends the running transcoder jobs (the window is closing); true.
  bool EndToolJobs();
  void OnFileMenu(unsigned message, quintptr wParam);
  // Shows a folder in the file manager, or says that none could be started.
  void OpenFolderOrSay(const std::string& dir);
  // Asks, then moves a recording to the trash (or, where there is no trash
  // and the user agrees, deletes it for good).
  void DeleteRecording(int index);
  // The sound choices are usable only while "不录制声音" is not ticked.
  void ShowSoundChoicesEnabled();
  // Keeps the window's size within the screen's available area.
  void FitToScreen();
  void OnHotKey(int id, qintptr lParam);
  void OnRecordFinishedMessage();
  void OnWaitForFileTick();
  // Shows the start, pause and stop buttons and the state caption as the
  // engine's state is.
  void ShowRecordingControls();
  // `recording`: the number of the recording reporting, 0 when unknown.
  void ShowElapsed(quintptr recording, std::int64_t seconds);
  void ShowAndActivate();
  // Makes the floating panel the first time, places it and shows it; false
  // when it cannot be made.
  bool ShowFloatingPanel();
  void OpenTrayMenu();
  // The desktop notice of finished recordings, the tray menu's recording
  // items and the tray's elapsed time.
  void CreateFinishedNotice();
  TrayRecordingState TrayState();
  void FollowRecordingInTray();
  // Opens the screen brush, or closes it when it is open.
  void OpenScreenBrush();
  void CloseScreenBrush();
  // The settings dialog (main_wnd_settings.cpp): opened modally; the page
  // shows what it changed once it has closed.
  void OpenSettingsDialog();
  void EnterRegionModeFromSettings();
  // The start, pause and stop buttons name the hot keys in their tooltips.
  void ShowHotKeysInToolTips();
  // The update prompts and download (main_wnd_update.cpp).
  void CreateUpdateFlow();
  void StartWatchingClicks();
  void StopWatchingClicks();
  void ReleaseDesktopHooks();

  // The record page's source row, frame rate and output folder.
  void FindSourceControls();
  void LoadSourceOptions();
  void OnRecordAreaChosen(RecordArea area);
  void OnFollowSizeChosen(int index);
  void OnFrameRateChosen(int index);
  void ChooseOutputFolder();
  void OpenRegionSelector();
  void RefreshCameraChoice();
  void OpenCameraPreview();
  // Closes the preview when it is open; the camera is free on return.
  void CloseCameraPreview();
  // Closes the preview before a camera recording opens the camera; true when
  // it was open.
  bool CloseCameraPreviewForRecording();
  // Source controls are locked while a recording runs.
  void LockSourceControls(bool locked);
  // Region mode: the frame is locked while recording, unlocked after.
  void LockRegionFrame();
  void UnlockRegionFrameLater();
  void ShowRegionFrame();
  void HideRegionFrame();

  SettingsStore& settings_;
  Services services_;

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
  QLabel* recordStateText_ = nullptr;
  QListWidget* fileListView_ = nullptr;
  QPushButton* brushButton_ = nullptr;
  QAbstractButton* recordAreaOptions_[4] = {};
  QComboBox* followSizeList_ = nullptr;
  QPushButton* regionSelectButton_ = nullptr;
  QComboBox* frameRateList_ = nullptr;
  QLineEdit* outputDirEdit_ = nullptr;
  QPushButton* outputChooseButton_ = nullptr;
  QPushButton* outputOpenButton_ = nullptr;
  QPushButton* cameraPreviewButton_ = nullptr;
  bool cameraListed_ = false;
  // The cut page's player; a child object of the window.
  CutPagePlayer* cutPlayer_ = nullptr;
  std::unique_ptr<tools::ToolPages> tools_;

  // Record page state.
  bool loadingOptions_ = false;  // the options are being set from the settings
  int uiState_ = kUiIdle;
  std::string containerExt_ = "mp4";
  std::string containerName_ = "mp4";
  int quality_ = 1;
  std::string outputDir_;
  std::string currentFileName_;
  int panelMode_ = 0;
  int regionMode_ = 0;
  QPoint panelPosition_;
  // The floating control panel's window while it exists.
  QPointer<QWidget> floatingPanel_;
  // The panel itself: made at the first recording in panel mode, kept for
  // the later ones, destroyed with the window.
  std::unique_ptr<WindowImplBase> suspendDialog_;
  bool trayBlinkPhase_ = false;
  bool quitPending_ = false;   // closing once the last file is complete
  bool startPending_ = false;  // starting once the last file is complete
  // Counts the recordings started; written by the UI thread before the
  // engine's threads of a recording exist, read by them.
  std::atomic<quintptr> recordingNumber_{0};

  // Files the engine finished, written by its finishing thread, taken by the
  // UI thread on kWmRecordFinished.
  std::mutex finishedLock_;
  std::deque<RecordingResult> finishedFiles_;

  std::unique_ptr<RecordedFileList> fileList_;
  std::unique_ptr<MainTrayIcon> trayIcon_;
  std::unique_ptr<MainHotKeys> hotKeys_;
  // Uses the tray icon: declared after it, so destroyed before it.
  std::unique_ptr<FinishedNotice> finishedNotice_;
  // The tray menu while it is open (it deletes itself).
  QPointer<CMainTaskMenu> trayMenu_;
  std::unique_ptr<platform::ClickMonitor> clickMonitor_;
  std::unique_ptr<CVideoMask> videoMask_;
  // The snapshot selector while it is open (it deletes itself).
  QPointer<CUserDefineRegion> regionSelector_;
  // The camera preview while it is open (it deletes itself).
  QPointer<CCameraWindow> cameraWindow_;
  // The settings dialog while it exists (it deletes itself).
  QPointer<SetingDialog> settingsDialog_;
  // The sound meters; the engine reports to them, so they go after it.
  std::unique_ptr<RecordPageMeters> soundMeters_;
  // The screen brush's canvas while it is open (it deletes itself).
  QPointer<CScreenMask> screenBrush_;
  std::unique_ptr<UpdateFlow> updateFlow_;
  // Declared last, so destroyed first: its threads end (and stop calling the
  // listener) before anything they report to goes.
  std::unique_ptr<Recorder> recorder_;
};

}  // namespace tarn::ui
