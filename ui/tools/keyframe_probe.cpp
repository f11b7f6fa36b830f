#include "ui/tools/keyframe_probe.h"

#include <glog/logging.h>

#include <cmath>

#include "recorder/ffmpeg_holders.h"

namespace tarn::ui::tools {
namespace {

// Reads the video packets from the current read position until one lies
// past `targetSeconds`; returns the last keyframe at or before it (seconds
// from the file's start), or the first keyframe when all lie later.
std::optional<double> ScanKeyframes(AVFormatContext* input, int streamIndex, double startSeconds,
                                    double targetSeconds) {
  const AVStream* stream = input->streams[streamIndex];
  av::PacketPtr packet(av_packet_alloc());
  if (!packet) return std::nullopt;
  std::optional<double> best;
  std::optional<double> firstKey;
  while (av_read_frame(input, packet.get()) >= 0) {
    const bool ours = packet->stream_index == streamIndex;
    const int64_t stamp = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
    const bool key = (packet->flags & AV_PKT_FLAG_KEY) != 0;
    av_packet_unref(packet.get());
    if (!ours || stamp == AV_NOPTS_VALUE) continue;
    const double seconds = stamp * av_q2d(stream->time_base) - startSeconds;
    // Packets come in decoding order; a little beyond the target, no later
    // keyframe can be one at or before it.
    if (seconds > targetSeconds + 1.0 && (best || firstKey)) break;
    if (!key) continue;
    if (!firstKey) firstKey = seconds;
    if (seconds <= targetSeconds + 1e-6 && (!best || seconds > *best)) best = seconds;
  }
  return best ? best : firstKey;
}

}  // namespace

std::optional<long long> KeyframeAtOrBeforeMs(const std::string& path, long long positionMs) {
  AVFormatContext* opened = nullptr;
  if (avformat_open_input(&opened, path.c_str(), nullptr, nullptr) < 0) {
    LOG(WARNING) << "cannot open " << path << " to find its keyframes";
    return std::nullopt;
  }
  av::InputContextPtr input(opened);
  if (avformat_find_stream_info(input.get(), nullptr) < 0) return std::nullopt;
  const int streamIndex = av_find_best_stream(input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (streamIndex < 0) {
    LOG(WARNING) << path << " has no video stream";
    return std::nullopt;
  }
  const double startSeconds =
      input->start_time != AV_NOPTS_VALUE ? input->start_time / double(AV_TIME_BASE) : 0.0;
  const double targetSeconds = positionMs / 1000.0;
  const AVStream* stream = input->streams[streamIndex];
  const auto targetStamp = static_cast<int64_t>(
      std::floor((targetSeconds + startSeconds) / av_q2d(stream->time_base)));
  std::optional<double> found;
  // Seek to the keyframe before the target, then read forward from there; if
  // the seek overshot (no keyframe at or before it was read), read from the
  // start.
  if (av_seek_frame(input.get(), streamIndex, targetStamp, AVSEEK_FLAG_BACKWARD) >= 0) {
    found = ScanKeyframes(input.get(), streamIndex, startSeconds, targetSeconds);
  }
  if (!found || *found > targetSeconds + 1e-6) {
    if (av_seek_frame(input.get(), streamIndex, stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0,
                      AVSEEK_FLAG_BACKWARD) >= 0) {
      found = ScanKeyframes(input.get(), streamIndex, startSeconds, targetSeconds);
    }
  }
  if (!found) return std::nullopt;
  return static_cast<long long>(std::ceil(std::max(0.0, *found) * 1000.0 - 1e-6));
}

}  // namespace tarn::ui::tools
