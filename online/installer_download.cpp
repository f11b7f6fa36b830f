#include "online/installer_download.h"

#include <glog/logging.h>
#include <openssl/evp.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>

#include "online/curl_holders.h"
#include "tarn_version.h"
#include "online/update_reply.h"
#include "platform/app_data_dir.h"

extern char** environ;

namespace tarn {
namespace {

constexpr const char* kDownloadRelativeDir = "TarnScreenRecorder/Temp";
constexpr long kReadBytes = 1024;
constexpr long kHeadTimeoutS = 10;
// A download that delivers less than a byte a second for this long is dead.
constexpr long kStallTimeoutS = 30;
constexpr long kMaxRedirects = 5;
constexpr auto kOpenerWait = std::chrono::seconds(5);

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
struct DigestDeleter {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

// What the write callback works on.
struct Transfer {
  std::unique_ptr<std::FILE, FileCloser> file;
  std::unique_ptr<EVP_MD_CTX, DigestDeleter> digest;
  const std::function<void(int)>* onPercent = nullptr;
  curl_off_t length = 0;
  curl_off_t received = 0;
  int shownPercent = -1;
  bool overrun = false;
  bool writeFailed = false;
};

size_t WriteChunk(char* data, size_t size, size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  const size_t bytes = size * count;
  if (transfer->received + static_cast<curl_off_t>(bytes) > transfer->length) {
    transfer->overrun = true;
    return 0;
  }
  if (std::fwrite(data, 1, bytes, transfer->file.get()) != bytes) {
    transfer->writeFailed = true;
    return 0;
  }
  EVP_DigestUpdate(transfer->digest.get(), data, bytes);
  transfer->received += static_cast<curl_off_t>(bytes);
  const int percent = static_cast<int>(transfer->received * 100 / transfer->length);
  if (percent != transfer->shownPercent) {
    transfer->shownPercent = percent;
    if (*transfer->onPercent) (*transfer->onPercent)(percent);
  }
  return bytes;
}

DownloadResult Failed(std::string why) {
  LOG(ERROR) << "installer download failed: " << why;
  DownloadResult result;
  result.why = std::move(why);
  return result;
}

// The announced length of the installer (HEAD); 0 when unknown or empty.
[[maybe_unused]] curl_off_t ContentLength(const DownloadRequest& request,
                                          const std::atomic<bool>& cancelled, std::string& why) {
  online_detail::CurlEasy curl = online_detail::NewCurlEasy();
  if (!curl) {
    why = "cannot prepare the request";
    return 0;
  }
  if (!online_detail::SetCommonOptions(curl.get(), request.url, request.caFile, &cancelled)) {
    why = "unsupported address " + request.url;
    return 0;
  }
  curl_easy_setopt(curl.get(), CURLOPT_NOBODY, 1L);
  curl_easy_setopt(curl.get(), CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl.get(), CURLOPT_MAXREDIRS, kMaxRedirects);
  curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT, kHeadTimeoutS);
  curl_easy_setopt(curl.get(), CURLOPT_FAILONERROR, 1L);
  const CURLcode code = curl_easy_perform(curl.get());
  if (code != CURLE_OK) {
    why = std::string("asking for the length: ") + curl_easy_strerror(code);
    return 0;
  }
  curl_off_t length = -1;
  curl_easy_getinfo(curl.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
  if (length <= 0) why = "the server announces no length";
  return length > 0 ? length : 0;
}

[[maybe_unused]] std::string HexDigest(EVP_MD_CTX* context) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EVP_DigestFinal_ex(context, digest, &size);
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  for (unsigned int i = 0; i < size; ++i) {
    text += kHex[digest[i] >> 4];
    text += kHex[digest[i] & 0xF];
  }
  return text;
}

// Fetches the body into `transfer`; the outcome without the digest check.
[[maybe_unused]] DownloadResult Fetch(const DownloadRequest& request,
                                     const std::atomic<bool>& cancelled, Transfer& transfer) {
  online_detail::CurlEasy curl = online_detail::NewCurlEasy();
  if (!curl || !online_detail::SetCommonOptions(curl.get(), request.url, request.caFile, &cancelled)) {
    return Failed("cannot prepare the request for " + request.url);
  }
  curl_easy_setopt(curl.get(), CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl.get(), CURLOPT_MAXREDIRS, kMaxRedirects);
  curl_easy_setopt(curl.get(), CURLOPT_FAILONERROR, 1L);
  curl_easy_setopt(curl.get(), CURLOPT_BUFFERSIZE, kReadBytes);
  curl_easy_setopt(curl.get(), CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl.get(), CURLOPT_LOW_SPEED_TIME, kStallTimeoutS);
  curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, &WriteChunk);
  curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &transfer);
  const CURLcode code = curl_easy_perform(curl.get());
  if (cancelled.load()) {
    LOG(INFO) << "installer download cancelled at " << transfer.received << " bytes";
    DownloadResult result;
    result.outcome = DownloadOutcome::kCancelled;
    return result;
  }
  if (transfer.overrun) return Failed("the server sent more than the announced length");
  if (transfer.writeFailed) return Failed("cannot write the installer (disk full?)");
  if (code != CURLE_OK) return Failed(std::string("transfer: ") + curl_easy_strerror(code));
  if (transfer.received != transfer.length) {
    return Failed("the connection ended after " + std::to_string(transfer.received) + " of " +
                  std::to_string(transfer.length) + " bytes");
  }
  DownloadResult result;
  result.outcome = DownloadOutcome::kDone;
  return result;
}

}  // namespace

std::string InstallerDownloadFolder() { return GetAppDataDir(kDownloadRelativeDir); }

DownloadResult DownloadInstaller(const DownloadRequest& request, const std::atomic<bool>& cancelled,
                                 const std::function<void(int percent)>& onPercent) {
#if !TARN_UPDATE_CHECK
  (void)cancelled;
  (void)onPercent;
  return Failed("this build makes no network requests: not fetching " + request.url);
#else
  const std::string name = InstallerFileName(request.url);
  if (name.empty()) return Failed("the address names no file: " + request.url);
  Transfer transfer;
  transfer.onPercent = &onPercent;
  std::string why;
  transfer.length = ContentLength(request, cancelled, why);
  if (cancelled.load()) return DownloadResult{DownloadOutcome::kCancelled, {}, {}};
  if (transfer.length == 0) return Failed(why + " (" + request.url + ")");

  const std::string path = request.folder + "/" + name;
  transfer.file.reset(std::fopen(path.c_str(), "wb"));
  if (!transfer.file) return Failed("cannot create " + path);
  transfer.digest.reset(EVP_MD_CTX_new());
  if (!transfer.digest || EVP_DigestInit_ex(transfer.digest.get(), EVP_sha256(), nullptr) != 1) {
    return Failed("cannot compute digests");
  }
  DownloadResult result = Fetch(request, cancelled, transfer);
  const bool closed = std::fclose(transfer.file.release()) == 0;
  if (result.outcome == DownloadOutcome::kDone && !closed) result = Failed("cannot write " + path);
  if (result.outcome == DownloadOutcome::kDone && !request.sha256.empty()) {
    const std::string digest = HexDigest(transfer.digest.get());
    if (digest != request.sha256) {
      result = Failed("the installer's SHA-256 is " + digest + ", the service announced " +
                      request.sha256 + ": deleted");
    }
  }
  if (result.outcome != DownloadOutcome::kDone) {
    std::remove(path.c_str());
    return result;
  }
  result.path = path;
  LOG(INFO) << "downloaded the installer to " << path << " (" << transfer.received << " bytes)";
  return result;
#endif
}

bool OpenInstaller(const std::string& path) {
  pid_t pid = 0;
  std::string program = "xdg-open";
  char* argv[] = {program.data(), const_cast<char*>(path.c_str()), nullptr};
  const int error = posix_spawnp(&pid, "xdg-open", nullptr, nullptr, argv, environ);
  if (error != 0) {
    LOG(ERROR) << "cannot start xdg-open for " << path << ": " << std::strerror(error);
    return false;
  }
  // xdg-open ends once the handler started; a handler it runs in its place
  // keeps it running, which counts as started.
  const auto deadline = std::chrono::steady_clock::now() + kOpenerWait;
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) {
      if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
      LOG(ERROR) << "xdg-open could not open " << path << " (status " << status << ")";
      return false;
    }
    if (done < 0) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

}  // namespace tarn
