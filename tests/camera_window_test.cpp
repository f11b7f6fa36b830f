// The camera preview window on a desktop of its own: the camera's picture
// read back from the drawing area, no camera, a camera pulled out, closing.

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <algorithm>
#include <cstring>
#include <memory>

#include "preview/camera_display.h"
#include "recorder/audio/capture_devices.h"
#include "tests/support/pipe_camera.h"
#include "tests/support/qt_wait.h"
#include "tests/support/temp_dir.h"
#include "tests/support/x_pixels.h"
#include "ui/main/video_area.h"
#include "ui/preview/camera_window.h"

namespace tarn::test {
namespace {

using ui::CCameraWindow;

// Whether the X server lists `state` (an atom name) in the window's _NET_WM_STATE.
bool HasWindowState(WId window, const char* state) {
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  bool found = false;
  if (xcb_connection_has_error(connection) == 0) {
    auto atom = [connection](const char* name) {
      xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
          connection, xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
      const xcb_atom_t value = reply != nullptr ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
      std::free(reply);
      return value;
    };
    const xcb_atom_t wanted = atom(state);
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        connection,
        xcb_get_property(connection, 0, static_cast<xcb_window_t>(window), atom("_NET_WM_STATE"), XCB_ATOM_ATOM,
                         0, 32),
        nullptr);
    if (reply != nullptr) {
      const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply));
      const int count = xcb_get_property_value_length(reply) / 4;
      found = std::find(atoms, atoms + count, wanted) != atoms + count;
    }
    std::free(reply);
  }
  xcb_disconnect(connection);
  return found;
}

CaptureDeviceEntry LavfiCamera(const std::string& graph) {
  return CaptureDeviceEntry{"test camera", graph, "lavfi", graph, ""};
}

class CameraWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui::WindowImplBase::SetResourcePath(TARN_SOURCE_SKIN_DIR);
    ui::WindowImplBase::LoadSharedResources();
  }
  void TearDown() override {
    if (window_) {
      window_->close();
      WaitUntil([&] { return window_.isNull(); }, 5000);
    }
    SetCaptureDevicesForTesting(CaptureCategory::kVideo, std::nullopt);
    ui::WindowImplBase::SetResourcePath(QString());
  }

  CCameraWindow& OpenWith(std::vector<CaptureDeviceEntry> cameras) {
    SetCaptureDevicesForTesting(CaptureCategory::kVideo, std::move(cameras));
    window_ = CCameraWindow::Open();
    EXPECT_TRUE(window_);
    EXPECT_TRUE(WaitUntil([&] { return window_->isVisible(); }, 5000));
    return *window_;
  }

  // Clicks the close button and waits until the window is gone.
  bool CloseByButton() {
    bool closed = false;
    QObject::connect(window_.data(), &CCameraWindow::Closed, [&closed] { closed = true; });
    window_->findChild<QPushButton*>("camera-close")->click();
    return WaitUntil([&] { return closed && window_.isNull(); }, 5000);
  }

  QPointer<CCameraWindow> window_;
};

TEST_F(CameraWindowTest, ShowsTheCamerasPictureScaledIntoTheAreaAndClosesWhilePreviewing) {
  // 640 x 480: red on the left half, blue on the right.
  CCameraWindow& window = OpenWith({LavfiCamera(
      "color=c=red:size=320x480:rate=30[l];color=c=blue:size=320x480:rate=30[r];[l][r]hstack,realtime")});
  ASSERT_TRUE(window.previewing());
  EXPECT_EQ(window.statusText(), QString());
  EXPECT_EQ(window.display()->sourceWidth(), 640);

  // Placed at the primary screen's top right, at the size of the layout.
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  EXPECT_EQ(window.geometry().topLeft(), QPoint(screen.width() - 250, 20));
  EXPECT_EQ(window.size(), QSize(230, 188));
  ui::CVideoArea* area = window.videoArea();
  EXPECT_EQ(area->geometry(), QRect(0, 28, 230, 160));
  EXPECT_TRUE(WaitUntil([&] { return HasWindowState(window.winId(), "_NET_WM_STATE_ABOVE"); }, 5000));

  // The whole picture fills the area: its right half is in the area's right
  // half, down to the last pixel (in device pixels on a scaled screen).
  const std::uintptr_t native = area->NativeWindow();
  const double ratio = area->devicePixelRatioF();
  EXPECT_EQ(area->AreaWidth(), static_cast<int>(230 * ratio + 0.5));
  for (auto [x, y, red] : {std::tuple{2, 2, true}, {100, 80, true}, {130, 80, false}, {227, 157, false}}) {
    SCOPED_TRACE(testing::Message() << "area pixel " << x << "," << y);
    EXPECT_TRUE(WaitUntil(
        [&] {
          const Rgb pixel = PixelOf(native, static_cast<int>(x * ratio), static_cast<int>(y * ratio));
          return red ? IsRed(pixel) : IsBlue(pixel);
        },
        5000));
  }
  // The caption stays above the picture, in its own colour.
  EXPECT_EQ(window.findChild<QWidget*>("cameraCaption")->mapTo(&window, QPoint(0, 0)), QPoint(0, 0));
  EXPECT_TRUE(WaitUntil(
      [&] {
        const Rgb caption = PixelOf(window.winId(), static_cast<int>(150 * ratio), static_cast<int>(4 * ratio));
        return std::abs(caption.r - 0x1d) < 8 && std::abs(caption.g - 0x24) < 8 && std::abs(caption.b - 0x33) < 8;
      },
      5000));
  ASSERT_TRUE(WaitUntil([&] { return window.display()->picturesShown() >= 10; }, 5000));
  EXPECT_TRUE(CloseByButton());
}

TEST_F(CameraWindowTest, WithoutACameraTheWindowSaysSoAndClosesNormally) {
  CCameraWindow& window = OpenWith({});
  EXPECT_FALSE(window.previewing());
  EXPECT_EQ(window.statusText(), QString::fromUtf8("未检测到摄像头"));
  EXPECT_FALSE(window.videoArea()->isVisible());
  EXPECT_TRUE(CloseByButton());
}

TEST_F(CameraWindowTest, ACameraPulledOutEndsThePreviewWithTheSameText) {
  TempDir dir;
  auto camera = std::make_unique<PipeCamera>(dir.path() + "/camera.pipe", [](std::int64_t) { return true; });
  CCameraWindow& window = OpenWith({camera->entry()});
  ASSERT_TRUE(window.previewing());
  ASSERT_TRUE(WaitUntil([&] { return window.display()->picturesShown() >= 5; }, 5000));
  EXPECT_TRUE(window.videoArea()->isVisible());
  camera.reset();
  ASSERT_TRUE(WaitUntil([&] { return !window.previewing(); }, 5000));
  EXPECT_EQ(window.statusText(), QString::fromUtf8("未检测到摄像头"));
  EXPECT_FALSE(window.videoArea()->isVisible());
  EXPECT_TRUE(CloseByButton());
}

}  // namespace
}  // namespace tarn::test
