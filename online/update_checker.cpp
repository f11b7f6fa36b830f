#include "online/update_checker.h"

#include <glog/logging.h>
#include <pthread.h>

#include <cstdio>
#include <exception>
#include <system_error>

#include "online/http_client.h"
#include "online/update_settings.h"
#include "settings/settings_store.h"
#include "tarn_version.h"

namespace tarn {
namespace {

constexpr const char* kRequestBody = "{\"app_name\":\"TarnRecorder\"}";

[[maybe_unused]] void PrintVersions(const std::string& remoteText) {
  const std::optional<VersionNumber> remote = ParseVersion(remoteText);
  const std::optional<VersionNumber> local = ParseVersion(kProgramVersion);
  if (!remote || !local) return;
  std::printf("routeMajorVersion: %d routeMinorVersion: %d routeRevisionVersion: %d\n",
              remote->major, remote->minor, remote->revision);
  std::printf("localMajorVersion: %d localMinorVersion: %d localRevisionVersion: %d\n",
              local->major, local->minor, local->revision);
}

}  // namespace

UpdateCheckResult CheckForUpdate(SettingsStore& settings, UpdateCheckKind kind,
                                 const std::atomic<bool>* cancel) {
  UpdateCheckResult result;
  result.kind = kind;
#if !TARN_UPDATE_CHECK
  (void)settings;
  (void)cancel;
  LOG(INFO) << "update check: this build makes no network requests";
  return result;
#else
  if (kind == UpdateCheckKind::kStartup && settings.GetInt(kUpdateCheck, kUpdateCheckDefault) == 0) {
    LOG(INFO) << "update check at start-up is switched off (online/update-check = 0)";
    return result;
  }
  const std::string url = settings.GetString(kUpdateUrl, kUpdateUrlDefault, kOnlineValueCapacity);
  HttpOptions options;
  options.caFile = settings.GetString(kUpdateCaFile, "", kOnlineValueCapacity);
  options.cancel = cancel;
  result.caFile = options.caFile;
  std::printf("message: %s\n", kRequestBody);
  std::string reply;
  if (PostJson(AppendTimestamp(url), kRequestBody, reply, options) != 0) return result;
  std::printf("response: %s\n", reply.c_str());
  ReplyReading reading = ReadUpdateReply(reply, kProgramVersion);
  if (reading.verdict == ReplyVerdict::kInvalid) {
    LOG(ERROR) << "update check: unusable reply from " << url << ": " << reading.why;
    return result;
  }
  PrintVersions(reading.offer.version);
  result.verdict = reading.verdict;
  result.offer = std::move(reading.offer);
  LOG(INFO) << "update check: " << url << " offers " << result.offer.version
            << (result.verdict == ReplyVerdict::kNewer ? " (newer)" : " (not newer)");
  return result;
#endif
}

UpdateChecker::UpdateChecker(UpdateCheckListener* listener, SettingsStore* settings,
                             UpdateCheckKind kind)
    : listener_(listener),
      settings_(settings != nullptr ? *settings : SettingsStore::Instance()),
      kind_(kind) {}

UpdateChecker::~UpdateChecker() { Join(); }

bool UpdateChecker::Start() {
  if (worker_.joinable()) return true;
  stopRequested_ = false;
  finished_ = false;
  try {
    worker_ = std::thread(&UpdateChecker::Run, this);
  } catch (const std::system_error& error) {
    finished_ = true;
    LOG(ERROR) << "cannot start the update check thread: " << error.what();
    return false;
  }
  return true;
}

void UpdateChecker::Join() {
  stopRequested_ = true;
  if (worker_.joinable()) worker_.join();
}

void UpdateChecker::Wait() {
  if (worker_.joinable()) worker_.join();
}

void UpdateChecker::Run() {
  pthread_setname_np(pthread_self(), "update-check");
  try {
    const UpdateCheckResult result = CheckForUpdate(settings_, kind_, &stopRequested_);
    if (result.verdict != ReplyVerdict::kInvalid && listener_ != nullptr && !stopRequested_) {
      listener_->OnUpdateChecked(result);
    }
  } catch (const std::exception& error) {
    LOG(ERROR) << "update check thread: " << error.what();
  }
  finished_ = true;
}

}  // namespace tarn
