#pragma once
// A video filter graph with one way in and one way out: pictures of a fixed
// size and pixel format go in at the buffer source "in" and come out of the
// buffer sink "out" in the same pixel format, one picture out for each in.
// Used for the watermark (watermark.h). Not thread-safe: one thread builds
// it and one thread (the video decode thread) filters with it.

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
#include <libavutil/rational.h>
}

#include <memory>
#include <string>

#include "recorder/ffmpeg_holders.h"

namespace tarn {

// The pictures that go in; they come out in the same format.
struct VideoFilterInput {
  int width = 0;
  int height = 0;
  AVPixelFormat format = AV_PIX_FMT_NONE;
  AVRational timeBase{1, 1000000};  // of the pictures' pts
  AVRational sampleAspect{0, 1};    // 0/1: unknown
};

class VideoFilter {
 public:
  // Builds the graph: "in", then `description` (whose open link labels are
  // "[in]" and "[out]", or a plain filter chain), then "out". Returns null
  // on failure, with `code` the negative FFmpeg code and `error` the step
  // that failed and why ("Cannot parse graph args: No such file or
  // directory"); the failure is logged.
  static std::unique_ptr<VideoFilter> Create(const VideoFilterInput& input, const std::string& description,
                                             std::string& error, int& code);

  VideoFilter(const VideoFilter&) = delete;
  VideoFilter& operator=(const VideoFilter&) = delete;

  // Filters one picture. `picture` must match input(); its references move
  // into the graph (it is left empty), so a picture that is its data's only
  // reference is drawn on where it lies, without a copy. The filtered
  // picture is put into `filtered` (which must be empty). Returns 0, or a
  // negative FFmpeg code: then `filtered` is empty and the picture is lost.
  int Filter(AVFrame* picture, AVFrame* filtered);

  // Whether a picture can go in: its size and pixel format are the input's.
  bool Accepts(const AVFrame& picture) const;

  const VideoFilterInput& input() const { return input_; }
  // The graph, for looking at its filters.
  const AVFilterGraph* graph() const { return graph_.get(); }

 private:
  explicit VideoFilter(const VideoFilterInput& input) : input_(input) {}
  int Build(const std::string& description, std::string& error);

  const VideoFilterInput input_;
  av::FilterGraphPtr graph_;
  AVFilterContext* source_ = nullptr;  // owned by graph_
  AVFilterContext* sink_ = nullptr;    // owned by graph_
};

}  // namespace tarn
