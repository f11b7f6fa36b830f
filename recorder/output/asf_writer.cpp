#include "recorder/output/asf_writer.h"

#include <algorithm>
#include <array>

extern "C" {
#include <libavutil/random_seed.h>
}

namespace tarn {
namespace {

using Guid = std::array<std::uint8_t, 16>;

// A GUID as written in ASF: the first three fields little-endian, the last
// eight bytes as they read.
constexpr Guid MakeGuid(std::uint32_t a, std::uint16_t b, std::uint16_t c, std::uint64_t d) {
  Guid g{};
  for (int i = 0; i < 4; ++i) g[i] = static_cast<std::uint8_t>(a >> (8 * i));
  for (int i = 0; i < 2; ++i) g[4 + i] = static_cast<std::uint8_t>(b >> (8 * i));
  for (int i = 0; i < 2; ++i) g[6 + i] = static_cast<std::uint8_t>(c >> (8 * i));
  for (int i = 0; i < 8; ++i) g[8 + i] = static_cast<std::uint8_t>(d >> (8 * (7 - i)));
  return g;
}

constexpr Guid kHeaderObject = MakeGuid(0x75B22630, 0x668E, 0x11CF, 0xA6D900AA0062CE6C);
constexpr Guid kFileProperties = MakeGuid(0x8CABDCA1, 0xA947, 0x11CF, 0x8EE400C00C205365);
constexpr Guid kStreamProperties = MakeGuid(0xB7DC0791, 0xA9B7, 0x11CF, 0x8EE600C00C205365);
constexpr Guid kHeaderExtension = MakeGuid(0x5FBF03B5, 0xA92E, 0x11CF, 0x8EE300C00C205365);
constexpr Guid kHeaderExtensionReserved = MakeGuid(0xABD3D211, 0xA9BA, 0x11CF, 0x8EE600C00C205365);
constexpr Guid kExtendedStreamProperties =
    MakeGuid(0x14E6A5CB, 0xC672, 0x4332, 0x8399A96952065B5A);
constexpr Guid kDataObject = MakeGuid(0x75B22636, 0x668E, 0x11CF, 0xA6D900AA0062CE6C);
constexpr Guid kSimpleIndex = MakeGuid(0x33000890, 0xE5B1, 0x11CF, 0x89F400A0C90349CB);
constexpr Guid kAudioMedia = MakeGuid(0xF8699E40, 0x5B4D, 0x11CF, 0xA8FD00805F5C442B);
constexpr Guid kVideoMedia = MakeGuid(0xBC19EFC0, 0x5B4D, 0x11CF, 0xA8FD00805F5C442B);
constexpr Guid kNoErrorCorrection = MakeGuid(0x20FB5700, 0x5B55, 0x11CF, 0xA8FD00805F5C442B);
// The payload extension holding a payload's presentation start and end.
constexpr Guid kTimingExtension = MakeGuid(0xFD3CC02A, 0x06DB, 0x4CFA, 0x801C7212D38745E4);
constexpr int kTimingExtensionBytes = 24;

// Header of a data packet: error correction (3), length type and property
// flags (2), padding length (2), send time (4), duration (2), payload
// flags (1).
constexpr int kPacketHeaderBytes = 14;
// Stream number, object number, offset, replicated length, payload length.
constexpr int kPayloadHeaderBytes = 1 + 1 + 4 + 1 + 2;
constexpr int kMaxPayloads = 63;
constexpr std::int64_t kIndexIntervalMs = 1000;
constexpr std::int64_t kHundredNsPerMs = 10000;
constexpr std::int64_t kDataObjectHeaderBytes = 50;

class Bytes {
 public:
  explicit Bytes(std::vector<std::uint8_t>& out) : out_(out) {}
  void U8(std::uint8_t v) { out_.push_back(v); }
  void U16(std::uint16_t v) { Little(v, 2); }
  void U32(std::uint32_t v) { Little(v, 4); }
  void U64(std::uint64_t v) { Little(v, 8); }
  void Id(const Guid& g) { out_.insert(out_.end(), g.begin(), g.end()); }
  void Raw(const std::uint8_t* data, int size) {
    if (size > 0) out_.insert(out_.end(), data, data + size);
  }
  std::size_t size() const { return out_.size(); }
  // Starts an object: its GUID and a size filled in by End.
  std::size_t Begin(const Guid& g) {
    const std::size_t start = out_.size();
    Id(g);
    U64(0);
    return start;
  }
  void End(std::size_t start) {
    const std::uint64_t length = out_.size() - start;
    for (int i = 0; i < 8; ++i) out_[start + 16 + i] = static_cast<std::uint8_t>(length >> (8 * i));
  }

 private:
  void Little(std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  std::vector<std::uint8_t>& out_;
};

void PutStreamProperties(Bytes& out, const AVCodecParameters& codec, bool video, int number) {
  std::vector<std::uint8_t> specific;
  Bytes format(specific);
  const int extra = std::max(codec.extradata_size, 0);
  if (video) {
    format.U32(codec.width);
    format.U32(codec.height);
    format.U8(2);
    format.U16(static_cast<std::uint16_t>(40 + extra));
    // BITMAPINFOHEADER and the codec's parameter sets.
    format.U32(40 + extra);
    format.U32(codec.width);
    format.U32(codec.height);
    format.U16(1);
    format.U16(24);
    format.U32(MKTAG('H', '2', '6', '4'));
    format.U32(static_cast<std::uint32_t>(codec.width) * codec.height * 3);
    for (int i = 0; i < 4; ++i) format.U32(0);
  } else {
    // WAVEFORMATEX and the codec's configuration.
    format.U16(codec.codec_id == AV_CODEC_ID_AAC ? 0x00FF : static_cast<std::uint16_t>(codec.codec_tag));
    format.U16(static_cast<std::uint16_t>(codec.ch_layout.nb_channels));
    format.U32(codec.sample_rate);
    format.U32(static_cast<std::uint32_t>(codec.bit_rate / 8));
    format.U16(static_cast<std::uint16_t>(std::max(codec.block_align, 1)));
    format.U16(16);
    format.U16(static_cast<std::uint16_t>(extra));
  }
  format.Raw(codec.extradata, extra);

  const std::size_t object = out.Begin(kStreamProperties);
  out.Id(video ? kVideoMedia : kAudioMedia);
  out.Id(kNoErrorCorrection);
  out.U64(0);  // time offset
  out.U32(static_cast<std::uint32_t>(specific.size()));
  out.U32(0);  // error correction data
  out.U16(static_cast<std::uint16_t>(number));
  out.U32(0);
  out.Raw(specific.data(), static_cast<int>(specific.size()));
  out.End(object);
}

void PutExtendedStreamProperties(Bytes& out, AVRational frameRate, bool video, int number) {
  const std::size_t object = out.Begin(kExtendedStreamProperties);
  out.U64(0);  // start time
  out.U64(0);  // end time
  for (int i = 0; i < 7; ++i) out.U32(0);  // rates, buffers, largest object
  out.U32(0x02);  // seekable
  out.U16(static_cast<std::uint16_t>(number));
  out.U16(0);  // language
  const bool rated = video && frameRate.num > 0 && frameRate.den > 0;
  out.U64(rated ? 10000000LL * frameRate.den / frameRate.num : 0);
  out.U16(0);  // stream names
  out.U16(video ? 1 : 0);
  if (video) {
    out.Id(kTimingExtension);
    out.U16(kTimingExtensionBytes);
    out.U32(0);
  }
  out.End(object);
}

}  // namespace

int AsfWriter::AddStream(const AVCodecParameters& codec, AVRational frameRate) {
  const bool video = codec.codec_type == AVMEDIA_TYPE_VIDEO;
  if ((video && codec.codec_id != AV_CODEC_ID_H264) ||
      (!video && codec.codec_type != AVMEDIA_TYPE_AUDIO) || streams_.size() >= 127) {
    return AVERROR(EINVAL);
  }
  streams_.push_back(Stream{&codec, frameRate, video});
  return static_cast<int>(streams_.size()) - 1;
}

std::vector<std::uint8_t> AsfWriter::BuildHeader() {
  std::vector<std::uint8_t> header;
  Bytes out(header);
  const std::size_t top = out.Begin(kHeaderObject);
  out.U32(static_cast<std::uint32_t>(streams_.size() + 2));
  out.U8(1);
  out.U8(2);

  const std::size_t file = out.Begin(kFileProperties);
  for (int i = 0; i < 16; i += 4) {
    const std::uint32_t seed = av_get_random_seed();
    std::copy_n(reinterpret_cast<const std::uint8_t*>(&seed), 4, fileId_.begin() + i);
  }
  out.Id(fileId_);
  filePropertiesPos_ = static_cast<std::int64_t>(out.size());
  out.U64(0);  // file size
  out.U64(0);  // creation date
  out.U64(0);  // data packets
  out.U64(0);  // play duration
  out.U64(0);  // send duration
  out.U64(0);  // preroll (ms): times start at 0
  out.U32(0x01);  // broadcast until finished
  out.U32(kPacketBytes);
  out.U32(kPacketBytes);
  out.U32(0);  // largest bit rate
  out.End(file);

  for (std::size_t i = 0; i < streams_.size(); ++i) {
    PutStreamProperties(out, *streams_[i].codec, streams_[i].video, static_cast<int>(i) + 1);
  }
  const std::size_t extension = out.Begin(kHeaderExtension);
  out.Id(kHeaderExtensionReserved);
  out.U16(6);
  const std::size_t extensionSize = out.size();
  out.U32(0);
  for (std::size_t i = 0; i < streams_.size(); ++i) {
    PutExtendedStreamProperties(out, streams_[i].frameRate, streams_[i].video, static_cast<int>(i) + 1);
  }
  const auto extensionBytes = static_cast<std::uint32_t>(out.size() - extensionSize - 4);
  for (int i = 0; i < 4; ++i) header[extensionSize + i] = static_cast<std::uint8_t>(extensionBytes >> (8 * i));
  out.End(extension);
  out.End(top);

  dataObjectPos_ = static_cast<std::int64_t>(out.size());
  out.Id(kDataObject);
  out.U64(0);  // size: unknown while broadcast
  out.Id(fileId_);
  out.U64(0);  // data packets
  out.U16(0x0101);
  return header;
}

int AsfWriter::WriteHeader() {
  const std::vector<std::uint8_t> header = BuildHeader();
  const std::int64_t start = avio_tell(io_);
  filePropertiesPos_ += start;
  dataObjectPos_ += start;
  avio_write(io_, header.data(), static_cast<int>(header.size()));
  return io_->error < 0 ? io_->error : 0;
}

void AsfWriter::AppendPayload(int streamNumber, bool key, std::uint8_t object,
                              std::uint32_t offset, const std::vector<std::uint8_t>& replicated,
                              const std::uint8_t* data, int size) {
  Bytes out(payloads_);
  out.U8(static_cast<std::uint8_t>(streamNumber | (key ? 0x80 : 0)));
  out.U8(object);
  out.U32(offset);
  out.U8(static_cast<std::uint8_t>(replicated.size()));
  out.Raw(replicated.data(), static_cast<int>(replicated.size()));
  out.U16(static_cast<std::uint16_t>(size));
  out.Raw(data, size);
  ++payloadCount_;
}

void AsfWriter::FlushPacket() {
  if (payloadCount_ == 0) return;
  const int padding = kPacketBytes - kPacketHeaderBytes - static_cast<int>(payloads_.size());
  avio_w8(io_, 0x82);  // two bytes of error correction data follow
  avio_w8(io_, 0);
  avio_w8(io_, 0);
  avio_w8(io_, 0x11);  // several payloads; padding length as a WORD
  avio_w8(io_, 0x5D);  // BYTE, DWORD, BYTE, BYTE field sizes in payloads
  avio_wl16(io_, static_cast<unsigned>(padding));
  avio_wl32(io_, sendTimeMs_);
  avio_wl16(io_, 0);
  avio_w8(io_, static_cast<int>(0x80 | payloadCount_));  // WORD payload lengths
  avio_write(io_, payloads_.data(), static_cast<int>(payloads_.size()));
  static const std::uint8_t kZeros[kPacketBytes] = {};
  avio_write(io_, kZeros, padding);
  ++packetsWritten_;
  payloads_.clear();
  payloadCount_ = 0;
}

int AsfWriter::WritePacket(const AVPacket& packet, int index) {
  if (index < 0 || index >= static_cast<int>(streams_.size())) return AVERROR(EINVAL);
  if (packet.size <= 0) return 0;
  Stream& stream = streams_[index];
  std::int64_t timeMs = packet.pts != AV_NOPTS_VALUE ? packet.pts : packet.dts;
  if (timeMs == AV_NOPTS_VALUE) return AVERROR(EINVAL);
  timeMs = std::clamp<std::int64_t>(timeMs, 0, UINT32_MAX - 1);
  const std::int64_t endMs = timeMs + std::max<std::int64_t>(packet.duration, 0);
  std::vector<std::uint8_t> replicated;
  Bytes out(replicated);
  out.U32(static_cast<std::uint32_t>(packet.size));
  out.U32(static_cast<std::uint32_t>(timeMs));
  if (stream.video) {
    out.U64(0);
    out.U64(static_cast<std::uint64_t>(timeMs * kHundredNsPerMs));
    out.U64(static_cast<std::uint64_t>(endMs * kHundredNsPerMs));
  }
  const bool key = (packet.flags & AV_PKT_FLAG_KEY) || !stream.video;
  const std::uint8_t object = stream.nextObject++;
  std::uint32_t firstPacket = 0;
  int offset = 0;
  while (offset < packet.size) {
    const int room = kPacketBytes - kPacketHeaderBytes - static_cast<int>(payloads_.size()) -
                     kPayloadHeaderBytes - static_cast<int>(replicated.size());
    if (room < 1 || payloadCount_ == kMaxPayloads) {
      FlushPacket();
      continue;
    }
    if (payloadCount_ == 0) sendTimeMs_ = static_cast<std::uint32_t>(timeMs);
    if (offset == 0) firstPacket = packetsWritten_;
    const int step = std::min(room, packet.size - offset);
    AppendPayload(index + 1, key, object, static_cast<std::uint32_t>(offset), replicated,
                  packet.data + offset, step);
    offset += step;
  }
  if (stream.video && (packet.flags & AV_PKT_FLAG_KEY)) {
    keyPictures_.push_back(KeyPicture{timeMs, firstPacket, packetsWritten_ - firstPacket + 1});
  }
  stream.bytes += packet.size;
  endMs_ = std::max(endMs_, endMs);
  return io_->error < 0 ? io_->error : 0;
}

void AsfWriter::WriteIndex() {
  // Entry i: where to start for time i seconds: the last key picture at or
  // before it.
  const std::int64_t entries = endMs_ / kIndexIntervalMs + 1;
  std::vector<std::uint8_t> index;
  Bytes out(index);
  const std::size_t object = out.Begin(kSimpleIndex);
  out.Id(fileId_);
  out.U64(kIndexIntervalMs * kHundredNsPerMs);
  std::uint32_t largest = 1;
  for (const KeyPicture& key : keyPictures_) largest = std::max(largest, key.packets);
  out.U32(largest);
  out.U32(static_cast<std::uint32_t>(entries));
  std::size_t next = 0;
  KeyPicture current{0, 0, 1};
  for (std::int64_t i = 0; i < entries; ++i) {
    while (next < keyPictures_.size() && keyPictures_[next].timeMs <= i * kIndexIntervalMs) {
      current = keyPictures_[next++];
    }
    out.U32(current.firstPacket);
    out.U16(static_cast<std::uint16_t>(std::min<std::uint32_t>(current.packets, 0xFFFF)));
  }
  out.End(object);
  avio_write(io_, index.data(), static_cast<int>(index.size()));
}

void AsfWriter::PatchHeader(std::int64_t fileBytes) {
  avio_seek(io_, filePropertiesPos_, SEEK_SET);
  avio_wl64(io_, static_cast<std::uint64_t>(fileBytes));
  avio_wl64(io_, 0);
  avio_wl64(io_, packetsWritten_);
  avio_wl64(io_, static_cast<std::uint64_t>(endMs_ * kHundredNsPerMs));  // play duration
  avio_wl64(io_, static_cast<std::uint64_t>(endMs_ * kHundredNsPerMs));  // send duration
  avio_wl64(io_, 0);
  avio_wl32(io_, 0x02);  // seekable, no longer broadcast
  avio_wl32(io_, kPacketBytes);
  avio_wl32(io_, kPacketBytes);
  std::int64_t bitRate = 0;
  for (const Stream& stream : streams_) bitRate += stream.bytes * 8;
  if (endMs_ > 0) bitRate = bitRate * 1000 / endMs_;
  avio_wl32(io_, static_cast<unsigned>(std::min<std::int64_t>(bitRate, UINT32_MAX)));
  avio_seek(io_, dataObjectPos_ + 16, SEEK_SET);
  avio_wl64(io_, static_cast<std::uint64_t>(kDataObjectHeaderBytes +
                                            static_cast<std::int64_t>(packetsWritten_) * kPacketBytes));
  avio_seek(io_, dataObjectPos_ + 16 + 8 + 16, SEEK_SET);
  avio_wl64(io_, packetsWritten_);
  avio_seek(io_, fileBytes, SEEK_SET);
}

int AsfWriter::WriteTrailer() {
  FlushPacket();
  WriteIndex();
  avio_flush(io_);
  PatchHeader(avio_tell(io_));
  avio_flush(io_);
  return io_->error < 0 ? io_->error : 0;
}

}  // namespace tarn
