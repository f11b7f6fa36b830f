#include "recorder/recording_options.h"

#include <glog/logging.h>

#include <filesystem>

#include "platform/app_data_dir.h"
#include "recorder/containers.h"
#include "settings/settings_keys.h"
#include "settings/settings_store.h"

namespace tarn {

std::string RecordingFileName(const std::string& dir, const std::string& extension,
                              std::time_t startTime) {
  std::tm local{};
  localtime_r(&startTime, &local);
  char stamp[32] = {};
  std::strftime(stamp, sizeof stamp, "%Y%m%d%H%M%S", &local);
  auto taken = [&dir](const std::string& name) {
    std::error_code error;
    // A hidden marker of an unfinished recording counts as taken as well.
    return std::filesystem::exists(dir + "/" + name, error) ||
           std::filesystem::exists(dir + "/." + name + ".recording", error);
  };
  std::string name = std::string(stamp) + "." + extension;
  for (int suffix = 1; suffix < 10000 && taken(name); ++suffix) {
    name = std::string(stamp) + "-" + std::to_string(suffix) + "." + extension;
  }
  return name;
}

RecordingOptions MakeRecordingOptions(const SettingsStore& store, const RecordingOverrides& overrides,
                                      std::time_t startTime) {
  RecordingOptions options;
  const std::string format = overrides.format.value_or(
      store.GetString(kVideoFormat, kVideoFormatDefault, kVideoFormatCapacity));
  std::optional<ContainerChoice> container = ContainerForFormat(format);
  if (!container) {
    LOG(WARNING) << "container \"" << format << "\" is not offered; recording " << kVideoFormatDefault;
    container = ContainerForFormat(kVideoFormatDefault);
  }
  options.containerExt = std::string(container->extension);
  options.containerName = std::string(container->muxer);

  options.frameRate =
      overrides.frameRate.value_or(store.GetInt(kVideoFramerate, kVideoFramerateRecordDefault));
  if (!IsValidFrameRate(options.frameRate)) {
    LOG(WARNING) << "frame rate " << options.frameRate << " is outside " << kMinFrameRate << " to "
                 << kMaxFrameRate << "; recording at " << kVideoFramerateRecordDefault;
    options.frameRate = kVideoFramerateRecordDefault;
  }
  options.quality = overrides.quality.value_or(store.GetInt(kQuality, kQualityDefault));
  if (options.quality < 0 || options.quality > 2) {
    LOG(WARNING) << "quality " << options.quality << " is not 0, 1 or 2; recording at "
                 << kQualityDefault;
    options.quality = kQualityDefault;
  }

  if (overrides.outputDir) {
    options.outputDir = *overrides.outputDir;
    while (options.outputDir.size() > 1 && options.outputDir.back() == '/') options.outputDir.pop_back();
    // A folder that cannot be made shows when the file is opened.
    CreateDirectoryLevels(options.outputDir);
  } else {
    options.outputDir = GetOutputDir(store);
  }
  options.fileName = RecordingFileName(options.outputDir, options.containerExt, startTime);
  return options;
}

}  // namespace tarn
