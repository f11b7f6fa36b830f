// The main window on the screen it is shown on (run at twice the scale on a
// 1920x1080 and a 3840x2160 screen too): its frame fits the available area,
// every control is reached with Tab, lies inside the window when focused and
// shows that it has the focus.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QScreen>
#include <QScrollBar>
#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "tests/support/main_window_fixture.h"

namespace tarn::test {
namespace {

// Scroll bars follow the focus and take none themselves.
bool IsControl(QWidget* widget) {
  if (qobject_cast<QScrollBar*>(widget) != nullptr) return false;
  return qobject_cast<QAbstractButton*>(widget) != nullptr ||
         qobject_cast<QComboBox*>(widget) != nullptr ||
         qobject_cast<QAbstractSlider*>(widget) != nullptr ||
         qobject_cast<QLineEdit*>(widget) != nullptr || qobject_cast<QListWidget*>(widget) != nullptr;
}

// A control's rectangle in the window's coordinates.
QRect InWindow(QWidget* control) {
  return QRect(control->mapTo(control->window(), QPoint(0, 0)), control->size());
}

class WindowFitTest : public MainWindowFixture {
 protected:
  void SetUp() override {
    MainWindowFixture::SetUp();
    ASSERT_TRUE(ui::WindowImplBase::LoadSharedResources());
  }
  void TearDown() override {
    MainWindowFixture::TearDown();
    qApp->setStyleSheet(QString());
  }

  // Opens the window as the program does: its size, centred, active.
  ui::CMainWnd& OpenCentred() {
    ui::CMainWnd& window = OpenWindow();
    window.CenterWindow();
    window.activateWindow();
    EXPECT_TRUE(WaitUntil([&] { return window.isActiveWindow(); }, 5000));
    // The frame is known once the window manager has framed the window.
    WaitUntil([&] { return window.frameGeometry() != window.geometry(); }, 3000);
    return window;
  }

  // The record page's visible controls, in no particular order.
  std::set<QWidget*> RecordPageControls() {
    std::set<QWidget*> controls;
    for (QWidget* widget : window_->findChildren<QWidget*>()) {
      if (IsControl(widget) && widget->isVisible() && widget->isEnabled()) controls.insert(widget);
    }
    return controls;
  }
};

TEST_F(WindowFitTest, TheFrameFitsTheScreenAndTheDefaultSizeIsKeptWhereItFits) {
  ui::CMainWnd& window = OpenCentred();
  const QRect available = window.screen()->availableGeometry();
  SCOPED_TRACE("available " + std::to_string(available.width()) + "x" +
               std::to_string(available.height()) + " at scale " +
               std::to_string(window.devicePixelRatio()));
  EXPECT_TRUE(available.contains(window.frameGeometry()))
      << "frame " << window.frameGeometry().x() << "," << window.frameGeometry().y() << " "
      << window.frameGeometry().width() << "x" << window.frameGeometry().height();
  // Small enough for 1920x1080 at twice the scale, with a panel and a frame.
  EXPECT_LE(window.minimumWidth(), 940);
  EXPECT_LE(window.minimumHeight(), 500);
  if (available.width() >= 1000 && available.height() >= 800) {
    EXPECT_EQ(window.size(), QSize(960, 720));
  }
}

TEST_F(WindowFitTest, EveryControlIsReachedByTabLiesInsideTheWindowAndShowsItsFocus) {
  ui::CMainWnd& window = OpenCentred();
  // The smallest window is the hardest case.
  window.resize(window.minimumSize());
  ASSERT_TRUE(WaitUntil([&] { return window.size() == window.minimumSize(); }, 3000));
  const std::set<QWidget*> controls = RecordPageControls();
  ASSERT_GT(controls.size(), 20u);

  window.FindControl<QWidget>("video-record-page")->setFocus(Qt::TabFocusReason);
  std::set<QWidget*> reached;
  std::vector<std::string> cutOff;
  std::vector<std::string> unmarked;
  for (int step = 0; step < 200; ++step) {
    QWidget* focused = QApplication::focusWidget();
    ASSERT_NE(focused, nullptr) << "the focus left the window at step " << step;
    if (!reached.insert(focused).second) break;  // round the chain once
    QApplication::processEvents();
    const std::string name = focused->objectName().toStdString();
    if (!window.rect().contains(InWindow(focused))) cutOff.push_back(name);
    // The focus mark: the control looks different with and without focus.
    const QImage marked = focused->grab().toImage();
    focused->clearFocus();
    QApplication::processEvents();
    const QImage plain = focused->grab().toImage();
    focused->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    if (marked == plain) unmarked.push_back(name);
    QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
    QApplication::sendEvent(focused, &tab);
  }
  EXPECT_EQ(cutOff, std::vector<std::string>{});
  EXPECT_EQ(unmarked, std::vector<std::string>{});
  // Tab enters a group of exclusive options at its chosen one; the arrow keys
  // move inside the group.
  std::vector<std::string> unreached;
  for (QWidget* control : controls) {
    if (reached.count(control) != 0) continue;
    auto* button = qobject_cast<QAbstractButton*>(control);
    const bool groupReached =
        button != nullptr && button->autoExclusive() &&
        std::any_of(reached.begin(), reached.end(), [&](QWidget* other) {
          auto* sibling = qobject_cast<QAbstractButton*>(other);
          return sibling != nullptr && sibling->autoExclusive() &&
                 sibling->parentWidget() == button->parentWidget();
        });
    if (!groupReached) unreached.push_back(control->objectName().toStdString());
  }
  EXPECT_EQ(unreached, std::vector<std::string>{});
}

}  // namespace
}  // namespace tarn::test
