#include "recorder/video_filter.h"

extern "C" {
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/mem.h>
#include <libavutil/opt.h>
}

#include <glog/logging.h>

#include <cstdio>

namespace tarn {

std::unique_ptr<VideoFilter> VideoFilter::Create(const VideoFilterInput& input, const std::string& description,
                                                 std::string& error, int& code) {
  std::unique_ptr<VideoFilter> filter(new VideoFilter(input));
  code = filter->Build(description, error);
  if (code < 0) {
    LOG(ERROR) << error;
    return nullptr;
  }
  error.clear();
  return filter;
}

int VideoFilter::Build(const std::string& description, std::string& error) {
  auto fail = [&error](const char* step, int code) {
    error = std::string(step) + ": " + av::ErrorText(code);
    return code;
  };
  const AVFilter* buffer = avfilter_get_by_name("buffer");
  const AVFilter* bufferSink = avfilter_get_by_name("buffersink");
  graph_.reset(avfilter_graph_alloc());
  if (buffer == nullptr || bufferSink == nullptr) return fail("Cannot create avfilter graph", AVERROR_FILTER_NOT_FOUND);
  if (!graph_) return fail("Cannot create avfilter graph", AVERROR(ENOMEM));
  // The watermark covers a small part of the picture: threads of its own
  // would cost more than they save, beside the encoder's.
  graph_->nb_threads = 1;

  char args[512];
  std::snprintf(args, sizeof args, "video_size=%dx%d:pix_fmt=%d:time_base=%d/%d:pixel_aspect=%d/%d",
                input_.width, input_.height, static_cast<int>(input_.format), input_.timeBase.num,
                input_.timeBase.den, input_.sampleAspect.num, input_.sampleAspect.den);
  if (int ret = avfilter_graph_create_filter(&source_, buffer, "in", args, nullptr, graph_.get()); ret < 0) {
    return fail("Cannot create buffer source", ret);
  }
  if (int ret = avfilter_graph_create_filter(&sink_, bufferSink, "out", nullptr, nullptr, graph_.get());
      ret < 0) {
    return fail("Cannot create avfilter graph", ret);
  }
  // The pictures come out in the format they went in.
  const AVPixelFormat formats[] = {input_.format, AV_PIX_FMT_NONE};
  if (int ret = av_opt_set_int_list(sink_, "pix_fmts", formats, AV_PIX_FMT_NONE, AV_OPT_SEARCH_CHILDREN);
      ret < 0) {
    return fail("Cannot create avfilter graph", ret);
  }

  // The description's open ends: its input "in" is fed by the source, its
  // output "out" feeds the sink.
  av::FilterInOutPtr outputs(avfilter_inout_alloc());
  av::FilterInOutPtr inputs(avfilter_inout_alloc());
  if (!outputs || !inputs) return fail("Cannot parse graph args", AVERROR(ENOMEM));
  outputs->name = av_strdup("in");
  outputs->filter_ctx = source_;
  outputs->pad_idx = 0;
  outputs->next = nullptr;
  inputs->name = av_strdup("out");
  inputs->filter_ctx = sink_;
  inputs->pad_idx = 0;
  inputs->next = nullptr;
  if (outputs->name == nullptr || inputs->name == nullptr) return fail("Cannot parse graph args", AVERROR(ENOMEM));

  AVFilterInOut* openInputs = inputs.release();
  AVFilterInOut* openOutputs = outputs.release();
  const int parsed = avfilter_graph_parse_ptr(graph_.get(), description.c_str(), &openInputs, &openOutputs,
                                              nullptr);
  // What the parser did not link is still ours to free.
  inputs.reset(openInputs);
  outputs.reset(openOutputs);
  if (parsed < 0) return fail("Cannot parse graph args", parsed);
  if (int ret = avfilter_graph_config(graph_.get(), nullptr); ret < 0) {
    return fail("Cannot config avfilter graph", ret);
  }
  return 0;
}

bool VideoFilter::Accepts(const AVFrame& picture) const {
  return picture.width == input_.width && picture.height == input_.height &&
         picture.format == static_cast<int>(input_.format);
}

int VideoFilter::Filter(AVFrame* picture, AVFrame* filtered) {
  // Without AV_BUFFERSRC_FLAG_KEEP_REF the picture's references move into
  // the graph, so it stays writable when it was its data's only reference.
  if (int ret = av_buffersrc_add_frame_flags(source_, picture, 0); ret < 0) {
    av_frame_unref(picture);
    return ret;
  }
  return av_buffersink_get_frame(sink_, filtered);
}

}  // namespace tarn
