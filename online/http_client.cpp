#include "online/http_client.h"

#include <glog/logging.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <mutex>

#include "online/curl_holders.h"
#include "tarn_version.h"

namespace tarn {
namespace online_detail {
namespace {

constexpr long kConnectTimeoutS = 10;
// The Debian folder of the system's certificate authorities, kept trusted
// when an extra bundle replaces libcurl's default file.
constexpr const char* kSystemCaDir = "/etc/ssl/certs";

int AbortWhenCancelled(void* data, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  const auto* cancel = static_cast<const std::atomic<bool>*>(data);
  return cancel != nullptr && cancel->load() ? 1 : 0;
}

}  // namespace

CurlEasy NewCurlEasy() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) LOG(ERROR) << "curl_global_init failed";
  });
  return CurlEasy(curl_easy_init());
}

std::string UrlScheme(const std::string& url) {
  if (url.rfind("https://", 0) == 0) return "https";
  if (url.rfind("http://", 0) == 0) return "http";
  return {};
}

bool SetCommonOptions(CURL* handle, const std::string& url, const std::string& caFile,
                      const std::atomic<bool>* cancel) {
  const std::string scheme = UrlScheme(url);
  if (scheme.empty()) {
    LOG(ERROR) << "refusing a web address that is neither http nor https: " << url;
    return false;
  }
  curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
  curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, scheme.c_str());
  curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, scheme.c_str());
  curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!caFile.empty()) {
    curl_easy_setopt(handle, CURLOPT_CAINFO, caFile.c_str());
    if (::access(kSystemCaDir, R_OK) == 0) curl_easy_setopt(handle, CURLOPT_CAPATH, kSystemCaDir);
  }
  curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutS);
  curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, &AbortWhenCancelled);
  curl_easy_setopt(handle, CURLOPT_XFERINFODATA, const_cast<std::atomic<bool>*>(cancel));
  return true;
}

}  // namespace online_detail

namespace {

constexpr long kRequestTimeoutS = 10;

struct ReplySink {
  std::string* text;
  bool tooLarge = false;
};

[[maybe_unused]] size_t AppendReply(char* data, size_t size, size_t count, void* user) {
  auto* sink = static_cast<ReplySink*>(user);
  const size_t bytes = size * count;
  if (sink->text->size() + bytes > kMaxReplyBytes) {
    sink->tooLarge = true;
    return 0;  // aborts the transfer
  }
  sink->text->append(data, bytes);
  return bytes;
}

}  // namespace

int PostJson(const std::string& url, const std::string& body, std::string& reply,
             const HttpOptions& options) {
  reply.clear();
#if !TARN_UPDATE_CHECK
  (void)body;
  (void)options;
  LOG(WARNING) << "this build makes no network requests: not asking " << url;
  return -1;
#else
  online_detail::CurlList headers(curl_slist_append(nullptr, "Accept: application/json"));
  if (headers) {
    curl_slist* extended =
        curl_slist_append(headers.get(), "Content-Type:application/json;charset=UTF-8");
    if (extended == nullptr) headers.reset();
  }
  online_detail::CurlEasy curl = online_detail::NewCurlEasy();
  if (!headers || !curl) {
    LOG(ERROR) << "cannot prepare a web request to " << url;
    return -1;
  }
  if (!online_detail::SetCommonOptions(curl.get(), url, options.caFile, options.cancel)) return -1;
  ReplySink sink{&reply};
  curl_easy_setopt(curl.get(), CURLOPT_POST, 1L);
  curl_easy_setopt(curl.get(), CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT, kRequestTimeoutS);
  curl_easy_setopt(curl.get(), CURLOPT_POSTFIELDS, body.c_str());
  curl_easy_setopt(curl.get(), CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
  curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, &AppendReply);
  curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &sink);
  const CURLcode code = curl_easy_perform(curl.get());
  std::printf("curl code:%d,strerror:%s\n", static_cast<int>(code), curl_easy_strerror(code));
  long status = 0;
  curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &status);
  if (sink.tooLarge) {
    LOG(ERROR) << "the reply of " << url << " is larger than " << kMaxReplyBytes << " bytes";
  } else if (code != CURLE_OK) {
    LOG(ERROR) << "web request to " << url << " failed: " << curl_easy_strerror(code);
  } else if (status < 200 || status > 299) {
    LOG(ERROR) << "web request to " << url << " answered HTTP " << status;
  } else if (reply.empty()) {
    LOG(ERROR) << "web request to " << url << " got an empty reply";
  } else {
    return 0;
  }
  reply.clear();
  return -1;
#endif
}

std::uint32_t TimestampParameter(std::int64_t epochMs) {
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(epochMs));
}

std::string AppendTimestamp(const std::string& text) {
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  const std::int64_t epochMs = std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
  const char* separator = text.find('?') == std::string::npos ? "?" : "&";
  return text + separator + "timestamp=" + std::to_string(TimestampParameter(epochMs));
}

}  // namespace tarn
