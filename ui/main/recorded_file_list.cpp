#include "ui/main/recorded_file_list.h"

#include <fcntl.h>
#include <glog/logging.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QStyle>
#include <QUiLoader>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <utility>

#include "ui/framework/window_impl_base.h"
#include "ui/main/main_messages.h"

namespace tarn::ui {
namespace {

constexpr const char* kRowLayoutFile = "VideoListContainerElement.ui";
constexpr const char* kRowButtons[] = {"playBtn", "recorderCutBtn", "listMenuBtn"};

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

// A name the rename may use: one path component that is not "." or "..".
bool IsPlainFileName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

}  // namespace

RecordedFileList::RecordedFileList(WindowImplBase* owner)
    : owner_(owner), prober_([owner] { PostMessage(owner, kWmDurationsReady, 0, 0); }) {}

RecordedFileList::~RecordedFileList() = default;

void RecordedFileList::AttachList(int listKind, QListWidget* list) {
  lists_[listKind] = list;
  ShowEmptyState(listKind);
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
  std::error_code error;
  std::filesystem::directory_iterator it(dir, error);
  if (error) {
    LOG(ERROR) << "cannot list the recordings folder " << dir << ": " << error.message();
    return;
  }
  for (; it != std::filesystem::directory_iterator(); it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (!IsRecordingName(name)) continue;
    RecordedFile entry;
    entry.fileName = name;
    entry.directory = dir;
    entry.fullPath = dir + "/" + name;
    std::error_code sizeError;
    const bool regular = it->is_regular_file(sizeError);
    entry.size = regular ? static_cast<std::int64_t>(it->file_size(sizeError)) : 0;
    if (sizeError) entry.size = 0;
    const int index = itemCounter_++;
    entry.index = index;
    files_[index] = entry;
    InsertRow(kListRecorded, index, false);
    prober_.Enqueue({index, entry.fullPath, false});
  }
  if (error) LOG(ERROR) << "listing the recordings folder " << dir << " stopped: " << error.message();
}

void RecordedFileList::AddFinishedRecording(const std::string& dir, const std::string& fileName) {
  // The index is taken now, so rows keep the order the recordings ended in.
  const int index = itemCounter_++;
  RecordedFile entry;
  entry.index = index;
  entry.fileName = fileName;
  entry.directory = dir;
  entry.fullPath = dir + "/" + fileName;
  files_[index] = entry;
  prober_.Enqueue({index, entry.fullPath, true});
}

bool RecordedFileList::TakeDurations() {
  bool added = false;
  for (DurationProber::Result& result : prober_.TakeResults()) {
    const auto found = files_.find(result.job.index);
    if (found == files_.end()) continue;  // the row was removed meanwhile
    found->second.duration = result.duration;
    if (result.job.newRow) {
      found->second.size = result.size;
      added = InsertRow(kListRecorded, result.job.index, true) || added;
    } else {
      ShowDuration(result.job.index);
    }
  }
  return added;
}

bool RecordedFileList::InsertRow(int listKind, int index, bool durationKnown) {
  QListWidget* list = lists_[listKind].data();
  if (list == nullptr) return false;
  QWidget* widget = MakeRowWidget(files_[index], durationKnown);
  if (widget == nullptr) return false;
  auto* item = new QListWidgetItem(list);
  item->setData(Qt::UserRole, index);
  item->setSizeHint(widget->sizeHint());
  list->setItemWidget(item, widget);
  rows_[index] = {listKind, item, widget};
  ShowEmptyState(listKind);
  return true;
}

QWidget* RecordedFileList::MakeRowWidget(const RecordedFile& entry, bool durationKnown) {
  if (rowLayout_.isEmpty()) {
    QFile file(WindowImplBase::GetResourcePath() + kRowLayoutFile);
    if (!file.open(QIODevice::ReadOnly)) {
      LOG(ERROR) << "cannot open the row layout " << file.fileName().toStdString() << ": "
                 << file.errorString().toStdString();
      return nullptr;
    }
    rowLayout_ = file.readAll();
  }
  QBuffer buffer(&rowLayout_);
  buffer.open(QIODevice::ReadOnly);
  QUiLoader loader;
  loader.setWorkingDirectory(QDir(WindowImplBase::GetResourcePath()));
  QWidget* row = loader.load(&buffer);
  if (row == nullptr) {
    LOG(ERROR) << "cannot load the row layout: " << loader.errorString().toStdString();
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
}

void RecordedFileList::ScrollToLast(int listKind) {
  QListWidget* list = lists_[listKind].data();
  if (list == nullptr || list->count() == 0) return;
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

bool RecordedFileList::Remove(int listKind, int index) {
  const auto row = rows_.find(index);
  if (row == rows_.end() || row->second.listKind != listKind) return false;
  QListWidget* list = lists_[listKind].data();
  if (list != nullptr && row->second.item != nullptr) {
    delete list->takeItem(list->row(row->second.item));
  }
  ShowEmptyState(listKind);
  rows_.erase(row);
  files_.erase(index);
  return true;
}

bool RecordedFileList::Rename(int index, const std::string& newName) {
  const auto found = files_.find(index);
  if (found == files_.end()) return false;
  RecordedFile& entry = found->second;
  std::string name = newName;
  if (name.find('.') == std::string::npos) {
    const std::size_t point = entry.fileName.rfind('.');
    if (point != std::string::npos) name += entry.fileName.substr(point);
  }
  if (!IsPlainFileName(name)) {
    LOG(WARNING) << "rename refused: \"" << name << "\" is not a file name";
    return false;
  }
  const std::string target = entry.directory + "/" + name;
  // An existing file of that name is never replaced.
  if (::renameat2(AT_FDCWD, entry.fullPath.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) !=
      0) {
    LOG(WARNING) << "cannot rename " << entry.fullPath << " to " << target << ": "
                 << std::strerror(errno);
    return false;
  }
  entry.fileName = name;
  entry.fullPath = target;
  if (QWidget* widget = RowWidget(index)) {
    if (auto* label = widget->findChild<QLabel*>("fileNameLabel")) {
      ElideInMiddle::SetText(label, QString::fromStdString(name));
      label->setToolTip(QString::fromStdString(target));
    }
  }
  return true;
}

bool RecordedFileList::Delete(int index) {
  const auto found = files_.find(index);
  if (found == files_.end()) return false;
  const std::string path = found->second.fullPath;
  Remove(kListRecorded, index);
  // unlink never removes a folder, even one named like a recording.
  if (::unlink(path.c_str()) != 0) {
    LOG(WARNING) << "cannot delete " << path << ": " << std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace tarn::ui
