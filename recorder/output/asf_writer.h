#pragma once
// Writes ASF (.wmv) files of H.264 video and AAC (or other WAVE-tagged)
// sound into an FFmpeg byte stream.
//
// Unlike FFmpeg's own ASF muxer it gives every video payload the
// presentation time of its picture in a payload extension (the one FFmpeg's
// ASF reader takes presentation times from; other readers skip it by its
// declared size). Without it the reader has only the payload's time, which
// it takes for a decoding time, and H.264 pictures come out without
// presentation times: players then make them up, wrongly after a seek.
//
// Layout: header (file properties, stream properties, header extension with
// extended stream properties), data object of fixed-size packets holding
// several payloads each, and a simple index of the video's key pictures at
// one-second steps. While the file is written its header says "broadcast"
// (sizes, counts and durations unknown), so a file cut short reads as far as
// it goes; WriteTrailer fills them in.
//
// Times: packets come in milliseconds (kTimeBase), starting at 0 or later.
// Threads: one thread uses a writer.

#include <array>
#include <cstdint>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avio.h>
}

namespace tarn {

class AsfWriter {
 public:
  static constexpr AVRational kTimeBase{1, 1000};
  static constexpr int kPacketBytes = 3200;

  explicit AsfWriter(AVIOContext* io) : io_(io) {}

  // Adds a stream: H.264 video (its nominal `frameRate`), or sound with a
  // WAVE format tag (AAC). Returns its index or a negative FFmpeg code.
  int AddStream(const AVCodecParameters& codec, AVRational frameRate);
  int WriteHeader();
  // Writes one packet of stream `index` (pts, dts, duration in ms); the
  // packet stays the caller's.
  int WritePacket(const AVPacket& packet, int index);
  // Writes the data packet being filled, padded.
  void Flush() { FlushPacket(); }
  // Writes the last data packet and the index, and fills in the header.
  int WriteTrailer();

 private:
  struct Stream {
    const AVCodecParameters* codec;
    AVRational frameRate;
    bool video;
    std::uint8_t nextObject = 0;
    std::int64_t bytes = 0;
  };
  struct KeyPicture {
    std::int64_t timeMs;
    std::uint32_t firstPacket;
    std::uint32_t packets;
  };

  std::vector<std::uint8_t> BuildHeader();
  void AppendPayload(int streamNumber, bool key, std::uint8_t object, std::uint32_t offset,
                     const std::vector<std::uint8_t>& replicated, const std::uint8_t* data,
                     int size);
  void FlushPacket();
  void WriteIndex();
  void PatchHeader(std::int64_t fileBytes);

  AVIOContext* io_;
  std::vector<Stream> streams_;
  std::array<std::uint8_t, 16> fileId_{};
  std::int64_t filePropertiesPos_ = 0;  // of the fields after the file id
  std::int64_t dataObjectPos_ = 0;
  // The data packet being filled: its payloads and when it is sent.
  std::vector<std::uint8_t> payloads_;
  int payloadCount_ = 0;
  std::uint32_t sendTimeMs_ = 0;
  std::uint32_t packetsWritten_ = 0;
  std::int64_t endMs_ = 0;
  std::vector<KeyPicture> keyPictures_;
};

}  // namespace tarn
