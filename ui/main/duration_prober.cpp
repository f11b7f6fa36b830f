#include "ui/main/duration_prober.h"

#include <pthread.h>

#include <filesystem>
#include <utility>

#include "recorder/media_info.h"

namespace tarn::ui {

DurationProber::DurationProber(std::function<void()> resultsWaiting)
    : resultsWaiting_(std::move(resultsWaiting)), worker_([this] { Run(); }) {}

DurationProber::~DurationProber() {
  {
    std::lock_guard lock(lock_);
    stopping_ = true;
    jobs_.clear();
  }
  wake_.notify_all();
  worker_.join();
}

void DurationProber::Enqueue(Job job) {
  {
    std::lock_guard lock(lock_);
    jobs_.push_back(std::move(job));
  }
  wake_.notify_one();
}

std::vector<DurationProber::Result> DurationProber::TakeResults() {
  std::lock_guard lock(lock_);
  return std::exchange(results_, {});
}

std::size_t DurationProber::pending() const {
  std::lock_guard lock(lock_);
  return jobs_.size() + busy_ + results_.size();
}

void DurationProber::Run() {
  pthread_setname_np(pthread_self(), "duration-probe");
  for (;;) {
    Job job;
    {
      std::unique_lock lock(lock_);
      wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
      if (stopping_) return;
      job = std::move(jobs_.front());
      jobs_.pop_front();
      ++busy_;
    }
    Result result;
    result.duration = GetMediaDuration(job.path);
    std::error_code error;
    const auto size = std::filesystem::file_size(job.path, error);
    result.size = error ? 0 : static_cast<std::int64_t>(size);
    result.job = std::move(job);
    bool first = false;
    {
      std::lock_guard lock(lock_);
      --busy_;
      first = results_.empty();
      results_.push_back(std::move(result));
    }
    if (first && resultsWaiting_) resultsWaiting_();
  }
}

}  // namespace tarn::ui
