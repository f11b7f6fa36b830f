// The recordings list of the main window: what a folder lists, durations
// measured in the background, and the row menu's open, remove, rename and
// delete.

#include "ui/main/recorded_file_list.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>

#include "tests/support/main_window_fixture.h"
#include "ui/main/main_messages.h"

namespace tarn::ui {
namespace {

namespace fs = std::filesystem;

std::string LabelOf(QWidget* row, const char* name) {
  auto* label = row != nullptr ? row->findChild<QLabel*>(name) : nullptr;
  return label != nullptr ? label->text().toStdString() : "(no row)";
}

class RecordedFileListTest : public test::MainWindowFixture {
 protected:
  void SetUp() override {
    MainWindowFixture::SetUp();
    if (std::system("command -v ffmpeg >/dev/null 2>&1") != 0) GTEST_SKIP() << "ffmpeg is not installed";
  }

  // A 2-second H.264 clip written once per test binary run.
  static const std::string& Clip() {
    static test::TempDir dir;
    static const std::string path = [] {
      const std::string clip = dir / "clip.mp4";
      const int made = std::system(("ffmpeg -v error -f lavfi -i testsrc=duration=2:size=64x48:rate=10 "
                                    "-c:v libx264 '" + clip + "'").c_str());
      return made == 0 ? clip : std::string();
    }();
    return path;
  }

  void CopyClip(const std::string& name) {
    ASSERT_FALSE(Clip().empty()) << "ffmpeg could not make the clip";
    fs::copy_file(Clip(), outputDir_ + "/" + name, fs::copy_options::overwrite_existing);
  }

  // The index of the row showing `fileName`, or -1.
  int IndexOf(const std::string& fileName) {
    for (int i = 0; i < List()->count(); ++i) {
      QWidget* row = List()->itemWidget(List()->item(i));
      if (LabelOf(row, "fileNameLabel") == fileName) return row->property("tag").toInt();
    }
    return -1;
  }

  std::set<std::string> ListedNames() {
    std::set<std::string> names;
    for (int i = 0; i < List()->count(); ++i) {
      names.insert(LabelOf(List()->itemWidget(List()->item(i)), "fileNameLabel"));
    }
    return names;
  }
};

TEST_F(RecordedFileListTest, AFolderOfHundredsIsListedAtOnceAndDurationsFollow) {
  for (int i = 0; i < 500; ++i) CopyClip("rec" + std::to_string(i) + ".mp4");
  CopyClip("CAPITALS.MP4");
  std::ofstream(outputDir_ + "/notes.mp4.txt") << "not a recording";
  fs::create_directory(outputDir_ + "/x.mp4");
  std::ofstream(outputDir_ + "/broken.avi") << "not a video";
  // A media file with no video or audio stream.
  std::ofstream(home_ / "only.srt") << "1\n00:00:00,000 --> 00:00:01,000\nhello\n\n";
  ASSERT_EQ(std::system(("ffmpeg -v error -i '" + (home_ / "only.srt") + "' '" + outputDir_ +
                         "/subtitles.mkv'").c_str()),
            0);

  // Rows come sorted by name (oldest first for names made of start times).
  std::vector<std::string> folderOrder;
  for (const auto& entry : fs::directory_iterator(outputDir_)) {
    if (IsRecordingName(entry.path().filename())) folderOrder.push_back(entry.path().filename());
  }
  std::sort(folderOrder.begin(), folderOrder.end());

  OpenWindow();
  // The window is up before the rows: they are made while the event loop runs.
  EXPECT_EQ(window_->fileList().pendingRows(), 503u);
  EXPECT_LT(List()->count(), 503);
  // A row removed before it was made never appears; a recording finished
  // meanwhile comes after every listed row.
  int lastClip = 502;
  while (lastClip > 0 && window_->fileList().Find(lastClip)->fileName.rfind("rec", 0) != 0) --lastClip;
  const std::string removed = window_->fileList().Find(lastClip)->fileName;
  EXPECT_TRUE(window_->fileList().Remove(kListRecorded, lastClip));
  CopyClip("late.mp4");
  window_->fileList().AddFinishedRecording(outputDir_, "late.mp4");
  ASSERT_TRUE(WaitForDurations(60000));
  ASSERT_EQ(List()->count(), 503);
  std::vector<std::string> shownOrder;
  for (int i = 0; i < List()->count(); ++i) {
    shownOrder.push_back(LabelOf(List()->itemWidget(List()->item(i)), "fileNameLabel"));
  }
  std::vector<std::string> expectedOrder = folderOrder;
  std::erase(expectedOrder, removed);
  expectedOrder.push_back("late.mp4");
  EXPECT_EQ(shownOrder, expectedOrder);
  const std::set<std::string> names = ListedNames();
  EXPECT_EQ(names.count("CAPITALS.MP4"), 0u);
  EXPECT_EQ(names.count("notes.mp4.txt"), 0u);
  EXPECT_EQ(names.count("x.mp4"), 1u);
  EXPECT_EQ(names.count("broken.avi"), 1u);

  int clips = 0;
  for (int i = 0; i < List()->count(); ++i) {
    QWidget* row = List()->itemWidget(List()->item(i));
    const std::string name = LabelOf(row, "fileNameLabel");
    const RecordedFile* entry = window_->fileList().Find(row->property("tag").toInt());
    ASSERT_NE(entry, nullptr) << name;
    EXPECT_EQ(row->objectName().toStdString(), "item-" + std::to_string(entry->index));
    if (name.rfind("rec", 0) == 0) {
      ++clips;
      EXPECT_EQ(LabelOf(row, "durationLabel"), "00:00:02") << name;
      EXPECT_EQ(LabelOf(row, "fileSizeLabel"), FormatFileSize(fs::file_size(Clip()))) << name;
    }
  }
  EXPECT_EQ(clips, 499);
  const QWidget* folder = window_->fileList().RowWidget(IndexOf("x.mp4"));
  EXPECT_EQ(LabelOf(const_cast<QWidget*>(folder), "fileSizeLabel"), "0B");
  EXPECT_EQ(LabelOf(const_cast<QWidget*>(folder), "durationLabel"), "00:00:00");
  EXPECT_EQ(LabelOf(window_->fileList().RowWidget(IndexOf("broken.avi")), "durationLabel"), "00:00:00");
  EXPECT_EQ(LabelOf(window_->fileList().RowWidget(IndexOf("subtitles.mkv")), "durationLabel"),
            kUnknownDurationText);
}

TEST_F(RecordedFileListTest, RenameKeepsTheExtensionRefusesClashesAndUnsafeNames) {
  CopyClip("a.mp4");
  CopyClip("taken.mp4");
  OpenWindow();
  ASSERT_TRUE(WaitForDurations());
  const int index = IndexOf("a.mp4");
  ASSERT_GE(index, 0);

  auto renameTo = [&](const QString& typed) {
    test::AnswerWhenShown("RenameFileDialog", [typed](QWidget* dialog) {
      dialog->findChild<QLineEdit*>("renameFileInput")->setText(typed);
      dialog->findChild<QAbstractButton*>("renameFileConfirm")->click();
    });
    PostMessage(window_.get(), kWmFileRename, PackFileMenuRequest({kListRecorded, index}), 0);
    test::RunEvents(300);
  };
  const auto shownName = [&] { return LabelOf(window_->fileList().RowWidget(index), "fileNameLabel"); };

  // Without a point the old extension is kept.
  renameTo("holiday");
  EXPECT_TRUE(fs::exists(outputDir_ + "/holiday.mp4"));
  EXPECT_FALSE(fs::exists(outputDir_ + "/a.mp4"));
  EXPECT_EQ(shownName(), "holiday.mp4");
  EXPECT_EQ(window_->fileList().Find(index)->fullPath, outputDir_ + "/holiday.mp4");

  // With a point the name is used as typed; the file is not converted.
  renameTo("holiday.mkv");
  EXPECT_TRUE(fs::exists(outputDir_ + "/holiday.mkv"));
  EXPECT_EQ(shownName(), "holiday.mkv");

  // An existing name is never replaced.
  renameTo("taken.mp4");
  EXPECT_TRUE(fs::exists(outputDir_ + "/holiday.mkv"));
  EXPECT_EQ(fs::file_size(outputDir_ + "/taken.mp4"), fs::file_size(Clip()));
  EXPECT_EQ(shownName(), "holiday.mkv");

  // A name reaching into another folder is refused.
  renameTo("../escaped.mp4");
  EXPECT_FALSE(fs::exists(home_ / "escaped.mp4"));
  EXPECT_TRUE(fs::exists(outputDir_ + "/holiday.mkv"));

  // Cancelling changes nothing.
  test::ClickWhenShown("RenameFileDialog", "renameFileCancel");
  PostMessage(window_.get(), kWmFileRename, PackFileMenuRequest({kListRecorded, index}), 0);
  test::RunEvents(300);
  EXPECT_TRUE(fs::exists(outputDir_ + "/holiday.mkv"));
}

TEST_F(RecordedFileListTest, DeleteAsksFirstRemoveKeepsTheFile) {
  CopyClip("keep.mp4");
  CopyClip("gone.mp4");
  CopyClip("listed.mp4");
  OpenWindow();
  ASSERT_TRUE(WaitForDurations());
  ASSERT_EQ(List()->count(), 3);

  // Cancelled: row and file stay.
  QString asked;
  test::ClickWhenShown("MessageBoxDialog", "msgCancel", &asked);
  PostMessage(window_.get(), kWmFileDelete, PackFileMenuRequest({kListRecorded, IndexOf("keep.mp4")}), 0);
  test::RunEvents(300);
  EXPECT_EQ(asked, QString::fromUtf8("确定要删除吗?"));
  EXPECT_EQ(List()->count(), 3);
  EXPECT_TRUE(fs::exists(outputDir_ + "/keep.mp4"));

  // Confirmed: both go.
  test::ClickWhenShown("MessageBoxDialog", "msgConfirm");
  PostMessage(window_.get(), kWmFileDelete, PackFileMenuRequest({kListRecorded, IndexOf("gone.mp4")}), 0);
  test::RunEvents(300);
  EXPECT_EQ(List()->count(), 2);
  EXPECT_FALSE(fs::exists(outputDir_ + "/gone.mp4"));
  EXPECT_EQ(IndexOf("gone.mp4"), -1);

  // Remove takes the row only.
  const int listed = IndexOf("listed.mp4");
  PostMessage(window_.get(), kWmFileRemove, PackFileMenuRequest({kListRecorded, listed}), 0);
  test::RunEvents(100);
  EXPECT_EQ(List()->count(), 1);
  EXPECT_TRUE(fs::exists(outputDir_ + "/listed.mp4"));
  EXPECT_EQ(window_->FindControl<QWidget>(QString("item-%1").arg(listed)), nullptr);

  // A request for a row that no longer exists does nothing.
  PostMessage(window_.get(), kWmFileDelete, PackFileMenuRequest({kListRecorded, listed}), 0);
  test::RunEvents(100);
  EXPECT_EQ(test::VisibleWindowOfClass("MessageBoxDialog"), nullptr);
  EXPECT_TRUE(fs::exists(outputDir_ + "/listed.mp4"));
}

TEST_F(RecordedFileListTest, RowButtonsOpenTheFileTheFolderAndTheMenu) {
  CopyClip("play.mp4");
  OpenWindow();
  ASSERT_TRUE(WaitForDurations());
  QWidget* row = window_->fileList().RowWidget(IndexOf("play.mp4"));
  ASSERT_NE(row, nullptr);
  row->findChild<QAbstractButton*>("playBtn")->click();
  ASSERT_EQ(opened_.size(), 1u);
  EXPECT_EQ(opened_[0].toLocalFile().toStdString(), outputDir_ + "/play.mp4");

  PostMessage(window_.get(), kWmFileOpenDir, PackFileMenuRequest({kListRecorded, IndexOf("play.mp4")}), 0);
  ASSERT_TRUE(test::WaitUntil([&] { return opened_.size() == 2; }, 2000));
  EXPECT_EQ(opened_[1].toLocalFile().toStdString(), outputDir_);

  row->findChild<QAbstractButton*>("listMenuBtn")->click();
  QWidget* menu = test::VisibleWindowOfClass("PopMenu");
  ASSERT_NE(menu, nullptr);
  menu->close();
}

}  // namespace
}  // namespace tarn::ui
