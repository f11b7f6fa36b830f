// The cut page on a desktop: a recording sent from the list's cut button,
// positions taken from the player (which a picture shows at 5.000 s), real
// cuts with the real ffmpeg checked by duration and first picture, the cut
// without re-encoding from a keyframe, the "." and "," keys, and the prompts
// for positions that cannot be cut.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QSpinBox>
#include <QTest>
#include <atomic>
#include <filesystem>

#include "tests/support/main_window_fixture.h"
#include "tests/support/media_probe.h"
#include "tests/support/numbered_media.h"
#include "ui/main/cut_page_player.h"
#include "ui/tools/cut_tools.h"
#include "ui/tools/tool_jobs.h"
#include "ui/tools/tool_pages.h"

namespace tarn::test {
namespace {

namespace fs = std::filesystem;
using preview::VideoPlayer;

constexpr int kFrameRate = 30;
constexpr double kFrameSeconds = 1.0 / kFrameRate;

// The number carried by the first picture of the first video stream; -1
// when unreadable.
int FirstPictureNumber(const std::string& path) {
  AVFormatContext* opened = nullptr;
  if (avformat_open_input(&opened, path.c_str(), nullptr, nullptr) < 0) return -1;
  av::InputContextPtr input(opened);
  if (avformat_find_stream_info(input.get(), nullptr) < 0) return -1;
  const AVCodec* codec = nullptr;
  const int stream = av_find_best_stream(input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
  if (stream < 0) return -1;
  av::CodecContextPtr decoder(avcodec_alloc_context3(codec));
  avcodec_parameters_to_context(decoder.get(), input->streams[stream]->codecpar);
  if (avcodec_open2(decoder.get(), codec, nullptr) < 0) return -1;
  av::PacketPtr packet = av::MakePacket();
  av::FramePtr frame = av::MakeFrame();
  while (av_read_frame(input.get(), packet.get()) >= 0) {
    const bool ours = packet->stream_index == stream;
    if (ours) avcodec_send_packet(decoder.get(), packet.get());
    av_packet_unref(packet.get());
    if (ours && avcodec_receive_frame(decoder.get(), frame.get()) == 0) {
      return ReadPictureNumber(frame.get());
    }
  }
  avcodec_send_packet(decoder.get(), nullptr);
  return avcodec_receive_frame(decoder.get(), frame.get()) == 0 ? ReadPictureNumber(frame.get()) : -1;
}

class CutToolsTest : public MainWindowFixture {
 protected:
  void SetUp() override {
    MainWindowFixture::SetUp();
    av_log_set_level(AV_LOG_ERROR);
  }

  // A recording of 15 s whose pictures carry their numbers, sent to the cut
  // page from the list's cut button.
  void OpenRecording(int gop) {
    NumberedMediaOptions options;
    options.frameRate = kFrameRate;
    options.frames = 15 * kFrameRate;
    options.gop = gop;
    std::string why;
    ASSERT_TRUE(WriteNumberedMedia(outputDir_ + "/clip.mp4", options, why)) << why;
    OpenWindow();
    ASSERT_TRUE(WaitForDurations());
    ASSERT_EQ(List()->count(), 1);
    List()->itemWidget(List()->item(0))->findChild<QAbstractButton*>("recorderCutBtn")->click();
    page_ = window_->cutPagePlayer();
    ASSERT_NE(page_->player(), nullptr);
    page_->player()->SetFrameObserver([this](const AVFrame* frame, double) {
      shownNumber_ = ReadPictureNumber(frame);
    });
    Click("pause");
  }

  // Seeks the paused player to `seconds`; the number of the picture shown there.
  int SeekTo(double seconds) {
    shownNumber_ = -1;
    page_->player()->SeekSeconds(seconds);
    EXPECT_TRUE(WaitUntil([&] { return std::abs(page_->player()->position() - seconds) < 1e-6; },
                          10000));
    EXPECT_TRUE(WaitUntil([&] { return shownNumber_ >= 0; }, 5000));
    return shownNumber_;
  }

  void Click(const char* name) { window_->FindControl<QAbstractButton>(name)->click(); }
  QString Text(const char* name) { return window_->FindControl<QLabel>(name)->text(); }
  QString Fields(const char* prefix) {
    const auto value = [&](const char* part) {
      return window_->FindControl<QSpinBox>(QString(prefix) + part)->value();
    };
    return QString::asprintf("%02d:%02d:%02d.%03d", value("hour"), value("min"), value("sec"),
                             value("milli"));
  }
  // Runs the cut; the output file (from the finished label's tip).
  std::string CutAndWait() {
    Click("video-cut-btn");
    auto* button = window_->FindControl<QAbstractButton>("video-cut-btn");
    EXPECT_FALSE(button->isEnabled());
    EXPECT_TRUE(WaitUntil([&] { return button->isEnabled(); }, 60000));
    EXPECT_EQ(Text("video-cut-progress-label"), "100%");
    return window_->FindControl<QLabel>("video-cut-progress-label")->toolTip().toStdString();
  }

  ui::CutPagePlayer* page_ = nullptr;
  std::atomic<int> shownNumber_{-1};
  ScopedEnv audioDriver_{"SDL_AUDIODRIVER", "dummy"};
};

TEST_F(CutToolsTest, ACutStartsAtThePictureThePlayerShowedAndLastsTheSpan) {
  OpenRecording(250);
  const int shownAtStart = SeekTo(5.0);
  EXPECT_EQ(shownAtStart, 5 * kFrameRate);
  Click("get-starttime");
  EXPECT_EQ(Fields("starttime-"), "00:00:05.000");
  SeekTo(12.5);
  Click("get-endtime");
  EXPECT_EQ(Fields("endtime-"), "00:00:12.500");

  const std::string output = CutAndWait();
  EXPECT_EQ(fs::path(output).parent_path().string(), outputDir_);
  EXPECT_EQ(fs::path(output).filename().string().rfind("clip-", 0), 0u) << output;
  const MediaInfo info = ProbeMedia(output);
  ASSERT_TRUE(info.opened) << output;
  const StreamInfo* video = info.Find(AVMEDIA_TYPE_VIDEO);
  ASSERT_NE(video, nullptr);
  EXPECT_NEAR(video->duration(), 7.5, kFrameSeconds + 1e-3);
  EXPECT_EQ(FirstPictureNumber(output), shownAtStart);
}

TEST_F(CutToolsTest, AQuickCutCopiesFromTheKeyframeBeforeTheStart) {
  OpenRecording(90);  // keyframes every 3 s
  SeekTo(5.0);
  Click("get-starttime");
  window_->FindControl<QCheckBox>("quick-cut-check")->click();
  // Shown before the cut runs.
  EXPECT_EQ(Text("cut-start-used"), QString::fromUtf8("实际开始位置: 00:00:03.000"));
  // A start typed in follows too: 9.000 is a keyframe, 8.999 starts at 6.000.
  window_->toolPages().cut().SetStartMs(9000);
  EXPECT_TRUE(WaitUntil([&] { return Text("cut-start-used").endsWith("00:00:09.000"); }, 5000))
      << Text("cut-start-used").toStdString();
  window_->toolPages().cut().SetStartMs(8999);
  EXPECT_TRUE(WaitUntil([&] { return Text("cut-start-used").endsWith("00:00:06.000"); }, 5000))
      << Text("cut-start-used").toStdString();
  window_->toolPages().cut().SetStartMs(5000);
  EXPECT_TRUE(WaitUntil([&] { return Text("cut-start-used").endsWith("00:00:03.000"); }, 5000))
      << Text("cut-start-used").toStdString();
  SeekTo(12.5);
  Click("get-endtime");
  const std::string output = CutAndWait();
  const MediaInfo info = ProbeMedia(output);
  ASSERT_TRUE(info.opened) << output;
  const StreamInfo* video = info.Find(AVMEDIA_TYPE_VIDEO);
  ASSERT_NE(video, nullptr);
  // Copied packets end where their decoding order ends: pictures held back
  // for reordering (two here) may follow the end point.
  EXPECT_NEAR(video->duration(), 9.5 + kFrameSeconds, 2 * kFrameSeconds + 1e-3);
  EXPECT_EQ(FirstPictureNumber(output), 3 * kFrameRate);
}

TEST_F(CutToolsTest, PeriodAndCommaStepOnePicture) {
  OpenRecording(250);
  EXPECT_EQ(SeekTo(5.0), 150);
  // The keys work once the page has the keyboard (a click on the picture).
  QWidget* playerArea = window_->FindControl<QWidget>("player-area");
  window_->activateWindow();
  playerArea->setFocus(Qt::MouseFocusReason);
  ASSERT_TRUE(WaitUntil([&] { return playerArea->hasFocus(); }, 5000));
  shownNumber_ = -1;
  QTest::keyClick(playerArea, Qt::Key_Period);
  EXPECT_TRUE(WaitUntil([&] { return shownNumber_ == 151; }, 5000)) << shownNumber_;
  shownNumber_ = -1;
  QTest::keyClick(playerArea, Qt::Key_Comma);
  EXPECT_TRUE(WaitUntil([&] { return shownNumber_ == 150; }, 5000)) << shownNumber_;
}

TEST_F(CutToolsTest, PositionsThatCannotBeCutArePromptedAndLaunchNothing) {
  OpenRecording(250);
  const auto countFiles = [&] {
    return std::distance(fs::directory_iterator(outputDir_), fs::directory_iterator());
  };
  const auto files = countFiles();
  QString shown;
  ClickWhenShown("PromptBoxDialog", "msgConfirm", &shown);
  Click("video-cut-btn");
  EXPECT_EQ(shown, QString::fromUtf8("请选择截取位置"));

  window_->toolPages().cut().SetStartMs(8000);
  window_->toolPages().cut().SetEndMs(8000);
  ClickWhenShown("PromptBoxDialog", "msgConfirm", &shown);
  Click("video-cut-btn");
  EXPECT_EQ(shown, QString::fromUtf8("结束位置必须大于开始位置"));
  window_->toolPages().cut().SetEndMs(7999);
  ClickWhenShown("PromptBoxDialog", "msgConfirm", &shown);
  shown.clear();
  Click("video-cut-btn");
  EXPECT_EQ(shown, QString::fromUtf8("结束位置必须大于开始位置"));
  EXPECT_EQ(window_->toolPages().jobs().RunningCount(), 0);
  EXPECT_TRUE(window_->FindControl<QAbstractButton>("video-cut-btn")->isEnabled());
  EXPECT_EQ(countFiles(), files);

  // Another file starts with no positions.
  NumberedMediaOptions options;
  options.frames = 30;
  std::string why;
  ASSERT_TRUE(WriteNumberedMedia(home_ / "other.mp4", options, why)) << why;
  ASSERT_TRUE(page_->Open(QString::fromStdString(home_ / "other.mp4")));
  EXPECT_EQ(Fields("starttime-"), "00:00:00.000");
  EXPECT_EQ(Fields("endtime-"), "00:00:00.000");
}

}  // namespace
}  // namespace tarn::test
