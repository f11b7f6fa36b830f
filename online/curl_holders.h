#pragma once
// Owners of libcurl objects, and the options every request of the program
// shares. Internal to online/.

#include <curl/curl.h>

#include <atomic>
#include <memory>
#include <string>

namespace tarn::online_detail {

struct CurlEasyDeleter {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct CurlListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using CurlEasy = std::unique_ptr<CURL, CurlEasyDeleter>;
using CurlList = std::unique_ptr<curl_slist, CurlListDeleter>;

// A new easy handle (null when libcurl cannot make one); initialises the
// library once per process.
CurlEasy NewCurlEasy();

// "https" or "http" for URLs of those schemes, else empty.
std::string UrlScheme(const std::string& url);

// Sets what every request shares: the URL, only the URL's own scheme (also for
// redirects), certificate and host-name checks with `caFile` (when not empty)
// trusted beside the system's authorities, a connect limit of 10 s, no
// signals, and a progress callback that aborts the transfer once `*cancel` is
// set. False when the URL's scheme is neither http nor https.
bool SetCommonOptions(CURL* handle, const std::string& url, const std::string& caFile,
                      const std::atomic<bool>* cancel);

}  // namespace tarn::online_detail
