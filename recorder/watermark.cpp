#include "recorder/watermark.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/avstring.h>
#include <libavutil/mem.h>
}

#include <glog/logging.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "recorder/ffmpeg_holders.h"
#include "settings/settings_keys.h"
#include "settings/settings_store.h"

namespace tarn {
namespace {

struct AvFreeDeleter {
  void operator()(char* text) const { av_free(text); }
};

// av_escape in backslash mode: the quote and the backslash are always
// escaped, and so is whitespace at either end (FFmpeg's tokenizer trims it).
std::string BackslashEscape(std::string_view text, const char* specials) {
  const std::string source(text);
  char* escaped = nullptr;
  if (av_escape(&escaped, source.c_str(), specials, AV_ESCAPE_MODE_BACKSLASH, 0) < 0) {
    // Out of memory: an empty value fails the graph instead of passing the
    // text unescaped.
    LOG(ERROR) << "cannot escape a filter value: out of memory";
    return {};
  }
  std::unique_ptr<char, AvFreeDeleter> owner(escaped);
  return escaped;
}

}  // namespace

WatermarkOptions ReadWatermarkOptions(const SettingsStore& store) {
  WatermarkOptions options;
  options.type = store.GetInt(kWatermarkType, kWatermarkTypeDefault);
  options.imagePath = store.GetString(kWatermarkImagePath, kWatermarkImagePathDefault,
                                      kWatermarkImagePathCapacity);
  options.position = store.GetInt(kWatermarkPos, kWatermarkPosDefault);
  auto margin = [&store](const SettingKey& key) {
    return store.GetInt(key, kWatermarkEdgeOffsetFilterDefault);
  };
  options.ltLeft = margin(kWatermarkLtLeft);
  options.ltTop = margin(kWatermarkLtTop);
  options.rtRight = margin(kWatermarkRtRight);
  options.rtTop = margin(kWatermarkRtTop);
  options.lbLeft = margin(kWatermarkLbLeft);
  options.lbBottom = margin(kWatermarkLbBottom);
  options.rbRight = margin(kWatermarkRbRight);
  options.rbBottom = margin(kWatermarkRbBottom);
  options.textX = store.GetInt(kWatermarkTextOffsetX, kWatermarkTextOffsetFilterDefault);
  options.textY = store.GetInt(kWatermarkTextOffsetY, kWatermarkTextOffsetFilterDefault);
  options.fontSize = store.GetInt(kWatermarkFontSize, kWatermarkFontSizeFilterDefault);
  options.fontFamily = store.GetString(kWatermarkFontFamily, kWatermarkFontFamilyDefault,
                                       kWatermarkFontFamilyCapacity);
  options.colour = store.GetString(kWatermarkColor, kWatermarkColorDefault, kWatermarkColorCapacity);
  options.text = store.GetString(kWatermarkTextDesc, kWatermarkTextDescDefault, kWatermarkTextDescCapacity);
  return options;
}

OverlayPosition ImageOverlayPosition(const WatermarkOptions& options, int videoWidth, int videoHeight,
                                     int imageWidth, int imageHeight) {
  switch (options.position) {
    case 0:
      return {options.ltLeft, options.ltTop};
    case 1:
      return {videoWidth - imageWidth - options.rtRight, options.rtTop};
    case 2:
      return {options.lbLeft, videoHeight - imageHeight - options.lbBottom};
    case 3:
      return {videoWidth - imageWidth - options.rbRight, videoHeight - imageHeight - options.rbBottom};
    default:
      return {0, 0};
  }
}

ImageInfo ReadImageInfo(const std::string& path) {
  ImageInfo info;
  // The file is opened and probed by its content only: the generic image
  // input would take '%' or glob characters in the name for a file pattern.
  AVIOContext* io = nullptr;
  if (int ret = avio_open(&io, path.c_str(), AVIO_FLAG_READ); ret < 0) {
    LOG(ERROR) << "cannot open the watermark image " << path << ": " << av::ErrorText(ret);
    return info;
  }
  const AVInputFormat* format = nullptr;
  const int probed = av_probe_input_buffer2(io, &format, nullptr, nullptr, 0, 0);
  avio_closep(&io);
  if (probed < 0 || format == nullptr) {
    LOG(ERROR) << "the watermark image " << path << " is not an image FFmpeg reads: "
               << av::ErrorText(probed < 0 ? probed : AVERROR_INVALIDDATA);
    return info;
  }
  AVFormatContext* opened = nullptr;
  if (int ret = avformat_open_input(&opened, path.c_str(), format, nullptr); ret < 0) {
    LOG(ERROR) << "cannot read the watermark image " << path << ": " << av::ErrorText(ret);
    return info;
  }
  av::InputContextPtr input(opened);
  if (int ret = avformat_find_stream_info(input.get(), nullptr); ret < 0) {
    LOG(ERROR) << "cannot read the watermark image " << path << ": " << av::ErrorText(ret);
    return info;
  }
  const int stream = av_find_best_stream(input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (stream < 0) {
    LOG(ERROR) << "the watermark image " << path << " holds no picture";
    return info;
  }
  const AVCodecParameters* parameters = input->streams[stream]->codecpar;
  if (parameters->width <= 0 || parameters->height <= 0) {
    LOG(ERROR) << "the watermark image " << path << " has no size";
    return info;
  }
  info.width = parameters->width;
  info.height = parameters->height;
  info.format = format->name;
  return info;
}

std::string FontFileForFamily(std::string_view family) {
  if (family == "微软雅黑") return "microsoftYaHei.ttf";
  if (family == "宋体") return "songTypeface.ttf";
  return {};
}

std::string WatermarkImagePath(const WatermarkOptions& options, const std::string& programDir) {
  if (!options.imagePath.empty()) return options.imagePath;
  return programDir + "/" + kDefaultWatermarkImage;
}

std::string WatermarkFontPath(const WatermarkOptions& options, const std::string& programDir) {
  return programDir + "/" + FontFileForFamily(options.fontFamily);
}

std::string EscapeFilterOption(std::string_view value) {
  // ':' ends an option; '=' would turn a value given without its key (the
  // movie's file name) into a key of its own.
  return BackslashEscape(value, ":=");
}

std::string EscapeFilterGraph(std::string_view text) { return BackslashEscape(text, "[],;"); }

std::string EscapeFilterGraphQuoted(std::string_view text) {
  std::string quoted;
  quoted.reserve(text.size());
  for (const char c : text) {
    // Ends the quotes, adds an escaped quote and opens them again.
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted;
}

std::string ImageWatermarkDescription(const std::string& imagePath, const std::string& imageFormat,
                                      int x, int y) {
  std::string description = "movie='" + EscapeFilterGraphQuoted(EscapeFilterOption(imagePath)) + "'";
  if (!imageFormat.empty()) {
    description += ":format_name=" + EscapeFilterGraph(EscapeFilterOption(imageFormat));
  }
  // format=auto blends in the picture's own pixel format: the default would
  // convert every picture to YUV 4:2:0 and back.
  description += "[wm]; [in][wm]overlay = " + std::to_string(x) + ":" + std::to_string(y) +
                 ":format=auto[out]";
  return description;
}

std::string TextWatermarkDescription(const std::string& fontPath, const std::string& text, int x, int y,
                                     int fontSize, const std::string& colour) {
  // expansion=none: the text is drawn as typed, "%{...}" included.
  return "drawtext=fontfile='" + EscapeFilterGraphQuoted(EscapeFilterOption(fontPath)) +
         "':text=" + EscapeFilterGraph(EscapeFilterOption(text)) + ":x=" + std::to_string(x) +
         ":y=" + std::to_string(y) + ":fontsize=" + std::to_string(fontSize) +
         ":fontcolor=" + EscapeFilterGraph(EscapeFilterOption(colour)) + ":shadowy=1:expansion=none";
}

std::string WatermarkDescription(const WatermarkOptions& options, const std::string& programDir,
                                 int videoWidth, int videoHeight, std::string& error) {
  error.clear();
  if (options.type == kWatermarkImage) {
    const std::string path = WatermarkImagePath(options, programDir);
    const ImageInfo image = ReadImageInfo(path);
    const OverlayPosition at =
        ImageOverlayPosition(options, videoWidth, videoHeight, image.width, image.height);
    return ImageWatermarkDescription(path, image.format, at.x, at.y);
  }
  if (options.type == kWatermarkText) {
    if (FontFileForFamily(options.fontFamily).empty()) {
      error = "the font family \"" + options.fontFamily + "\" has no font file";
      return {};
    }
    const std::string fontPath = WatermarkFontPath(options, programDir);
    if (::access(fontPath.c_str(), R_OK) != 0) {
      error = "the font file " + fontPath + " cannot be read: " + std::strerror(errno);
      return {};
    }
    return TextWatermarkDescription(fontPath, options.text, options.textX, options.textY, options.fontSize,
                                    options.colour);
  }
  return {};
}

}  // namespace tarn
