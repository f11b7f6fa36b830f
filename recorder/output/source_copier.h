#pragma once
// Rewriting a large file without reading its media data: a byte stream for
// the demuxer that, while skipping is on, does not read large blocks into
// the packets but notes where they come from; the output's writer then
// copies those bytes file to file in the kernel (copy_file_range) instead of
// writing the packet's (unread) memory.
//
// This holds only as long as nothing between the demuxer and the writer
// looks at or changes the packet's data, and the muxer writes each packet's
// data at once (MP4 to a regular MP4: H.264 in length-prefixed form, AAC in
// packets far smaller than what is skipped). Settle checks after each packet
// that every skipped byte was copied, so a muxer that did something else is
// caught and the caller can rewrite the slow way.
//
// Threads: one thread uses it (the rewriting one).

#include <cstdint>
#include <string>
#include <vector>

extern "C" {
#include <libavformat/avio.h>
}

#include "recorder/output/file_sink.h"

namespace tarn {

class SourceCopier : public ByteSource {
 public:
  SourceCopier() = default;
  ~SourceCopier() override;
  SourceCopier(const SourceCopier&) = delete;
  SourceCopier& operator=(const SourceCopier&) = delete;

  // Opens the file to read. Returns 0 or an errno value.
  int Open(const std::string& path);
  // The byte stream to give the demuxer.
  AVIOContext* io() const { return io_; }
  // While on, reads of at least kMinSkipBytes into memory other than the
  // stream's own buffer are noted instead of done.
  void SetSkipping(bool on) { skipping_ = on; }
  // Whether every byte noted for the packet memory `data`..`data + size`
  // was copied; forgets those notes.
  bool Settle(const std::uint8_t* data, int size);
  // Forgets the notes for a packet that is not written.
  void Forget(const std::uint8_t* data, int size) { Settle(data, size); }
  // How many reads are noted; whether those from the `first` on all went
  // into the packet memory `data`..`data + size` (and not, say, into
  // something the demuxer reads for itself).
  std::size_t noted() const { return ranges_.size(); }
  bool NotedWithin(std::size_t first, const std::uint8_t* data, int size) const;

  int WriteAt(int fd, std::int64_t offset, const std::uint8_t* data, int size) override;

  static constexpr int kMinSkipBytes = 8 * 1024;

 private:
  struct Range {
    const std::uint8_t* data;
    int size;
    std::int64_t sourceOffset;
    int copied;
  };
  static int Read(void* opaque, std::uint8_t* data, int size);
  static std::int64_t Seek(void* opaque, std::int64_t offset, int whence);
  int CopyRange(int fd, std::int64_t offset, std::int64_t sourceOffset, int size);
  int WriteBytes(int fd, std::int64_t offset, const std::uint8_t* data, int size);

  int fd_ = -1;
  AVIOContext* io_ = nullptr;
  std::int64_t size_ = 0;
  std::int64_t position_ = 0;
  bool skipping_ = false;
  std::vector<Range> ranges_;
};

}  // namespace tarn
