// The region frame on a desktop: what is recorded is exactly the rectangle
// inside the frame, clicks inside it reach the windows below, and the frame
// and its toolbar are dragged with the real pointer (xdotool).

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScreen>
#include <cmath>
#include <cstdlib>

#include "tests/support/main_window_fixture.h"
#include "tests/support/media_probe.h"
#include "ui/overlay/tool_window.h"
#include "ui/overlay/user_define_region.h"
#include "ui/overlay/video_mask.h"

namespace tarn::test {
namespace {

namespace fs = std::filesystem;

// A window over the whole screen showing blocks of random greys, so that any
// offset of a recorded picture shows as a large difference.
class PatternWindow : public QWidget {
 public:
  PatternWindow() {
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    image_ = QImage(screen.size(), QImage::Format_RGB32);
    QRandomGenerator random(1234);
    QPainter painter(&image_);
    for (int y = 0; y < image_.height(); y += 8) {
      for (int x = 0; x < image_.width(); x += 8) {
        const int grey = static_cast<int>(random.bounded(256));
        painter.fillRect(x, y, 8, 8, QColor(grey, grey, grey));
      }
    }
    setGeometry(screen);
  }
  QRgb At(int x, int y) const { return image_.pixel(x, y); }

 protected:
  void paintEvent(QPaintEvent*) override { QPainter(this).drawImage(0, 0, image_); }

 private:
  QImage image_;
};

QImage Screenshot() { return QGuiApplication::primaryScreen()->grabWindow(0).toImage(); }

void Xdotool(const std::string& arguments) {
  ASSERT_EQ(std::system(("xdotool " + arguments).c_str()), 0) << arguments;
}

class RegionDesktopTest : public MainWindowFixture {
 protected:
  void SetUp() override {
    MainWindowFixture::SetUp();
    settings_.SetString(kAudioMuteCheck, "1");
    settings_.SetString(kMouseCheck, "0");
    settings_.SetString(kQuality, "0");
    settings_.SetString(kVideoFramerate, "10");
  }

  void StoreRegion(int x, int y, int width, int height) {
    settings_.SetInt(kRegionOffsetX, x);
    settings_.SetInt(kRegionOffsetY, y);
    settings_.SetInt(kRegionWidth, width);
    settings_.SetInt(kRegionHeight, height);
  }

  // Chooses the region on the page and waits until its frame is on the screen.
  ui::CVideoMask& ChooseRegion() {
    window_->FindControl<QAbstractButton>("record-area-region")->click();
    ui::CVideoMask* mask = window_->videoMask();
    const ui::FrameRect f = mask->frame();
    EXPECT_TRUE(WaitUntil(
        [&] { return Screenshot().pixel(f.x + 1, f.y + f.h / 2) == qRgb(255, 0, 0); }, 5000))
        << "the frame did not show";
    return *mask;
  }

  std::string Stored() const {
    return Setting("global", "region-offset-x") + "," + Setting("global", "region-offset-y") + " " +
           Setting("global", "region-width") + "x" + Setting("global", "region-height");
  }

  std::string OnlyRecording() const {
    std::string found;
    for (const auto& entry : fs::directory_iterator(outputDir_)) {
      if (entry.path().extension() == ".mp4") found = entry.path();
    }
    return found;
  }
};

// Mean absolute difference between a decoded picture and the screenshot's
// rectangle at (x, y).
double Difference(const RgbPicture& picture, const QImage& screen, int x, int y) {
  double sum = 0;
  for (int row = 0; row < picture.height; ++row) {
    for (int column = 0; column < picture.width; ++column) {
      const QRgb expected = screen.pixel(x + column, y + row);
      const std::uint8_t* got = picture.At(column, row);
      sum += std::abs(got[0] - qRed(expected)) + std::abs(got[1] - qGreen(expected)) +
             std::abs(got[2] - qBlue(expected));
    }
  }
  return sum / (3.0 * picture.width * picture.height);
}

TEST_F(RegionDesktopTest, TheRecordingHoldsExactlyTheRectangleInsideTheFrame) {
  // Odd offsets: an off-by-one anywhere shows.
  StoreRegion(301, 203, 640, 360);
  OpenWindow();
  PatternWindow pattern;
  pattern.show();
  ASSERT_TRUE(WaitUntil([&] { return Screenshot().pixel(700, 500) == pattern.At(700, 500); }, 5000));
  ChooseRegion();

  window_->StartRecording();
  ASSERT_TRUE(WaitUntil([&] { return window_->recorder().state() == kStateRecording; }, 5000));
  ASSERT_TRUE(WaitUntil([&] {
    return window_->FindControl<QLabel>("recordTimeText")->text() == "00:00:02";
  }, 10000));
  const QImage screen = Screenshot();
  window_->StopRecording();
  ASSERT_TRUE(window_->recorder().WaitUntilFinished(20000));

  const std::string path = OnlyRecording();
  ASSERT_FALSE(path.empty());
  const MediaInfo info = ProbeMedia(path);
  const StreamInfo* video = info.Find(AVMEDIA_TYPE_VIDEO);
  ASSERT_NE(video, nullptr);
  EXPECT_EQ(video->width, 640);
  EXPECT_EQ(video->height, 360);
  const std::vector<RgbPicture> pictures = DecodePictures(path, 12);
  ASSERT_GE(pictures.size(), 10u);
  const RgbPicture& picture = pictures.back();

  // The picture is the screenshot's rectangle: much closer there than one
  // pixel off in any direction.
  const double here = Difference(picture, screen, 301, 203);
  EXPECT_LT(here, 8.0);
  for (const auto& [dx, dy] : {std::pair{-1, 0}, {1, 0}, {0, -1}, {0, 1}}) {
    EXPECT_GT(Difference(picture, screen, 301 + dx, 203 + dy), here + 5.0) << dx << "," << dy;
  }
  // No pixel of the red frame: the pattern is grey, the frame would not be.
  int reddish = 0;
  for (int x = 0; x < picture.width; ++x) {
    for (int y : {0, picture.height - 1}) {
      const std::uint8_t* p = picture.At(x, y);
      if (p[0] > p[1] + 60 && p[0] > p[2] + 60) ++reddish;
    }
  }
  for (int y = 0; y < picture.height; ++y) {
    for (int x : {0, picture.width - 1}) {
      const std::uint8_t* p = picture.At(x, y);
      if (p[0] > p[1] + 60 && p[0] > p[2] + 60) ++reddish;
    }
  }
  EXPECT_EQ(reddish, 0);
}

TEST_F(RegionDesktopTest, AClickInsideTheFrameReachesTheWindowBelowAndOneOnTheFrameDoesNot) {
  StoreRegion(300, 300, 600, 400);  // frame (297, 297, 606, 406)
  OpenWindow();
  QPushButton below("below");
  below.setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint);
  below.setGeometry(200, 200, 900, 700);
  int clicks = 0;
  QObject::connect(&below, &QPushButton::clicked, [&] { ++clicks; });
  below.show();
  ASSERT_TRUE(WaitUntil([&] { return below.isVisible(); }, 5000));
  ChooseRegion();

  Xdotool("mousemove 600 500 click 1");
  ASSERT_TRUE(WaitUntil([&] { return clicks == 1; }, 5000));
  // On the left bar the frame takes the click.
  Xdotool("mousemove 298 500 click 1");
  RunEvents(300);
  Xdotool("mousemove 650 520 click 1");
  ASSERT_TRUE(WaitUntil([&] { return clicks == 2; }, 5000));
  EXPECT_EQ(clicks, 2);
}

TEST_F(RegionDesktopTest, EdgeAndToolbarDragsMoveTheFrameAndStoreTheRegionUnlessRecording) {
  StoreRegion(300, 300, 640, 360);  // frame (297, 297, 646, 366)
  OpenWindow();
  ui::CVideoMask& mask = ChooseRegion();
  ui::CToolWindow* toolbar = mask.toolbar();
  ASSERT_NE(toolbar, nullptr);
  EXPECT_EQ(toolbar->FindControl<QLabel>("record-ratio-info")->text(), "640 x 360");

  // The right bar (x 940..942) dragged 100 pixels to the right.
  Xdotool("mousemove 941 480 mousedown 1 mousemove 991 480 mousemove 1041 480 mouseup 1");
  ASSERT_TRUE(WaitUntil([&] { return Stored() == "300,300 740x360"; }, 5000)) << Stored();
  EXPECT_EQ(mask.frame(), (ui::FrameRect{297, 297, 746, 366}));
  EXPECT_EQ(toolbar->FindControl<QLabel>("record-ratio-info")->text(), "740 x 360");
  EXPECT_EQ(toolbar->width(), 746);
  EXPECT_EQ(toolbar->x(), 297);

  // The toolbar dragged left and down: the frame follows, the size stays.
  const int th = toolbar->height();
  const std::string grab = std::to_string(297 + 20) + " " + std::to_string(297 - th / 2);
  Xdotool("mousemove " + grab + " mousedown 1 mousemove 287 " + std::to_string(297 - th / 2 + 20) +
          " mousemove 267 " + std::to_string(297 - th / 2 + 40) + " mouseup 1");
  ASSERT_TRUE(WaitUntil([&] { return Stored() == "250,340 740x360"; }, 5000)) << Stored();
  ASSERT_TRUE(WaitUntil([&] { return mask.frame() == ui::FrameRect{247, 337, 746, 366}; }, 5000));

  // While recording neither drag changes anything.
  window_->StartRecording();
  ASSERT_TRUE(WaitUntil([&] { return window_->recorder().state() == kStateRecording; }, 5000));
  EXPECT_FALSE(mask.adjustable());
  EXPECT_FALSE(toolbar->draggable());
  Xdotool("mousemove 991 480 mousedown 1 mousemove 1041 480 mouseup 1");
  Xdotool("mousemove 267 " + std::to_string(337 - th / 2) + " mousedown 1 mousemove 300 600 mouseup 1");
  RunEvents(300);
  EXPECT_EQ(Stored(), "250,340 740x360");
  EXPECT_EQ(mask.frame(), (ui::FrameRect{247, 337, 746, 366}));
  ASSERT_TRUE(WaitUntil([&] {
    return toolbar->FindControl<QLabel>("record-duration-info")->text() ==
           ui::ToolbarRecordingText(1);
  }, 10000));
  EXPECT_FALSE(window_->FindControl<QAbstractButton>("record-area-fullscreen")->isEnabled());

  // A second after the stop the frame can be changed again.
  window_->StopRecording();
  ASSERT_TRUE(WaitUntil([&] { return mask.adjustable() && toolbar->draggable(); }, 5000));
  EXPECT_EQ(toolbar->FindControl<QLabel>("record-duration-info")->text(),
            QString::fromUtf8(ui::kToolbarReadyText));
  EXPECT_TRUE(window_->FindControl<QAbstractButton>("record-area-fullscreen")->isEnabled());
  ASSERT_TRUE(window_->recorder().WaitUntilFinished(20000));
}

TEST_F(RegionDesktopTest, AFrameAtTheTopOfTheScreenHasItsToolbarBelowIt) {
  StoreRegion(100, 0, 640, 360);  // frame (97, -3, 646, 366)
  OpenWindow();
  ui::CVideoMask& mask = ChooseRegion();
  ui::CToolWindow* toolbar = mask.toolbar();
  ASSERT_NE(toolbar, nullptr);
  EXPECT_EQ(toolbar->y(), 363);
  const int middle = 363 + toolbar->height() / 2;
  Xdotool("mousemove 120 " + std::to_string(middle) + " mousedown 1 mousemove 120 " +
          std::to_string(middle + 20) + " mousemove 120 " + std::to_string(middle + 40) + " mouseup 1");
  ASSERT_TRUE(WaitUntil([&] { return Stored() == "100,40 640x360"; }, 5000)) << Stored();
  ASSERT_TRUE(WaitUntil([&] { return mask.frame() == ui::FrameRect{97, 37, 646, 366}; }, 5000));
  EXPECT_EQ(toolbar->y(), 403);
}

TEST_F(RegionDesktopTest, TheSelectorButtonRecordsTheRectangleDrawnAndShowsItsFrame) {
  OpenWindow();
  window_->FindControl<QPushButton>("region-select-btn")->click();
  ui::CUserDefineRegion* selector = nullptr;
  ASSERT_TRUE(WaitUntil([&] {
    selector = qobject_cast<ui::CUserDefineRegion*>(VisibleWindowOfClass("CUserDefineRegion"));
    return selector != nullptr && selector->isReady();
  }, 10000));
  // A rectangle drawn from (500, 400) to (900, 700), then a double click in it.
  Xdotool("mousemove 500 400 mousedown 1 mousemove 700 550 mousemove 900 700 mouseup 1");
  ASSERT_TRUE(WaitUntil([&] { return selector->magnifierPoint() == QPoint(900, 700); }, 10000));
  RunEvents(500);  // past the double-click time: the next press is a press
  Xdotool("mousemove 700 550 click --repeat 2 --delay 80 1");
  ASSERT_TRUE(WaitUntil([&] { return window_->videoMask()->isVisible(); }, 10000));
  EXPECT_EQ(Stored(), "500,400 400x300");
  EXPECT_EQ(Setting("global", "user-defined-region-check"), "1");
  EXPECT_TRUE(window_->FindControl<QAbstractButton>("record-area-region")->isChecked());
  EXPECT_EQ(window_->videoMask()->frame(), (ui::FrameRect{497, 397, 406, 306}));
  EXPECT_TRUE(WaitUntil([&] { return window_->isVisible() && !window_->isMinimized(); }, 10000));
}

}  // namespace
}  // namespace tarn::test
