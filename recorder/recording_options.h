#pragma once
// What one recording is asked to be: folder, file name, container, frame
// rate and quality. Built from the settings in one place, for the main window
// and tarn-record alike, so both name, place and pace their files the same.

#include <ctime>
#include <optional>
#include <string>

namespace tarn {

class SettingsStore;

// Frame rates a recording accepts; anything else falls back to the default.
inline constexpr int kMinFrameRate = 1;
inline constexpr int kMaxFrameRate = 120;

struct RecordingOptions {
  std::string outputDir;      // the folder, created when missing
  std::string fileName;       // "20261208093000.mp4", or "...-1.mp4" when taken
  std::string containerExt;   // "mp4", "flv", "wmv", "avi", "mov", "mkv"
  std::string containerName;  // the muxer: "mp4", "flv", "asf", "avi", "mov", "matroska"
  int frameRate = 24;
  int quality = 1;            // 0 high, 1 middle, 2 low
  std::string path() const { return outputDir + "/" + fileName; }
};

// Choices that replace the stored settings for one recording (the command
// line's); unset fields come from the settings.
struct RecordingOverrides {
  std::optional<std::string> outputDir;
  std::optional<std::string> format;  // a "video-format" value: "mp4" ... "mkv"
  std::optional<int> frameRate;
  std::optional<int> quality;
};

// The options of a recording started at `startTime`. A stored frame rate
// outside kMinFrameRate..kMaxFrameRate, a quality other than 0..2 and a
// format the record page does not offer fall back to their defaults, each
// with a log line. The folder is created when missing.
RecordingOptions MakeRecordingOptions(const SettingsStore& store, const RecordingOverrides& overrides,
                                      std::time_t startTime);

// "%Y%m%d%H%M%S" of `startTime` (local time), a point and `extension`. A name
// already taken in `dir` (a second recording within the same second, or a
// file left behind) gets "-1", "-2" ... before the point, so no recording is
// ever overwritten.
std::string RecordingFileName(const std::string& dir, const std::string& extension,
                              std::time_t startTime);

// Whether a frame rate is one a recording accepts.
inline bool IsValidFrameRate(int frameRate) {
  return frameRate >= kMinFrameRate && frameRate <= kMaxFrameRate;
}

}  // namespace tarn
