#include "ui/tools/transcoder_job.h"

#include <glog/logging.h>

#include <QFile>

#include "ui/framework/ui_text.h"

namespace tarn::ui::tools {
namespace {
// How long a cancelled or abandoned transcoder gets to end after SIGTERM.
constexpr int kTerminateWaitMs = 2000;
}  // namespace

TranscoderJob::TranscoderJob(int id, int jobType, int itemIndex, QString program,
                             QStringList arguments, QString outputPath, Events events)
    : id_(id),
      jobType_(jobType),
      itemIndex_(itemIndex),
      program_(std::move(program)),
      arguments_(std::move(arguments)),
      outputPath_(std::move(outputPath)),
      events_(std::move(events)) {}

TranscoderJob::~TranscoderJob() {
  if (process_ && process_->state() != QProcess::NotRunning) {
    // The owner is going (the program is closing): nothing reports anymore.
    process_->disconnect(this);
    process_->terminate();
    if (!process_->waitForFinished(kTerminateWaitMs)) {
      process_->kill();
      process_->waitForFinished(kTerminateWaitMs);
    }
    LOG(WARNING) << "transcoder job " << id_ << " ended unfinished; removing "
                 << outputPath_.toStdString();
    RemoveOutput();
  }
}

bool TranscoderJob::Start(QString* why) {
  if (program_.isEmpty()) {
    if (why != nullptr) *why = QCoreApplication::translate("TarnRecorder", "未找到 ffmpeg");
    LOG(ERROR) << "no transcoder: ffmpeg is neither beside the program nor on PATH";
    return false;
  }
  process_ = std::make_unique<QProcess>();
  process_->setProcessChannelMode(QProcess::MergedChannels);
  process_->setStandardInputFile(QProcess::nullDevice());
  connect(process_.get(), &QProcess::readyReadStandardOutput, this, &TranscoderJob::OnOutput);
  connect(process_.get(), &QProcess::finished, this, &TranscoderJob::OnFinished);
  connect(process_.get(), &QProcess::errorOccurred, this, &TranscoderJob::OnError);
  LOG(INFO) << "transcoder job " << id_ << ": " << program_.toStdString() << " "
            << arguments_.join(' ').toStdString();
  process_->start(program_, arguments_, QIODevice::ReadOnly);
  if (!process_->waitForStarted(-1)) {
    if (why != nullptr) *why = QCoreApplication::translate("TarnRecorder", "未找到 ffmpeg");
    LOG(ERROR) << "cannot start the transcoder " << program_.toStdString() << ": "
               << process_->errorString().toStdString();
    process_->disconnect(this);
    process_.reset();
    return false;
  }
  outcome_ = Outcome::kRunning;
  return true;
}

void TranscoderJob::Cancel() {
  if (outcome_ != Outcome::kRunning || !process_) return;
  cancelling_ = true;
  LOG(INFO) << "transcoder job " << id_ << " cancelled";
  process_->terminate();
}

int TranscoderJob::percent() const {
  return ProgressPercent(reader_.durationMs(), reader_.positionMs(),
                         outcome_ == Outcome::kSucceeded);
}

void TranscoderJob::OnOutput() {
  const QByteArray chunk = process_->readAllStandardOutput();
  const ProgressReader::Update update = reader_.Feed(std::string_view(chunk.constData(), chunk.size()));
  if ((update.duration || update.position) && events_.progress) events_.progress();
}

void TranscoderJob::OnError(QProcess::ProcessError error) {
  // A crash also ends in `finished`; only a failure to start is handled here
  // (Start reports it).
  if (error == QProcess::FailedToStart) return;
  LOG(WARNING) << "transcoder job " << id_ << ": " << process_->errorString().toStdString();
}

void TranscoderJob::OnFinished(int exitCode, QProcess::ExitStatus status) {
  OnOutput();
  reader_.Finish();
  if (cancelling_) {
    outcome_ = Outcome::kCancelled;
    RemoveOutput();
  } else if (status == QProcess::NormalExit && exitCode == 0 && reader_.completed()) {
    outcome_ = Outcome::kSucceeded;
  } else {
    outcome_ = Outcome::kFailed;
    failureText_ = QString::fromStdString(reader_.lastMessageLine());
    if (failureText_.isEmpty()) {
      failureText_ = status == QProcess::NormalExit
                         ? QString("ffmpeg exited with status %1").arg(exitCode)
                         : QString("ffmpeg crashed");
    }
    LOG(WARNING) << "transcoder job " << id_ << " failed (exit " << exitCode << "): "
                 << failureText_.toStdString();
    RemoveOutput();
  }
  if (events_.finished) events_.finished();
}

void TranscoderJob::RemoveOutput() {
  if (outputPath_.isEmpty() || !QFile::exists(outputPath_)) return;
  if (!QFile::remove(outputPath_)) {
    LOG(WARNING) << "cannot remove the unfinished output " << outputPath_.toStdString();
  }
}

}  // namespace tarn::ui::tools
