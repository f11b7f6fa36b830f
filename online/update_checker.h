#pragma once
// The background check for a newer version of the program.

#include <atomic>
#include <thread>

namespace tarn {

// What the update check tells its owner (the main window). Called from the
// worker thread: an implementation must hand the call over to its own thread.
class UpdateCheckListener {
 public:
  virtual ~UpdateCheckListener() = default;
  // A newer version than the running one is available.
  virtual void OnUpdateAvailable() {}
};

// Runs one update check on a worker thread of its own. The thread is joined by
// Join or the destructor, so the listener must outlive this object.
class UpdateChecker {
 public:
  explicit UpdateChecker(UpdateCheckListener* listener);
  ~UpdateChecker();
  UpdateChecker(const UpdateChecker&) = delete;
  UpdateChecker& operator=(const UpdateChecker&) = delete;

  // Starts the worker; false when the thread cannot be created.
  bool Start();
  // Asks a running check to give up and waits for the worker to end.
  void Join();

 private:
  void Run();

  UpdateCheckListener* listener_;
  std::atomic<bool> stopRequested_{false};  // written by Join, read by the worker
  std::thread worker_;
};

}  // namespace tarn
