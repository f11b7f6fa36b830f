#pragma once
// One run of the transcoder: a child process (no shell) whose standard output
// and standard error are read together by a progress reader as they arrive.
// The job tells its owner when its position moves and when it has ended; a
// job that fails or is cancelled removes what it wrote. UI thread only (the
// process's output arrives through the event loop).

#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "ui/tools/progress_reader.h"

namespace tarn::ui::tools {

class TranscoderJob : public QObject {
  Q_OBJECT

 public:
  enum class Outcome { kRunning, kSucceeded, kFailed, kCancelled, kNotStarted };

  struct Events {
    std::function<void()> progress;  // the position or the duration changed
    std::function<void()> finished;  // the job has ended (any outcome but kNotStarted)
  };

  TranscoderJob(int id, int jobType, int itemIndex, QString program, QStringList arguments,
                QString outputPath, Events events);
  // Ends a running process and removes its partial output.
  ~TranscoderJob() override;

  // Starts the process; false (outcome kNotStarted, reason in `why`) when the
  // transcoder cannot be started.
  bool Start(QString* why);
  // Ends the process; the job finishes as kCancelled and its output is removed.
  void Cancel();

  int id() const { return id_; }
  int jobType() const { return jobType_; }
  int itemIndex() const { return itemIndex_; }
  const QString& outputPath() const { return outputPath_; }
  Outcome outcome() const { return outcome_; }
  long long durationMs() const { return reader_.durationMs(); }
  long long positionMs() const { return reader_.positionMs(); }
  // 0..99 while running, 100 only after a successful end.
  int percent() const;
  // Why the job failed: the transcoder's last message line, or the exit.
  const QString& failureText() const { return failureText_; }

 private:
  void OnOutput();
  void OnFinished(int exitCode, QProcess::ExitStatus status);
  void OnError(QProcess::ProcessError error);
  void RemoveOutput();

  int id_;
  int jobType_;
  int itemIndex_;
  QString program_;
  QStringList arguments_;
  QString outputPath_;
  Events events_;
  ProgressReader reader_;
  Outcome outcome_ = Outcome::kNotStarted;
  bool cancelling_ = false;
  QString failureText_;
  std::unique_ptr<QProcess> process_;
};

}  // namespace tarn::ui::tools
