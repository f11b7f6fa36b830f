// The screen brush on a desktop of its own, driven with the real pointer and
// keyboard (xdotool): strokes show over a desktop that keeps moving, with
// and without a compositor, and a recording holds both; the palette's
// buttons, the text window and Escape; the main window's button and hot key
// open and close the brush.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QGuiApplication>
#include <QPainter>
#include <QProcess>
#include <QScreen>
#include <QTextEdit>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <set>

#include <xcb/xfixes.h>

#include "platform/native_window.h"
#include "tests/support/main_window_fixture.h"
#include "tests/support/media_probe.h"
#include "tests/support/qt_wait.h"
#include "tests/support/temp_dir.h"
#include "ui/brush/screen_mask.h"

namespace tarn::test {
namespace {

namespace fs = std::filesystem;

QImage Screenshot() { return QGuiApplication::primaryScreen()->grabWindow(0).toImage(); }

bool IsRedRgb(QRgb c) { return qRed(c) > 200 && qGreen(c) < 60 && qBlue(c) < 60; }

void Xdotool(const std::string& arguments) {
  ASSERT_EQ(std::system(("xdotool " + arguments).c_str()), 0) << arguments;
}

// A window whose colour changes ten times a second: the live desktop.
class ChangingWindow : public QWidget {
 public:
  explicit ChangingWindow(const QRect& place) {
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint);
    setGeometry(place);
    connect(&timer_, &QTimer::timeout, this, [this] {
      ++step_;
      update();
    });
    timer_.start(100);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    // Greys and blues only: never mistaken for the red stroke.
    const int level = (step_ * 37) % 200 + 20;
    QPainter(this).fillRect(rect(), QColor(level / 2, level, 255 - level / 2));
  }

 private:
  QTimer timer_;
  int step_ = 0;
};

class BrushDesktopTest : public ::testing::Test {
 protected:
  void SetUp() override { ui::WindowImplBase::SetResourcePath(TARN_SOURCE_SKIN_DIR); }
  void TearDown() override {
    if (canvas_) canvas_->CloseBrush();
    WaitUntil([this] { return canvas_.isNull(); }, 3000);
    StopCompositor();
    ui::WindowImplBase::SetResourcePath(QString());
  }

  ui::CScreenMask& OpenBrush() {
    canvas_ = new ui::CScreenMask();
    canvas_->Open();
    EXPECT_TRUE(WaitUntil([this] { return canvas_->renderCount() > 0 && canvas_->palette()->isVisible(); }, 5000));
    RunEvents(200);
    return *canvas_;
  }

  // Clicks the palette's control `name` with the real pointer.
  void ClickPalette(const char* name) {
    auto* control = canvas_->palette()->FindControl<QAbstractButton>(name);
    ASSERT_NE(control, nullptr) << name;
    const QPoint centre = control->mapToGlobal(control->rect().center());
    Xdotool("mousemove " + std::to_string(centre.x()) + " " + std::to_string(centre.y()) + " click 1");
    RunEvents(150);
  }

  // Drags with the left button through `points` (screen pixels).
  static void DragThrough(const std::vector<QPoint>& points) {
    std::string command = "mousemove " + std::to_string(points[0].x()) + " " + std::to_string(points[0].y()) +
                          " mousedown 1";
    for (std::size_t i = 1; i < points.size(); ++i) {
      command += " mousemove " + std::to_string(points[i].x()) + " " + std::to_string(points[i].y()) +
                 " sleep 0.05";
    }
    Xdotool(command + " mouseup 1 mousemove 1900 1060");
  }

  void StartCompositor() {
    compositor_.start("xcompmgr", {});
    ASSERT_TRUE(compositor_.waitForStarted(5000)) << "xcompmgr cannot start (scripts/install-deps.sh installs it)";
    auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    ASSERT_TRUE(WaitUntil([&] { return platform::CompositorRunning(x11->connection()); }, 5000));
  }
  void StopCompositor() {
    if (compositor_.state() == QProcess::NotRunning) return;
    compositor_.terminate();
    compositor_.waitForFinished(3000);
  }

  // Records the screen for `seconds` with tarn-record while `during` runs;
  // returns the file.
  std::string RecordWhile(double seconds, const std::function<void()>& during) {
    QProcess recorder;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", QString::fromStdString(home_.path()));
    recorder.setProcessEnvironment(environment);
    recorder.start(TARN_RECORD_PROGRAM,
                   {"--seconds", QString::number(seconds), "--fps", "10", "--quality", "0", "--output-dir",
                    QString::fromStdString(home_.path() + "/videos"), "--set", "global.audio-mute-check=1",
                    "--set", "mouse-effect.mouse-check=0"});
    EXPECT_TRUE(recorder.waitForStarted(5000));
    RunEvents(1500);
    during();
    WaitUntil([&] { return recorder.state() == QProcess::NotRunning; }, 30000);
    EXPECT_EQ(recorder.exitCode(), 0) << recorder.readAllStandardError().toStdString();
    const QStringList lines = QString::fromUtf8(recorder.readAllStandardOutput()).trimmed().split('\n');
    return lines.isEmpty() ? std::string() : lines.last().toStdString();
  }

  // The stroke is in the file's last picture in its colour at its place,
  // and the window under it kept changing in the file.
  void ExpectStrokeOverMovingWindow(const std::string& path) {
    const std::vector<RgbPicture> pictures = DecodePictures(path, 60);
    ASSERT_GE(pictures.size(), 20u);
    const RgbPicture& last = pictures.back();
    ASSERT_EQ(last.width, 1920);
    // The reddest pixel across the 4-pixel stroke (the encoder blurs edges).
    const std::uint8_t* stroke = last.At(800, 496);
    for (int y = 497; y <= 504; ++y) {
      if (last.At(800, y)[0] - last.At(800, y)[2] > stroke[0] - stroke[2]) stroke = last.At(800, y);
    }
    EXPECT_GT(stroke[0], 180);
    EXPECT_LT(stroke[1], 90);
    EXPECT_LT(stroke[2], 90);
    std::set<int> levels;  // the changing window, off the stroke
    for (std::size_t i = pictures.size() / 2; i < pictures.size(); ++i) {
      levels.insert(pictures[i].At(800, 420)[1] / 8);
    }
    EXPECT_GE(levels.size(), 4u) << "the desktop under the canvas did not keep moving";
  }

  QPointer<ui::CScreenMask> canvas_;
  QProcess compositor_;
  TempDir home_;
};

TEST_F(BrushDesktopTest, WithoutACompositorOnlyTheStrokeCoversTheLiveDesktop) {
  ChangingWindow under(QRect(600, 350, 500, 300));
  under.show();
  ui::CScreenMask& canvas = OpenBrush();
  EXPECT_FALSE(canvas.compositing());
  DragThrough({{300, 500}, {400, 500}, {1300, 500}});
  ASSERT_TRUE(WaitUntil([&] { return IsRedRgb(Screenshot().pixel(800, 500)); }, 5000));
  EXPECT_TRUE(canvas.ShapeShows(800, 500));
  EXPECT_FALSE(canvas.ShapeShows(800, 420));
  // Off the stroke the window under the canvas keeps changing on the screen.
  std::set<QRgb> seen;
  WaitUntil([&] {
    seen.insert(Screenshot().pixel(800, 420));
    return seen.size() >= 3;
  }, 5000);
  EXPECT_GE(seen.size(), 3u);
}

TEST_F(BrushDesktopTest, ARecordingShowsTheStrokeOverTheMovingDesktop) {
  ChangingWindow under(QRect(600, 350, 500, 300));
  under.show();
  OpenBrush().SetSize(4);
  const std::string path = RecordWhile(5, [] { DragThrough({{300, 500}, {400, 500}, {1300, 500}}); });
  ASSERT_FALSE(path.empty());
  ExpectStrokeOverMovingWindow(path);
}

TEST_F(BrushDesktopTest, WithACompositorTheTranslucentCanvasIsRecordedOverTheMovingDesktop) {
  StartCompositor();
  ChangingWindow under(QRect(600, 350, 500, 300));
  under.show();
  ui::CScreenMask& canvas = OpenBrush();
  EXPECT_TRUE(canvas.compositing());
  canvas.SetSize(4);
  const std::string path = RecordWhile(5, [] { DragThrough({{300, 500}, {400, 500}, {1300, 500}}); });
  ASSERT_FALSE(path.empty());
  ExpectStrokeOverMovingWindow(path);
}

TEST_F(BrushDesktopTest, ThePalettesButtonsChooseUndoRedoAndClose) {
  ui::CScreenMask& canvas = OpenBrush();
  const QPoint palette = canvas.palette()->pos();
  EXPECT_EQ(palette, QPoint(ui::kPaletteX, ui::kPaletteY));
  EXPECT_EQ(canvas.palette()->size(), QSize(ui::kPaletteWidth, ui::kPaletteHeight));
  ClickPalette("brush-type-rectangle");
  ClickPalette("brush-size-04");
  ClickPalette("brush-color-05");
  EXPECT_EQ(canvas.board().tool, ui::kToolRectangle);
  EXPECT_EQ(canvas.board().size, 4);
  EXPECT_EQ(canvas.board().colour, 0x27FF64u);
  DragThrough({{400, 300}, {500, 400}, {700, 600}});
  ASSERT_TRUE(WaitUntil([&] { return canvas.board().shapeList().size() == 1; }, 5000));
  const ui::BrushShape& shape = canvas.board().shapeList()[0];
  EXPECT_EQ(shape.tool, ui::kToolRectangle);
  EXPECT_EQ(QRect(shape.x1, shape.y1, shape.x2 - shape.x1, shape.y2 - shape.y1), QRect(400, 300, 300, 300));
  const auto green = [](QRgb c) { return qGreen(c) > 200 && qRed(c) < 140 && qBlue(c) < 80; };
  ASSERT_TRUE(WaitUntil([&] { return green(Screenshot().pixel(550, 300)); }, 5000));

  ClickPalette("brush-undo");
  ASSERT_TRUE(WaitUntil([&] { return canvas.board().shapeList().empty(); }, 3000));
  EXPECT_TRUE(WaitUntil([&] { return !green(Screenshot().pixel(550, 300)); }, 3000));
  ClickPalette("brush-redo");
  ASSERT_TRUE(WaitUntil([&] { return canvas.board().shapeList().size() == 1; }, 3000));
  EXPECT_TRUE(WaitUntil([&] { return green(Screenshot().pixel(550, 300)); }, 3000));
  ClickPalette("brush-close");
  EXPECT_TRUE(WaitUntil([&] { return canvas_.isNull(); }, 3000));
  EXPECT_TRUE(WaitUntil([&] { return !green(Screenshot().pixel(550, 300)); }, 3000));
}

TEST_F(BrushDesktopTest, TextIsTypedCommittedByTheNextClickAndDiscardedByAToolChange) {
  ui::CScreenMask& canvas = OpenBrush();
  ClickPalette("brush-type-text");
  ASSERT_EQ(canvas.board().tool, ui::kToolText);
  Xdotool("mousemove 500 600 click 1");
  ASSERT_TRUE(WaitUntil([&] { return canvas.textWindow() && canvas.textWindow()->isVisible(); }, 3000));
  ui::CEditWindow* entry = canvas.textWindow();
  EXPECT_EQ(entry->geometry(), QRect(504, 604, 100, 28));
  Xdotool("type --delay 30 'Hello brush text'");
  ASSERT_TRUE(WaitUntil([&] { return entry->Text() == "Hello brush text"; }, 5000));
  EXPECT_GT(entry->width(), 100);  // grew with the text
  Xdotool("key Return type --delay 30 'two'");
  ASSERT_TRUE(WaitUntil([&] { return entry->Text().endsWith("two"); }, 5000));
  const QRect before = entry->geometry();
  EXPECT_GE(entry->height(), 2 * 18 + 6);

  // Dragging the window moves it; the text stays as typed.
  Xdotool("mousemove " + std::to_string(before.x() + 20) + " " + std::to_string(before.y() + 10) +
          " mousedown 1 mousemove " + std::to_string(before.x() + 60) + " " + std::to_string(before.y() + 50) +
          " sleep 0.1 mouseup 1");
  ASSERT_TRUE(WaitUntil([&] { return entry->pos() == before.topLeft() + QPoint(40, 40); }, 3000));

  Xdotool("mousemove 1200 200 click 1");  // commits
  ASSERT_TRUE(WaitUntil([&] { return canvas.board().shapeList().size() == 1; }, 3000));
  const ui::BrushShape& text = canvas.board().shapeList()[0];
  EXPECT_EQ(text.text, "Hello brush text\ntwo");
  EXPECT_EQ(QPoint(text.x1, text.y1), before.topLeft() + QPoint(42, 42));
  EXPECT_FALSE(entry->isVisible());

  // Typed again, then the pen is chosen and the canvas clicked: dropped.
  Xdotool("mousemove 300 300 click 1");
  ASSERT_TRUE(WaitUntil([&] { return canvas.textWindow() && canvas.textWindow()->isVisible(); }, 3000));
  EXPECT_TRUE(canvas.textWindow()->Text().isEmpty());
  Xdotool("type --delay 30 'lost'");
  ASSERT_TRUE(WaitUntil([&] { return canvas.textWindow()->Text() == "lost"; }, 3000));
  ClickPalette("brush-type-pen");
  Xdotool("mousemove 700 700 click 1");
  ASSERT_TRUE(WaitUntil([&] { return !canvas.textWindow() || !canvas.textWindow()->isVisible(); }, 3000));
  RunEvents(200);
  EXPECT_EQ(canvas.board().shapeList().size(), 1u);
}

TEST_F(BrushDesktopTest, EscapeClosesTheTextWindowFirstThenTheBrush) {
  ui::CScreenMask& canvas = OpenBrush();
  ClickPalette("brush-type-text");
  Xdotool("mousemove 500 600 click 1");
  ASSERT_TRUE(WaitUntil([&] { return canvas.textWindow() && canvas.textWindow()->isVisible(); }, 3000));
  Xdotool("type 'abc'");
  ASSERT_TRUE(WaitUntil([&] { return canvas.textWindow()->Text() == "abc"; }, 3000));
  Xdotool("key Escape");
  ASSERT_TRUE(WaitUntil([&] { return !canvas.textWindow() || !canvas.textWindow()->isVisible(); }, 3000));
  EXPECT_FALSE(canvas_.isNull());
  EXPECT_TRUE(canvas.board().shapeList().empty());
  // The keyboard is back on the palette, as a user sees it.
  ASSERT_TRUE(WaitUntil([&] { return QGuiApplication::focusWindow() == canvas.palette()->windowHandle(); }, 3000));
  Xdotool("key Escape");
  EXPECT_TRUE(WaitUntil([&] { return canvas_.isNull(); }, 3000));
}

// The pointer's picture where it is now, as the X server shows it.
std::vector<std::uint32_t> CursorPixels() {
  auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
  xcb_connection_t* c = x11->connection();
  std::free(xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, 4, 0), nullptr));
  xcb_xfixes_get_cursor_image_reply_t* reply =
      xcb_xfixes_get_cursor_image_reply(c, xcb_xfixes_get_cursor_image(c), nullptr);
  std::vector<std::uint32_t> pixels;
  if (reply != nullptr) {
    const std::uint32_t* data = xcb_xfixes_get_cursor_image_cursor_image(reply);
    pixels.assign(data, data + reply->width * reply->height);
    pixels.push_back(reply->width);
  }
  std::free(reply);
  return pixels;
}

TEST_F(BrushDesktopTest, TheCursorIsACrossExceptForTheTextTool) {
  ui::CScreenMask& canvas = OpenBrush();
  Xdotool("mousemove 900 800");
  RunEvents(200);
  const std::vector<std::uint32_t> cross = CursorPixels();
  ASSERT_FALSE(cross.empty());
  canvas.SetTool(ui::kToolText);
  ASSERT_TRUE(WaitUntil([&] { return CursorPixels() != cross; }, 3000)) << "the text tool kept the cross";
  const std::vector<std::uint32_t> arrow = CursorPixels();
  canvas.SetTool(ui::kToolEraser);
  EXPECT_TRUE(WaitUntil([&] { return CursorPixels() == cross; }, 3000));
  canvas.SetTool(ui::kToolText);
  EXPECT_TRUE(WaitUntil([&] { return CursorPixels() == arrow; }, 3000));
}

class BrushMainWindowTest : public MainWindowFixture {};

TEST_F(BrushMainWindowTest, TheHotKeyAndTheButtonToggleOneBrush) {
  ui::CMainWnd& window = OpenWindow(true);
  ASSERT_TRUE(WaitUntil([&] { return window.isVisible(); }, 3000));
  RunEvents(300);
  Xdotool("key alt+k");
  ASSERT_TRUE(WaitUntil([&] { return window.screenBrush() != nullptr; }, 5000));
  QPointer<ui::CScreenMask> first = window.screenBrush();
  EXPECT_TRUE(WaitUntil([&] { return first->palette() && first->palette()->isVisible(); }, 3000));
  Xdotool("key alt+k");
  EXPECT_TRUE(WaitUntil([&] { return first.isNull(); }, 5000)) << "a second request did not close the brush";
  EXPECT_EQ(window.screenBrush(), nullptr);

  window.FindControl<QAbstractButton>("brushBtn")->click();
  ASSERT_NE(window.screenBrush(), nullptr);
  QPointer<ui::CScreenMask> second = window.screenBrush();
  window.FindControl<QAbstractButton>("brushBtn")->click();
  EXPECT_TRUE(WaitUntil([&] { return second.isNull(); }, 5000));
}

}  // namespace
}  // namespace tarn::test
