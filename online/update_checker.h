#pragma once
// The check for a newer version of the program, on a worker thread.

#include <atomic>
#include <string>
#include <thread>

#include "online/update_reply.h"

namespace tarn {

class SettingsStore;

enum class UpdateCheckKind {
  kStartup,  // at every start, unless "update-check" is 0; silent when nothing is newer
  kManual,   // asked for by the user
};

struct UpdateCheckResult {
  UpdateCheckKind kind = UpdateCheckKind::kStartup;
  ReplyVerdict verdict = ReplyVerdict::kInvalid;
  UpdateOffer offer;  // for kNewer
  std::string caFile;  // the extra authorities the download should trust too
};

// What the update check tells its owner (the main window). Called from the
// worker thread: an implementation must hand the call over to its own thread.
class UpdateCheckListener {
 public:
  virtual ~UpdateCheckListener() = default;
  // The service answered: a newer version, or none. Failed checks (no
  // service, a bad reply) are only logged and never reported.
  virtual void OnUpdateChecked(const UpdateCheckResult& result) { (void)result; }
};

// Asks the service named by the settings once, on the calling thread; gives
// up soon after `*cancel` becomes true. A start-up check with "update-check"
// 0 makes no request. Never throws.
UpdateCheckResult CheckForUpdate(SettingsStore& settings, UpdateCheckKind kind,
                                 const std::atomic<bool>* cancel = nullptr);

// Runs one update check on a worker thread of its own. The thread is joined by
// Join or the destructor, so the listener must outlive this object.
class UpdateChecker {
 public:
  // `settings` null: the program's settings file.
  explicit UpdateChecker(UpdateCheckListener* listener, SettingsStore* settings = nullptr,
                         UpdateCheckKind kind = UpdateCheckKind::kStartup);
  ~UpdateChecker();
  UpdateChecker(const UpdateChecker&) = delete;
  UpdateChecker& operator=(const UpdateChecker&) = delete;

  // Starts the worker; false when the thread cannot be created.
  bool Start();
  // Asks a running check to give up and waits for the worker to end.
  void Join();
  // Waits for the worker to finish its check.
  void Wait();
  // Whether the worker has finished its check (or never started).
  bool finished() const { return finished_.load(); }

 private:
  void Run();

  UpdateCheckListener* listener_;
  SettingsStore& settings_;
  UpdateCheckKind kind_;
  std::atomic<bool> stopRequested_{false};  // written by Join, read by the worker
  std::atomic<bool> finished_{true};        // written by Start and the worker
  std::thread worker_;
};

}  // namespace tarn
