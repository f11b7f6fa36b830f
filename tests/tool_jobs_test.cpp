// The convert and compress pages running the real ffmpeg on small generated
// clips: every container, a frame size of the table, the compress result's
// sizes and colours, a failing job, a cancelled job, jobs side by side, a path
// with spaces, quotes and Chinese characters, a missing transcoder, and the
// question when the window closes while jobs run.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <filesystem>
#include <fstream>

#include "tests/support/main_window_fixture.h"
#include "tests/support/media_probe.h"
#include "ui/main/main_messages.h"
#include "ui/main/recorded_file.h"
#include "ui/tools/list_tool_page.h"
#include "ui/tools/tool_commands.h"
#include "ui/tools/tool_jobs.h"
#include "ui/tools/tool_pages.h"

namespace tarn::test {
namespace {

namespace fs = std::filesystem;
using ui::tools::ListToolPage;

constexpr int kJobTimeoutMs = 60000;

class ToolJobsTest : public MainWindowFixture {
 protected:
  void SetUp() override {
    MainWindowFixture::SetUp();
    OpenWindow();
    sources_ = home_ / "sources";
    fs::create_directories(sources_);
  }

  // A clip of `seconds` at 320x240 with sound, made by the transcoder.
  std::string MakeClip(const std::string& name, int seconds, const std::string& quality = "") {
    // Made under a plain name, then given its own (which may hold quotes).
    const std::string plain = sources_ + "/made.mp4";
    const std::string path = sources_ + "/" + name;
    const std::string command =
        "ffmpeg -v error -y -f lavfi -i testsrc=size=320x240:rate=25 -f lavfi -i sine=frequency=440 "
        "-t " + std::to_string(seconds) + " -pix_fmt yuv420p " + quality + " '" + plain + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    fs::rename(plain, path);
    return path;
  }

  ListToolPage& Convert() { return window_->toolPages().convert(); }
  ListToolPage& Compress() { return window_->toolPages().compress(); }
  QWidget* Item(int index) { return window_->fileList().RowWidget(index); }
  QString Label(int index, const char* name) {
    return Item(index)->findChild<QLabel*>(name)->text();
  }
  QPushButton* Button(ListToolPage& page, int index) {
    return Item(index)->findChild<QPushButton*>(page.listKind() == ui::kListConvert ? "convert-btn"
                                                                                     : "compress-btn");
  }
  bool WaitForEnd(ListToolPage& page, int index) {
    return WaitUntil([&] { return Button(page, index)->isEnabled(); }, kJobTimeoutMs);
  }
  std::string Output(int index) { return window_->fileList().Find(index)->extra; }
  // Compress jobs that take many seconds even on a fast machine: the small
  // source grows to 1920×1080, with the slower preset and a high quality.
  void MakeJobsSlow() {
    window_->FindControl<QComboBox>("video-compress-ratio")->setCurrentIndex(1);
    window_->FindControl<QAbstractButton>("video-compress-check")->click();
    window_->FindControl<QSlider>("video-compress-slider")->setValue(18);
    window_->FindControl<QAbstractButton>("video-compress-balanced-check")->click();
  }

  std::string sources_;
};

TEST_F(ToolJobsTest, ConvertsToEveryContainerAtOnce) {
  const std::string source = MakeClip("clip.mp4", 2);
  auto* format = window_->FindControl<QComboBox>("video-convert-format");
  const std::vector<std::string> expected = {"mov,mp4,m4a,3gp,3g2,mj2", "flv", "asf", "avi",
                                             "mov,mp4,m4a,3gp,3g2,mj2", "matroska,webm"};
  ASSERT_EQ(format->count(), 6);
  std::vector<int> items;
  for (int i = 0; i < format->count(); ++i) {
    const int index = Convert().AddFile(QString::fromStdString(source));
    ASSERT_GE(index, 0);
    format->setCurrentIndex(i);
    ASSERT_GT(Convert().Start(index), 0);
    EXPECT_FALSE(Button(Convert(), index)->isEnabled());
    EXPECT_EQ(Label(index, "progress-label"), "0%");
    items.push_back(index);
  }
  EXPECT_GE(window_->toolPages().jobs().RunningCount(), 2);
  for (std::size_t i = 0; i < items.size(); ++i) {
    SCOPED_TRACE(format->itemText(static_cast<int>(i)).toStdString());
    ASSERT_TRUE(WaitForEnd(Convert(), items[i]));
    EXPECT_EQ(Label(items[i], "progress-label"), "100%");
    EXPECT_EQ(Item(items[i])->findChild<QProgressBar*>("convert-progress")->value(), 100);
    const std::string output = Output(items[i]);
    EXPECT_EQ(fs::path(output).extension().string(), "." + format->itemText(int(i)).toStdString());
    const MediaInfo info = ProbeMedia(output);
    ASSERT_TRUE(info.opened) << output;
    EXPECT_EQ(info.format, expected[i]);
    const StreamInfo* video = info.Find(AVMEDIA_TYPE_VIDEO);
    ASSERT_NE(video, nullptr);
    EXPECT_EQ(video->width, 320);
    EXPECT_NEAR(video->duration(), 2.0, 0.2);
  }
  // Six outputs of one source in the same second, none overwritten.
  std::set<std::string> names;
  for (int index : items) names.insert(Output(index));
  EXPECT_EQ(names.size(), items.size());
}

TEST_F(ToolJobsTest, ConvertsToASizeOfTheTableIntoAQuotedChinesePath) {
  fs::create_directories(sources_ + "/my clips");
  const std::string source = MakeClip("my clips/a \"quoted\" 'clip' 视频.mp4", 1);
  window_->FindControl<QComboBox>("video-convert-ratio")->setCurrentIndex(7);  // 640×480
  window_->FindControl<QComboBox>("video-convert-format")->setCurrentText("mkv");
  const int index = Convert().AddFile(QString::fromStdString(source));
  ASSERT_GT(Convert().Start(index), 0);
  ASSERT_TRUE(WaitForEnd(Convert(), index));
  EXPECT_EQ(Label(index, "progress-label"), "100%");
  const std::string output = Output(index);
  EXPECT_EQ(fs::path(output).filename().string().rfind("a \"quoted\" 'clip' 视频-", 0), 0u) << output;
  const MediaInfo info = ProbeMedia(output);
  ASSERT_TRUE(info.opened) << output;
  const StreamInfo* video = info.Find(AVMEDIA_TYPE_VIDEO);
  ASSERT_NE(video, nullptr);
  EXPECT_EQ(video->width, 640);
  EXPECT_EQ(video->height, 480);
}

TEST_F(ToolJobsTest, CompressShowsTheSizesAndTheReductionInItsColour) {
  // A generously coded source shrinks; a starved source grows when coded
  // generously.
  const std::string big = MakeClip("big.mp4", 2, "-c:v libx264 -crf 10");
  const std::string small = MakeClip("small.mp4", 2, "-c:v libx264 -crf 51 -c:a aac -b:a 16k");
  window_->FindControl<QAbstractButton>("compress-type-limit")->setChecked(true);
  const int shrinking = Compress().AddFile(QString::fromStdString(big));
  ASSERT_GT(Compress().Start(shrinking), 0);
  ASSERT_TRUE(WaitForEnd(Compress(), shrinking));

  window_->FindControl<QAbstractButton>("video-compress-check")->click();
  window_->FindControl<QSlider>("video-compress-slider")->setValue(18);
  window_->FindControl<QAbstractButton>("compress-radio-flv")->setChecked(true);
  const int growing = Compress().AddFile(QString::fromStdString(small));
  ASSERT_GT(Compress().Start(growing), 0);
  ASSERT_TRUE(WaitForEnd(Compress(), growing));

  for (int index : {shrinking, growing}) {
    SCOPED_TRACE(index);
    EXPECT_EQ(Label(index, "progress-label"), "100%");
    const std::int64_t sourceSize = window_->fileList().Find(index)->size;
    const std::int64_t outputSize = static_cast<std::int64_t>(fs::file_size(Output(index)));
    EXPECT_EQ(Label(index, "s1Label").toStdString(), ui::FormatFileSize(outputSize));
    const double percent = double(sourceSize - outputSize) / double(sourceSize) * 100.0;
    EXPECT_EQ(Label(index, "y1Label"), QString::asprintf("%.2f%%", percent));
    const QString style = Item(index)->findChild<QLabel*>("y1Label")->styleSheet();
    EXPECT_TRUE(style.contains(percent < 0 ? "#FF0000" : "#10C00B")) << style.toStdString();
  }
  EXPECT_GT(Label(shrinking, "y1Label").chopped(1).toDouble(), 0.0);
  EXPECT_TRUE(Label(growing, "y1Label").startsWith("-"));
  EXPECT_EQ(fs::path(Output(growing)).extension(), ".flv");
}

TEST_F(ToolJobsTest, AFailingJobSaysWhyAndLeavesNoFile) {
  const std::string notMedia = sources_ + "/notes.mp4";
  std::ofstream(notMedia) << "this is not a video\n";
  const int index = Convert().AddFile(QString::fromStdString(notMedia));
  ASSERT_GT(Convert().Start(index), 0);
  ASSERT_TRUE(WaitForEnd(Convert(), index));
  EXPECT_EQ(Label(index, "progress-label"), QString::fromUtf8("失败"));
  const QString why = Item(index)->findChild<QLabel*>("progress-label")->toolTip();
  EXPECT_TRUE(why.contains("Invalid data")) << why.toStdString();
  EXPECT_FALSE(fs::exists(Output(index)));
  EXPECT_EQ(window_->toolPages().jobs().RunningCount(), 0);
}

TEST_F(ToolJobsTest, ACancelledJobEndsItsTranscoderAndRemovesItsOutput) {
  const std::string source = MakeClip("long.mp4", 20);
  MakeJobsSlow();
  const int index = Compress().AddFile(QString::fromStdString(source));
  ASSERT_GT(Compress().Start(index), 0);
  // Cancelled from the item's menu once the output is being written.
  ASSERT_TRUE(WaitUntil([&] { return fs::exists(Output(index)); }, kJobTimeoutMs));
  ui::PostMessage(window_.get(), ui::kWmToolCancel,
                  ui::PackFileMenuRequest({ui::kListCompress, index}));
  ASSERT_TRUE(WaitForEnd(Compress(), index));
  EXPECT_EQ(Label(index, "progress-label"), QString::fromUtf8("已取消"));
  EXPECT_FALSE(fs::exists(Output(index)));
}

TEST_F(ToolJobsTest, AMissingTranscoderIsReportedAndLaunchesNothing) {
  const std::string source = MakeClip("clip.mp4", 1);
  const int index = Convert().AddFile(QString::fromStdString(source));
  // None beside the test program, none on PATH; then one that cannot start.
  fs::create_directories(home_ / "empty");
  ScopedEnv path("PATH", home_ / "empty");
  for (const QString& transcoder : {QString(), QString::fromStdString(home_ / "empty/ffmpeg")}) {
    SCOPED_TRACE(transcoder.toStdString());
    window_->toolPages().jobs().SetTranscoder(transcoder);
    QString shown;
    ClickWhenShown("PromptBoxDialog", "msgConfirm", &shown);
    EXPECT_EQ(Convert().Start(index), 0);
    EXPECT_EQ(shown, QString::fromUtf8("未找到 ffmpeg"));
    EXPECT_TRUE(Button(Convert(), index)->isEnabled());
    EXPECT_EQ(Label(index, "progress-label"), QString::fromUtf8("失败"));
    EXPECT_EQ(window_->toolPages().jobs().RunningCount(), 0);
  }
}

TEST_F(ToolJobsTest, ClosingWithARunningJobAsksThenEndsIt) {
  settings_.SetString(kWindowClose, "0");  // close means quit
  const std::string source = MakeClip("long.mp4", 20);
  MakeJobsSlow();
  const int index = Compress().AddFile(QString::fromStdString(source));
  ASSERT_GT(Compress().Start(index), 0);
  ASSERT_TRUE(WaitUntil([&] { return fs::exists(Output(index)); }, kJobTimeoutMs));

  QString asked;
  ClickWhenShown("MessageBoxDialog", "msgCancel", &asked);
  window_->close();
  EXPECT_EQ(asked, QString::fromUtf8(ui::kQuitWhileJobsText));
  EXPECT_EQ(window_->toolPages().jobs().RunningCount(), 1);

  ClickWhenShown("MessageBoxDialog", "msgConfirm");
  window_->close();
  EXPECT_TRUE(WaitUntil([&] { return closedCount_ == 1; }, 5000));
  EXPECT_FALSE(fs::exists(Output(index)));
}

TEST_F(ToolJobsTest, ItemMenusOpenTheOutputFolderRemoveTheItemAndCancelItsJob) {
  const std::string source = MakeClip("clip.mp4", 1);
  const int converting = Convert().AddFile(QString::fromStdString(source));
  const int compressing = Compress().AddFile(QString::fromStdString(source));
  ASSERT_EQ(Convert().list()->count(), 1);
  ASSERT_EQ(Compress().list()->count(), 1);

  // The convert item's menu: its folder is the output folder, not the source's.
  Item(converting)->findChild<QAbstractButton*>("convert-list-menu-btn")->click();
  QWidget* menu = VisibleWindowOfClass("ConvertPopMenu");
  ASSERT_NE(menu, nullptr);
  menu->findChild<QAbstractButton*>("file-open-dir")->click();
  ASSERT_TRUE(WaitUntil([&] { return opened_.size() == 1; }, 2000));
  EXPECT_EQ(opened_[0].toLocalFile().toStdString(), outputDir_);

  // "video-dir-btn" on the cut page opens the same folder.
  window_->FindControl<QAbstractButton>("video-dir-btn")->click();
  ASSERT_EQ(opened_.size(), 2u);
  EXPECT_EQ(opened_[1].toLocalFile().toStdString(), outputDir_);

  // Removing a compress item leaves the convert list and the file alone.
  Item(compressing)->findChild<QAbstractButton*>("compress-list-menu-btn")->click();
  menu = VisibleWindowOfClass("CompressPopMenu");
  ASSERT_NE(menu, nullptr);
  menu->findChild<QAbstractButton*>("file-remove")->click();
  ASSERT_TRUE(WaitUntil([&] { return Compress().list()->count() == 0; }, 2000));
  EXPECT_EQ(Convert().list()->count(), 1);
  EXPECT_TRUE(fs::exists(source));

  // Cancelling an item without a running job changes nothing.
  Item(converting)->findChild<QAbstractButton*>("convert-list-menu-btn")->click();
  menu = VisibleWindowOfClass("ConvertPopMenu");
  ASSERT_NE(menu, nullptr);
  menu->findChild<QAbstractButton*>("job-cancel")->click();
  RunEvents(100);
  EXPECT_TRUE(Button(Convert(), converting)->isEnabled());
  EXPECT_EQ(Label(converting, "progress-label"), "");
}

}  // namespace
}  // namespace tarn::test
