#pragma once
// The rows of the recordings list (and, sharing the same index counter and
// map, the rows of the convert and compress lists): what each row knows of
// its file, the row widgets, and what the row menu does to a file.
// UI thread only.

#include <QByteArray>
#include <QPointer>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "ui/main/duration_prober.h"
#include "ui/main/recorded_file.h"
#include "ui/main/removed_recordings.h"

class QListWidget;
class QTimer;
class QUiLoader;
class QListWidgetItem;
class QWidget;

namespace tarn::ui {

class WindowImplBase;

// The text shown while a duration is being measured, and for a file that has
// no audio or video stream.
inline constexpr const char* kUnknownDurationText = "--:--:--";

class RecordedFileList {
 public:
  // `owner` receives kWmDurationsReady when measured durations are waiting,
  // and the notifications of the rows' buttons. The files taken off the
  // recordings list are remembered in `removedStorePath` (by default a file
  // of the program's data folder).
  explicit RecordedFileList(WindowImplBase* owner, std::string removedStorePath = {});
  ~RecordedFileList();

  // The list control showing rows of `listKind`, each row made from the
  // layout file `rowLayoutFile` of the skin folder.
  void AttachList(int listKind, QListWidget* list,
                  const QString& rowLayoutFile = "VideoListContainerElement.ui");

  // Adds a row for the file at `path` at the end of the list of `listKind`
  // (the convert and compress lists); its size is read now, its duration
  // measured in the background. The new index, or -1 when the row cannot be
  // made.
  int AddFile(int listKind, const std::string& path);
  // Stores what a tool list keeps beside a file (a job's output path).
  void SetExtra(int index, const std::string& extra);

  // Lists every recording in `dir` (by name: "mp4", "flv", "wmv", "avi",
  // "mov", "mkv" after the last point, exactly), sorted by name, except the
  // files taken off the list before (Remove). Sizes come
  // from the listing. Returns at once: the rows are made a
  // few at a time while the event loop runs, and durations are measured in
  // the background and filled in as they arrive, so that a folder of
  // hundreds of recordings never holds up the window.
  void Fill(const std::string& dir);

  // A finished recording: its size and duration are measured in the
  // background and its row appears where the list's order by name puts it
  // once they are known; `onRecordingRowAdded` runs then.
  void AddFinishedRecording(const std::string& dir, const std::string& fileName);
  void SetRecordingRowAddedCallback(std::function<void()> onRecordingRowAdded);

  // Takes the measured durations (on kWmDurationsReady).
  void TakeDurations();

  // Scrolls the list to the row of the recording added last and selects it;
  // without one, to the list's last row.
  void ScrollToNewest(int listKind);

  const RecordedFile* Find(int index) const;
  int RowCount(int listKind) const;
  // The row widget ("item-N") of an index, or null.
  QWidget* RowWidget(int index) const;
  // Jobs of the duration worker not yet taken.
  std::size_t pendingDurations() const { return prober_.pending(); }
  // Rows listed but not made yet.
  std::size_t pendingRows() const { return pendingRows_.size(); }

  // Removes the row from the list of `listKind`; the file stays. A recording
  // taken off the recordings list stays off it after a restart, until a new
  // file of that name is recorded.
  bool Remove(int listKind, int index);
  // Renames the file of a recordings row inside its folder. A name without a
  // point keeps the old extension. Fails, changing nothing, for an empty name,
  // a name with a folder separator, "." or "..", an existing name or a file
  // that cannot be moved.
  bool Rename(int index, const std::string& newName);
  // Moves the file of a recordings row to the desktop's trash and removes
  // the row; false, changing nothing, when the file cannot go to the trash
  // (`why` says why).
  bool MoveToTrash(int index, std::string* why);
  // Deletes the file of a recordings row for good and removes the row; false,
  // keeping the row, when the file cannot be deleted.
  bool Delete(int index);

  const RemovedRecordings& removedRecordings() const { return removed_; }

 private:
  struct Row {
    int listKind = 0;
    QListWidgetItem* item = nullptr;  // owned by its list
    QPointer<QWidget> widget;         // owned by the list through the item
  };

  // Makes the row of files_[index] in the list of `listKind`, after the rows
  // whose names sort before or with it.
  bool InsertRow(int listKind, int index);
  // Takes the row (shown or waiting) off the list; false when there is none.
  bool Drop(int listKind, int index);
  // What a screen reader says for a row: "NAME, SIZE, DURATION".
  void DescribeRow(int index);
  // Shows the entry's current name and path in its row.
  void ShowFileName(int index);
  // Makes the next few waiting rows; runs again while rows wait.
  void MakePendingRows();
  // Logs once when the rows of Fill are all made and once when their
  // durations are all measured.
  void ReportFillProgress();
  // Marks the list control as empty or not, for its style.
  void ShowEmptyState(int listKind);
  QWidget* MakeRowWidget(const RecordedFile& entry, const QString& layoutFile);
  void ShowDuration(int index);

  WindowImplBase* owner_;
  std::map<int, QPointer<QListWidget>> lists_;  // by list kind
  std::map<int, QString> rowLayoutFiles_;       // by list kind
  std::map<int, RecordedFile> files_;           // by index, all lists
  std::map<int, Row> rows_;                     // by index
  int itemCounter_ = 0;
  std::set<int> measured_;  // indices whose duration is known
  // Rows waiting to be made, in list order: (list kind, index, a finished
  // recording's row).
  struct PendingRow {
    int listKind;
    int index;
    bool finishedRecording;
  };
  std::deque<PendingRow> pendingRows_;
  std::unique_ptr<QTimer> rowTimer_;
  std::function<void()> onRecordingRowAdded_;
  std::chrono::steady_clock::time_point fillStarted_;
  bool reportFill_ = false;
  bool rowsReported_ = false;
  std::map<QString, QByteArray> rowLayouts_;  // the row layout files, each read once
  std::unique_ptr<QUiLoader> rowLoader_;
  RemovedRecordings removed_;
  int newestRecording_ = -1;  // index of the last finished recording's row
  DurationProber prober_;
};

}  // namespace tarn::ui
