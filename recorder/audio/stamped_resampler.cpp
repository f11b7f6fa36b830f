#include "recorder/audio/stamped_resampler.h"

#include <glog/logging.h>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/mathematics.h>
#include <libavutil/samplefmt.h>
}

#include <cmath>

namespace tarn {

bool StampedResampler::Matches(const AVFrame& input) const {
  return context_ && input.format == inFormat_ && input.sample_rate == inRate_ &&
         input.ch_layout.nb_channels == inLayout_.nb_channels;
}

bool StampedResampler::Configure(const AVFrame& input, const AVChannelLayout& outLayout,
                                 AVSampleFormat outFormat, int outRate) {
  AVChannelLayout inLayout{};
  if (input.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || input.ch_layout.nb_channels <= 0) {
    av_channel_layout_default(&inLayout, std::max(input.ch_layout.nb_channels, 1));
  } else if (av_channel_layout_copy(&inLayout, &input.ch_layout) < 0) {
    return false;
  }
  SwrContext* context = nullptr;
  AVChannelLayout out{};
  av_channel_layout_copy(&out, &outLayout);
  const int allocated = swr_alloc_set_opts2(&context, &out, outFormat, outRate, &inLayout,
                                            static_cast<AVSampleFormat>(input.format),
                                            input.sample_rate, 0, nullptr);
  av_channel_layout_uninit(&out);
  context_.reset(context);
  if (allocated < 0 || !context_) {
    LOG(ERROR) << "swr alloc error";
    av_channel_layout_uninit(&inLayout);
    return false;
  }
  if (swr_init(context) < 0) {
    LOG(ERROR) << "swr init error";
    context_.reset();
    av_channel_layout_uninit(&inLayout);
    return false;
  }
  av_channel_layout_uninit(&inLayout_);
  inLayout_ = inLayout;  // owned from here on
  inFormat_ = static_cast<AVSampleFormat>(input.format);
  inRate_ = input.sample_rate;
  if (&outLayout != &outLayout_) {
    av_channel_layout_uninit(&outLayout_);
    av_channel_layout_copy(&outLayout_, &outLayout);
  }
  outFormat_ = outFormat;
  outRate_ = outRate;
  const int planes = av_sample_fmt_is_planar(outFormat) ? outLayout.nb_channels : 1;
  outPlanes_.assign(static_cast<std::size_t>(planes), {});
  outPointers_.assign(static_cast<std::size_t>(planes), nullptr);
  return true;
}

int StampedResampler::Convert(const AVFrame& input, std::int64_t firstSampleUs, std::int64_t& outFirstUs) {
  if (!Matches(input) && !Configure(input, outLayout_, outFormat_, outRate_)) return -1;
  return ConvertRaw(input.extended_data, input.nb_samples, firstSampleUs, outFirstUs);
}

int StampedResampler::ConvertRaw(const std::uint8_t* const* planes, int samples,
                                 std::int64_t firstSampleUs, std::int64_t& outFirstUs) {
  if (!context_) return -1;
  const int room = static_cast<int>(
      av_rescale_rnd(swr_get_delay(context_.get(), inRate_) + samples, outRate_, inRate_, AV_ROUND_UP));
  const int bytesPerSample = av_get_bytes_per_sample(outFormat_) *
                             (av_sample_fmt_is_planar(outFormat_) ? 1 : outLayout_.nb_channels);
  for (std::size_t p = 0; p < outPlanes_.size(); ++p) {
    const std::size_t bytes = static_cast<std::size_t>(room) * bytesPerSample;
    if (outPlanes_[p].size() < bytes) outPlanes_[p].resize(bytes);
    outPointers_[p] = outPlanes_[p].data();
  }
  const int made = swr_convert(context_.get(), outPointers_.data(), room,
                               const_cast<const std::uint8_t**>(planes), samples);
  if (made < 0) {
    LOG(ERROR) << "Error while converting: " << av::ErrorText(made);
    return -1;
  }
  // The next input sample would be captured at the end of this block; the
  // resampler holds back `delay` of it, and the made samples end there.
  const std::int64_t nextInputUs = firstSampleUs + std::llround(samples * 1e6 / inRate_);
  const std::int64_t delayUs = swr_get_delay(context_.get(), 1000000);
  outFirstUs = nextInputUs - delayUs - std::llround(made * 1e6 / outRate_);
  return made;
}

}  // namespace tarn
