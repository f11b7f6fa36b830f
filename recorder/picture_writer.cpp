#include "recorder/picture_writer.h"

extern "C" {
#include <libavutil/imgutils.h>
}

#include <glog/logging.h>
#include <libyuv.h>

#include <cstdio>

#include "recorder/bmp_packet.h"

namespace tarn {
namespace {

// The first row shown: bottom-up rows are read from the last stored row
// with a negative stride.
const std::uint8_t* TopRow(const Bmp32View& bmp) {
  return bmp.bottomUp ? bmp.pixels + static_cast<std::ptrdiff_t>(bmp.height - 1) * bmp.stride : bmp.pixels;
}

// A 32-bit picture (BGRA in memory, libyuv's "ARGB") into a FIFO picture.
void BgraToI420(const std::uint8_t* top, int stride, int width, int height, std::uint8_t* out) {
  std::uint8_t* y = out;
  std::uint8_t* u = y + static_cast<std::size_t>(width) * height;
  std::uint8_t* v = u + static_cast<std::size_t>(width / 2) * (height / 2);
  libyuv::ARGBToI420(top, stride, y, width, u, width / 2, v, width / 2, width, height);
}

// A BGRA picture over a BMP packet's pixels that takes over the packet's
// reference to its memory, so that the picture is the memory's only holder
// and a filter draws on it where it lies. Null when the packet's memory is
// not reference-counted.
av::FramePtr TakeBmpPixels(AVPacket& packet, const Bmp32View& bmp) {
  if (packet.buf == nullptr) return nullptr;
  av::FramePtr picture = av::MakeFrame();
  picture->format = AV_PIX_FMT_BGRA;
  picture->width = bmp.width;
  picture->height = bmp.height;
  picture->data[0] = const_cast<std::uint8_t*>(TopRow(bmp));
  picture->linesize[0] = bmp.bottomUp ? -bmp.stride : bmp.stride;
  picture->pts = packet.pts;
  picture->buf[0] = packet.buf;
  packet.buf = nullptr;
  return picture;
}

}  // namespace

PictureWriter::PictureWriter(PictureFifo& fifo, VideoFilter* filter) : fifo_(fifo), filter_(filter) {}

void PictureWriter::DropFilter(const std::string& why) {
  LOG(ERROR) << "the watermark fails during the recording (" << why << "); recording without it";
  filter_ = nullptr;
}

AVFrame* PictureWriter::ApplyFilter(AVFrame* picture) {
  if (filter_ == nullptr) return picture;
  if (!filter_->Accepts(*picture)) {
    DropFilter("the pictures changed size or format");
    return picture;
  }
  if (const int ret = filter_->Filter(picture, filtered_.get()); ret < 0) {
    DropFilter(av::ErrorText(ret));
    return nullptr;
  }
  return filtered_.get();
}

bool PictureWriter::WriteBmp(AVPacket& packet) {
  Bmp32View bmp;
  if (!ParseBmp32(packet.data, static_cast<std::size_t>(packet.size), bmp) || bmp.width != fifo_.width() ||
      bmp.height != fifo_.height()) {
    return false;
  }
  PictureFifo::Buffer buffer = fifo_.AcquireWrite();
  if (!buffer) {
    std::printf("video fifo space is not enough\n");
    return true;
  }
  const int width = fifo_.width();
  const int height = fifo_.height();
  av::FramePtr picture = filter_ != nullptr ? TakeBmpPixels(packet, bmp) : nullptr;
  if (!picture) {
    BgraToI420(TopRow(bmp), bmp.bottomUp ? -bmp.stride : bmp.stride, width, height, buffer.get());
  } else if (const AVFrame* drawn = ApplyFilter(picture.get()); drawn != nullptr) {
    BgraToI420(drawn->data[0], drawn->linesize[0], width, height, buffer.get());
    av_frame_unref(filtered_.get());
  } else {
    fifo_.Recycle(std::move(buffer));  // lost in the failing filter
    return true;
  }
  fifo_.CommitWrite(std::move(buffer), packet.pts);
  return true;
}

bool PictureWriter::WriteDecoded(AVFrame& decoded) {
  const std::int64_t stampUs = decoded.pts;
  const AVFrame* picture = ApplyFilter(&decoded);
  if (picture == nullptr) return true;  // lost in the failing filter
  SwsContext* cached = sws_getCachedContext(scaler_.get(), picture->width, picture->height,
                                            static_cast<AVPixelFormat>(picture->format), fifo_.width(),
                                            fifo_.height(), AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr,
                                            nullptr, nullptr);
  // The cached context replaces the old one, which it has freed if it differs.
  (void)scaler_.release();
  scaler_.reset(cached);
  if (cached == nullptr) {
    LOG(ERROR) << "cannot convert pictures of format " << picture->format;
    av_frame_unref(filtered_.get());
    av_frame_unref(&decoded);
    return false;
  }
  // The scaler writes whole vectors and may run past the end of a row, so it
  // writes into padded rows first; the FIFO's pictures have none.
  if (!scaled_->data[0]) {
    scaled_->format = AV_PIX_FMT_YUV420P;
    scaled_->width = fifo_.width();
    scaled_->height = fifo_.height();
    if (av_frame_get_buffer(scaled_.get(), 64) < 0) {
      LOG(ERROR) << "out of memory for a scaled picture";
      av_frame_unref(filtered_.get());
      av_frame_unref(&decoded);
      return false;
    }
  }
  PictureFifo::Buffer buffer = fifo_.AcquireWrite();
  if (buffer) {
    sws_scale(cached, picture->data, picture->linesize, 0, picture->height, scaled_->data, scaled_->linesize);
    std::uint8_t* planes[4] = {};
    int lineSizes[4] = {};
    av_image_fill_arrays(planes, lineSizes, buffer.get(), AV_PIX_FMT_YUV420P, fifo_.width(), fifo_.height(), 1);
    av_image_copy(planes, lineSizes, const_cast<const std::uint8_t**>(scaled_->data), scaled_->linesize,
                  AV_PIX_FMT_YUV420P, fifo_.width(), fifo_.height());
    fifo_.CommitWrite(std::move(buffer), stampUs);
  } else {
    std::printf("video fifo space is not enough\n");
  }
  av_frame_unref(filtered_.get());
  av_frame_unref(&decoded);
  return true;
}

}  // namespace tarn
