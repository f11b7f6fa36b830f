// The main window's camera preview: offered only with a camera listed, and
// closed before a camera recording opens the camera, with a notice.

#include <gtest/gtest.h>

#include <QPointer>
#include <QPushButton>

#include "preview/camera_display.h"
#include "recorder/audio/capture_devices.h"
#include "tests/support/main_window_fixture.h"
#include "tests/support/media_probe.h"
#include "ui/main/main_tray_icon.h"
#include "ui/preview/camera_window.h"

namespace tarn::test {
namespace {

class CameraPreviewRecordingTest : public MainWindowFixture {
 protected:
  void SetUp() override {
    MainWindowFixture::SetUp();
    ui::WindowImplBase::LoadSharedResources();
    // A camera and a microphone that need no hardware and no sound server.
    SetCaptureDevicesForTesting(
        CaptureCategory::kVideo,
        std::vector<CaptureDeviceEntry>{{"test camera", "testsrc2", "lavfi", "testsrc2=size=320x240:rate=15,realtime", ""}});
    SetCaptureDevicesForTesting(
        CaptureCategory::kAudio,
        std::vector<CaptureDeviceEntry>{{"test microphone", "sine", "lavfi", "sine=frequency=440:sample_rate=44100,arealtime", ""}});
    settings_.SetInt(kVoiceSource, 1);
  }
  void TearDown() override {
    MainWindowFixture::TearDown();
    SetCaptureDevicesForTesting(CaptureCategory::kVideo, std::nullopt);
    SetCaptureDevicesForTesting(CaptureCategory::kAudio, std::nullopt);
  }
  QAbstractButton* Control(const char* name) const { return window_->FindControl<QAbstractButton>(name); }
};

TEST_F(CameraPreviewRecordingTest, ThePreviewIsOfferedOnlyWithACamera) {
  OpenWindow();
  EXPECT_FALSE(Control("camera-preview-btn")->isEnabled());
  cameras_ = {"test camera"};
  window_->close();
  window_.reset();
  OpenWindow();
  EXPECT_TRUE(Control("camera-preview-btn")->isEnabled());
}

TEST_F(CameraPreviewRecordingTest, ThePreviewEndsWithTheMainWindow) {
  cameras_ = {"test camera"};
  OpenWindow();
  Control("camera-preview-btn")->click();
  QPointer<ui::CCameraWindow> preview = window_->cameraPreview();
  ASSERT_TRUE(preview && preview->previewing());
  window_.reset();
  // Its threads are gone with the main window; the window itself follows.
  EXPECT_TRUE(preview.isNull() || !preview->previewing());
  EXPECT_TRUE(WaitUntil([&] { return preview.isNull(); }, 5000));
}

TEST_F(CameraPreviewRecordingTest, ACameraRecordingClosesThePreviewFirstAndSaysSo) {
  cameras_ = {"test camera"};
  ui::CMainWnd& window = OpenWindow();
  Control("camera-preview-btn")->click();
  QPointer<ui::CCameraWindow> preview = window.cameraPreview();
  ASSERT_TRUE(preview);
  ASSERT_TRUE(preview->previewing());
  ASSERT_TRUE(WaitUntil([&] { return preview->display()->picturesShown() >= 3; }, 5000));
  // A second click keeps the one preview.
  Control("camera-preview-btn")->click();
  EXPECT_EQ(window.cameraPreview(), preview.data());

  Control("record-area-camera")->click();
  Control("recorderStartBtn")->click();
  ASSERT_EQ(window.recorder().state(), kStateRecording);
  EXPECT_EQ(window.cameraPreview(), nullptr);
  EXPECT_TRUE(preview.isNull() || !preview->previewing());
  EXPECT_TRUE(window.trayIcon().balloon().contains(QString::fromUtf8(ui::kCameraPreviewClosedText)))
      << window.trayIcon().balloon().toStdString();
  EXPECT_TRUE(WaitUntil([&] { return preview.isNull(); }, 5000));
  // The preview button is locked while recording.
  EXPECT_FALSE(Control("camera-preview-btn")->isEnabled());

  RunEvents(1500);
  const std::string path = outputDir_ + "/" + window.currentFileName();
  Control("recorderStopBtn")->click();
  ASSERT_TRUE(window.recorder().WaitUntilFinished(20000));
  const MediaInfo media = ProbeMedia(path);
  ASSERT_TRUE(media.opened);
  const StreamInfo* video = media.Find(AVMEDIA_TYPE_VIDEO);
  ASSERT_NE(video, nullptr);
  EXPECT_EQ(video->width, 320);
  EXPECT_GT(video->packets, 10);
  EXPECT_TRUE(WaitUntil([&] { return Control("camera-preview-btn")->isEnabled(); }, 5000));
}

}  // namespace
}  // namespace tarn::test
