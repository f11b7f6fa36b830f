#include "recorder/ffmpeg_holders.h"

#include <cstdlib>

namespace tarn::av {

void OutputContextDeleter::operator()(AVFormatContext* context) const {
  if (context == nullptr) return;
  if (context->oformat != nullptr && !(context->oformat->flags & AVFMT_NOFILE)) {
    avio_closep(&context->pb);
  }
  avformat_free_context(context);
}

FramePtr MakeFrame() {
  FramePtr frame(av_frame_alloc());
  if (!frame) std::abort();
  return frame;
}

PacketPtr MakePacket() {
  PacketPtr packet(av_packet_alloc());
  if (!packet) std::abort();
  return packet;
}

std::string ErrorText(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

}  // namespace tarn::av
