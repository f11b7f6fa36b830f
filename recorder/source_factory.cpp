// The sources of real recordings: the X screen, the cameras, the sound
// server's default microphone and what its default speaker plays.

#include <memory>

#include "recorder/audio/microphone_source.h"
#include "recorder/ffmpeg_video_source.h"
#include "recorder/media_source.h"
#include "recorder/screen_source.h"

namespace tarn {
namespace {

class DeviceFactory final : public SourceFactory {
 public:
  std::unique_ptr<VideoSource> CreateScreenSource(const ScreenSourceOptions& options) override {
    return std::make_unique<ScreenSource>(options);
  }
  std::unique_ptr<AudioSource> CreateMicrophoneSource(const MicrophoneOptions& options) override {
    // Sound server sources are read through its own interface, whose record
    // streams report the capture time of their sound; any other device goes
    // through FFmpeg's input of that name.
    std::unique_ptr<SoundInput> input =
        options.device.inputFormat == "pulse"
            ? CreateServerSourceInput(options.device.url)
            : CreateFfmpegSoundInput(options.device.inputFormat, options.device.url);
    return std::make_unique<MicrophoneSource>(std::move(input), options.gainEnabled, options.gainDb);
  }
  std::unique_ptr<AudioSource> CreateSystemSoundSource() override {
    return std::make_unique<SpeakerSource>(CreateServerLoopbackInput());
  }
  std::unique_ptr<VideoSource> CreateCameraSource(const CaptureDeviceEntry& camera) override {
    return std::make_unique<FfmpegVideoSource>(camera.inputFormat, camera.url, camera.inputOptions);
  }
  int ListCameras(std::vector<CaptureDeviceEntry>& list) override {
    return enumerateCaptureDevices(list, CaptureCategory::kVideo);
  }
  int ListMicrophones(std::vector<CaptureDeviceEntry>& list) override {
    return enumerateCaptureDevices(list, CaptureCategory::kAudio);
  }
  bool HasDefaultMicrophone(std::string& name) override { return defaultMicrophoneName(name); }
  bool HasDefaultSpeaker() override { return hasDefaultSpeaker(); }
};

}  // namespace

SourceFactory& DeviceSourceFactory() {
  static DeviceFactory factory;
  return factory;
}

}  // namespace tarn
