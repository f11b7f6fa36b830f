#pragma once
// A resampler that keeps the capture times: every converted block comes out
// with the monotonic time of its first sample, worked out from the input's
// stamp and the resampler's own delay. Output goes to buffers the resampler
// owns, planar or interleaved as the output format is. Used by one thread.

#include <cstdint>
#include <vector>

#include "recorder/ffmpeg_holders.h"

namespace tarn {

class StampedResampler {
 public:
  StampedResampler() = default;
  ~StampedResampler() {
    av_channel_layout_uninit(&inLayout_);
    av_channel_layout_uninit(&outLayout_);
  }
  StampedResampler(const StampedResampler&) = delete;
  StampedResampler& operator=(const StampedResampler&) = delete;

  // Converts from the format of `input` (a decoded frame) to the given one.
  // Re-initialises by itself when later input frames change format. False
  // with a log line when the conversion cannot be set up.
  bool Configure(const AVFrame& input, const AVChannelLayout& outLayout, AVSampleFormat outFormat,
                 int outRate);
  // Converts a frame whose first sample was captured at `firstSampleUs`.
  // Returns the number of samples made (-1 on error); `outFirstUs` receives
  // the capture time of the first one.
  int Convert(const AVFrame& input, std::int64_t firstSampleUs, std::int64_t& outFirstUs);
  // As Convert, from raw planes of the configured input format.
  int ConvertRaw(const std::uint8_t* const* planes, int samples, std::int64_t firstSampleUs,
                 std::int64_t& outFirstUs);
  // The output of the last conversion, one pointer per plane.
  const std::uint8_t* const* output() const { return outPointers_.data(); }

 private:
  bool Matches(const AVFrame& input) const;

  av::SwrPtr context_;
  AVChannelLayout inLayout_{};
  AVSampleFormat inFormat_ = AV_SAMPLE_FMT_NONE;
  int inRate_ = 0;
  AVChannelLayout outLayout_{};
  AVSampleFormat outFormat_ = AV_SAMPLE_FMT_NONE;
  int outRate_ = 0;
  std::vector<std::vector<std::uint8_t>> outPlanes_;
  std::vector<std::uint8_t*> outPointers_;
};

}  // namespace tarn
