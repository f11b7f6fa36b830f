#include "recorder/output/output_format.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace tarn {

const OutputFormat* OutputFormatForPath(const std::string& path) {
  static constexpr struct {
    const char* extension;
    OutputFormat format;
  } kFormats[] = {
      {"mp4", {"mp4", "mov", true, true}},
      {"mov", {"mov", "mov", true, true}},
      {"mkv", {"matroska", "matroska", false, false}},
      {"flv", {"flv", "flv", false, false}},
      {"wmv", {"asf", "asf", false, false}},
      {"asf", {"asf", "asf", false, false}},
      {"avi", {"avi", "avi", false, false}},
  };
  const auto dot = path.rfind('.');
  const auto slash = path.rfind('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return nullptr;
  std::string extension = path.substr(dot + 1);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (const auto& entry : kFormats) {
    if (extension == entry.extension) return &entry.format;
  }
  return nullptr;
}

std::int64_t NominalPacketDuration(const AVCodecParameters& codec, AVRational frameRate,
                                   AVRational timeBase) {
  std::int64_t duration = 0;
  if (codec.codec_type == AVMEDIA_TYPE_VIDEO && frameRate.num > 0 && frameRate.den > 0) {
    duration = av_rescale_q(1, av_inv_q(frameRate), timeBase);
  } else if (codec.codec_type == AVMEDIA_TYPE_AUDIO && codec.sample_rate > 0) {
    const int samples = codec.frame_size > 0 ? codec.frame_size : 1024;
    duration = av_rescale_q(samples, AVRational{1, codec.sample_rate}, timeBase);
  }
  return std::max<std::int64_t>(duration, 1);
}

std::string ErrnoText(int err) {
  char text[256] = {};
  // The GNU strerror_r returns the text, which may or may not be `text`.
  return strerror_r(err, text, sizeof text);
}

}  // namespace tarn
