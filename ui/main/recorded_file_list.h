#pragma once
// The rows of the recordings list (and, sharing the same index counter and
// map, the rows of the convert and compress lists): what each row knows of
// its file, the row widgets, and what the row menu does to a file.
// UI thread only.

#include <QByteArray>
#include <QPointer>
#include <map>
#include <memory>
#include <string>

#include "ui/main/duration_prober.h"
#include "ui/main/recorded_file.h"

class QListWidget;
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
  // and the notifications of the rows' buttons.
  explicit RecordedFileList(WindowImplBase* owner);
  ~RecordedFileList();

  // The list control showing rows of `listKind`.
  void AttachList(int listKind, QListWidget* list);

  // Adds a row for every recording in `dir` (by name: "mp4", "flv", "wmv",
  // "avi", "mov", "mkv" after the last point, exactly), in the order the
  // folder lists them. Sizes come from the listing; durations are measured in
  // the background and filled in as they arrive.
  void Fill(const std::string& dir);

  // A finished recording: its size and duration are measured in the
  // background and its row appears at the end of the recordings list once
  // they are known.
  void AddFinishedRecording(const std::string& dir, const std::string& fileName);

  // Takes the measured durations (on kWmDurationsReady). Returns true when
  // it added a row for a finished recording.
  bool TakeDurations();

  // Scrolls the list to its end and selects the last row.
  void ScrollToLast(int listKind);

  const RecordedFile* Find(int index) const;
  int RowCount(int listKind) const;
  // The row widget ("item-N") of an index, or null.
  QWidget* RowWidget(int index) const;
  // Jobs of the duration worker not yet taken.
  std::size_t pendingDurations() const { return prober_.pending(); }

  // Removes the row from the list of `listKind`; the file stays.
  bool Remove(int listKind, int index);
  // Renames the file of a recordings row inside its folder. A name without a
  // point keeps the old extension. Fails, changing nothing, for an empty name,
  // a name with a folder separator, "." or "..", an existing name or a file
  // that cannot be moved.
  bool Rename(int index, const std::string& newName);
  // Removes the row and deletes its file; true when the file is gone.
  bool Delete(int index);

 private:
  struct Row {
    int listKind = 0;
    QListWidgetItem* item = nullptr;  // owned by its list
    QPointer<QWidget> widget;         // owned by the list through the item
  };

  // Makes the row of files_[index] at the end of the list of `listKind`.
  bool InsertRow(int listKind, int index, bool durationKnown);
  // Marks the list control as empty or not, for its style.
  void ShowEmptyState(int listKind);
  QWidget* MakeRowWidget(const RecordedFile& entry, bool durationKnown);
  void ShowDuration(int index);

  WindowImplBase* owner_;
  std::map<int, QPointer<QListWidget>> lists_;  // by list kind
  std::map<int, RecordedFile> files_;           // by index, all lists
  std::map<int, Row> rows_;                     // by index
  int itemCounter_ = 0;
  QByteArray rowLayout_;  // the row layout file, read once
  DurationProber prober_;
};

}  // namespace tarn::ui
