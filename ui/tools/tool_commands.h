#pragma once
// The transcoder jobs of the cut, convert and compress pages as argument
// lists (never a shell command line), their output names and the tables the
// pages choose from. Pure functions: no Qt, no processes.

#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tarn::ui::tools {

// Job types, as carried by the progress and completion messages.
inline constexpr int kJobCut = 1;
inline constexpr int kJobConvert = 2;
inline constexpr int kJobCompress = 3;

struct FrameSize {
  int width = 0;
  int height = 0;
};

// The frame-size choices of "video-convert-ratio" and "video-compress-ratio";
// index 0 keeps the source's size.
inline constexpr int kFrameSizeCount = 13;
// The size of entry `index`; nothing for 0 (keep) and for an index outside
// the table.
std::optional<FrameSize> FrameSizeAt(int index);
// "%d*%d" (width, height): the size argument of the transcoder.
std::string FrameSizeArgument(FrameSize size);
// The text a list shows for entry `index` ("保持原尺寸", "1920×1080" ...).
std::string FrameSizeLabel(int index);

// Compress quality: the constant rate factor of each type.
enum class CompressType { kGeneral = 0, kDeep = 1, kLimit = 2 };
inline constexpr int kCrfGeneral = 28;
inline constexpr int kCrfDeep = 34;
inline constexpr int kCrfLimit = 38;
// The rate factor of `type`, or `customValue` when the custom check is on.
int CompressRateFactor(CompressType type, bool customChecked, int customValue);
// "fast" when the balanced check is on, otherwise "ultrafast".
const char* CompressPreset(bool balancedChecked);

// The containers "video-convert-format" offers, in its order.
const std::vector<std::string>& ConvertFormats();

// A job ready to run: the transcoder's arguments (without the program) and
// the file it writes.
struct JobCommand {
  std::vector<std::string> arguments;
  std::string outputPath;
};

// Cut from `startText` to `endText` ("HH:MM:SS.mmm"), re-encoding.
std::vector<std::string> CutArguments(const std::string& source, const std::string& startText,
                                      const std::string& endText, const std::string& output);
// Cut without re-encoding: the streams are copied from the keyframe at
// `keyframeText` (at or before the asked start) for `lengthText`.
std::vector<std::string> FastCutArguments(const std::string& source,
                                          const std::string& keyframeText,
                                          const std::string& lengthText,
                                          const std::string& output);
// Convert, keeping the size when `size` is empty.
std::vector<std::string> ConvertArguments(const std::string& source,
                                          const std::optional<FrameSize>& size,
                                          const std::string& output);
// Compress with a preset and a rate factor, keeping the size when `size` is empty.
std::vector<std::string> CompressArguments(const std::string& source,
                                           const std::optional<FrameSize>& size,
                                           const std::string& preset, int rateFactor,
                                           const std::string& output);

// The output file of a job: `dir`/<source name without extension>-
// <local time "%Y%m%d%H%M%S">.<ext>. When `taken` says that name is in use
// (an existing file, another job's output) "-1", "-2" ... is added before the
// extension until a free name is found.
std::string OutputPath(const std::string& dir, const std::string& sourceFileName,
                       const std::tm& localTime, const std::string& extension,
                       const std::function<bool(const std::string&)>& taken);

// "%02d:%02d:%02d.%03d" of a time in milliseconds (negative counts as 0).
std::string FormatCutTime(long long ms);
// Milliseconds of hours, minutes, seconds and milliseconds fields.
long long CutTimeMs(int hours, int minutes, int seconds, int millis);

// Where the transcoder is: "ffmpeg" in `programDir` when it is an
// executable file there, else the first executable "ffmpeg" in the
// colon-separated `pathList`; empty when there is none.
std::string FindTranscoder(const std::string& programDir, const std::string& pathList);

}  // namespace tarn::ui::tools
