// The snapshot selector on a desktop with a window manager, driven with real
// pointer and key events (xdotool): pointing at a window and pressing takes
// its frame, a drag from the press draws a new rectangle, Escape and the
// right button undo a drag, a double click stores the region and brings the
// main window back, Escape alone leaves without storing.

#include "ui/overlay/user_define_region.h"

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QPointer>
#include <QProcess>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <cstdlib>
#include <memory>
#include <ostream>
#include <vector>

#include "settings/settings_keys.h"
#include "settings/settings_store.h"
#include "tests/support/qt_wait.h"
#include "tests/support/temp_dir.h"
#include "tests/support/window_frames.h"

namespace tarn::ui {
std::ostream& operator<<(std::ostream& out, const TrackerRect& r) {
  return out << "{" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << "}";
}
}  // namespace tarn::ui

namespace tarn::test {
namespace {

using ui::TrackerRect;

constexpr int kWaitMs = 10000;

// Runs xdotool with `args`; the events it makes wait in the X queue until
// the test runs the event loop.
bool Xdotool(const QStringList& args) { return QProcess::execute("xdotool", args) == 0; }

QString Num(int value) { return QString::number(value); }

class SelectorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui::WindowImplBase::SetResourcePath(TARN_SOURCE_SKIN_DIR);
    mainWindow_.setWindowTitle("main");
    // In the bottom-right corner, away from the windows the tests point at.
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    mainWindow_.setGeometry(screen.width() * 2 / 3, screen.height() * 2 / 3, 300, 150);
    mainWindow_.show();
    ASSERT_TRUE(WaitUntil([&] { return Exposed(mainWindow_); }, kWaitMs));
  }
  void TearDown() override {
    if (selector_) selector_->close();
    // The closing callback refers to this fixture: it must have run.
    if (opened_) {
      EXPECT_TRUE(WaitUntil([&] { return closed_; }, kWaitMs));
    }
    RunEvents(50);
    ui::WindowImplBase::SetResourcePath(QString());
  }

  static bool Exposed(QWidget& window) {
    return window.windowHandle() != nullptr && window.windowHandle()->isExposed();
  }

  // Shows a window at `geometry`, waits until the window manager framed it,
  // and returns its frame in device pixels.
  TrackerRect ShowTarget(const QRect& geometry) {
    target_.setWindowTitle("target");
    target_.setGeometry(geometry);
    target_.show();
    platform::ScreenRect frame;
    const bool framed = WaitUntil(
        [&] {
          if (!Exposed(target_)) return false;
          frame = TopLevelFrameOf(static_cast<xcb_window_t>(target_.winId()));
          return frame.width > target_.width() * target_.devicePixelRatio();
        },
        kWaitMs);
    EXPECT_TRUE(framed);
    return {frame.x, frame.y, frame.x + frame.width, frame.y + frame.height};
  }

  ui::CUserDefineRegion& OpenSelector() {
    selector_ = ui::CUserDefineRegion::Open(&mainWindow_, settings_, [this](bool stored) {
      closed_ = true;
      stored_ = stored;
    });
    opened_ = true;
    EXPECT_TRUE(selector_ != nullptr);
    EXPECT_TRUE(WaitUntil([&] { return selector_ && selector_->isReady(); }, kWaitMs));
    // The main window went away first.
    EXPECT_FALSE(Exposed(mainWindow_));
    QObject::connect(selector_.data(), &ui::CUserDefineRegion::SelectionChanged,
                     [this] { seen_.push_back(selector_->selection()); });
    return *selector_;
  }

  // Moves the pointer to (x, y), device pixels, and waits until the
  // selector has seen it there.
  void PointAt(int x, int y) {
    ASSERT_TRUE(Xdotool({"mousemove", Num(x), Num(y)}));
    ASSERT_TRUE(WaitUntil([&] { return selector_->magnifierPoint() == QPoint(x, y); }, kWaitMs))
        << "the selector saw the pointer at " << selector_->magnifierPoint().x() << ","
        << selector_->magnifierPoint().y() << ", not at " << x << "," << y;
  }

  bool MainWindowBack() {
    return WaitUntil(
        [&] {
          return mainWindow_.isVisible() && !mainWindow_.isMinimized() && Exposed(mainWindow_);
        },
        kWaitMs);
  }

  std::string Setting(const SettingKey& key) { return settings_.GetString(key, "(absent)", 64); }

  TempDir dir_;
  SettingsStore settings_{dir_ / "configure.ini"};
  QWidget mainWindow_;
  QWidget target_;
  QPointer<ui::CUserDefineRegion> selector_;
  std::vector<TrackerRect> seen_;
  bool opened_ = false;
  bool closed_ = false;
  bool stored_ = false;
};

TEST_F(SelectorTest, APressTakesTheWindowWithItsFrameAndADoubleClickStoresIt) {
  const TrackerRect frame = ShowTarget({301, 251, 401, 301});
  ui::CUserDefineRegion& selector = OpenSelector();
  const QPoint centre((frame.left + frame.right) / 2, (frame.top + frame.bottom) / 2);
  PointAt(centre.x(), centre.y());
  EXPECT_EQ(selector.highlight(), frame);
  EXPECT_TRUE(selector.selection().IsEmpty());

  ASSERT_TRUE(Xdotool({"click", "1"}));
  ASSERT_TRUE(WaitUntil([&] { return !selector.selection().IsEmpty(); }, kWaitMs));
  EXPECT_EQ(selector.selection(), frame);
  EXPECT_TRUE(selector.highlight().IsEmpty());

  ASSERT_TRUE(Xdotool({"click", "--repeat", "2", "--delay", "80", "1"}));
  ASSERT_TRUE(WaitUntil([&] { return closed_; }, kWaitMs));
  EXPECT_TRUE(stored_);
  const int width = frame.Width();
  const int height = frame.Height();
  EXPECT_EQ(Setting(kRegionOffsetX), std::to_string(frame.left));
  EXPECT_EQ(Setting(kRegionOffsetY), std::to_string(frame.top));
  EXPECT_EQ(Setting(kRegionWidth), std::to_string(width + width % 2));
  EXPECT_EQ(Setting(kRegionHeight), std::to_string(height + height % 2));
  EXPECT_TRUE(MainWindowBack());
  EXPECT_TRUE(WaitUntil([&] { return selector_.isNull(); }, kWaitMs)) << "it deletes itself";
}

TEST_F(SelectorTest, DraggingFromThePressDrawsANewRectangleFromThePressPoint) {
  ShowTarget({301, 251, 401, 301});
  ui::CUserDefineRegion& selector = OpenSelector();
  // Beside every window: the bare desktop stands for the whole screen.
  PointAt(20, 1060);
  EXPECT_EQ(selector.highlight(), (TrackerRect{0, 0, 1920, 1080}));

  // Up and to the left of the press: the rectangle starts at the press and
  // ends the right way round.
  PointAt(620, 480);
  ASSERT_TRUE(Xdotool({"mousedown", "1", "mousemove", "420", "330", "mouseup", "1"}));
  ASSERT_TRUE(WaitUntil(
      [&] { return !selector.tracker().tracking() && selector.selection().left == 420; }, kWaitMs));
  EXPECT_EQ(selector.selection(), (TrackerRect{420, 330, 620, 480}));
}

TEST_F(SelectorTest, EscapeOrTheRightButtonDuringADragRestoreTheSelection) {
  const TrackerRect frame = ShowTarget({301, 251, 401, 301});
  ui::CUserDefineRegion& selector = OpenSelector();
  PointAt((frame.left + frame.right) / 2, (frame.top + frame.bottom) / 2);
  ASSERT_TRUE(Xdotool({"click", "1"}));
  ASSERT_TRUE(WaitUntil([&] { return selector.selection() == frame; }, kWaitMs));
  // Past the double-click time, so the next presses are presses.
  RunEvents(600);

  // The bottom-right handle lies just outside the corner.
  const QStringList toHandle = {
      "mousemove", Num(frame.right + 1), Num(frame.bottom + 1), "mousedown",
      "1",         "mousemove",          Num(frame.right + 61), Num(frame.bottom + 41)};
  const TrackerRect dragged{frame.left, frame.top, frame.right + 60, frame.bottom + 40};
  const auto dragSeen = [&] {
    for (const TrackerRect& r : seen_) {
      if (r == dragged) return true;
    }
    return false;
  };
  struct Case {
    const char* what;
    QStringList ending;
  };
  const Case cases[] = {
      {"Escape", {"key", "Escape", "mouseup", "1"}},
      {"the right button", {"mousedown", "3", "mouseup", "3", "mouseup", "1"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    seen_.clear();
    ASSERT_TRUE(Xdotool(toHandle + c.ending));
    ASSERT_TRUE(WaitUntil([&] { return dragSeen() && !selector.tracker().tracking(); }, kWaitMs));
    RunEvents(100);
    EXPECT_EQ(selector.selection(), frame);
    EXPECT_TRUE(selector.isVisible()) << "only the drag ends";
    // A pause, as a hand makes: the next press at the same place must not
    // count as a double click.
    RunEvents(500);
  }
  // Released normally, the drag stays.
  ASSERT_TRUE(Xdotool(toHandle + QStringList{"mouseup", "1"}));
  ASSERT_TRUE(WaitUntil(
      [&] { return !selector.tracker().tracking() && selector.selection() == dragged; }, kWaitMs));
}

TEST_F(SelectorTest, EscapeLeavesWithoutStoringAndBringsTheMainWindowBack) {
  ShowTarget({301, 251, 401, 301});
  OpenSelector();
  PointAt(500, 400);
  ASSERT_TRUE(Xdotool({"click", "1"}));
  ASSERT_TRUE(WaitUntil([&] { return !selector_->selection().IsEmpty(); }, kWaitMs));
  ASSERT_TRUE(Xdotool({"key", "Escape"}));
  ASSERT_TRUE(WaitUntil([&] { return closed_; }, kWaitMs));
  EXPECT_FALSE(stored_);
  EXPECT_EQ(Setting(kRegionOffsetX), "(absent)");
  EXPECT_EQ(Setting(kRegionWidth), "(absent)");
  EXPECT_TRUE(MainWindowBack());
}

// Run by the test "selector_scaled" with QT_SCALE_FACTOR=2.
TEST_F(SelectorTest, AtTwiceTheScaleEverythingStoredIsInDevicePixels) {
  const char* factor = std::getenv("QT_SCALE_FACTOR");
  if (factor == nullptr || std::string(factor) != "2") {
    GTEST_SKIP() << "needs QT_SCALE_FACTOR=2 (the test selector_scaled sets it)";
  }
  const TrackerRect frame = ShowTarget({151, 126, 201, 151});
  ui::CUserDefineRegion& selector = OpenSelector();
  EXPECT_EQ(selector.width(), 960) << "logical pixels";
  EXPECT_EQ(selector.tracker().handleSize(), 8);
  PointAt(frame.left + 101, frame.top + 101);
  EXPECT_EQ(selector.highlight(), frame);
  ASSERT_TRUE(Xdotool({"click", "1"}));
  ASSERT_TRUE(WaitUntil([&] { return selector.selection() == frame; }, kWaitMs));
  // The box stands over the selection in logical pixels.
  EXPECT_EQ(selector.infoBoxRect().left(), frame.left / 2 - 3);
  EXPECT_EQ(selector.infoBoxRect().top(), frame.top / 2 - 92);
  ASSERT_TRUE(Xdotool({"click", "--repeat", "2", "--delay", "80", "1"}));
  ASSERT_TRUE(WaitUntil([&] { return closed_; }, kWaitMs));
  EXPECT_EQ(Setting(kRegionOffsetX), std::to_string(frame.left));
  EXPECT_EQ(Setting(kRegionWidth), std::to_string(frame.Width() + frame.Width() % 2));
}

}  // namespace
}  // namespace tarn::test
