#pragma once
// The rows of the recording lists: what each row knows of its file, and how
// sizes and durations are shown.

#include <cstdint>
#include <string>

namespace tarn::ui {

struct RecordedFile {
  int index = 0;            // row number, unique for this run of the program
  std::string fileName;     // with its extension, without the folder
  std::string directory;    // the folder the file is in
  std::string fullPath;     // directory + "/" + fileName
  std::int64_t size = 0;    // bytes, when the row was made
  double duration = 0;      // seconds
  std::string extra;        // used by the tool lists; empty for recordings
};

// "%dB" below 1 KB, "%dKB" below 1 MB, then "%.2fM" and "%.2fG".
std::string FormatFileSize(std::int64_t size);

// "%02d:%02d:%02d" of the whole seconds: hours, minutes, seconds. A negative
// duration (no media stream) shows as "00:00:00".
std::string FormatDuration(double seconds);

// Whether a file name ends in a recording's extension ("mp4", "flv", "wmv",
// "avi", "mov", "mkv"), compared exactly after the last point.
bool IsRecordingName(const std::string& fileName);

}  // namespace tarn::ui
