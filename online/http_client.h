#pragma once
// Small JSON requests to the program's web service.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace tarn {

// Replies larger than this are refused.
inline constexpr std::size_t kMaxReplyBytes = 1024 * 1024;

struct HttpOptions {
  // Extra certificate authorities (a PEM file) trusted beside the system's.
  std::string caFile;
  // When set, the request gives up soon after it becomes true.
  const std::atomic<bool>* cancel = nullptr;
};

// POSTs `body` as JSON to `url` (10 s for the whole request) and stores the
// reply's body in `reply`. 0 when the transfer succeeded, the HTTP status is
// 2xx and the reply is not empty; -1 otherwise (logged). Redirects are not
// followed; a reply over kMaxReplyBytes is a failure.
int PostJson(const std::string& url, const std::string& body, std::string& reply,
             const HttpOptions& options = {});

// The low 32 bits of the milliseconds since 1970 of the time `epochMs`.
std::uint32_t TimestampParameter(std::int64_t epochMs);

// `text` + "?timestamp=" + TimestampParameter(now); "&" instead of "?" when
// `text` already has a query. The parameter only keeps caches from answering.
std::string AppendTimestamp(const std::string& text);

}  // namespace tarn
