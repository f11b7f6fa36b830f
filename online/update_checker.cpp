#include "online/update_checker.h"

#include <glog/logging.h>
#include <pthread.h>

#include <system_error>

namespace tarn {

UpdateChecker::UpdateChecker(UpdateCheckListener* listener) : listener_(listener) {}

UpdateChecker::~UpdateChecker() { Join(); }

bool UpdateChecker::Start() {
  if (worker_.joinable()) return true;
  stopRequested_ = false;
  try {
    worker_ = std::thread(&UpdateChecker::Run, this);
  } catch (const std::system_error& error) {
    LOG(ERROR) << "cannot start the update check thread: " << error.what();
    return false;
  }
  return true;
}

void UpdateChecker::Join() {
  stopRequested_ = true;
  if (worker_.joinable()) worker_.join();
}

void UpdateChecker::Run() {
  pthread_setname_np(pthread_self(), "update-check");
  // No update service is configured in this build yet: the check ends at once
  // without telling the listener anything.
  if (listener_ == nullptr || stopRequested_) return;
  LOG(INFO) << "update check: no update service configured";
}

}  // namespace tarn
