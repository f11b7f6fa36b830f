// Changes to the listed files: taking a row off a list, renaming a file
// without ever replacing another, and deleting it or moving it to the trash.

#include <fcntl.h>
#include <glog/logging.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QListWidget>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "ui/main/main_messages.h"
#include "ui/main/recorded_file_list.h"
#include "ui/main/shell_actions.h"

namespace tarn::ui {
namespace {

// Moves `from` to `to` unless `to` exists; -1 with errno set on failure.
int MoveWithoutReplacing(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return -1;
  // A file system without that kind of rename: a hard link fails on an
  // existing name, so linking then unlinking never replaces anything.
  if (::link(from.c_str(), to.c_str()) == 0) return ::unlink(from.c_str());
  if (errno != EPERM && errno != EOPNOTSUPP) return -1;
  // No hard links here (or a folder): look, then move.
  struct stat existing {};
  if (::lstat(to.c_str(), &existing) == 0) {
    errno = EEXIST;
    return -1;
  }
  return ::rename(from.c_str(), to.c_str());
}

// A name the rename may use: one path component that is not "." or "..".
bool IsPlainFileName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

}  // namespace

bool RecordedFileList::Remove(int listKind, int index) {
  const auto file = files_.find(index);
  if (listKind == kListRecorded && file != files_.end()) {
    const std::string path = file->second.fullPath;
    if (!Drop(listKind, index)) return false;
    if (!removed_.Add(path, RemovedRecordings::ModifiedNs(path))) {
      LOG(WARNING) << path << " is off the list until the program ends, not for good";
    }
    return true;
  }
  return Drop(listKind, index);
}

bool RecordedFileList::Drop(int listKind, int index) {
  for (auto pending = pendingRows_.begin(); pending != pendingRows_.end(); ++pending) {
    if (pending->index != index || pending->listKind != listKind) continue;
    // Listed but not shown yet: it is never made.
    pendingRows_.erase(pending);
    files_.erase(index);
    return true;
  }
  const auto row = rows_.find(index);
  if (row == rows_.end() || row->second.listKind != listKind) return false;
  QListWidget* list = lists_[listKind].data();
  if (list != nullptr && row->second.item != nullptr) {
    delete list->takeItem(list->row(row->second.item));
  }
  ShowEmptyState(listKind);
  rows_.erase(row);
  files_.erase(index);
  measured_.erase(index);
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
  if (MoveWithoutReplacing(entry.fullPath, target) != 0) {
    LOG(WARNING) << "cannot rename " << entry.fullPath << " to " << target << ": "
                 << std::strerror(errno);
    return false;
  }
  entry.fileName = name;
  entry.fullPath = target;
  ShowFileName(index);
  return true;
}

bool RecordedFileList::MoveToTrash(int index, std::string* why) {
  const auto found = files_.find(index);
  if (found == files_.end()) return false;
  const std::string path = found->second.fullPath;
  if (!ui::MoveToTrash(path, why)) return false;
  Drop(kListRecorded, index);
  return true;
}

bool RecordedFileList::Delete(int index) {
  const auto found = files_.find(index);
  if (found == files_.end()) return false;
  const std::string path = found->second.fullPath;
  // unlink never removes a folder, even one named like a recording.
  if (::unlink(path.c_str()) != 0) {
    LOG(WARNING) << "cannot delete " << path << ": " << std::strerror(errno);
    return false;
  }
  LOG(INFO) << "deleted " << path << " for good";
  Drop(kListRecorded, index);
  return true;
}

}  // namespace tarn::ui
