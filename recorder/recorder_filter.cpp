// The watermark of a recording: its filter graph, built by Start for the
// pictures of the video decoder.

#include <glog/logging.h>

#include "platform/program_dir.h"
#include "recorder/recorder.h"
#include "recorder/watermark.h"
#include "settings/settings_store.h"

namespace tarn {

int Recorder::BuildVideoFilter() {
  videoFilter_.reset();
  if (watermarkType_ == kWatermarkNone) return 0;
  if (watermarkType_ != kWatermarkImage && watermarkType_ != kWatermarkText) {
    LOG(WARNING) << "unknown watermark type " << watermarkType_ << "; recording without a watermark";
    return 0;
  }
  const SettingsStore& store = settings_ != nullptr ? *settings_ : SettingsStore::Instance();
  WatermarkOptions options = ReadWatermarkOptions(store);
  options.type = watermarkType_;  // as read with the other settings of this start
  const char* kind = watermarkType_ == kWatermarkImage ? "image" : "text";
  std::string error;
  const std::string description =
      WatermarkDescription(options, platform::DataDir(), videoWidth_, videoHeight_, error);
  if (description.empty()) {
    startWarning_ = "the " + std::string(kind) + " watermark cannot be added (" + error + "); recording without it";
    LOG(ERROR) << startWarning_;
    return AVERROR(ENOENT);
  }

  VideoFilterInput input;
  input.width = videoDecoder_->width;
  input.height = videoDecoder_->height;
  input.format = videoDecoder_->pix_fmt;
  input.timeBase = AVRational{1, 1000000};  // the pictures carry their capture time in microseconds
  input.sampleAspect = videoDecoder_->sample_aspect_ratio;
  int code = 0;
  videoFilter_ = VideoFilter::Create(input, description, error, code);
  if (!videoFilter_) {
    startWarning_ = "the " + std::string(kind) + " watermark cannot be added (" + error + "); recording without it";
    LOG(ERROR) << startWarning_ << "; the graph was: " << description;
    return code;
  }
  LOG(INFO) << "watermark graph: " << description;
  return 0;
}

}  // namespace tarn
