#pragma once
// Measures media durations on a worker thread so that listing a folder of
// hundreds of recordings never holds up the window. Jobs are done in the
// order they were given; results are collected until the owner takes them.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tarn::ui {

class DurationProber {
 public:
  struct Job {
    int index = 0;          // the row the result belongs to
    std::string path;
    bool newRow = false;    // a finished recording: its row is made with the result
  };
  struct Result {
    Job job;
    double duration = 0;    // seconds, as GetMediaDuration gives it
    std::int64_t size = 0;  // bytes, measured with the duration; 0 when unreadable
  };

  // `resultsWaiting` runs on the worker when a result arrives while none was
  // waiting; the owner then calls TakeResults on its own thread.
  explicit DurationProber(std::function<void()> resultsWaiting);
  // Abandons the jobs not started yet and joins the worker.
  ~DurationProber();
  DurationProber(const DurationProber&) = delete;
  DurationProber& operator=(const DurationProber&) = delete;

  // Thread-safe.
  void Enqueue(Job job);
  std::vector<Result> TakeResults();
  // Jobs given and not yet taken as results (tests, diagnostics).
  std::size_t pending() const;

 private:
  void Run();

  std::function<void()> resultsWaiting_;
  mutable std::mutex lock_;
  std::condition_variable wake_;
  std::deque<Job> jobs_;           // guarded by lock_
  std::vector<Result> results_;    // guarded by lock_
  std::size_t busy_ = 0;           // jobs taken by the worker, not yet in results_
  bool stopping_ = false;          // guarded by lock_
  std::thread worker_;
};

}  // namespace tarn::ui
