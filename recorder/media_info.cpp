#include "recorder/media_info.h"

#include <cstdio>

#include "recorder/ffmpeg_holders.h"

namespace tarn {

double GetMediaDuration(const std::string& path) {
  AVFormatContext* opened = nullptr;
  if (avformat_open_input(&opened, path.c_str(), nullptr, nullptr) < 0) return 0;
  av::InputContextPtr input(opened);
  if (avformat_find_stream_info(input.get(), nullptr) < 0) return 0;
  const AVStream* stream = nullptr;
  for (unsigned i = 0; i < input->nb_streams && stream == nullptr; ++i) {
    const AVMediaType type = input->streams[i]->codecpar->codec_type;
    if (type == AVMEDIA_TYPE_VIDEO || type == AVMEDIA_TYPE_AUDIO) stream = input->streams[i];
  }
  if (stream == nullptr) {
    std::printf("not found a video stream.\n");
    return -1;
  }
  double duration = -1;
  if (stream->duration != AV_NOPTS_VALUE) {
    duration = static_cast<double>(stream->duration) * stream->time_base.num / stream->time_base.den;
  }
  if (duration < 0) {
    // The stream does not know its length: the container's, in whole seconds.
    duration = input->duration != AV_NOPTS_VALUE ? static_cast<double>(input->duration / AV_TIME_BASE) : 0;
  }
  return duration;
}

}  // namespace tarn
