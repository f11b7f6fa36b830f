#include "ui/main/recorded_file.h"

#include <cstdio>

namespace tarn::ui {

std::string FormatFileSize(std::int64_t size) {
  char text[64];
  if (size < 1024) {
    std::snprintf(text, sizeof text, "%dB", static_cast<int>(size));
  } else if (size < 1048576) {
    std::snprintf(text, sizeof text, "%dKB", static_cast<int>(size / 1024));
  } else if (size < 1073741824) {
    // Single precision, as the list has always shown it.
    std::snprintf(text, sizeof text, "%.2fM", static_cast<double>(static_cast<float>(size) * (1.0f / 1048576.0f)));
  } else {
    std::snprintf(text, sizeof text, "%.2fG",
                  static_cast<double>(static_cast<float>(size) * (1.0f / 1073741824.0f)));
  }
  return text;
}

std::string FormatDuration(double seconds) {
  const long long whole = seconds > 0 ? static_cast<long long>(seconds) : 0;
  char text[32];
  std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", whole / 3600, (whole % 3600) / 60, whole % 60);
  return text;
}

bool IsRecordingName(const std::string& fileName) {
  const std::size_t point = fileName.rfind('.');
  if (point == std::string::npos) return false;
  const std::string ext = fileName.substr(point + 1);
  return ext == "mp4" || ext == "flv" || ext == "wmv" || ext == "avi" || ext == "mov" || ext == "mkv";
}

}  // namespace tarn::ui
