// The recordings list of the main window: what a folder lists, durations
// measured in the background, and the row menu's open, remove (remembered
// over restarts), rename and delete (through the desktop's trash).

#include "ui/main/recorded_file_list.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QSettings>
#include <QUrl>
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
  // meanwhile goes where its name sorts, and the list shows it selected.
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
  expectedOrder.insert(std::upper_bound(expectedOrder.begin(), expectedOrder.end(), "late.mp4"),
                       "late.mp4");
  EXPECT_EQ(shownOrder, expectedOrder);
  ASSERT_TRUE(test::WaitUntil([&] { return List()->currentItem() != nullptr; }, 5000));
  EXPECT_EQ(LabelOf(List()->itemWidget(List()->currentItem()), "fileNameLabel"), "late.mp4");
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

TEST_F(RecordedFileListTest, DeleteAsksByNameMovesToTheTrashAndARestoredFileIsListedAgain) {
  CopyClip("keep.mp4");
  CopyClip("gone.mp4");
  OpenWindow();
  ASSERT_TRUE(WaitForDurations());
  ASSERT_EQ(List()->count(), 2);

  // Cancelled: row and file stay.
  QString asked;
  test::ClickWhenShown("MessageBoxDialog", "msgCancel", &asked);
  PostMessage(window_.get(), kWmFileDelete, PackFileMenuRequest({kListRecorded, IndexOf("keep.mp4")}), 0);
  test::RunEvents(300);
  EXPECT_EQ(asked, QString::fromUtf8("确定要将“keep.mp4”移到回收站吗?"));
  EXPECT_EQ(List()->count(), 2);
  EXPECT_TRUE(fs::exists(outputDir_ + "/keep.mp4"));

  // Confirmed: the file goes to the trash as a file manager puts it there.
  test::ClickWhenShown("MessageBoxDialog", "msgConfirm");
  PostMessage(window_.get(), kWmFileDelete, PackFileMenuRequest({kListRecorded, IndexOf("gone.mp4")}), 0);
  ASSERT_TRUE(test::WaitUntil([&] { return List()->count() == 1; }, 5000));
  EXPECT_FALSE(fs::exists(outputDir_ + "/gone.mp4"));
  const std::string trash = home_ / ".local/share/Trash";
  ASSERT_TRUE(fs::exists(trash + "/files/gone.mp4"));
  EXPECT_EQ(fs::file_size(trash + "/files/gone.mp4"), fs::file_size(Clip()));
  QSettings info(QString::fromStdString(trash + "/info/gone.mp4.trashinfo"), QSettings::IniFormat);
  EXPECT_EQ(QUrl::fromPercentEncoding(info.value("Trash Info/Path").toByteArray()).toStdString(),
            outputDir_ + "/gone.mp4");
  EXPECT_TRUE(info.value("Trash Info/DeletionDate").toString().contains('T'));

  // Restored as a file manager does it, the file is listed at the next start.
  fs::rename(trash + "/files/gone.mp4", outputDir_ + "/gone.mp4");
  fs::remove(trash + "/info/gone.mp4.trashinfo");
  window_.reset();
  OpenWindow();
  ASSERT_TRUE(WaitForDurations());
  EXPECT_EQ(ListedNames(), (std::set<std::string>{"keep.mp4", "gone.mp4"}));

  // A request for a row that no longer exists asks nothing.
  const int stale = IndexOf("gone.mp4") + 1000;
  PostMessage(window_.get(), kWmFileDelete, PackFileMenuRequest({kListRecorded, stale}), 0);
  test::RunEvents(100);
  EXPECT_EQ(test::VisibleWindowOfClass("MessageBoxDialog"), nullptr);
}

TEST_F(RecordedFileListTest, WithoutATrashTheFileIsDeletedOnlyWhenTheUserSaysSoAgain) {
  CopyClip("far.mp4");
  std::vector<std::string> offered;
  ui::SetTrashForTesting([&](const std::string& path) {
    offered.push_back(path);
    return false;
  });
  OpenWindow();
  ASSERT_TRUE(WaitForDurations());
  const int index = IndexOf("far.mp4");

  // Yes to the first question, no to deleting for good: nothing changes.
  QString second;
  test::AnswerWhenShown("MessageBoxDialog", [&](QWidget* first) {
    test::ClickWhenShown("MessageBoxDialog", "msgCancel", &second);
    first->findChild<QAbstractButton*>("msgConfirm")->click();
  });
  PostMessage(window_.get(), kWmFileDelete, PackFileMenuRequest({kListRecorded, index}), 0);
  ASSERT_TRUE(test::WaitUntil([&] { return !second.isEmpty(); }, 5000));
  test::RunEvents(100);
  EXPECT_TRUE(second.contains(QString::fromUtf8("永久删除"))) << second.toStdString();
  EXPECT_TRUE(second.contains("far.mp4")) << second.toStdString();
  EXPECT_EQ(offered, std::vector<std::string>{outputDir_ + "/far.mp4"});
  EXPECT_TRUE(fs::exists(outputDir_ + "/far.mp4"));
  EXPECT_EQ(List()->count(), 1);

  // Yes twice: the file is gone for good.
  test::AnswerWhenShown("MessageBoxDialog", [&](QWidget* first) {
    test::ClickWhenShown("MessageBoxDialog", "msgConfirm");
    first->findChild<QAbstractButton*>("msgConfirm")->click();
  });
  PostMessage(window_.get(), kWmFileDelete, PackFileMenuRequest({kListRecorded, index}), 0);
  ASSERT_TRUE(test::WaitUntil([&] { return List()->count() == 0; }, 5000));
  EXPECT_FALSE(fs::exists(outputDir_ + "/far.mp4"));
  ui::SetTrashForTesting(nullptr);
}

TEST_F(RecordedFileListTest, RemoveKeepsTheFileAndStaysRemovedUntilANewFileOfThatName) {
  CopyClip("listed.mp4");
  CopyClip("other.mp4");
  OpenWindow();
  ASSERT_TRUE(WaitForDurations());
  const int listed = IndexOf("listed.mp4");
  PostMessage(window_.get(), kWmFileRemove, PackFileMenuRequest({kListRecorded, listed}), 0);
  ASSERT_TRUE(test::WaitUntil([&] { return List()->count() == 1; }, 5000));
  EXPECT_TRUE(fs::exists(outputDir_ + "/listed.mp4"));
  EXPECT_EQ(window_->FindControl<QWidget>(QString("item-%1").arg(listed)), nullptr);

  // Still off the list after a restart, even with a broken line in the store.
  const std::string store = window_->fileList().removedRecordings().storePath();
  std::ofstream(store, std::ios::app) << "not a line of the store\n12x\t/a\n";
  window_.reset();
  OpenWindow();
  ASSERT_TRUE(WaitForDurations());
  EXPECT_EQ(ListedNames(), std::set<std::string>{"other.mp4"});

  // A new recording under that name is a new file: it is listed.
  fs::remove(outputDir_ + "/listed.mp4");
  CopyClip("listed.mp4");
  fs::last_write_time(outputDir_ + "/listed.mp4",
                      fs::last_write_time(outputDir_ + "/listed.mp4") + std::chrono::seconds(5));
  window_->fileList().AddFinishedRecording(outputDir_, "listed.mp4");
  ASSERT_TRUE(test::WaitUntil([&] { return List()->count() == 2; }, 20000));
  window_.reset();
  OpenWindow();
  ASSERT_TRUE(WaitForDurations());
  EXPECT_EQ(ListedNames(), (std::set<std::string>{"listed.mp4", "other.mp4"}));
}

TEST_F(RecordedFileListTest, AFolderNoFileManagerCanShowIsReported) {
  CopyClip("here.mp4");
  OpenWindow();
  ASSERT_TRUE(WaitForDurations());
  ui::SetDesktopOpenerForTesting([this](const QUrl& url) { opened_.push_back(url); }, false);
  QString told;
  test::ClickWhenShown("PromptBoxDialog", "msgConfirm", &told);
  PostMessage(window_.get(), kWmFileOpenDir, PackFileMenuRequest({kListRecorded, IndexOf("here.mp4")}), 0);
  ASSERT_TRUE(test::WaitUntil([&] { return !told.isEmpty(); }, 5000));
  EXPECT_EQ(told, QString::fromUtf8("无法打开文件夹: ") + QString::fromStdString(outputDir_));
  ASSERT_EQ(opened_.size(), 1u);

  // Opened: nothing to tell.
  ui::SetDesktopOpenerForTesting([this](const QUrl& url) { opened_.push_back(url); });
  PostMessage(window_.get(), kWmFileOpenDir, PackFileMenuRequest({kListRecorded, IndexOf("here.mp4")}), 0);
  ASSERT_TRUE(test::WaitUntil([&] { return opened_.size() == 2; }, 5000));
  test::RunEvents(100);
  EXPECT_EQ(test::VisibleWindowOfClass("PromptBoxDialog"), nullptr);
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

TEST_F(RecordedFileListTest, TheKeysOfTheListPlayOpenTheMenuAndDeleteTheCurrentRow) {
  CopyClip("first.mp4");
  CopyClip("second.mp4");
  OpenWindow();
  ASSERT_TRUE(WaitForDurations());
  List()->setCurrentRow(1);
  const auto press = [&](int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent event(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(List(), &event);
  };
  press(Qt::Key_Return);
  ASSERT_EQ(opened_.size(), 1u);
  EXPECT_EQ(opened_[0].toLocalFile().toStdString(), outputDir_ + "/second.mp4");

  press(Qt::Key_F10, Qt::ShiftModifier);
  QWidget* menu = test::VisibleWindowOfClass("PopMenu");
  ASSERT_NE(menu, nullptr);
  menu->close();

  QString asked;
  test::ClickWhenShown("MessageBoxDialog", "msgCancel", &asked);
  press(Qt::Key_Delete);
  ASSERT_TRUE(test::WaitUntil([&] { return !asked.isEmpty(); }, 5000));
  EXPECT_EQ(asked, QString::fromUtf8("确定要将“second.mp4”移到回收站吗?"));
  EXPECT_TRUE(fs::exists(outputDir_ + "/second.mp4"));
}

}  // namespace
}  // namespace tarn::ui
