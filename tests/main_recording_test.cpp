// The main window driving real recordings of the test display: the buttons,
// the hot keys pressed with xdotool, pause and resume, the elapsed time, the
// tray icon, and the finished file joining the list.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLabel>
#include <QPushButton>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tests/support/main_window_fixture.h"
#include "tests/support/media_probe.h"
#include "ui/main/main_hot_keys.h"
#include "ui/main/main_messages.h"
#include "ui/main/main_tray_icon.h"

namespace tarn::ui {
namespace {

namespace fs = std::filesystem;

std::string TextOf(CMainWnd& window, const char* label) {
  return window.FindControl<QLabel>(label)->text().toStdString();
}

class MainRecordingTest : public test::MainWindowFixture {
 protected:
  void SetUp() override {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "DISPLAY is not set: no screen to record";
    MainWindowFixture::SetUp();
    // Short, small recordings without sound keep these tests quick; the
    // engine's own tests cover the sound.
    settings_.SetString(kAudioMuteCheck, "1");
    settings_.SetString(kVideoFramerate, "10");
  }

  QPushButton* Button(const char* name) { return window_->FindControl<QPushButton>(name); }

  // Waits for the recordings list to hold `rows` rows.
  bool WaitForRows(int rows, int timeoutMs = 15000) {
    return test::WaitUntil([&] { return List()->count() >= rows; }, timeoutMs);
  }

  std::vector<std::string> RecordingsOnDisk() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(outputDir_)) names.push_back(entry.path().filename());
    return names;
  }
};

TEST_F(MainRecordingTest, StartPauseResumeStopWithTheButtons) {
  using Clock = std::chrono::steady_clock;
  CMainWnd& window = OpenWindow();
  const Clock::time_point started = Clock::now();
  Button("recorderStartBtn")->click();
  ASSERT_EQ(window.recorder().state(), kStateRecording);
  EXPECT_EQ(window.recordingUiState(), kUiRecording);
  EXPECT_TRUE(Button("recorderPauseBtn")->isVisible());
  EXPECT_FALSE(Button("recorderStartBtn")->isVisible());
  EXPECT_TRUE(Button("recorderStopBtn")->isEnabled());
  EXPECT_EQ(window.trayIcon().tip(), QString::fromUtf8("录制中..."));
  EXPECT_EQ(window.trayIcon().balloon(), QString::fromUtf8("录制中..."));
  EXPECT_TRUE(window.IsTimerRunning(kTimerTrayBlink));
  const std::string fileName = window.currentFileName();
  EXPECT_EQ(fileName.size(), 18u);  // 14 digits, ".mp4"
  EXPECT_EQ(fileName.substr(14), ".mp4");

  // The elapsed time follows the engine's reports.
  ASSERT_TRUE(test::WaitUntil([&] { return TextOf(window, "recordTimeText") == "00:00:01"; }, 5000));
  // The tray icon blinks while recording.
  const int before = window.trayIcon().iconId();
  EXPECT_TRUE(test::WaitUntil([&] { return window.trayIcon().iconId() != before; }, 3000));
  EXPECT_TRUE(test::WaitUntil([&] { return window.trayIcon().iconId() == before; }, 3000));

  const Clock::time_point paused = Clock::now();
  Button("recorderPauseBtn")->click();
  EXPECT_EQ(window.recorder().state(), kStatePaused);
  EXPECT_EQ(window.recordingUiState(), kUiPaused);
  EXPECT_TRUE(Button("recorderStartBtn")->isVisible());
  EXPECT_EQ(Button("recorderStartBtn")->text(), QString::fromUtf8("继续录制"));
  EXPECT_TRUE(Button("recorderStopBtn")->isEnabled());
  EXPECT_FALSE(window.IsTimerRunning(kTimerTrayBlink));
  EXPECT_EQ(window.trayIcon().iconId(), kTrayIconAlternate);
  EXPECT_EQ(window.trayIcon().tip(), QString::fromUtf8("暂停录制..."));
  test::RunEvents(1000);

  // Start while paused resumes the same file.
  const Clock::time_point resumed = Clock::now();
  Button("recorderStartBtn")->click();
  EXPECT_EQ(window.recorder().state(), kStateRecording);
  EXPECT_EQ(window.currentFileName(), fileName);
  EXPECT_EQ(window.trayIcon().balloon(), QString());
  test::RunEvents(800);

  const Clock::time_point stopped = Clock::now();
  Button("recorderStopBtn")->click();
  EXPECT_EQ(window.recordingUiState(), kUiStopped);
  EXPECT_EQ(TextOf(window, "recordTimeText"), "00:00:00");
  EXPECT_TRUE(Button("recorderStartBtn")->isVisible());
  EXPECT_FALSE(Button("recorderPauseBtn")->isVisible());
  EXPECT_EQ(Button("recorderStartBtn")->text(), QString::fromUtf8("开始录制"));
  EXPECT_FALSE(Button("recorderStopBtn")->isEnabled());
  EXPECT_EQ(window.trayIcon().iconId(), kTrayIconNormal);
  EXPECT_EQ(window.trayIcon().tip(), QString::fromUtf8("高清视频录制软件"));
  EXPECT_EQ(window.trayIcon().balloon(), QString::fromUtf8("已停止..."));

  // The row appears once the file is complete, with its real size and duration.
  ASSERT_TRUE(WaitForRows(1));
  QWidget* row = List()->itemWidget(List()->item(0));
  EXPECT_EQ(row->findChild<QLabel*>("fileNameLabel")->text().toStdString(), fileName);
  const std::string path = outputDir_ + "/" + fileName;
  EXPECT_EQ(row->findChild<QLabel*>("fileSizeLabel")->text().toStdString(),
            FormatFileSize(static_cast<std::int64_t>(fs::file_size(path))));
  EXPECT_NE(row->findChild<QLabel*>("fileSizeLabel")->text(), "0B");
  const test::MediaInfo media = test::ProbeMedia(path);
  ASSERT_TRUE(media.opened);
  const test::StreamInfo* video = media.Find(AVMEDIA_TYPE_VIDEO);
  ASSERT_NE(video, nullptr);
  // As long as the recording ran; the 1 s pause adds nothing.
  const double runSeconds =
      std::chrono::duration<double>((paused - started) + (stopped - resumed)).count();
  EXPECT_NEAR(video->duration(), runSeconds, 0.4);
  const double listed = window.fileList().Find(row->property("tag").toInt())->duration;
  EXPECT_NEAR(listed, video->duration(), 0.15);
  EXPECT_EQ(row->findChild<QLabel*>("durationLabel")->text().toStdString(), FormatDuration(listed));
  // ... and is selected at the end of the list.
  ASSERT_TRUE(test::WaitUntil([&] { return List()->currentRow() == 0; }, 2000));
}

TEST_F(MainRecordingTest, StartTwiceStopWhilePausedAndLateReports) {
  settings_.SetString(kVideoFormat, "mkv");
  CMainWnd& window = OpenWindow();
  Button("recorderStartBtn")->click();
  const std::string fileName = window.currentFileName();
  EXPECT_EQ(fileName.substr(14), ".mkv");
  // A second start while recording changes nothing.
  PostMessage(&window, kWmRecordStart, 0, 0);
  test::RunEvents(600);
  EXPECT_EQ(window.currentFileName(), fileName);
  EXPECT_EQ(window.recorder().state(), kStateRecording);

  PostMessage(&window, kWmRecordPause, 0, 0);
  test::RunEvents(50);
  EXPECT_EQ(window.recorder().state(), kStatePaused);
  // Elapsed seconds as the engine reports them (paused: no report of its own
  // comes in between).
  PostMessage(&window, kWmRecordSecondsMessage, 0, 3725);
  test::RunEvents(50);
  EXPECT_EQ(TextOf(window, "recordTimeText"), "01:02:05");
  // A late report of another recording (its number is not this one's) is ignored.
  PostMessage(&window, kWmRecordSecondsMessage, 77, 59);
  test::RunEvents(50);
  EXPECT_EQ(TextOf(window, "recordTimeText"), "01:02:05");
  // Stop while paused finishes the file and lists it.
  PostMessage(&window, kWmRecordStop, 0, 0);
  test::RunEvents(50);
  EXPECT_EQ(TextOf(window, "recordTimeText"), "00:00:00");
  // A report still on its way when the recording stopped changes nothing.
  PostMessage(&window, kWmRecordSecondsMessage, 0, 12);
  test::RunEvents(50);
  EXPECT_EQ(TextOf(window, "recordTimeText"), "00:00:00");

  ASSERT_TRUE(WaitForRows(1));
  EXPECT_EQ(RecordingsOnDisk(), std::vector<std::string>{fileName});
  const test::MediaInfo media = test::ProbeMedia(outputDir_ + "/" + fileName);
  ASSERT_TRUE(media.opened);
  EXPECT_EQ(media.format, "matroska,webm");
  // Stopping again does nothing.
  PostMessage(&window, kWmRecordStop, 0, 0);
  test::RunEvents(300);
  EXPECT_EQ(List()->count(), 1);
}

TEST_F(MainRecordingTest, HotKeysStartPauseResumeAndStop) {
  if (std::system("command -v xdotool >/dev/null 2>&1") != 0) GTEST_SKIP() << "xdotool is not installed";
  CMainWnd& window = OpenWindow(/*realHotKeys=*/true);
  if (!window.hotKeys().startPauseActive() || !window.hotKeys().stopActive()) {
    GTEST_SKIP() << "Alt+F8 / Alt+F12 are held by another program on this display";
  }
  const auto press = [](const char* keys) {
    return std::system((std::string("xdotool key ") + keys).c_str()) == 0;
  };
  ASSERT_TRUE(press("alt+F8"));
  ASSERT_TRUE(test::WaitUntil([&] { return window.recorder().state() == kStateRecording; }, 5000));
  test::RunEvents(700);
  ASSERT_TRUE(press("alt+F8"));
  ASSERT_TRUE(test::WaitUntil([&] { return window.recorder().state() == kStatePaused; }, 5000));
  EXPECT_EQ(window.recordingUiState(), kUiPaused);
  // Pressed while paused, start/pause resumes (the UI state is 2, not 1).
  ASSERT_TRUE(press("alt+F8"));
  ASSERT_TRUE(test::WaitUntil([&] { return window.recorder().state() == kStateRecording; }, 5000));
  test::RunEvents(700);
  ASSERT_TRUE(press("alt+F12"));
  ASSERT_TRUE(test::WaitUntil([&] { return window.recorder().state() == kStateStopped; }, 5000));
  ASSERT_TRUE(WaitForRows(1));
  EXPECT_EQ(RecordingsOnDisk().size(), 1u);
  EXPECT_EQ(Setting("hotkey", "start-pause-key2"), "119");
}

TEST_F(MainRecordingTest, AStartThatFailsSaysSoAndLeavesTheWindowIdle) {
  // The recordings folder is a path below a regular file: nothing can be written.
  std::ofstream(home_ / "plain-file") << "x";
  settings_.SetString(kOutputDir, home_ / "plain-file/videos");
  CMainWnd& window = OpenWindow();
  QString prompt;
  test::ClickWhenShown("PromptBoxDialog", "msgConfirm", &prompt);
  Button("recorderStartBtn")->click();
  // The prompt names the cause: the folder, and why it cannot be written.
  EXPECT_TRUE(prompt.startsWith(QString::fromUtf8(kStartFailedText))) << prompt.toStdString();
  EXPECT_TRUE(prompt.contains(QString::fromStdString(home_ / "plain-file/videos"))) << prompt.toStdString();
  EXPECT_EQ(window.recordingUiState(), kUiIdle);
  EXPECT_NE(window.recorder().state(), kStateRecording);
  EXPECT_TRUE(Button("recorderStartBtn")->isVisible());
  EXPECT_EQ(window.trayIcon().tip(), QString::fromUtf8("高清视频录制软件"));
}

TEST_F(MainRecordingTest, AWatermarkThatCannotBeAddedIsPromptedAndTheRecordingGoesOn) {
  settings_.SetString(kWatermarkType, "2");
  settings_.SetString(kWatermarkFontFamily, "Comic Sans");  // names no font file
  CMainWnd& window = OpenWindow();
  QString prompt;
  test::ClickWhenShown("PromptBoxDialog", "msgConfirm", &prompt);
  Button("recorderStartBtn")->click();
  EXPECT_EQ(prompt, QString::fromUtf8("水印无法添加，本次录制不带水印"));
  EXPECT_EQ(window.recorder().state(), kStateRecording);
  EXPECT_EQ(window.recordingUiState(), kUiRecording);
  test::RunEvents(600);
  Button("recorderStopBtn")->click();
  ASSERT_TRUE(window.recorder().WaitUntilFinished(20000));
  EXPECT_TRUE(window.recorder().lastFinishOk()) << window.recorder().lastResult().reason;
}

TEST_F(MainRecordingTest, AFrameRateOutsideTheRangeRecordsAtTheDefault) {
  for (const char* rate : {"0", "121", "100000"}) {
    SCOPED_TRACE(rate);
    settings_.SetString(kVideoFramerate, rate);
    CMainWnd& window = OpenWindow();
    Button("recorderStartBtn")->click();
    EXPECT_EQ(window.recorder().state(), kStateRecording);
    EXPECT_EQ(window.recorder().frameRate(), kVideoFramerateRecordDefault);
    test::RunEvents(400);
    Button("recorderStopBtn")->click();
    ASSERT_TRUE(window.recorder().WaitUntilFinished(20000));
  }
}

TEST_F(MainRecordingTest, AMissingCameraIsPromptedAndNothingStarts) {
  CMainWnd& window = OpenWindow();
  // The camera as the video source, and no camera on this machine.
  settings_.SetString(kVideoSource, "1");
  QString prompt;
  test::ClickWhenShown("PromptBoxDialog", "msgConfirm", &prompt);
  Button("recorderStartBtn")->click();
  EXPECT_EQ(prompt, QString::fromUtf8("获取视频设备失败"));
  EXPECT_EQ(window.recordingUiState(), kUiIdle);
  EXPECT_TRUE(Button("recorderStartBtn")->isVisible());

  EXPECT_TRUE(fs::is_empty(outputDir_));
}

TEST_F(MainRecordingTest, QuitWhileRecordingAsksThenFinishesTheFileBeforeClosing) {
  settings_.SetString(kWindowClose, "1");
  CMainWnd& window = OpenWindow();
  Button("recorderStartBtn")->click();
  test::RunEvents(800);
  const std::string path = outputDir_ + "/" + window.currentFileName();

  // Cancelled: the recording goes on.
  QString question;
  test::ClickWhenShown("MessageBoxDialog", "msgCancel", &question);
  PostMessage(&window, kWmAppQuit, 0, 0);
  test::RunEvents(300);
  EXPECT_EQ(question, QString::fromUtf8("正在录制中,确定要退出吗?"));
  EXPECT_TRUE(window.isVisible());
  EXPECT_EQ(closedCount_, 0);
  EXPECT_EQ(window.recorder().state(), kStateRecording);

  // Confirmed: the window closes once the file is complete.
  test::ClickWhenShown("MessageBoxDialog", "msgConfirm");
  PostMessage(&window, kWmAppQuit, 0, 0);
  ASSERT_TRUE(test::WaitUntil([&] { return !window.isVisible(); }, 10000));
  EXPECT_EQ(closedCount_, 1);
  EXPECT_TRUE(window.recorder().WaitUntilFinished(0));
  const test::MediaInfo media = test::ProbeMedia(path);
  ASSERT_TRUE(media.opened);
  ASSERT_NE(media.Find(AVMEDIA_TYPE_VIDEO), nullptr);
  EXPECT_GT(media.Find(AVMEDIA_TYPE_VIDEO)->packets, 3);
}

TEST_F(MainRecordingTest, SessionEndStopsWithoutAskingAndClicksAreWatchedOnlyWhileRecording) {
  settings_.SetString(kMouseEffectClickCheck, "1");
  CMainWnd& window = OpenWindow();
  EXPECT_FALSE(window.watchingClicks());
  Button("recorderStartBtn")->click();
  EXPECT_TRUE(window.watchingClicks());
  test::RunEvents(600);
  const std::string path = outputDir_ + "/" + window.currentFileName();
  // No question is asked (one would be answered "keep recording" here).
  bool asked = false;
  test::AnswerWhenShown("MessageBoxDialog", [&](QWidget* dialog) {
    asked = true;
    dialog->findChild<QPushButton*>("msgCancel")->click();
  });
  PostMessage(&window, kWmClose, kCloseForSessionEnd, 0);
  ASSERT_TRUE(test::WaitUntil([&] { return !window.isVisible(); }, 10000));
  EXPECT_FALSE(asked);
  EXPECT_FALSE(window.watchingClicks());
  EXPECT_TRUE(test::ProbeMedia(path).opened);
}

TEST_F(MainRecordingTest, PanelModePlacesThePanelInsideTheWorkArea) {
  settings_.SetString(kSuspendCheck, "1");
  settings_.SetString(kSuspendSection, "top", "-10");
  settings_.SetString(kSuspendSection, "right", "100000");
  CMainWnd& window = OpenWindow();
  Button("recorderStartBtn")->click();
  EXPECT_EQ(window.panelPosition(), QPoint(0, 0));
  // The floating panel takes over from the main window.
  EXPECT_TRUE(window.isMinimized());
  QWidget* panel = test::VisibleWindowOfClass("SuspendDialog");
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(panel->pos(), QPoint(0, 0));
  test::RunEvents(500);  // a recording stopped before its first picture holds nothing
  PostMessage(&window, kWmRecordStop, 0, 0);
  ASSERT_TRUE(WaitForRows(1));
}

TEST_F(MainRecordingTest, StopThenStartAtOnceKeepsBothRecordings) {
  CMainWnd& window = OpenWindow();
  Button("recorderStartBtn")->click();
  test::RunEvents(700);
  const std::string first = window.currentFileName();
  Button("recorderStopBtn")->click();
  // Started again within the same second, before the first file is complete:
  // the start waits for it without holding up the window, and takes a name
  // of its own.
  Button("recorderStartBtn")->click();
  EXPECT_TRUE(window.startWaitingForFile());
  ASSERT_TRUE(test::WaitUntil([&] { return window.recorder().state() == kStateRecording; }, 10000));
  const std::string second = window.currentFileName();
  EXPECT_NE(second, first);
  test::RunEvents(700);
  Button("recorderStopBtn")->click();
  ASSERT_TRUE(WaitForRows(2));
  for (const std::string& name : {first, second}) {
    SCOPED_TRACE(name);
    const test::MediaInfo media = test::ProbeMedia(outputDir_ + "/" + name);
    ASSERT_TRUE(media.opened);
    ASSERT_NE(media.Find(AVMEDIA_TYPE_VIDEO), nullptr);
    EXPECT_GT(media.Find(AVMEDIA_TYPE_VIDEO)->duration(), 0.3);
  }
}

TEST_F(MainRecordingTest, QuitRightAfterStopWaitsForTheFile) {
  CMainWnd& window = OpenWindow();
  Button("recorderStartBtn")->click();
  test::RunEvents(700);
  const std::string path = outputDir_ + "/" + window.currentFileName();
  Button("recorderStopBtn")->click();
  // Nothing records any more: no question, and the close waits for the file.
  PostMessage(&window, kWmAppQuit, 0, 0);
  ASSERT_TRUE(test::WaitUntil([&] { return !window.isVisible(); }, 10000));
  EXPECT_EQ(closedCount_, 1);
  EXPECT_TRUE(window.recorder().WaitUntilFinished(0));
  EXPECT_TRUE(test::ProbeMedia(path).opened);
}

TEST_F(MainRecordingTest, EveryQuickStartAfterAStopIsHonouredOnceTheFileIsComplete) {
  CMainWnd& window = OpenWindow();
  constexpr int kRecordings = 20;
  for (int i = 0; i < kRecordings; ++i) {
    SCOPED_TRACE(i);
    // Pressed while the last file may still be being finished.
    Button("recorderStartBtn")->click();
    ASSERT_TRUE(test::WaitUntil([&] { return window.recorder().state() == kStateRecording; }, 10000));
    test::RunEvents(250);
    Button("recorderStopBtn")->click();
  }
  ASSERT_TRUE(WaitForRows(kRecordings));
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(outputDir_)) {
    if (entry.path().filename().string()[0] != '.') ++files;
  }
  EXPECT_EQ(files, kRecordings);
}

TEST_F(MainRecordingTest, AFileTheEngineCouldNotFinishIsListedAndReported) {
  CMainWnd& window = OpenWindow();
  std::ofstream(outputDir_ + "/20261208101010.mp4") << "half a file";
  QString prompt;
  test::ClickWhenShown("PromptBoxDialog", "msgConfirm", &prompt);
  window.OnRecordingFinished({outputDir_ + "/20261208101010.mp4", false, "the disk is full"});
  ASSERT_TRUE(WaitForRows(1));
  ASSERT_TRUE(test::WaitUntil([&] { return !prompt.isEmpty(); }, 3000));
  EXPECT_EQ(prompt, QString::fromUtf8("录制文件未能完整保存: 20261208101010.mp4\nthe disk is full"));
}

}  // namespace
}  // namespace tarn::ui
