#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QThread>
#include <QTimer>
#include <QUiLoader>
#include <algorithm>
#include <fstream>
#include <thread>
#include <vector>

#include "tests/support/temp_dir.h"
#include "ui/framework/custom_message.h"
#include "ui/framework/window_impl_base.h"

namespace tarn::ui {
namespace {

struct Received {
  unsigned message;
  quintptr wParam;
  qintptr lParam;
  bool onUiThread;
};

class TestWindow : public WindowImplBase {
 public:
  explicit TestWindow(QString skin = "TestWindow.ui") : skin_(std::move(skin)) {}

  std::vector<TNotifyUI> notes;
  std::vector<Received> messages;
  std::vector<quintptr> closeParams;
  QString requiredControl;
  bool allowClose = true;
  int finalMessages = 0;

 protected:
  QString GetSkinFile() const override { return skin_; }
  QString GetWindowClassName() const override { return "TestWindow"; }
  void InitWindow() override {
    if (!requiredControl.isEmpty()) RequireControl<QWidget>(requiredControl);
  }
  void Notify(const TNotifyUI& msg) override { notes.push_back(msg); }
  qintptr HandleCustomMessage(unsigned message, quintptr wParam, qintptr lParam,
                              bool& handled) override {
    if (message == kWmClose) return WindowImplBase::HandleCustomMessage(message, wParam, lParam, handled);
    messages.push_back({message, wParam, lParam, QThread::currentThread() == qApp->thread()});
    handled = true;
    return lParam * 2;
  }
  bool OnClose(quintptr wParam) override {
    closeParams.push_back(wParam);
    return allowClose;
  }
  void OnFinalMessage() override { ++finalMessages; }

 private:
  QString skin_;
};

class WindowFrameworkTest : public ::testing::Test {
 protected:
  void SetUp() override { WindowImplBase::SetResourcePath(TARN_TEST_SKIN_DIR); }
  void TearDown() override { WindowImplBase::SetResourcePath(QString()); }
};

TEST_F(WindowFrameworkTest, ControlsNotifyWithTheirTypeAndName) {
  TestWindow window;
  window.Create(nullptr, "title");
  EXPECT_EQ(window.windowTitle(), "title");

  window.FindControl<QPushButton>("okBtn")->click();
  window.FindControl<QCheckBox>("some-check")->setChecked(true);
  window.FindControl<QSlider>("volume-slider")->setValue(42);
  window.FindControl<QLineEdit>("nameEdit")->setText("abc");
  auto* combo = window.FindControl<QComboBox>("sizeCombo");
  combo->addItems({"a", "b"});
  combo->setCurrentIndex(1);
  auto* list = window.FindControl<QListWidget>("fileList");
  list->addItems({"one", "two"});
  list->setCurrentRow(1);

  struct Expected {
    const char* type;
    const char* sender;
    int wParam;
  };
  const std::vector<Expected> expected = {
      {kNotifyClick, "okBtn", 0},           {kNotifySelectChanged, "some-check", 1},
      {kNotifyValueChanged, "volume-slider", 42}, {kNotifyTextChanged, "nameEdit", 0},
      {kNotifyItemSelect, "sizeCombo", 0},  // the first item added becomes current
      {kNotifyItemSelect, "sizeCombo", 1},  {kNotifyItemSelect, "fileList", 1},
  };
  ASSERT_EQ(window.notes.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(window.notes[i].sType, expected[i].type);
    EXPECT_EQ(window.notes[i].senderName, expected[i].sender);
    EXPECT_EQ(window.notes[i].wParam, expected[i].wParam);
    EXPECT_NE(window.notes[i].pSender, nullptr);
  }
}

TEST_F(WindowFrameworkTest, LateControlsAreBoundOnce) {
  TestWindow window;
  window.Create(nullptr, "");
  EXPECT_EQ(window.windowTitle(), "from the layout");
  auto* row = new QWidget(window.FindControl<QListWidget>("fileList"));
  auto* rowButton = new QPushButton(row);
  rowButton->setObjectName("rowDeleteBtn");
  window.BindControls(row);
  window.BindControls(row);  // a second pass must not double the notifications
  rowButton->click();
  ASSERT_EQ(window.notes.size(), 1u);
  EXPECT_EQ(window.notes[0].senderName, "rowDeleteBtn");
}

TEST_F(WindowFrameworkTest, PostedMessagesArriveOnTheUiThreadWithTheirParameters) {
  TestWindow window;
  window.Create(nullptr, "");
  std::thread worker([&window] { PostMessage(&window, 0x0734, 7, 3725); });
  worker.join();
  EXPECT_TRUE(window.messages.empty());  // posted, not yet delivered
  QCoreApplication::processEvents();
  ASSERT_EQ(window.messages.size(), 1u);
  EXPECT_EQ(window.messages[0].message, 0x0734u);
  EXPECT_EQ(window.messages[0].wParam, 7u);
  EXPECT_EQ(window.messages[0].lParam, 3725);
  EXPECT_TRUE(window.messages[0].onUiThread);

  EXPECT_EQ(SendMessage(&window, 0x048F, 0, 21), 42);
  EXPECT_EQ(window.messages.size(), 2u);
}

TEST_F(WindowFrameworkTest, WindowTimersDeliverTheirIdUntilKilled) {
  TestWindow window;
  window.Create(nullptr, "");
  window.SetTimer(1002, 5);
  window.SetTimer(1001, 5);
  EXPECT_TRUE(window.IsTimerRunning(1002));
  QElapsedTimer clock;
  clock.start();
  auto count = [&window](quintptr id) {
    return std::count_if(window.messages.begin(), window.messages.end(), [id](const Received& r) {
      return r.message == kWmTimer && r.wParam == id;
    });
  };
  while ((count(1001) < 2 || count(1002) < 2) && clock.elapsed() < 5000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  EXPECT_GE(count(1001), 2);
  EXPECT_GE(count(1002), 2);
  window.KillTimer(1002);
  window.KillTimer(4242);  // never started: ignored
  EXPECT_FALSE(window.IsTimerRunning(1002));
  const auto before = count(1002);
  const qint64 until = clock.elapsed() + 50;
  while (clock.elapsed() < until) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  EXPECT_EQ(count(1002), before);
  EXPECT_GT(count(1001), 2);  // the other timer goes on
}

TEST_F(WindowFrameworkTest, CloseMessageCarriesItsParameterAndMayBeRefused) {
  TestWindow window;
  window.Create(nullptr, "");
  window.show();
  window.allowClose = false;
  PostMessage(&window, kWmClose, 1044, 0);
  QCoreApplication::processEvents();
  ASSERT_EQ(window.closeParams.size(), 1u);
  EXPECT_EQ(window.closeParams[0], 1044u);
  EXPECT_TRUE(window.isVisible());
  EXPECT_EQ(window.finalMessages, 0);

  window.allowClose = true;
  window.close();  // the close button: no parameter
  ASSERT_EQ(window.closeParams.size(), 2u);
  EXPECT_EQ(window.closeParams[1], 0u);
  EXPECT_FALSE(window.isVisible());
  EXPECT_EQ(window.finalMessages, 1);
}

TEST_F(WindowFrameworkTest, MissingLayoutOrControlFailsNamingTheMethod) {
  {
    TestWindow window("NoSuchWindow.ui");
    try {
      window.Create(nullptr, "");
      FAIL() << "a missing layout must fail";
    } catch (const WindowInitError& error) {
      const std::string text = error.what();
      EXPECT_NE(text.find("TestWindow::Init"), std::string::npos) << text;
      EXPECT_NE(text.find("NoSuchWindow.ui"), std::string::npos) << text;
    }
  }
  {
    TestWindow window;
    window.requiredControl = "recorderStartBtn";
    try {
      window.Create(nullptr, "");
      FAIL() << "a missing control must fail";
    } catch (const WindowInitError& error) {
      const std::string text = error.what();
      EXPECT_NE(text.find("TestWindow::InitWindow"), std::string::npos) << text;
      EXPECT_NE(text.find("\"recorderStartBtn\""), std::string::npos) << text;
    }
  }
}

TEST_F(WindowFrameworkTest, BrokenLayoutFileFailsInsteadOfCrashing) {
  test::TempDir dir;
  std::ofstream(dir / "Broken.ui") << "<ui version=\"4.0\"><widget class=\"QWidget\"";
  WindowImplBase::SetResourcePath(QString::fromStdString(dir.path()));
  TestWindow window("Broken.ui");
  EXPECT_THROW(window.Create(nullptr, ""), WindowInitError);
}

TEST_F(WindowFrameworkTest, ModalLoopReturnsTheCloseResult) {
  TestWindow owner;
  owner.Create(nullptr, "");
  owner.show();
  {
    TestWindow dialog;
    dialog.Create(&owner, "");
    QTimer::singleShot(0, &dialog, [&dialog] { dialog.Close(1); });
    EXPECT_EQ(dialog.ShowModal(), 1);
    EXPECT_FALSE(dialog.isVisible());
  }
  {
    TestWindow dialog;
    dialog.Create(&owner, "");
    // Closed by the window's own close button: cancel.
    QTimer::singleShot(0, &dialog, [&dialog] { dialog.close(); });
    EXPECT_EQ(dialog.ShowModal(), 0);
  }
}

}  // namespace
}  // namespace tarn::ui
