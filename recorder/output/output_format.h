#pragma once
// The containers a recording can be written in, chosen by the file's
// extension, and the muxer holder shared by the writer and the rewriter.

extern "C" {
#include <libavformat/avformat.h>
}

#include <memory>
#include <string>

namespace tarn {

struct OutputFormat {
  const char* muxer;    // FFmpeg's muxer name
  const char* demuxer;  // the demuxer that reads it back
  // MP4 and MOV: fragmented while recording, made a regular fast-start file
  // when finished.
  bool fragmented;
  // Rewritten when finished (see RewriteRecording): MP4 and MOV.
  bool rewrittenWhenFinished;
};

// The format for the extension of `path` (case does not matter); null for an
// extension no recording is written in.
const OutputFormat* OutputFormatForPath(const std::string& path);

// An output context whose byte stream belongs to someone else (a FileSink):
// the holder frees the context only.
struct MuxerDeleter {
  void operator()(AVFormatContext* context) const {
    if (context == nullptr) return;
    context->pb = nullptr;
    avformat_free_context(context);
  }
};
using MuxerPtr = std::unique_ptr<AVFormatContext, MuxerDeleter>;

// The fallback duration of a packet that has none: one picture at the
// stream's nominal rate for video, one frame of samples for audio; in
// `timeBase`. At least 1.
std::int64_t NominalPacketDuration(const AVCodecParameters& codec, AVRational frameRate,
                                   AVRational timeBase);

// "No space left on the device" style text for an errno value.
std::string ErrnoText(int err);

}  // namespace tarn
