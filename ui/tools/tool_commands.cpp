#include "ui/tools/tool_commands.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>

namespace tarn::ui::tools {
namespace {

constexpr FrameSize kFrameSizes[kFrameSizeCount] = {
    {0, 0},     {1920, 1080}, {1280, 720}, {1024, 600}, {800, 600}, {720, 576}, {720, 480},
    {640, 480}, {640, 360},   {480, 360},  {480, 272},  {352, 288}, {320, 240}};

// The source's name without its extension (the text before the last point;
// a name starting with its only point keeps it).
std::string StemOf(const std::string& fileName) {
  const std::size_t point = fileName.rfind('.');
  if (point == std::string::npos || point == 0) return fileName;
  return fileName.substr(0, point);
}

bool IsExecutableFile(const std::string& path) {
  struct stat info {};
  return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
}

}  // namespace

std::optional<FrameSize> FrameSizeAt(int index) {
  if (index <= 0 || index >= kFrameSizeCount) return std::nullopt;
  return kFrameSizes[index];
}

std::string FrameSizeArgument(FrameSize size) {
  char text[32];
  std::snprintf(text, sizeof text, "%d*%d", size.width, size.height);
  return text;
}

std::string FrameSizeLabel(int index) {
  const auto size = FrameSizeAt(index);
  if (!size) return "保持原尺寸";
  char text[32];
  std::snprintf(text, sizeof text, "%d×%d", size->width, size->height);
  return text;
}

int CompressRateFactor(CompressType type, bool customChecked, int customValue) {
  if (customChecked) return customValue;
  switch (type) {
    case CompressType::kDeep:
      return kCrfDeep;
    case CompressType::kLimit:
      return kCrfLimit;
    case CompressType::kGeneral:
      break;
  }
  return kCrfGeneral;
}

const char* CompressPreset(bool balancedChecked) { return balancedChecked ? "fast" : "ultrafast"; }

const std::vector<std::string>& ConvertFormats() {
  static const std::vector<std::string> formats = {"mp4", "flv", "wmv", "avi", "mov", "mkv"};
  return formats;
}

std::vector<std::string> CutArguments(const std::string& source, const std::string& startText,
                                      const std::string& endText, const std::string& output) {
  return {"-y", "-i", source, "-ss", startText, "-to", endText, output};
}

std::vector<std::string> FastCutArguments(const std::string& source,
                                          const std::string& keyframeText,
                                          const std::string& lengthText,
                                          const std::string& output) {
  // Seeking before the input lands on the keyframe itself; the copied
  // streams then start at time 0 of the new file.
  return {"-y", "-ss", keyframeText, "-i", source, "-t", lengthText,
          "-c", "copy", "-avoid_negative_ts", "make_zero", output};
}

std::vector<std::string> ConvertArguments(const std::string& source,
                                          const std::optional<FrameSize>& size,
                                          const std::string& output) {
  if (!size) return {"-y", "-i", source, output};
  return {"-y", "-i", source, "-s", FrameSizeArgument(*size), output};
}

std::vector<std::string> CompressArguments(const std::string& source,
                                           const std::optional<FrameSize>& size,
                                           const std::string& preset, int rateFactor,
                                           const std::string& output) {
  std::vector<std::string> arguments = {"-y", "-i", source};
  if (size) {
    arguments.push_back("-s");
    arguments.push_back(FrameSizeArgument(*size));
  }
  for (std::string argument : {std::string("-preset"), preset, std::string("-crf"),
                               std::to_string(rateFactor), output}) {
    arguments.push_back(std::move(argument));
  }
  return arguments;
}

std::string OutputPath(const std::string& dir, const std::string& sourceFileName,
                       const std::tm& localTime, const std::string& extension,
                       const std::function<bool(const std::string&)>& taken) {
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d%H%M%S", &localTime);
  const std::string base = dir + "/" + StemOf(sourceFileName) + "-" + stamp;
  std::string path = base + "." + extension;
  for (int suffix = 1; taken && taken(path); ++suffix) {
    path = base + "-" + std::to_string(suffix) + "." + extension;
  }
  return path;
}

std::string FormatCutTime(long long ms) {
  if (ms < 0) ms = 0;
  char text[40];
  std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld.%03lld", ms / 3600000, ms / 60000 % 60,
                ms / 1000 % 60, ms % 1000);
  return text;
}

long long CutTimeMs(int hours, int minutes, int seconds, int millis) {
  return hours * 3600000LL + minutes * 60000LL + seconds * 1000LL + millis;
}

std::string FindTranscoder(const std::string& programDir, const std::string& pathList) {
  if (!programDir.empty() && IsExecutableFile(programDir + "/ffmpeg")) return programDir + "/ffmpeg";
  std::stringstream dirs(pathList);
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    if (dir.empty()) continue;  // an empty entry would mean the working folder: never
    const std::string candidate = dir + "/ffmpeg";
    if (IsExecutableFile(candidate)) return candidate;
  }
  return {};
}

}  // namespace tarn::ui::tools
