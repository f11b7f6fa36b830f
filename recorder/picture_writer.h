#pragma once
// The video decode thread's last step: the source's pictures become the
// FIFO's YUV 4:2:0 pictures of the recorded size, through the watermark's
// filter when there is one. Screen pictures (32-bit BMP packets) take one
// conversion straight from the packet's memory, where the watermark is drawn
// in place; decoded pictures of other sources are filtered in their own pixel
// format, then scaled. Used by one thread at a time.

#include <cstdint>
#include <string>

#include "recorder/ffmpeg_holders.h"
#include "recorder/picture_fifo.h"
#include "recorder/video_filter.h"

namespace tarn {

class PictureWriter {
 public:
  // `filter` (not owned) draws the watermark; null for none.
  PictureWriter(PictureFifo& fifo, VideoFilter* filter);

  // A 32-bit BMP file of the FIFO's size, its pts the capture time. False
  // when the packet is not such a picture: it is then left as it was. With a
  // watermark the packet gives up its memory to the filter.
  bool WriteBmp(AVPacket& packet);

  // A decoded picture, its pts the capture time; its references are taken.
  // False when pictures of its format cannot be converted.
  bool WriteDecoded(AVFrame& picture);

  // Whether the watermark is still drawn: a filter that fails is dropped (and
  // the failure logged once) and the pictures go on without it.
  bool filtering() const { return filter_ != nullptr; }

 private:
  // The filtered picture, `picture` itself when there is no filter, or null
  // when the picture was lost in a failing filter.
  AVFrame* ApplyFilter(AVFrame* picture);
  void DropFilter(const std::string& why);

  PictureFifo& fifo_;
  VideoFilter* filter_;
  av::FramePtr filtered_ = av::MakeFrame();
  av::FramePtr scaled_ = av::MakeFrame();  // made at the first decoded picture
  av::SwsPtr scaler_;
};

}  // namespace tarn
