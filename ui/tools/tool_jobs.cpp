#include "ui/tools/tool_jobs.h"

#include <glog/logging.h>

#include <cstdlib>

#include "platform/program_dir.h"
#include "ui/main/main_messages.h"
#include "ui/tools/tool_commands.h"

namespace tarn::ui::tools {

ToolJobs::ToolJobs(QObject* receiver) : receiver_(receiver) {}

ToolJobs::~ToolJobs() { EndAll(); }

QString ToolJobs::Transcoder() const {
  if (!transcoder_.isEmpty()) return transcoder_;
  const char* path = std::getenv("PATH");
  return QString::fromStdString(FindTranscoder(platform::ProgramDir(), path != nullptr ? path : ""));
}

int ToolJobs::Launch(int jobType, int itemIndex, const std::vector<std::string>& arguments,
                     const std::string& outputPath, QString* why) {
  const int id = nextId_++;
  QStringList list;
  for (const std::string& argument : arguments) list << QString::fromStdString(argument);
  QPointer<QObject> receiver = receiver_;
  TranscoderJob::Events events;
  events.progress = [receiver, id, jobType] {
    if (receiver) PostMessage(receiver.data(), kWmToolProgress, static_cast<quintptr>(id), jobType);
  };
  events.finished = [receiver, id, jobType] {
    if (receiver) PostMessage(receiver.data(), kWmToolFinished, static_cast<quintptr>(id), jobType);
  };
  auto job = std::make_unique<TranscoderJob>(id, jobType, itemIndex, Transcoder(), list,
                                             QString::fromStdString(outputPath), std::move(events));
  if (!job->Start(why)) return 0;
  jobs_[id] = std::move(job);
  return id;
}

TranscoderJob* ToolJobs::Find(int id) const {
  const auto found = jobs_.find(id);
  return found == jobs_.end() ? nullptr : found->second.get();
}

TranscoderJob* ToolJobs::FindRunning(int jobType, int itemIndex) const {
  for (const auto& [id, job] : jobs_) {
    if (job->jobType() == jobType && job->itemIndex() == itemIndex &&
        job->outcome() == TranscoderJob::Outcome::kRunning) {
      return job.get();
    }
  }
  return nullptr;
}

void ToolJobs::Release(int id) {
  const auto found = jobs_.find(id);
  if (found == jobs_.end() || found->second->outcome() == TranscoderJob::Outcome::kRunning) return;
  // The job may still be inside its process's signal: delete it later.
  found->second.release()->deleteLater();
  jobs_.erase(found);
}

bool ToolJobs::Cancel(int jobType, int itemIndex) {
  TranscoderJob* job = FindRunning(jobType, itemIndex);
  if (job == nullptr) return false;
  job->Cancel();
  return true;
}

void ToolJobs::EndAll() {
  if (RunningCount() > 0) LOG(INFO) << "ending " << RunningCount() << " transcoder jobs";
  // All are told to end first, so they end together; then each job's
  // destructor waits for its process and removes its partial output.
  for (const auto& [id, job] : jobs_) job->Cancel();
  jobs_.clear();
}

int ToolJobs::RunningCount() const {
  int running = 0;
  for (const auto& [id, job] : jobs_) {
    if (job->outcome() == TranscoderJob::Outcome::kRunning) ++running;
  }
  return running;
}

bool ToolJobs::IsOutputInUse(const std::string& path) const {
  for (const auto& [id, job] : jobs_) {
    if (job->outcome() == TranscoderJob::Outcome::kRunning && job->outputPath().toStdString() == path) {
      return true;
    }
  }
  return false;
}

}  // namespace tarn::ui::tools
