#include "recorder/audio/capture_devices.h"

#include <glog/logging.h>

#include <mutex>

#include "platform/audio_devices.h"

namespace tarn {
namespace {

constexpr std::size_t kFriendlyNameCharacters = 127;
constexpr std::size_t kDisplayNameCharacters = 255;

std::mutex overrideMutex;
std::optional<std::vector<CaptureDeviceEntry>> audioOverride;  // guarded by overrideMutex
std::optional<std::vector<CaptureDeviceEntry>> videoOverride;  // guarded by overrideMutex

CaptureDeviceEntry MakeEntry(const std::string& friendly, const std::string& display,
                             const char* format, const std::string& url) {
  CaptureDeviceEntry entry;
  entry.friendlyName = TruncateCharacters(friendly, kFriendlyNameCharacters);
  entry.displayName = TruncateCharacters(display, kDisplayNameCharacters);
  entry.inputFormat = format;
  entry.url = url;
  return entry;
}

}  // namespace

std::string TruncateCharacters(const std::string& text, std::size_t characters) {
  std::size_t pos = 0;
  for (std::size_t count = 0; count < characters && pos < text.size(); ++count) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (pos + length > text.size()) length = text.size() - pos;
    pos += length;
  }
  return text.substr(0, pos);
}

void SetCaptureDevicesForTesting(CaptureCategory category,
                                 std::optional<std::vector<CaptureDeviceEntry>> devices) {
  std::lock_guard<std::mutex> lock(overrideMutex);
  (category == CaptureCategory::kAudio ? audioOverride : videoOverride) = std::move(devices);
}

int enumerateCaptureDevices(std::vector<CaptureDeviceEntry>& list, CaptureCategory category) {
  list.clear();
  {
    std::lock_guard<std::mutex> lock(overrideMutex);
    const auto& fixed = category == CaptureCategory::kAudio ? audioOverride : videoOverride;
    if (fixed) {
      for (const CaptureDeviceEntry& entry : *fixed) {
        list.push_back(MakeEntry(entry.friendlyName, entry.displayName, entry.inputFormat.c_str(),
                                 entry.url));
        list.back().inputOptions = entry.inputOptions;
      }
      return 0;
    }
  }
  if (category == CaptureCategory::kVideo) {
    for (const platform::VideoDeviceInfo& device : platform::ListVideoCaptureDevices()) {
      list.push_back(MakeEntry(device.card, device.path, "video4linux2", device.path));
    }
    return 0;
  }
  std::vector<platform::AudioSourceInfo> sources;
  if (!platform::ListAudioSources(sources)) return -1;
  platform::AudioServerInfo server;
  const bool haveDefaults = platform::QueryAudioServer(server);
  for (const platform::AudioSourceInfo& source : sources) {
    CaptureDeviceEntry entry = MakeEntry(source.description.empty() ? source.name : source.description,
                                         source.name, "pulse", source.name);
    // The server's default source is the microphone the engine takes.
    if (haveDefaults && source.name == server.defaultSourceName) {
      list.insert(list.begin(), std::move(entry));
    } else {
      list.push_back(std::move(entry));
    }
  }
  return 0;
}

bool defaultMicrophoneName(std::string& name) {
  {
    std::lock_guard<std::mutex> lock(overrideMutex);
    if (audioOverride) {
      if (audioOverride->empty()) return false;
      name = audioOverride->front().friendlyName;
      return true;
    }
  }
  platform::AudioServerInfo server;
  if (!platform::QueryAudioServer(server)) return false;
  if (server.defaultSourceName.empty() || server.defaultSourceIsMonitor) return false;
  name = server.defaultSourceDescription.empty() ? server.defaultSourceName
                                                 : server.defaultSourceDescription;
  return true;
}

bool hasDefaultSpeaker() {
  platform::AudioServerInfo server;
  if (!platform::QueryAudioServer(server) || server.defaultSinkName.empty()) {
    LOG(ERROR) << "Get Default Audio Endpoint error";
    return false;
  }
  return true;
}

}  // namespace tarn
