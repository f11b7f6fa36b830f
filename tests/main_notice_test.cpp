// The main window's word on a recording outside the window, with real
// recordings of the test display: the tray menu's recording items, the
// elapsed time in the tray's tool tip, and the desktop notice of the finished
// file on a private D-Bus with a test notification service.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLabel>
#include <QPointer>
#include <cstdlib>
#include <fstream>

#include "tests/support/main_window_fixture.h"
#include "tests/support/notification_bus.h"
#include "ui/main/finished_notice.h"
#include "ui/main/main_messages.h"
#include "ui/main/main_task_menu.h"
#include "ui/main/main_tray_icon.h"

namespace tarn::ui {
namespace {

class MainNoticeTest : public test::MainWindowFixture {
 protected:
  void SetUp() override {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "DISPLAY is not set: no screen to record";
    if (!bus_.problem().empty()) GTEST_SKIP() << "no private D-Bus: " << bus_.problem();
    MainWindowFixture::SetUp();
    settings_.SetString(kAudioMuteCheck, "1");
    settings_.SetString(kVideoFramerate, "10");
    ASSERT_TRUE(server_.Serve(bus_.Connect("notification-service")));
    bus_.Connect("recorder-program");
    notificationBus_ = "recorder-program";
  }

  // Right-clicks the tray icon and returns the menu that opens.
  CMainTaskMenu* OpenTrayMenu() {
    PostMessage(window_.get(), kWmTrayIcon, 0, kWmRButtonDown);
    EXPECT_TRUE(test::WaitUntil([&] { return window_->trayMenu() != nullptr; }, 3000));
    return window_->trayMenu();
  }

  // Clicks `item` of the tray menu; the menu closes and its message arrives.
  void Choose(const char* item) {
    QPointer<CMainTaskMenu> menu = OpenTrayMenu();
    ASSERT_TRUE(menu);
    auto* button = menu->FindControl<QAbstractButton>(item);
    ASSERT_TRUE(button != nullptr && button->isVisible() && button->isEnabled()) << item;
    button->click();
    ASSERT_TRUE(test::WaitUntil([&] { return menu.isNull(); }, 3000));
    test::RunEvents(50);
  }

  std::string Elapsed() { return window_->FindControl<QLabel>("recordTimeText")->text().toStdString(); }

  test::PrivateBus bus_;
  test::TestNotificationServer server_;
};

TEST_F(MainNoticeTest, TheTrayFollowsARecordingAndTheFinishedFileIsAnnounced) {
  CMainWnd& window = OpenWindow();
  const QString idle = QString::fromUtf8("高清视频录制软件");
  EXPECT_EQ(window.trayIcon().toolTip(), idle);

  Choose("main_menu_item_start");
  ASSERT_EQ(window.recorder().state(), kStateRecording);
  EXPECT_EQ(window.trayIcon().toolTip(), QString::fromUtf8("录制中... 00:00:00"));
  ASSERT_TRUE(test::WaitUntil([&] { return Elapsed() == "00:00:01"; }, 5000));
  EXPECT_EQ(window.trayIcon().toolTip(), QString::fromUtf8("录制中... 00:00:01"));

  Choose("main_menu_item_pause");
  ASSERT_EQ(window.recorder().state(), kStatePaused);
  EXPECT_EQ(window.trayIcon().toolTip(), QString::fromUtf8("暂停录制... ") + QString::fromStdString(Elapsed()));
  Choose("main_menu_item_resume");
  ASSERT_EQ(window.recorder().state(), kStateRecording);
  // The time goes on from where it was, not from zero.
  EXPECT_NE(window.trayIcon().toolTip(), QString::fromUtf8("录制中... 00:00:00"));
  test::RunEvents(500);
  const std::string path = outputDir_ + "/" + window.currentFileName();
  Choose("main_menu_item_stop");
  EXPECT_EQ(window.recorder().state(), kStateStopped);
  EXPECT_EQ(window.trayIcon().toolTip(), idle);

  // Until the file is complete nothing can be stopped; then a start is offered again.
  QPointer<CMainTaskMenu> menu = OpenTrayMenu();
  ASSERT_TRUE(menu);
  EXPECT_FALSE(menu->FindControl<QAbstractButton>("main_menu_item_stop")->isEnabled());
  EXPECT_FALSE(menu->FindControl<QAbstractButton>("main_menu_item_pause")->isVisible());
  ASSERT_TRUE(test::WaitUntil([&] { return List()->count() == 1; }, 15000));
  EXPECT_EQ(menu->recordingState(), TrayRecordingState::kIdle);
  EXPECT_TRUE(menu->FindControl<QAbstractButton>("main_menu_item_start")->isEnabled());
  menu->close();

  // The complete file is announced once, by name and folder.
  ASSERT_TRUE(test::WaitUntil([&] { return !server_.calls.empty(); }, 5000));
  ASSERT_EQ(server_.calls.size(), 1u);
  EXPECT_EQ(server_.calls[0].summary, QString::fromUtf8("录制完成"));
  EXPECT_EQ(server_.calls[0].body, QString::fromStdString(window.currentFileName()) +
                                       QString::fromUtf8("\n保存在 ") + QString::fromStdString(outputDir_));
  EXPECT_EQ(window.finishedNotice().announced(), std::vector<std::string>{path});

  // Its buttons play the file and open its folder through the desktop.
  const uint id = window.finishedNotice().lastNotificationId();
  opened_.clear();
  server_.InvokeAction(id, "play");
  server_.InvokeAction(id, "folder");
  ASSERT_TRUE(test::WaitUntil([&] { return opened_.size() == 2; }, 5000));
  EXPECT_EQ(opened_[0], QUrl::fromLocalFile(QString::fromStdString(path)));
  EXPECT_EQ(opened_[1], QUrl::fromLocalFile(QString::fromStdString(outputDir_)));
}

TEST_F(MainNoticeTest, ARecordingFinishedWhileTheProgramQuitsIsNotAnnounced) {
  CMainWnd& window = OpenWindow();
  Choose("main_menu_item_start");
  ASSERT_EQ(window.recorder().state(), kStateRecording);
  test::RunEvents(700);
  PostMessage(&window, kWmClose, kCloseForSessionEnd, 0);
  ASSERT_TRUE(test::WaitUntil([&] { return closedCount_ == 1; }, 10000));
  EXPECT_TRUE(window.recorder().lastFinishOk());
  EXPECT_TRUE(window.finishedNotice().announced().empty());
  EXPECT_TRUE(server_.calls.empty());
}

TEST_F(MainNoticeTest, OnlyCompleteFilesAreAnnounced) {
  CMainWnd& window = OpenWindow();
  const std::string half = outputDir_ + "/20261208101010.mp4";
  const std::string whole = outputDir_ + "/20261208101111.mkv";
  std::ofstream(half) << "half a file";
  std::ofstream(whole) << "a whole file";

  // Incomplete: the window says so, the desktop is not told.
  QString prompt;
  test::ClickWhenShown("PromptBoxDialog", "msgConfirm", &prompt);
  window.OnRecordingFinished({half, false, "the disk is full"});
  ASSERT_TRUE(test::WaitUntil([&] { return !prompt.isEmpty(); }, 3000));
  EXPECT_TRUE(window.finishedNotice().announced().empty());

  // Complete, though it ended by itself: the window says why, the desktop that it is there.
  prompt.clear();
  test::ClickWhenShown("PromptBoxDialog", "msgConfirm", &prompt);
  window.OnRecordingFinished({whole, true, "lost the X display"});
  ASSERT_TRUE(test::WaitUntil([&] { return !prompt.isEmpty() && !server_.calls.empty(); }, 5000));
  EXPECT_TRUE(prompt.startsWith(QString::fromUtf8("录制已结束: "))) << prompt.toStdString();
  EXPECT_TRUE(server_.calls[0].body.startsWith("20261208101111.mkv\n")) << server_.calls[0].body.toStdString();
  EXPECT_EQ(window.finishedNotice().announced(), std::vector<std::string>{whole});
}

}  // namespace
}  // namespace tarn::ui
