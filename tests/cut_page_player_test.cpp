// The cut page's player in the main window on a desktop: a recording sent from
// the list's cut button plays and is drawn in "player-area"; the page's
// controls drive the player; the end of playback and closing the window
// while playing reset everything.

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <QAbstractButton>
#include <QLabel>
#include <QSlider>
#include <QStackedWidget>
#include <cstdlib>
#include <fstream>

#include "tests/support/main_window_fixture.h"
#include "tests/support/numbered_media.h"
#include "ui/main/cut_page_player.h"

namespace tarn::test {
namespace {

using preview::VideoPlayer;

// The mean brightness of a 9x9 patch of `window` around (x, y); -1 when
// unreadable.
int BrightnessOf(std::uintptr_t window, int x, int y) {
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  int brightness = -1;
  if (xcb_connection_has_error(connection) == 0) {
    xcb_get_image_reply_t* reply = xcb_get_image_reply(
        connection,
        xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, static_cast<xcb_window_t>(window),
                      static_cast<int16_t>(x - 4), static_cast<int16_t>(y - 4), 9, 9, ~0u),
        nullptr);
    if (reply != nullptr && xcb_get_image_data_length(reply) >= 9 * 9 * 4) {
      const std::uint8_t* data = xcb_get_image_data(reply);
      int sum = 0;
      for (int i = 0; i < 81; ++i) sum += (data[i * 4] + data[i * 4 + 1] + data[i * 4 + 2]) / 3;
      brightness = sum / 81;
    }
    std::free(reply);
  }
  xcb_disconnect(connection);
  return brightness;
}

class CutPagePlayerTest : public MainWindowFixture {
 protected:
  void SetUp() override {
    MainWindowFixture::SetUp();
    av_log_set_level(AV_LOG_ERROR);
  }
  std::string MakeVideo(const std::string& name, int frames) {
    NumberedMediaOptions options;
    options.frames = frames;
    std::string why;
    EXPECT_TRUE(WriteNumberedMedia(outputDir_ + "/" + name, options, why)) << why;
    return outputDir_ + "/" + name;
  }
  QAbstractButton* Button(const char* name) { return window_->FindControl<QAbstractButton>(name); }
  ScopedEnv audioDriver_{"SDL_AUDIODRIVER", "dummy"};
};

TEST_F(CutPagePlayerTest, TheListsCutButtonPlaysTheRecordingDrawnInThePlayerArea) {
  MakeVideo("clip.mp4", 300);
  OpenWindow();
  ASSERT_TRUE(WaitForDurations());
  ASSERT_EQ(List()->count(), 1);
  QWidget* row = List()->itemWidget(List()->item(0));
  row->findChild<QAbstractButton*>("recorderCutBtn")->click();

  EXPECT_EQ(window_->FindControl<QStackedWidget>("main-tab")->currentIndex(), 1);
  ui::CutPagePlayer* page = window_->cutPagePlayer();
  ASSERT_NE(page->player(), nullptr);
  EXPECT_EQ(page->player()->state(), VideoPlayer::kPlaying);
  EXPECT_FALSE(Button("play")->isVisible());
  EXPECT_TRUE(Button("pause")->isVisible());
  ui::CVideoArea* area = page->area();
  ASSERT_TRUE(WaitUntil([&] { return area->isVisible(); }, 3000));
  QWidget* playerArea = window_->FindControl<QWidget>("player-area");
  EXPECT_EQ(area->AreaWidth(), playerArea->width() - 4);
  EXPECT_EQ(area->AreaHeight(), playerArea->height() - 4);
  // The lower part of each picture is a grey pattern, never black.
  EXPECT_TRUE(WaitUntil(
      [&] { return BrightnessOf(area->NativeWindow(), area->AreaWidth() / 2,
                                area->AreaHeight() * 3 / 4) > 40; },
      5000));
  EXPECT_TRUE(WaitUntil([&] { return page->timeText().contains("/ 00:00:10.0"); }, 3000))
      << page->timeText().toStdString();

  // Pause, jumps and the sliders.
  Button("pause")->click();
  EXPECT_EQ(page->player()->state(), VideoPlayer::kPaused);
  EXPECT_TRUE(Button("play")->isVisible());
  Button("forward")->click();
  EXPECT_TRUE(WaitUntil([&] { return page->player()->position() > 9.9; }, 5000));
  Button("rewind")->click();
  EXPECT_TRUE(WaitUntil([&] { return page->player()->position() < 0.01; }, 5000));
  window_->FindControl<QSlider>("video-slider")->setValue(5);  // as a user's drag does
  EXPECT_TRUE(WaitUntil([&] { return std::abs(page->player()->position() - 5.0) < 0.02; }, 5000));
  EXPECT_TRUE(WaitUntil([&] { return page->timeText().startsWith("00:00:05.000"); }, 3000));
  window_->FindControl<QSlider>("sound-slider")->setValue(100);
  EXPECT_EQ(page->player()->volume(), 128);
  window_->FindControl<QSlider>("sound-slider")->setValue(0);
  EXPECT_EQ(page->player()->volume(), 0);
  Button("play")->click();
  EXPECT_EQ(page->player()->state(), VideoPlayer::kPlaying);

  Button("stop")->click();
  EXPECT_EQ(page->player(), nullptr);
  EXPECT_FALSE(area->isVisible());
  EXPECT_EQ(page->timeText(), "00:00:00 / 00:00:00");
  EXPECT_EQ(window_->FindControl<QSlider>("video-slider")->value(), 0);
  // Play again after a stop plays the same file.
  Button("play")->click();
  ASSERT_NE(page->player(), nullptr);
  EXPECT_EQ(page->player()->state(), VideoPlayer::kPlaying);
  // Closing the window while playing stops the player first.
  window_.reset();
}

TEST_F(CutPagePlayerTest, AChosenFilePlaysToTheEndAndThePageResets) {
  chosenVideo_ = QString::fromStdString(MakeVideo("short.mp4", 30));
  OpenWindow();
  Button("video-cut-page")->click();
  Button("add-video-file")->click();
  ui::CutPagePlayer* page = window_->cutPagePlayer();
  ASSERT_NE(page->player(), nullptr);
  EXPECT_TRUE(WaitUntil([&] { return page->player() == nullptr; }, 10000))
      << "the end of playback stops the player";
  EXPECT_FALSE(page->area()->isVisible());
  EXPECT_TRUE(Button("play")->isVisible());

  // A file that is not a video leaves the page as it was.
  chosenVideo_ = QString::fromStdString(outputDir_ + "/notes.mp4");
  std::ofstream(chosenVideo_.toStdString()) << "text";
  Button("add-video-file")->click();
  EXPECT_EQ(page->player(), nullptr);
  EXPECT_FALSE(page->area()->isVisible());
}

}  // namespace
}  // namespace tarn::test
