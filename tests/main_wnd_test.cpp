#include "ui/main/main_wnd.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <filesystem>

#include "tests/support/temp_dir.h"

namespace tarn::ui {
namespace {

class MainWndTest : public ::testing::Test {
 protected:
  void SetUp() override { WindowImplBase::SetResourcePath(TARN_SOURCE_SKIN_DIR); }
  void TearDown() override { WindowImplBase::SetResourcePath(QString()); }
  test::TempDir home_;
  test::ScopedEnv homeEnv_{"HOME", home_.path()};
  test::ScopedEnv dataEnv_{"XDG_DATA_HOME", std::nullopt};
};

TEST_F(MainWndTest, LoadsItsLayoutWithEveryNamedControl) {
  CMainWnd window;
  window.Create(nullptr, QString::fromUtf8(kMainWindowTitle));
  EXPECT_EQ(window.windowTitle(), QString::fromUtf8("TARN屏幕录制"));
  EXPECT_EQ(window.property(kInstanceMarkerProperty).toInt(), 1);

  window.show();
  // Start and pause share a place; at rest only start shows.
  EXPECT_TRUE(window.FindControl<QPushButton>("recorderStartBtn")->isVisible());
  EXPECT_FALSE(window.FindControl<QPushButton>("recorderPauseBtn")->isVisible());
  EXPECT_EQ(window.FindControl<QLabel>("recordTimeText")->text(), "00:00:00");

  // Each page option shows its page of the tab layout.
  auto* tab = window.FindControl<QStackedWidget>("main-tab");
  ASSERT_EQ(tab->count(), 4);
  const char* pages[] = {"video-record-page", "video-cut-page", "video-convert-page",
                         "video-compress-page"};
  for (int i : {2, 1, 3, 0}) {
    SCOPED_TRACE(pages[i]);
    window.FindControl<QAbstractButton>(pages[i])->click();
    EXPECT_EQ(tab->currentIndex(), i);
  }
}

TEST_F(MainWndTest, LayoutWithoutANamedControlFailsNamingTheMethod) {
  // A copy of the skin whose stop button lost its name.
  test::TempDir skin;
  QFile source(QString(TARN_SOURCE_SKIN_DIR) + "MainWindow.ui");
  ASSERT_TRUE(source.open(QIODevice::ReadOnly));
  QByteArray layout = source.readAll();
  ASSERT_TRUE(layout.contains("name=\"recorderStopBtn\""));
  layout.replace("name=\"recorderStopBtn\"", "name=\"somethingElse\"");
  QFile copy(QString::fromStdString(skin / "MainWindow.ui"));
  ASSERT_TRUE(copy.open(QIODevice::WriteOnly));
  copy.write(layout);
  copy.close();
  WindowImplBase::SetResourcePath(QString::fromStdString(skin.path()));

  CMainWnd window;
  try {
    window.Create(nullptr, "");
    FAIL() << "the layout lacks recorderStopBtn";
  } catch (const WindowInitError& error) {
    const std::string text = error.what();
    EXPECT_NE(text.find("CMainWnd::InitWindow"), std::string::npos) << text;
    EXPECT_NE(text.find("recorderStopBtn"), std::string::npos) << text;
  }
}

}  // namespace
}  // namespace tarn::ui
