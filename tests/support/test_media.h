#pragma once
// Real encoded packets for output tests (H.264 pictures of a moving pattern
// or of noise, AAC sine sound), and reading a written file back.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "recorder/ffmpeg_holders.h"

namespace tarn::test {

// libx264 (yuv420p, no B-frames, a key picture every `gop`) and AAC
// (44100 Hz stereo), as a recording opens them.
class TestMedia {
 public:
  struct Options {
    int width = 160;
    int height = 120;
    int frameRate = 24;
    int gop = 70;
    bool noise = false;        // pictures of noise: large packets
    bool globalHeader = true;  // parameter sets in the header
  };
  explicit TestMedia(const Options& options);

  const AVCodecContext* video() const { return video_.get(); }
  const AVCodecContext* audio() const { return audio_.get(); }
  bool ok() const { return ok_; }

  // Called with each encoded packet and whether it is a picture; returns
  // false to stop.
  using Sink = std::function<bool(AVPacket* packet, bool isVideo)>;
  // Encodes pictures and sound up to `seconds` of media time, in time order.
  // Picture slots listed in `skipSlots` are not encoded (dropped pictures).
  bool EncodeUntil(double seconds, const Sink& sink, const std::vector<int>& skipSlots = {});
  // Drains both encoders.
  bool Drain(const Sink& sink);

  std::int64_t picturesEncoded() const { return picturesEncoded_; }

 private:
  bool Receive(AVCodecContext* encoder, bool isVideo, const Sink& sink);
  void FillPicture(AVFrame* frame, std::int64_t slot);

  Options options_;
  av::CodecContextPtr video_;
  av::CodecContextPtr audio_;
  av::FramePtr picture_;
  av::FramePtr sound_;
  std::int64_t nextSlot_ = 0;
  std::int64_t nextSample_ = 0;
  std::int64_t picturesEncoded_ = 0;
  std::uint32_t seed_ = 1;
  bool ok_ = false;
};

struct StreamFacts {
  AVMediaType type = AVMEDIA_TYPE_UNKNOWN;
  AVRational avgFrameRate{};
  AVRational realFrameRate{};
  double durationSeconds = -1;  // the stream's stated duration; -1 unknown
  int packets = 0;
  int packetsWithoutPts = 0;
  double startSeconds = -1;  // time of the first packet
  double endSeconds = 0;     // end of the last packet (pts + duration)
  int decodedPictures = 0;
  int decodeErrors = 0;
};

struct FileFacts {
  bool opened = false;
  std::string error;
  double durationSeconds = -1;
  std::string metadataVideoRate;  // FLV's "videodatarate", if any
  StreamFacts video;
  StreamFacts audio;
};

// Reads the whole file with libavformat and decodes its pictures.
FileFacts ReadFile(const std::string& path);

// The first packet of the video stream after seeking to `seconds` (backwards
// to a key picture): its time in seconds, or -1.
double SeekAndRead(const std::string& path, double seconds);

// Top-level box types of an MP4/MOV file, in order.
std::vector<std::string> TopLevelBoxes(const std::string& path);

}  // namespace tarn::test
