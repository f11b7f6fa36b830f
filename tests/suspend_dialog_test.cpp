// The floating control panel on a desktop with a window manager: it opens at
// its remembered place inside the work area while the main window is
// minimised, its buttons (clicked with xdotool, as a user clicks them) pause,
// resume and stop the recording, and a drag is remembered for the next one.

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/main_window_fixture.h"
#include "ui/main/main_messages.h"
#include "ui/overlay/suspend_dialog.h"

namespace tarn::test {
namespace {

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
template <class T>
using Reply = std::unique_ptr<T, FreeDeleter>;

// What the X server and the window manager say about windows.
class XProbe {
 public:
  XProbe() : connection_(xcb_connect(nullptr, nullptr)) {
    root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
  }
  ~XProbe() { xcb_disconnect(connection_); }
  xcb_connection_t* connection() const { return connection_; }
  xcb_window_t root() const { return root_; }

  xcb_atom_t Atom(const char* name) const {
    Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        connection_, xcb_intern_atom(connection_, 0, std::strlen(name), name), nullptr));
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
  }
  std::vector<std::uint32_t> Property(xcb_window_t window, xcb_atom_t name) const {
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        connection_, xcb_get_property(connection_, 0, window, name, XCB_GET_PROPERTY_TYPE_ANY, 0, 64),
        nullptr));
    if (!reply || reply->format != 32) return {};
    const auto* values = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    return {values, values + xcb_get_property_value_length(reply.get()) / 4};
  }
  // The window's rectangle on the screen, as the user sees it.
  QRect ScreenRect(WId window) const {
    const auto id = static_cast<xcb_window_t>(window);
    Reply<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, id), nullptr));
    Reply<xcb_translate_coordinates_reply_t> origin(xcb_translate_coordinates_reply(
        connection_, xcb_translate_coordinates(connection_, id, root_, 0, 0), nullptr));
    if (!geometry || !origin) return {};
    return {origin->dst_x, origin->dst_y, geometry->width, geometry->height};
  }
  // The work area of the first desktop, from _NET_WORKAREA.
  QRect WorkArea() const {
    const std::vector<std::uint32_t> area = Property(root_, Atom("_NET_WORKAREA"));
    if (area.size() < 4) return {};
    return {int(area[0]), int(area[1]), int(area[2]), int(area[3])};
  }
  // 1 normal, 3 iconic (ICCCM WM_STATE), 0 when not managed.
  std::uint32_t WmState(WId window) const {
    const auto state = Property(static_cast<xcb_window_t>(window), Atom("WM_STATE"));
    return state.empty() ? 0 : state[0];
  }
  bool Mapped(WId window) const {
    Reply<xcb_get_window_attributes_reply_t> attributes(xcb_get_window_attributes_reply(
        connection_, xcb_get_window_attributes(connection_, static_cast<xcb_window_t>(window)),
        nullptr));
    return attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
  }

 private:
  xcb_connection_t* connection_;
  xcb_window_t root_ = 0;
};

// A panel docked along the left and top edges of the screen: the window
// manager takes its struts out of the work area.
class Dock {
 public:
  Dock(const XProbe& x, int left, int top) : connection_(xcb_connect(nullptr, nullptr)) {
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
    window_ = xcb_generate_id(connection_);
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window_, screen->root, 0, 0,
                      static_cast<std::uint16_t>(left), screen->height_in_pixels, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
    const xcb_atom_t dockType = x.Atom("_NET_WM_WINDOW_TYPE_DOCK");
    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window_, x.Atom("_NET_WM_WINDOW_TYPE"),
                        XCB_ATOM_ATOM, 32, 1, &dockType);
    const std::uint32_t last = screen->width_in_pixels - 1;
    const std::uint32_t strut[12] = {std::uint32_t(left), 0, std::uint32_t(top), 0, 0,
                                     std::uint32_t(screen->height_in_pixels - 1), 0, 0, 0, last, 0, 0};
    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window_, x.Atom("_NET_WM_STRUT_PARTIAL"),
                        XCB_ATOM_CARDINAL, 32, 12, strut);
    xcb_map_window(connection_, window_);
    xcb_flush(connection_);
  }
  ~Dock() { xcb_disconnect(connection_); }  // its window goes with the connection

 private:
  xcb_connection_t* connection_;
  xcb_window_t window_ = 0;
};

bool Xdotool(const std::string& arguments) {
  return std::system(("xdotool " + arguments + " >/dev/null 2>&1").c_str()) == 0;
}

// The screen point (device pixels) at the middle of `widget`.
QPoint ScreenPointOf(const QWidget* widget) {
  const QPoint centre = widget->mapToGlobal(widget->rect().center());
  const qreal ratio = widget->devicePixelRatioF();
  return {qRound(centre.x() * ratio), qRound(centre.y() * ratio)};
}

std::string XdotoolPoint(QPoint point) {
  return std::to_string(point.x()) + " " + std::to_string(point.y());
}

// Counts the mouse presses the program receives.
class PressCounter : public QObject {
 public:
  PressCounter() { qApp->installEventFilter(this); }
  ~PressCounter() override { qApp->removeEventFilter(this); }
  int presses = 0;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::MouseButtonPress && watched->isWidgetType()) ++presses;
    return false;
  }
};

class SuspendDialogTest : public MainWindowFixture {
 protected:
  void SetUp() override {
    if (std::system("command -v xdotool >/dev/null 2>&1") != 0) GTEST_SKIP() << "xdotool is not installed";
    MainWindowFixture::SetUp();
    // Small recordings without sound: no sound server is needed.
    settings_.SetString(kAudioMuteCheck, "1");
    settings_.SetString(kVideoFramerate, "10");
    settings_.SetString(kSuspendCheck, "1");
  }

  QWidget* Panel() const { return VisibleWindowOfClass("SuspendDialog"); }
  template <class T>
  T* PanelControl(const char* name) const {
    return Panel() != nullptr ? Panel()->findChild<T*>(name) : nullptr;
  }
  // Clicks a button of the visible panel where it is on the screen.
  bool ClickPanel(const char* name) {
    auto* button = PanelControl<QPushButton>(name);
    return button != nullptr && button->isVisible() &&
           Xdotool("mousemove " + XdotoolPoint(ScreenPointOf(button)) + " click 1");
  }
  bool WaitForEngine(int state) {
    return WaitUntil([&] { return window_->recorder().state() == state; }, 10000);
  }
  // Starts a recording and waits until the window manager shows the panel.
  QWidget* StartWithPanel() {
    window_->StartRecording();
    if (!WaitUntil([&] { return Panel() != nullptr && x_.Mapped(Panel()->winId()); }, 5000)) return nullptr;
    return Panel();
  }
  // Stops once the recording holds a picture, and waits for its file to be
  // listed as the `rows`-th.
  bool StopAndWaitForFile(int rows) {
    if (!WaitUntil([&] { return window_->recorder().videoFrameIndex() > 0; }, 10000)) return false;
    ui::PostMessage(window_.get(), ui::kWmRecordStop);
    return WaitUntil([&] { return List()->count() >= rows; }, 15000);
  }
  // The panel's distances from the work area's top and right edge on the screen.
  QPoint TopAndRight() const {
    const QRect panel = x_.ScreenRect(Panel()->winId());
    const QRect area = x_.WorkArea();
    return {panel.y() - area.y(), area.x() + area.width() - (panel.x() + panel.width())};
  }
  bool WaitForStoredPlace(QPoint topRight) {
    return WaitUntil([&] {
      return settings_.GetInt(kSuspendTop, -1) == topRight.x() &&
             settings_.GetInt(kSuspendRight, -1) == topRight.y();
    }, 5000);
  }

  XProbe x_;
};

TEST_F(SuspendDialogTest, OpensAtTheRememberedPlaceAndItsButtonsDriveTheRecording) {
  settings_.SetString(kSuspendSection, "top", "120");
  settings_.SetString(kSuspendSection, "right", "200");
  ui::CMainWnd& window = OpenWindow();
  ASSERT_TRUE(WaitUntil([&] { return x_.WmState(window.winId()) == 1; }, 5000));
  QWidget* panel = StartWithPanel();
  ASSERT_NE(panel, nullptr);
  EXPECT_TRUE(WaitUntil([&] { return TopAndRight() == QPoint(120, 200); }, 5000))
      << TopAndRight().x() << ", " << TopAndRight().y();
  EXPECT_EQ(x_.ScreenRect(panel->winId()).size(), QSize(120, 28));
  // The main window is minimised; the panel, on top of the others and out of
  // the task bar, stays.
  EXPECT_TRUE(WaitUntil([&] { return x_.WmState(window.winId()) == 3; }, 5000));
  EXPECT_TRUE(x_.Mapped(panel->winId()));
  const std::vector<std::uint32_t> states = x_.Property(panel->winId(), x_.Atom("_NET_WM_STATE"));
  for (const char* state : {"_NET_WM_STATE_ABOVE", "_NET_WM_STATE_SKIP_TASKBAR"}) {
    EXPECT_NE(std::find(states.begin(), states.end(), x_.Atom(state)), states.end()) << state;
  }
  // The elapsed time comes through the main window.
  EXPECT_TRUE(WaitUntil([&] { return PanelControl<QLabel>("recorderTimeText")->text() == "00:00:01"; }, 5000));
  EXPECT_FALSE(PanelControl<QPushButton>("recorderStartBtn")->isVisible());

  ASSERT_TRUE(ClickPanel("recorderPauseBtn"));
  ASSERT_TRUE(WaitForEngine(kStatePaused));
  EXPECT_TRUE(WaitUntil([&] { return PanelControl<QPushButton>("recorderStartBtn")->isVisible(); }, 2000));
  EXPECT_FALSE(PanelControl<QPushButton>("recorderPauseBtn")->isVisible());
  EXPECT_TRUE(window.FindControl<QPushButton>("recorderStartBtn")->isVisibleTo(&window));
  ASSERT_TRUE(ClickPanel("recorderStartBtn"));
  ASSERT_TRUE(WaitForEngine(kStateRecording));
  // Paused and resumed from the main window's own buttons, the panel follows.
  window.FindControl<QPushButton>("recorderPauseBtn")->click();
  EXPECT_TRUE(WaitUntil([&] { return PanelControl<QPushButton>("recorderStartBtn")->isVisible(); }, 2000));
  window.FindControl<QPushButton>("recorderStartBtn")->click();
  EXPECT_TRUE(WaitUntil([&] { return PanelControl<QPushButton>("recorderPauseBtn")->isVisible(); }, 2000));

  ASSERT_TRUE(ClickPanel("recorderStopBtn"));
  ASSERT_TRUE(WaitUntil([&] { return window.recordingUiState() == ui::kUiStopped; }, 5000));
  // A second stop (the stop key pressed as well) changes nothing.
  ui::PostMessage(&window, ui::kWmRecordStop);
  EXPECT_TRUE(WaitUntil([&] { return List()->count() == 1; }, 15000));
  EXPECT_TRUE(WaitUntil([&] { return x_.WmState(window.winId()) == 1; }, 5000));
  EXPECT_EQ(Panel(), nullptr);
  EXPECT_FALSE(x_.Mapped(panel->winId()));
  EXPECT_EQ(panel->findChild<QLabel*>("recorderTimeText")->text(), "00:00:00");
  RunEvents(300);
  EXPECT_EQ(List()->count(), 1);
}

TEST_F(SuspendDialogTest, ADraggedPanelIsRememberedForTheNextRecording) {
  OpenWindow();
  QWidget* panel = StartWithPanel();
  ASSERT_NE(panel, nullptr);
  // The defaults: 50 from the top, 50 from the right.
  ASSERT_TRUE(WaitUntil([&] { return TopAndRight() == QPoint(50, 50); }, 5000));
  const QRect before = x_.ScreenRect(panel->winId());

  // Pressed on the time, moved 300 to the left and 200 down, released.
  PressCounter counter;
  const QPoint press = ScreenPointOf(PanelControl<QLabel>("recorderTimeText"));
  ASSERT_TRUE(Xdotool("mousemove " + XdotoolPoint(press) + " mousedown 1"));
  ASSERT_TRUE(WaitUntil([&] { return counter.presses > 0; }, 5000));
  const QPoint target = before.topLeft() + QPoint(-300, 200);
  // The window manager follows the pointer once its move has begun; a motion
  // that came before that is made again.
  bool moved = false;
  for (int attempt = 0; attempt < 20 && !moved; ++attempt) {
    Xdotool("mousemove " + XdotoolPoint(press + QPoint(-300, 200 + attempt % 2)));
    moved = WaitUntil(
        [&] { return (x_.ScreenRect(panel->winId()).topLeft() - target).manhattanLength() <= 2; }, 500);
  }
  Xdotool("mouseup 1");
  ASSERT_TRUE(moved) << "the panel is at " << x_.ScreenRect(panel->winId()).x() << ", "
                     << x_.ScreenRect(panel->winId()).y();
  const QPoint dragged = TopAndRight();
  EXPECT_NEAR(dragged.x(), 250, 2);
  EXPECT_NEAR(dragged.y(), 350, 2);
  ASSERT_TRUE(WaitForStoredPlace(dragged));

  // Stopped while paused, it reopens for the next recording showing pause.
  window_->PauseRecording();
  ASSERT_TRUE(WaitUntil([&] { return PanelControl<QPushButton>("recorderStartBtn")->isVisible(); }, 2000));
  ASSERT_TRUE(StopAndWaitForFile(1));
  ASSERT_EQ(StartWithPanel(), panel);  // the same panel, reopened where it was left
  EXPECT_TRUE(WaitUntil([&] { return TopAndRight() == dragged; }, 5000));
  EXPECT_TRUE(PanelControl<QPushButton>("recorderPauseBtn")->isVisible());
  EXPECT_FALSE(PanelControl<QPushButton>("recorderStartBtn")->isVisible());
  EXPECT_TRUE(StopAndWaitForFile(2));
}

TEST_F(SuspendDialogTest, PlacesOffTheWorkAreaAreBroughtInside) {
  OpenWindow();
  const QRect area = x_.WorkArea();
  struct Case {
    const char* top;
    const char* right;
    QPoint expected;  // top, right
  };
  const Case cases[] = {{"-10", "100000", {0, area.width() - 120}},
                        {"5000", "-50", {area.height() - 28, 0}}};
  int rows = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.top) + ", " + c.right);
    settings_.SetString(kSuspendSection, "top", c.top);
    settings_.SetString(kSuspendSection, "right", c.right);
    ASSERT_NE(StartWithPanel(), nullptr);
    EXPECT_TRUE(WaitUntil([&] { return TopAndRight() == c.expected; }, 5000));
    // The place it was put at is what is remembered.
    EXPECT_TRUE(WaitForStoredPlace(c.expected));
    ASSERT_TRUE(StopAndWaitForFile(++rows));
  }
}

TEST_F(SuspendDialogTest, ItsPlaceIsCountedFromTheWorkArea) {
  // With a panel on the left and the top of the screen the work area starts
  // at (100, 40); the remembered distances are counted from its edges.
  Dock dock(x_, 100, 40);
  const QRect area(100, 40, 1820, 1040);
  ASSERT_TRUE(WaitUntil([&] { return x_.WorkArea() == area; }, 5000));
  ASSERT_TRUE(WaitUntil([&] { return QGuiApplication::primaryScreen()->availableGeometry() == area; }, 5000));
  settings_.SetString(kSuspendSection, "top", "120");
  settings_.SetString(kSuspendSection, "right", "200");
  OpenWindow();
  QWidget* panel = StartWithPanel();
  ASSERT_NE(panel, nullptr);
  EXPECT_TRUE(WaitUntil([&] { return x_.ScreenRect(panel->winId()).topLeft() == QPoint(1600, 160); }, 5000));
  // Moved by the placement, it stores the same distances back.
  auto* dialog = static_cast<ui::SuspendDialog*>(panel);
  ASSERT_TRUE(WaitUntil([&] { return !dialog->positionPending(); }, 5000));
  EXPECT_EQ(settings_.GetInt(kSuspendTop, -1), 120);
  EXPECT_EQ(settings_.GetInt(kSuspendRight, -1), 200);
  EXPECT_TRUE(StopAndWaitForFile(1));
}

TEST_F(SuspendDialogTest, WithoutItsLayoutTheMainWindowKeepsTheControls) {
  TempDir skin;
  for (const auto& entry : std::filesystem::directory_iterator(TARN_SOURCE_SKIN_DIR)) {
    if (entry.path().filename() != "suspend.ui") {
      std::filesystem::copy(entry.path(), skin / entry.path().filename().string());
    }
  }
  ui::WindowImplBase::SetResourcePath(QString::fromStdString(skin.path()));
  ui::CMainWnd& window = OpenWindow();
  window.StartRecording();
  EXPECT_EQ(window.recorder().state(), kStateRecording);
  EXPECT_FALSE(window.isMinimized());
  EXPECT_EQ(Panel(), nullptr);
  EXPECT_TRUE(StopAndWaitForFile(1));
}

TEST_F(SuspendDialogTest, ARecordingThatEndsByItselfBringsTheMainWindowBack) {
  ui::CMainWnd& window = OpenWindow();
  ASSERT_NE(StartWithPanel(), nullptr);
  ASSERT_TRUE(WaitUntil([&] { return x_.WmState(window.winId()) == 3; }, 5000));
  ASSERT_TRUE(WaitUntil([&] { return window.recorder().videoFrameIndex() > 0; }, 10000));
  // The engine ends the recording on its own (a full disk) and says why.
  const std::string path = window.recorder().outputPath();
  window.recorder().Stop();
  ASSERT_TRUE(window.recorder().WaitUntilFinished(10000));
  QString prompt;
  ClickWhenShown("PromptBoxDialog", "msgConfirm", &prompt);
  window.OnRecordingFinished({path, true, "the disk is full"});
  ASSERT_TRUE(WaitUntil([&] { return !prompt.isEmpty(); }, 5000));
  EXPECT_EQ(Panel(), nullptr);
  EXPECT_TRUE(WaitUntil([&] { return x_.WmState(window.winId()) == 1; }, 5000));
}

TEST_F(SuspendDialogTest, ShowsHoursMinutesAndSeconds) {
  OpenWindow();
  QWidget* panel = StartWithPanel();
  ASSERT_NE(panel, nullptr);
  auto* text = PanelControl<QLabel>("recorderTimeText");
  ui::SendMessage(panel, ui::kWmRecordSecondsMessage, 0, 3725);
  EXPECT_EQ(text->text(), "01:02:05");
  ui::SendMessage(panel, ui::kWmRecordSecondsMessage, 0, 360000 - 1);
  EXPECT_EQ(text->text(), "99:59:59");
  EXPECT_TRUE(StopAndWaitForFile(1));
}

}  // namespace
}  // namespace tarn::test
