#include "ui/tools/progress_reader.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace tarn::ui::tools {
namespace {

constexpr std::string_view kDurationMarker = "Duration:";
constexpr std::string_view kTimeMarker = "time=";
constexpr std::string_view kCompletionMarker = "muxing overhead:";
// A time is taken once this many characters follow its marker: HH:MM:SS.xx.
constexpr std::size_t kTimeLength = 11;
// A line that never ends (no progress output does this) is read in pieces
// of this size so the buffer stays small.
constexpr std::size_t kLongestLine = 64 * 1024;

bool ParseNumber(std::string_view text, long long& value) {
  if (text.empty() || text.size() > 9) return false;
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return true;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  return text;
}

}  // namespace

std::optional<long long> MarkerTimeMs(std::string_view text) {
  // "HH:MM:SS.xx": split at the two colons, then the seconds at the point.
  const std::size_t first = text.find(':');
  if (first == std::string_view::npos) return std::nullopt;
  const std::size_t second = text.find(':', first + 1);
  if (second == std::string_view::npos) return std::nullopt;
  const std::string_view secondsPart = text.substr(second + 1);
  const std::size_t point = secondsPart.find('.');
  long long hours = 0, minutes = 0, seconds = 0, fraction = 0;
  if (!ParseNumber(text.substr(0, first), hours) ||
      !ParseNumber(text.substr(first + 1, second - first - 1), minutes) ||
      !ParseNumber(secondsPart.substr(0, point), seconds)) {
    return std::nullopt;
  }
  if (point != std::string_view::npos && !ParseNumber(secondsPart.substr(point + 1), fraction)) {
    return std::nullopt;
  }
  return hours * 3600000 + minutes * 60000 + seconds * 1000 + fraction;
}

int ProgressPercent(long long durationMs, long long positionMs, bool completed) {
  if (completed) return 100;
  if (durationMs <= 0 || positionMs <= 0) return 0;
  const long long percent = positionMs * 100 / durationMs;
  return static_cast<int>(std::clamp(percent, 0LL, 99LL));
}

ProgressReader::Update ProgressReader::Feed(std::string_view chunk) {
  Update update;
  line_.append(chunk);
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = line_.find_first_of("\r\n", start);
    if (end == std::string::npos) break;
    const std::string_view line(line_.data() + start, end - start);
    ScanMarkers(line, start == 0 ? scanFrom_ : 0, true, update);
    NoteLine(line);
    scanFrom_ = 0;
    start = end + 1;
  }
  line_.erase(0, start);
  if (start != 0) scanFrom_ = 0;
  scanFrom_ = ScanMarkers(line_, scanFrom_, false, update);
  if (line_.size() > kLongestLine) {
    NoteLine(line_);
    line_.clear();
    scanFrom_ = 0;
  }
  return update;
}

ProgressReader::Update ProgressReader::Finish() {
  Update update;
  ScanMarkers(line_, scanFrom_, true, update);
  NoteLine(line_);
  line_.clear();
  scanFrom_ = 0;
  return update;
}

std::size_t ProgressReader::ScanMarkers(std::string_view line, std::size_t from, bool complete,
                                        Update& update) {
  std::size_t pos = from;
  while (pos < line.size()) {
    // The earliest of the three markers from `pos`.
    const std::array<std::string_view, 3> markers = {kDurationMarker, kTimeMarker,
                                                     kCompletionMarker};
    std::size_t found = std::string_view::npos;
    std::string_view marker;
    for (std::string_view candidate : markers) {
      const std::size_t at = line.find(candidate, pos);
      if (at < found) {
        found = at;
        marker = candidate;
      }
    }
    if (found == std::string_view::npos) {
      // A marker may be cut by the end of what arrived: look again from a
      // little before the end next time.
      return complete ? line.size() : std::max(pos, line.size() - std::min<std::size_t>(line.size(), kCompletionMarker.size() - 1));
    }
    if (marker == kCompletionMarker) {
      if (!completed_) update.completion = true;
      completed_ = true;
      pos = found + marker.size();
      continue;
    }
    std::size_t valueAt = found + marker.size();
    if (marker == kDurationMarker && valueAt < line.size() && line[valueAt] == ' ') ++valueAt;
    if (line.size() - std::min(valueAt, line.size()) < kTimeLength && !complete) {
      return found;  // wait for the rest of the time
    }
    const std::string_view value = Trim(line.substr(std::min(valueAt, line.size()), kTimeLength));
    if (const auto ms = MarkerTimeMs(value)) {
      if (marker == kDurationMarker) {
        // The first input's duration is the job's (the output's own
        // header lists no "Duration:").
        if (durationMs_ < 0) {
          durationMs_ = *ms;
          update.duration = true;
        }
      } else {
        ++positionMarkers_;
        if (*ms > positionMs_) {
          positionMs_ = *ms;
          update.position = true;
        }
      }
    }
    pos = valueAt;
  }
  return pos;
}

void ProgressReader::NoteLine(std::string_view line) {
  const std::string_view text = Trim(line);
  if (text.empty()) return;
  // Progress lines ("frame= ... time=...", "size= ... time=...") are not reasons.
  if (text.rfind("frame=", 0) == 0 || text.rfind("size=", 0) == 0 ||
      text.find(kTimeMarker) != std::string_view::npos) {
    return;
  }
  lastMessageLine_.assign(text);
}

}  // namespace tarn::ui::tools
