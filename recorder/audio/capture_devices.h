#pragma once
// The capture devices a recording can use: the sound server's sources
// (microphones) and the cameras, and whether a default microphone and a
// default speaker exist. The engine always takes the first entry of a list;
// the server's default source comes first.

#include <optional>
#include <string>
#include <vector>

namespace tarn {

// One capture device and how FFmpeg opens it.
struct CaptureDeviceEntry {
  std::string friendlyName;  // what people see, at most 127 characters
  std::string displayName;   // the system's own name, at most 255 characters
  std::string inputFormat;   // FFmpeg input format: "pulse", "video4linux2", "lavfi"
  std::string url;           // what that input opens: a source name, a device path
  // Options for that input in "key=value:key=value" form; usually empty
  // (a raw video pipe, for one, needs its picture size and format).
  std::string inputOptions;
};

enum class CaptureCategory { kAudio, kVideo };

// Fills `list` (emptied first) with the devices of a category. Returns 0, or
// -1 when the devices cannot be listed (no sound server); the list is then
// empty.
int enumerateCaptureDevices(std::vector<CaptureDeviceEntry>& list, CaptureCategory category);

// The default microphone's name; false when the sound server has no default
// source that is a real input.
bool defaultMicrophoneName(std::string& name);

// Whether the sound server has a default sink to record from.
bool hasDefaultSpeaker();

// Puts a fixed device list in place of a category's real devices, for tests
// and tools (for example a "lavfi" microphone); nullopt restores the real
// devices. With an audio list in place, defaultMicrophoneName reports its
// first entry. Thread-safe.
void SetCaptureDevicesForTesting(CaptureCategory category,
                                 std::optional<std::vector<CaptureDeviceEntry>> devices);

// Cuts `text` to at most `characters` UTF-8 characters without splitting one.
std::string TruncateCharacters(const std::string& text, std::size_t characters);

}  // namespace tarn
