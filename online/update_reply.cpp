#include "online/update_reply.h"

#include <json/json.h>

#include <cctype>
#include <exception>
#include <memory>

namespace tarn {
namespace {

constexpr std::size_t kMaxNumberDigits = 9;  // stays within int
constexpr std::size_t kDigestLength = 64;

std::optional<int> ParseNumber(std::string_view part) {
  if (part.empty() || part.size() > kMaxNumberDigits) return std::nullopt;
  int value = 0;
  for (char c : part) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

bool ParseJson(std::string_view text, Json::Value& root, std::string& why) {
  Json::CharReaderBuilder builder;
  builder["collectComments"] = false;
  builder["stackLimit"] = 200;  // deeply nested garbage fails instead of recursing on
  const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  try {
    return reader->parse(text.data(), text.data() + text.size(), &root, &why);
  } catch (const std::exception& error) {
    why = error.what();
    return false;
  }
}

bool IsDigest(const std::string& text) {
  if (text.size() != kDigestLength) return false;
  for (char c : text) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

ReplyReading Invalid(std::string why) {
  ReplyReading reading;
  reading.why = std::move(why);
  return reading;
}

// The offer's fields of "data" once the version is known to be newer.
ReplyReading ReadOffer(const Json::Value& data, std::string version) {
  const Json::Value& url = data["download_url"];
  if (!url.isString()) return Invalid("no \"download_url\" text");
  ReplyReading reading;
  reading.offer.version = std::move(version);
  reading.offer.downloadUrl = url.asString();
  const std::string_view address = reading.offer.downloadUrl;
  if (address.rfind("https://", 0) != 0 && address.rfind("http://", 0) != 0) {
    return Invalid("the installer's address is neither http nor https");
  }
  if (InstallerFileName(address).empty()) return Invalid("the installer's address names no file");
  const Json::Value& forced = data["force_upgrade"];
  reading.offer.forced = forced.isBool() ? forced.asBool() : (forced.isIntegral() && forced.asInt64() != 0);
  const Json::Value& digest = data["sha256"];
  if (!digest.isNull()) {
    if (!digest.isString() || !IsDigest(digest.asString())) return Invalid("a malformed \"sha256\"");
    for (char c : digest.asString()) {
      reading.offer.sha256 += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
  }
  reading.verdict = ReplyVerdict::kNewer;
  return reading;
}

}  // namespace

std::optional<VersionNumber> ParseVersion(std::string_view text) {
  int parts[3] = {};
  for (int i = 0; i < 3; ++i) {
    const std::size_t dot = text.find('.');
    if (i < 2 && dot == std::string_view::npos) return std::nullopt;
    const std::optional<int> number = ParseNumber(text.substr(0, dot));
    if (!number) return std::nullopt;
    parts[i] = *number;
    text = dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
  }
  return VersionNumber{parts[0], parts[1], parts[2]};
}

bool IsNewer(const VersionNumber& remote, const VersionNumber& local) {
  if (remote.major != local.major) return remote.major > local.major;
  if (remote.minor != local.minor) return remote.minor > local.minor;
  return remote.revision > local.revision;
}

namespace {

ReplyReading ReadReplyChecked(std::string_view reply, std::string_view localVersion) {
  Json::Value root;
  std::string why;
  if (!ParseJson(reply, root, why)) return Invalid("not JSON: " + why);
  if (!root.isObject()) return Invalid("not a JSON object");
  const Json::Value& ret = root["ret"];
  if (!ret.isIntegral()) return Invalid("no integer \"ret\"");
  if (ret.asInt64() != 0) return Invalid("\"ret\" is " + ret.asString());
  const Json::Value& data = root["data"];
  if (!data.isObject()) return Invalid("no \"data\" object");
  const Json::Value& version = data["app_version"];
  if (!version.isString()) return Invalid("no \"app_version\" text");
  const std::optional<VersionNumber> remote = ParseVersion(version.asString());
  if (!remote) return Invalid("unreadable \"app_version\": " + version.asString());
  const std::optional<VersionNumber> local = ParseVersion(localVersion);
  if (!local) return Invalid("unreadable program version");
  if (!IsNewer(*remote, *local)) {
    ReplyReading reading;
    reading.verdict = ReplyVerdict::kNotNewer;
    reading.offer.version = version.asString();
    return reading;
  }
  return ReadOffer(data, version.asString());
}

}  // namespace

ReplyReading ReadUpdateReply(std::string_view reply, std::string_view localVersion) {
  // JsonCpp throws on conversions out of range (a "ret" beyond 64 bits).
  try {
    return ReadReplyChecked(reply, localVersion);
  } catch (const std::exception& error) {
    return Invalid(std::string("unreadable reply: ") + error.what());
  }
}

std::string InstallerFileName(std::string_view url) {
  const std::size_t end = url.find_first_of("?#");
  if (end != std::string_view::npos) url = url.substr(0, end);
  const std::size_t schemeEnd = url.find("://");
  const std::size_t pathStart = url.find('/', schemeEnd == std::string_view::npos ? 0 : schemeEnd + 3);
  if (pathStart == std::string_view::npos) return {};
  const std::string name(url.substr(url.rfind('/') + 1));
  if (name.empty() || name == "." || name == "..") return {};
  return name;
}

}  // namespace tarn
