#pragma once
// The download of a newer version's installer, and handing it to the desktop.

#include <atomic>
#include <functional>
#include <string>

namespace tarn {

// Where installers are stored: the per-user "TarnScreenRecorder/Temp" folder
// (created when missing).
std::string InstallerDownloadFolder();

struct DownloadRequest {
  std::string url;
  std::string folder;  // the installer is stored here under InstallerFileName(url)
  std::string sha256;  // expected digest (lower-case hex); empty: not checked
  std::string caFile;  // extra certificate authorities, as for PostJson
};

enum class DownloadOutcome { kDone, kCancelled, kFailed };

struct DownloadResult {
  DownloadOutcome outcome = DownloadOutcome::kFailed;
  std::string path;  // the stored installer (kDone)
  std::string why;   // what went wrong (kFailed), also logged
};

// Asks the server for the length (HEAD), then fetches the installer in reads
// of 1024 bytes into a file made anew. `onPercent` is called on the calling
// thread with the whole percent received (0 to 100) each time it changes.
// Gives up soon after `cancelled` becomes true. A missing or zero length, a
// transfer that ends before or runs past the length, a redirect to another
// scheme, a file that cannot be written, or a digest that differs from
// `sha256` fail; the partial or wrong file is deleted on every outcome but
// kDone. Blocks: call it on a worker thread.
DownloadResult DownloadInstaller(const DownloadRequest& request, const std::atomic<bool>& cancelled,
                                 const std::function<void(int percent)>& onPercent);

// Opens the installer with the desktop's handler for its kind (xdg-open).
// True when the handler was started: xdg-open ended with status 0, or is still
// running after a few seconds. False (logged) otherwise.
bool OpenInstaller(const std::string& path);

}  // namespace tarn
