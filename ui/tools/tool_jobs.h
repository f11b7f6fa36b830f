#pragma once
// The transcoder jobs that run now, several at once. Each job's progress and
// end reach the receiver (the main window) as the private messages
// kWmToolProgress and kWmToolFinished with wParam = the job's id and lParam =
// its type; the receiver reads the job's current values when a message
// arrives, then releases an ended job. UI thread only.

#include <QObject>
#include <QPointer>
#include <QString>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ui/tools/transcoder_job.h"

namespace tarn::ui::tools {

class ToolJobs {
 public:
  explicit ToolJobs(QObject* receiver);
  // Ends every running job and removes its partial output.
  ~ToolJobs();

  // The transcoder used for new jobs; by default "ffmpeg" beside the
  // program, else on PATH (looked up at each launch).
  void SetTranscoder(const QString& program) { transcoder_ = program; }
  QString Transcoder() const;

  // Starts a job; its id (above 0), or 0 with the reason in `why` when the
  // transcoder cannot be started.
  int Launch(int jobType, int itemIndex, const std::vector<std::string>& arguments,
             const std::string& outputPath, QString* why);
  TranscoderJob* Find(int id) const;
  // The running job of a list item (or of the cut, item -1), or null.
  TranscoderJob* FindRunning(int jobType, int itemIndex) const;
  // Forgets an ended job (after its kWmToolFinished was handled).
  void Release(int id);
  // Ends a running job; its kWmToolFinished follows.
  bool Cancel(int jobType, int itemIndex);
  // Ends every running job now and waits for the processes (closing).
  void EndAll();
  int RunningCount() const;
  // Whether a running job writes `path` (new outputs never reuse it).
  bool IsOutputInUse(const std::string& path) const;

 private:
  QPointer<QObject> receiver_;
  QString transcoder_;
  int nextId_ = 1;
  std::map<int, std::unique_ptr<TranscoderJob>> jobs_;
};

}  // namespace tarn::ui::tools
