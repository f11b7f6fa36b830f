#include "ui/main/recorded_file_list.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <glog/logging.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QStyle>
#include <QTimer>
#include <QScopeGuard>
#include <QUiLoader>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <utility>
#include <vector>

#include "platform/app_data_dir.h"
#include "ui/framework/ui_text.h"
#include "ui/framework/window_impl_base.h"
#include "ui/main/main_messages.h"
#include "ui/main/recording_list_keys.h"
#include "ui/main/shell_actions.h"

namespace tarn::ui {
namespace {

// Rows made per turn of the event loop: a few dozen milliseconds of work.
constexpr int kRowsPerBatch = 20;
// The buttons of a row, tagged with the row's index.
constexpr const char* kRowButtons[] = {"playBtn",     "recorderCutBtn",        "listMenuBtn",
                                       "convert-btn", "convert-list-menu-btn", "compress-btn",
                                       "compress-list-menu-btn"};
// The store of files taken off the recordings list, in the program's data folder.
constexpr const char* kDataRelativeDir = "TarnRecorder/Data";
constexpr const char* kRemovedStoreFile = "removed-recordings.txt";

std::string DefaultRemovedStorePath() {
  return GetAppDataDir(kDataRelativeDir) + "/" + kRemovedStoreFile;
}

QString RowName(int index) { return QString("item-%1").arg(index); }

// Shows a label's full text, shortened in the middle with an ellipsis when the
// label is too narrow for it; the full text stays in the "fullText" property.
class ElideInMiddle : public QObject {
 public:
  using QObject::QObject;

  static void Apply(QLabel* label) {
    const QString full = label->property("fullText").toString();
    const int width = label->contentsRect().width();
    label->setText(width > 0 ? label->fontMetrics().elidedText(full, Qt::ElideMiddle, width) : full);
  }

  static void SetText(QLabel* label, const QString& text) {
    label->setProperty("fullText", text);
    Apply(label);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Resize) {
      if (auto* label = qobject_cast<QLabel*>(watched)) Apply(label);
    }
    return false;
  }
};

}  // namespace

RecordedFileList::RecordedFileList(WindowImplBase* owner, std::string removedStorePath)
    : owner_(owner),
      rowTimer_(std::make_unique<QTimer>()),
      removed_(removedStorePath.empty() ? DefaultRemovedStorePath() : std::move(removedStorePath)),
      prober_([owner] { PostMessage(owner, kWmDurationsReady, 0, 0); }) {
  rowTimer_->setSingleShot(true);
  rowTimer_->setInterval(0);
  QObject::connect(rowTimer_.get(), &QTimer::timeout, rowTimer_.get(), [this] { MakePendingRows(); });
}

void RecordedFileList::SetRecordingRowAddedCallback(std::function<void()> onRecordingRowAdded) {
  onRecordingRowAdded_ = std::move(onRecordingRowAdded);
}

RecordedFileList::~RecordedFileList() = default;

void RecordedFileList::AttachList(int listKind, QListWidget* list, const QString& rowLayoutFile) {
  lists_[listKind] = list;
  if (listKind == kListRecorded && list != nullptr && owner_ != nullptr) {
    InstallRecordingListKeys(list, owner_);
  }
  rowLayoutFiles_[listKind] = rowLayoutFile;
  ShowEmptyState(listKind);
}

int RecordedFileList::AddFile(int listKind, const std::string& path) {
  const std::filesystem::path file(path);
  RecordedFile entry;
  entry.index = itemCounter_++;
  entry.fileName = file.filename().string();
  entry.directory = file.parent_path().string();
  entry.fullPath = path;
  std::error_code error;
  const auto size = std::filesystem::file_size(file, error);
  entry.size = error ? 0 : static_cast<std::int64_t>(size);
  const int index = entry.index;
  files_[index] = std::move(entry);
  if (!InsertRow(listKind, index)) {
    files_.erase(index);
    return -1;
  }
  prober_.Enqueue({index, path, false});
  return index;
}

void RecordedFileList::SetExtra(int index, const std::string& extra) {
  const auto found = files_.find(index);
  if (found != files_.end()) found->second.extra = extra;
}

void RecordedFileList::ShowEmptyState(int listKind) {
  QListWidget* list = lists_[listKind].data();
  if (list == nullptr) return;
  const bool empty = list->count() == 0;
  if (list->property("empty").toBool() == empty && list->property("empty").isValid()) return;
  // The style sheet shows a picture in an empty list.
  list->setProperty("empty", empty);
  list->style()->unpolish(list);
  list->style()->polish(list);
}

void RecordedFileList::Fill(const std::string& dir) {
  const auto started = std::chrono::steady_clock::now();
  int listed = 0;
  std::error_code error;
  std::filesystem::directory_iterator it(dir, error);
  if (error) {
    LOG(ERROR) << "cannot list the recordings folder " << dir << ": " << error.message();
    return;
  }
  std::vector<RecordedFile> found;
  int leftOut = 0;
  for (; it != std::filesystem::directory_iterator(); it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (!IsRecordingName(name)) continue;
    const std::string path = dir + "/" + name;
    if (removed_.size() > 0 && removed_.Contains(path, RemovedRecordings::ModifiedNs(path))) {
      ++leftOut;  // taken off the list before
      continue;
    }
    RecordedFile entry;
    entry.fileName = name;
    entry.directory = dir;
    entry.fullPath = dir + "/" + name;
    std::error_code sizeError;
    const bool regular = it->is_regular_file(sizeError);
    entry.size = regular ? static_cast<std::int64_t>(it->file_size(sizeError)) : 0;
    if (sizeError) entry.size = 0;
    found.push_back(std::move(entry));
  }
  if (error) LOG(ERROR) << "listing the recordings folder " << dir << " stopped: " << error.message();
  // By name, which for recordings named after their start time is oldest
  // first; the folder's own order on Linux file systems looks random.
  std::sort(found.begin(), found.end(),
            [](const RecordedFile& a, const RecordedFile& b) { return a.fileName < b.fileName; });
  for (RecordedFile& entry : found) {
    const int index = itemCounter_++;
    entry.index = index;
    pendingRows_.push_back({kListRecorded, index, false});
    prober_.Enqueue({index, entry.fullPath, false});
    files_[index] = std::move(entry);
    ++listed;
  }
  const auto elapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - started)
                             .count();
  LOG(INFO) << "listed " << listed << " recordings of " << dir << " in " << elapsedMs << " ms"
            << (leftOut > 0 ? ", left out " + std::to_string(leftOut) + " removed from the list" : "");
  fillStarted_ = started;
  reportFill_ = listed > 0;
  if (!pendingRows_.empty()) rowTimer_->start();
}

void RecordedFileList::MakePendingRows() {
  bool recordingAdded = false;
  for (int made = 0; made < kRowsPerBatch && !pendingRows_.empty(); ++made) {
    const PendingRow row = pendingRows_.front();
    pendingRows_.pop_front();
    if (files_.count(row.index) == 0) continue;  // removed before its row was made
    if (InsertRow(row.listKind, row.index) && row.finishedRecording) recordingAdded = true;
  }
  if (!pendingRows_.empty()) rowTimer_->start();
  ReportFillProgress();
  if (recordingAdded && onRecordingRowAdded_) onRecordingRowAdded_();
}

void RecordedFileList::AddFinishedRecording(const std::string& dir, const std::string& fileName) {
  // The index is taken now, so rows keep the order the recordings ended in.
  const int index = itemCounter_++;
  RecordedFile entry;
  entry.index = index;
  entry.fileName = fileName;
  entry.directory = dir;
  entry.fullPath = dir + "/" + fileName;
  // A new file under a name taken off the list before is listed.
  removed_.Forget(entry.fullPath);
  files_[index] = entry;
  prober_.Enqueue({index, entry.fullPath, true});
}

void RecordedFileList::ReportFillProgress() {
  if (!reportFill_ || !pendingRows_.empty()) return;
  const auto elapsedMs = [this] {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 fillStarted_)
        .count();
  };
  if (!rowsReported_) {
    rowsReported_ = true;
    LOG(INFO) << "recordings list: every row made " << elapsedMs() << " ms after listing began";
  }
  if (prober_.pending() == 0) {
    reportFill_ = false;
    LOG(INFO) << "recordings list: every duration measured " << elapsedMs()
              << " ms after listing began";
  }
}

void RecordedFileList::TakeDurations() {
  const auto report = qScopeGuard([this] { ReportFillProgress(); });
  for (DurationProber::Result& result : prober_.TakeResults()) {
    const auto found = files_.find(result.job.index);
    if (found == files_.end()) continue;  // the row was removed meanwhile
    found->second.duration = result.duration;
    measured_.insert(result.job.index);
    if (!result.job.newRow) {
      ShowDuration(result.job.index);
      continue;
    }
    found->second.size = result.size;
    newestRecording_ = result.job.index;
    if (pendingRows_.empty()) {
      if (InsertRow(kListRecorded, result.job.index) && onRecordingRowAdded_) onRecordingRowAdded_();
    } else {
      // Behind the rows still being made, so the list keeps its order.
      pendingRows_.push_back({kListRecorded, result.job.index, true});
    }
  }
}

bool RecordedFileList::InsertRow(int listKind, int index) {
  QListWidget* list = lists_[listKind].data();
  if (list == nullptr) return false;
  QWidget* widget = MakeRowWidget(files_[index], rowLayoutFiles_[listKind]);
  if (widget == nullptr) return false;
  // Recordings go after the last row whose name sorts before or with theirs
  // (rows listed at start arrive in order and go to the end at once); the
  // tools' lists keep the order files were added in.
  const std::string& name = files_[index].fileName;
  int position = list->count();
  while (listKind == kListRecorded && position > 0) {
    const auto before = files_.find(list->item(position - 1)->data(Qt::UserRole).toInt());
    if (before == files_.end() || before->second.fileName <= name) break;
    --position;
  }
  auto* item = new QListWidgetItem();
  item->setData(Qt::UserRole, index);
  item->setSizeHint(widget->sizeHint());
  list->insertItem(position, item);
  list->setItemWidget(item, widget);
  rows_[index] = {listKind, item, widget};
  DescribeRow(index);
  ShowEmptyState(listKind);
  return true;
}

void RecordedFileList::DescribeRow(int index) {
  const auto row = rows_.find(index);
  const auto file = files_.find(index);
  if (row == rows_.end() || file == files_.end() || row->second.item == nullptr) return;
  const RecordedFile& entry = file->second;
  const bool durationKnown = measured_.count(index) != 0 && entry.duration >= 0;
  // The row's labels are children of a widget inside the list's viewport,
  // which screen readers do not reach: the list item carries their text.
  const QString text = QString::fromStdString(entry.fileName) + ", " +
                       QString::fromStdString(FormatFileSize(entry.size)) + ", " +
                       (durationKnown ? QString::fromStdString(FormatDuration(entry.duration))
                                      : QCoreApplication::translate("TarnRecorder", "时长未知"));
  row->second.item->setData(Qt::AccessibleTextRole, text);
  row->second.item->setData(Qt::AccessibleDescriptionRole, QString::fromStdString(entry.fullPath));
  if (row->second.widget) row->second.widget->setAccessibleName(text);
}

QWidget* RecordedFileList::MakeRowWidget(const RecordedFile& entry, const QString& layoutFile) {
  const bool durationKnown = measured_.count(entry.index) != 0;
  QByteArray& rowLayout = rowLayouts_[layoutFile];
  if (rowLayout.isEmpty()) {
    QFile file(WindowImplBase::GetResourcePath() + layoutFile);
    if (!file.open(QIODevice::ReadOnly)) {
      LOG(ERROR) << "cannot open the row layout " << file.fileName().toStdString() << ": "
                 << file.errorString().toStdString();
      return nullptr;
    }
    rowLayout = file.readAll();
  }
  QBuffer buffer(&rowLayout);
  buffer.open(QIODevice::ReadOnly);
  if (!rowLoader_) {
    // One loader for every row: making a loader looks for designer plugins.
    rowLoader_ = std::make_unique<QUiLoader>();
    rowLoader_->setWorkingDirectory(QDir(WindowImplBase::GetResourcePath()));
  }
  QWidget* row = rowLoader_->load(&buffer);
  if (row == nullptr) {
    LOG(ERROR) << "cannot load the row layout: " << rowLoader_->errorString().toStdString();
    return nullptr;
  }
  row->setObjectName(RowName(entry.index));
  row->setProperty("tag", entry.index);
  auto* name = row->findChild<QLabel*>("fileNameLabel");
  auto* size = row->findChild<QLabel*>("fileSizeLabel");
  auto* duration = row->findChild<QLabel*>("durationLabel");
  if (name == nullptr || size == nullptr || duration == nullptr) {
    LOG(ERROR) << "the row layout lacks fileNameLabel, fileSizeLabel or durationLabel";
    delete row;
    return nullptr;
  }
  name->installEventFilter(new ElideInMiddle(name));
  ElideInMiddle::SetText(name, QString::fromStdString(entry.fileName));
  name->setToolTip(QString::fromStdString(entry.fullPath));
  size->setText(QString::fromStdString(FormatFileSize(entry.size)));
  duration->setText(durationKnown && entry.duration >= 0
                        ? QString::fromStdString(FormatDuration(entry.duration))
                        : QString::fromLatin1(kUnknownDurationText));
  for (const char* buttonName : kRowButtons) {
    if (auto* button = row->findChild<QAbstractButton*>(buttonName)) {
      button->setProperty("tag", entry.index);
    }
  }
  if (owner_ != nullptr) owner_->BindControls(row);
  return row;
}

void RecordedFileList::ShowDuration(int index) {
  const auto row = rows_.find(index);
  const auto file = files_.find(index);
  if (row == rows_.end() || file == files_.end() || !row->second.widget) return;
  if (auto* label = row->second.widget->findChild<QLabel*>("durationLabel")) {
    label->setText(file->second.duration >= 0
                       ? QString::fromStdString(FormatDuration(file->second.duration))
                       : QString::fromLatin1(kUnknownDurationText));
  }
  DescribeRow(index);
}

void RecordedFileList::ScrollToNewest(int listKind) {
  QListWidget* list = lists_[listKind].data();
  if (list == nullptr || list->count() == 0) return;
  const auto newest = rows_.find(newestRecording_);
  if (newest != rows_.end() && newest->second.listKind == listKind && newest->second.item != nullptr) {
    list->scrollToItem(newest->second.item);
    list->setCurrentItem(newest->second.item);
    return;
  }
  list->scrollToBottom();
  list->setCurrentRow(list->count() - 1);
}

const RecordedFile* RecordedFileList::Find(int index) const {
  const auto found = files_.find(index);
  return found == files_.end() ? nullptr : &found->second;
}

int RecordedFileList::RowCount(int listKind) const {
  const auto found = lists_.find(listKind);
  return found == lists_.end() || !found->second ? 0 : found->second->count();
}

QWidget* RecordedFileList::RowWidget(int index) const {
  const auto found = rows_.find(index);
  return found == rows_.end() ? nullptr : found->second.widget.data();
}

void RecordedFileList::ShowFileName(int index) {
  const RecordedFile* entry = Find(index);
  QWidget* widget = RowWidget(index);
  if (entry == nullptr || widget == nullptr) return;
  if (auto* label = widget->findChild<QLabel*>("fileNameLabel")) {
    ElideInMiddle::SetText(label, QString::fromStdString(entry->fileName));
    label->setToolTip(QString::fromStdString(entry->fullPath));
  }
  DescribeRow(index);
}

}  // namespace tarn::ui
