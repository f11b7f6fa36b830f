// The tray menu, the row menu and the rename dialog: where the menus open,
// what their items post, and the rename dialog's answers.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <string>
#include <vector>

#include "tests/support/qt_wait.h"
#include "ui/main/main_messages.h"
#include "ui/main/main_task_menu.h"
#include "ui/main/menu_placement.h"
#include "ui/main/pop_menu.h"
#include "ui/main/rename_file_dialog.h"

namespace tarn::ui {
namespace {

// Collects the private messages posted to it.
class MessageSink : public QWidget {
 public:
  struct Received {
    unsigned message;
    quintptr wParam;
  };
  std::vector<Received> received;

 protected:
  bool event(QEvent* event) override {
    if (event->type() == CustomMessageEvent::Type()) {
      auto* message = static_cast<CustomMessageEvent*>(event);
      received.push_back({message->message(), message->wParam()});
      return true;
    }
    return QWidget::event(event);
  }
};

class MenuTest : public ::testing::Test {
 protected:
  void SetUp() override { WindowImplBase::SetResourcePath(TARN_SOURCE_SKIN_DIR); }
  void TearDown() override { WindowImplBase::SetResourcePath(QString()); }
};

TEST(MenuPlacementTest, TrayMenuStaysInsideTheWorkArea) {
  const QRect workArea(0, 0, 1920, 1040);  // a panel takes the bottom 40 rows
  const QSize menu(150, 200);
  struct Case {
    QPoint cursor;
    QPoint expected;
    const char* what;
  };
  const Case cases[] = {
      {{400, 300}, {406, 294}, "room everywhere: at the cursor, 6 right and 6 up"},
      // The tray sits in the panel, below the work area and near the right edge.
      {{1900, 1060}, {1770, 840}, "bottom-right corner: above and to the left of the cursor"},
      {{1000, 1030}, {1006, 824}, "near the bottom: its bottom at the cursor"},
      {{1850, 100}, {1770, 94}, "near the right edge: right-aligned with the work area"},
      {{400, 2}, {406, 0}, "at the top edge: not above the work area"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const QPoint placed = PlaceTrayMenu(c.cursor, menu, workArea);
    EXPECT_EQ(placed, c.expected);
    EXPECT_TRUE(workArea.contains(QRect(placed, menu))) << placed.x() << "," << placed.y();
  }
  // A menu taller than the work area starts at its top.
  EXPECT_EQ(PlaceTrayMenu({10, 900}, QSize(150, 2000), workArea).y(), 0);
}

TEST(MenuPlacementTest, RowMenuOpensToTheLeftOfTheClick) {
  const QRect workArea(0, 0, 1920, 1040);
  const QSize menu(150, 120);
  EXPECT_EQ(PlacePopMenu({500, 300}, menu, workArea), QPoint(350, 300));
  // Near the bottom it sits on the work area's bottom.
  EXPECT_EQ(PlacePopMenu({500, 1000}, menu, workArea), QPoint(350, 920));
  // Past the right edge it is moved left by as much before opening leftwards.
  EXPECT_EQ(PlacePopMenu({1900, 300}, menu, workArea), QPoint(1620, 300));
  // Close to the left edge it does not leave the screen.
  EXPECT_EQ(PlacePopMenu({100, 300}, menu, workArea), QPoint(0, 300));
}

TEST_F(MenuTest, TrayMenuItemsPostTheirMessagesAndClose) {
  struct Case {
    const char* item;
    unsigned message;
  };
  const Case cases[] = {
      {"main_menu_item_home", kWmShowMain},       {"main_menu_item_seting", kWmOpenSettings},
      {"main_menu_item_help", kWmOpenHelp},       {"main_menu_item_feedback", kWmOpenFeedback},
      {"main_menu_item_upgrade", kWmCheckUpdate}, {"main_menu_item_quit", kWmAppQuit},
  };
  MessageSink mainWindow;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.item);
    QPointer<CMainTaskMenu> menu = CMainTaskMenu::Open(&mainWindow, QPoint(200, 200));
    ASSERT_TRUE(menu);
    EXPECT_TRUE(menu->isVisible());
    EXPECT_EQ(menu->property("windowClass").toString(), "CDuiMenu ");
    mainWindow.received.clear();
    menu->FindControl<QAbstractButton>(c.item)->click();
    // The menu closes and deletes itself; the message arrives.
    ASSERT_TRUE(test::WaitUntil([&] { return menu.isNull() && !mainWindow.received.empty(); }, 2000));
    ASSERT_EQ(mainWindow.received.size(), 1u);
    EXPECT_EQ(mainWindow.received[0].message, c.message);
  }
}

// How a recording item of the tray menu shows: hidden, shown disabled, shown enabled.
std::string ItemLook(CMainTaskMenu& menu, const char* item) {
  auto* button = menu.FindControl<QAbstractButton>(item);
  if (button == nullptr) return "missing";
  if (!button->isVisible()) return "-";
  return button->isEnabled() ? "on" : "off";
}

std::vector<std::string> RecordingItemLooks(CMainTaskMenu& menu) {
  return {ItemLook(menu, "main_menu_item_start"), ItemLook(menu, "main_menu_item_pause"),
          ItemLook(menu, "main_menu_item_resume"), ItemLook(menu, "main_menu_item_stop")};
}

TEST_F(MenuTest, TrayMenuOffersWhatTheRecordingsStateAllows) {
  struct Case {
    TrayRecordingState state;
    std::vector<std::string> looks;  // start, pause, resume, stop
    const char* what;
  };
  const Case cases[] = {
      {TrayRecordingState::kIdle, {"on", "-", "-", "off"}, "idle: start"},
      {TrayRecordingState::kRecording, {"-", "on", "-", "on"}, "recording: pause and stop"},
      {TrayRecordingState::kPaused, {"-", "-", "on", "on"}, "paused: resume and stop"},
      {TrayRecordingState::kFinishing, {"off", "-", "-", "off"}, "file being finished: nothing"},
  };
  MessageSink mainWindow;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    QPointer<CMainTaskMenu> menu = CMainTaskMenu::Open(&mainWindow, QPoint(200, 200), c.state);
    ASSERT_TRUE(menu);
    EXPECT_EQ(RecordingItemLooks(*menu), c.looks);
    menu->close();
    ASSERT_TRUE(test::WaitUntil([&] { return menu.isNull(); }, 2000));
  }

  // An open menu follows a state changed meanwhile, and grows for the item it shows.
  QPointer<CMainTaskMenu> menu = CMainTaskMenu::Open(&mainWindow, QPoint(200, 200));
  ASSERT_TRUE(menu);
  menu->ShowRecordingState(TrayRecordingState::kPaused);
  EXPECT_EQ(RecordingItemLooks(*menu), (std::vector<std::string>{"-", "-", "on", "on"}));
  const auto* resume = menu->FindControl<QAbstractButton>("main_menu_item_resume");
  EXPECT_TRUE(menu->rect().contains(resume->geometry())) << "the menu did not make room for resume";
  EXPECT_EQ(resume->accessibleName(), QString::fromUtf8("继续录制"));
  menu->close();
  ASSERT_TRUE(test::WaitUntil([&] { return menu.isNull(); }, 2000));
}

TEST_F(MenuTest, TrayMenuRecordingItemsPostTheRecordingMessages) {
  struct Case {
    const char* item;
    const char* text;
    TrayRecordingState state;
    unsigned message;
  };
  const Case cases[] = {
      {"main_menu_item_start", "开始录制", TrayRecordingState::kIdle, kWmRecordStart},
      {"main_menu_item_pause", "暂停录制", TrayRecordingState::kRecording, kWmRecordPause},
      {"main_menu_item_resume", "继续录制", TrayRecordingState::kPaused, kWmRecordStart},
      {"main_menu_item_stop", "停止录制", TrayRecordingState::kPaused, kWmRecordStop},
  };
  MessageSink mainWindow;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.item);
    QPointer<CMainTaskMenu> menu = CMainTaskMenu::Open(&mainWindow, QPoint(200, 200), c.state);
    ASSERT_TRUE(menu);
    auto* item = menu->FindControl<QAbstractButton>(c.item);
    EXPECT_EQ(item->text(), QString::fromUtf8(c.text));
    EXPECT_EQ(item->accessibleName(), QString::fromUtf8(c.text));
    mainWindow.received.clear();
    item->click();
    ASSERT_TRUE(test::WaitUntil([&] { return menu.isNull() && !mainWindow.received.empty(); }, 2000));
    ASSERT_EQ(mainWindow.received.size(), 1u);
    EXPECT_EQ(mainWindow.received[0].message, c.message);
  }
  // A disabled item posts nothing.
  QPointer<CMainTaskMenu> menu =
      CMainTaskMenu::Open(&mainWindow, QPoint(200, 200), TrayRecordingState::kFinishing);
  ASSERT_TRUE(menu);
  mainWindow.received.clear();
  menu->FindControl<QAbstractButton>("main_menu_item_start")->click();
  menu->FindControl<QAbstractButton>("main_menu_item_stop")->click();
  test::RunEvents(100);
  EXPECT_TRUE(mainWindow.received.empty());
  EXPECT_FALSE(menu.isNull());
  menu->close();
  ASSERT_TRUE(test::WaitUntil([&] { return menu.isNull(); }, 2000));
}

TEST_F(MenuTest, RowMenuItemsPostTheRowsListAndIndex) {
  MessageSink mainWindow;
  struct Case {
    const char* item;
    unsigned message;
  };
  const Case cases[] = {{"file-open-dir", kWmFileOpenDir},
                        {"file-rename", kWmFileRename},
                        {"file-remove", kWmFileRemove},
                        {"file-delete", kWmFileDelete}};
  int index = 7;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.item);
    QPointer<PopMenu> menu = PopMenu::Open(&mainWindow, kListCompress, index, QPoint(600, 400));
    ASSERT_TRUE(menu);
    mainWindow.received.clear();
    menu->FindControl<QAbstractButton>(c.item)->click();
    ASSERT_TRUE(test::WaitUntil([&] { return menu.isNull() && !mainWindow.received.empty(); }, 2000));
    EXPECT_EQ(mainWindow.received[0].message, c.message);
    const FileMenuRequest request = UnpackFileMenuRequest(mainWindow.received[0].wParam);
    EXPECT_EQ(request.listKind, kListCompress);
    EXPECT_EQ(request.index, index);
    ++index;
  }
  // Closing the menu without choosing posts nothing.
  QPointer<PopMenu> menu = PopMenu::Open(&mainWindow, kListRecorded, 1, QPoint(600, 400));
  ASSERT_TRUE(menu);
  mainWindow.received.clear();
  menu->close();
  ASSERT_TRUE(test::WaitUntil([&] { return menu.isNull(); }, 2000));
  test::RunEvents(50);
  EXPECT_TRUE(mainWindow.received.empty());
}

TEST_F(MenuTest, RenameDialogRefusesAnEmptyNameAndReturnsTheTypedOne) {
  // Confirming an empty input shows the error and keeps the dialog open;
  // then a name is typed and confirmed.
  QString errorShown;
  bool stillOpenAfterEmpty = false;
  test::AnswerWhenShown("RenameFileDialog", [&](QWidget* dialog) {
    auto* input = dialog->findChild<QLineEdit*>("renameFileInput");
    EXPECT_EQ(input->text(), "20261208093000.mp4");  // offered for editing
    input->clear();
    dialog->findChild<QAbstractButton*>("renameFileConfirm")->click();
    errorShown = dialog->findChild<QLabel*>("renameError")->text();
    stillOpenAfterEmpty = dialog->isVisible();
    input->setText("holiday");
    dialog->findChild<QAbstractButton*>("renameFileConfirm")->click();
  });
  QString newName;
  EXPECT_EQ(RenameFileDialog::Ask(nullptr, "20261208093000.mp4", &newName), 1);
  EXPECT_EQ(errorShown, QString::fromUtf8("请输入新的文件名!"));
  EXPECT_TRUE(stillOpenAfterEmpty);
  EXPECT_EQ(newName, "holiday");

  test::ClickWhenShown("RenameFileDialog", "renameFileCancel");
  newName.clear();
  EXPECT_EQ(RenameFileDialog::Ask(nullptr, "a.mp4", &newName), 0);
  EXPECT_TRUE(newName.isEmpty());
}

}  // namespace
}  // namespace tarn::ui
