#pragma once
// The update service's reply and the comparison of versions.
//
// The reply is a JSON object: "ret" (0 on success) and "data" with
// "app_version" ("major.minor.revision"), "download_url" (the installer),
// "force_upgrade" (true when the user may not decline) and, optionally,
// "sha256" (the installer's digest, 64 hexadecimal digits).

#include <optional>
#include <string>
#include <string_view>

namespace tarn {

struct VersionNumber {
  int major = 0;
  int minor = 0;
  int revision = 0;
};

// The first three dot-separated parts of `text` as decimal numbers (each one
// to nine digits, nothing else); more parts may follow. Nothing when there are
// fewer than three parts or one of them is not a number.
std::optional<VersionNumber> ParseVersion(std::string_view text);

// Whether `remote` is newer than `local`: the major decides, then the minor,
// then the revision.
bool IsNewer(const VersionNumber& remote, const VersionNumber& local);

// A newer version on offer.
struct UpdateOffer {
  std::string version;
  std::string downloadUrl;
  bool forced = false;
  std::string sha256;  // lower-case hexadecimal; empty when the reply gave none
};

enum class ReplyVerdict {
  kInvalid,   // unusable reply: the check fails
  kNotNewer,  // the service knows no newer version
  kNewer,     // `offer` is newer than the running program
};

struct ReplyReading {
  ReplyVerdict verdict = ReplyVerdict::kInvalid;
  UpdateOffer offer;
  std::string why;  // for kInvalid: what is wrong, for the log
};

// Reads a reply against the running program's version `localVersion`. A
// reply that is not JSON, has a "ret" other than the integer 0, an unreadable
// version, or (for a newer version) no usable installer address or a
// malformed digest is kInvalid. Never throws.
ReplyReading ReadUpdateReply(std::string_view reply, std::string_view localVersion);

// The installer's file name: the address's last path component, without query
// or fragment. Empty when there is none usable ("", ".", "..").
std::string InstallerFileName(std::string_view url);

}  // namespace tarn
