#include "recorder/output/source_copier.h"

#include "recorder/output/file_sink.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

extern "C" {
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

namespace tarn {
namespace {

constexpr int kReadBufferBytes = 256 * 1024;

}  // namespace

SourceCopier::~SourceCopier() {
  if (io_ != nullptr) {
    av_freep(&io_->buffer);
    avio_context_free(&io_);
  }
  if (fd_ >= 0) ::close(fd_);
}

int SourceCopier::Open(const std::string& path) {
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) return errno;
  struct stat info = {};
  if (::fstat(fd_, &info) != 0) return errno;
  size_ = info.st_size;
  auto* buffer = static_cast<unsigned char*>(av_malloc(kReadBufferBytes));
  if (buffer == nullptr) return ENOMEM;
  io_ = avio_alloc_context(buffer, kReadBufferBytes, 0, this, &SourceCopier::Read, nullptr,
                           &SourceCopier::Seek);
  if (io_ == nullptr) {
    av_free(buffer);
    return ENOMEM;
  }
  io_->seekable = AVIO_SEEKABLE_NORMAL;
  // Packets are read straight into their memory (and so can be skipped),
  // not through the stream's buffer.
  io_->direct = 1;
  return 0;
}

int SourceCopier::Read(void* opaque, std::uint8_t* data, int size) {
  auto* self = static_cast<SourceCopier*>(opaque);
  const std::uint8_t* own = self->io_->buffer;
  const bool intoPacket = data < own || data >= own + self->io_->buffer_size;
  if (self->skipping_ && intoPacket && size >= kMinSkipBytes &&
      self->position_ + size <= self->size_) {
    self->ranges_.push_back(Range{data, size, self->position_, 0});
    self->position_ += size;
    return size;
  }
  for (;;) {
    const ssize_t n = ::pread(self->fd_, data, size, self->position_);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return AVERROR(errno);
    if (n == 0) return AVERROR_EOF;
    self->position_ += n;
    return static_cast<int>(n);
  }
}

std::int64_t SourceCopier::Seek(void* opaque, std::int64_t offset, int whence) {
  auto* self = static_cast<SourceCopier*>(opaque);
  const std::int64_t resolved = ResolveAvioSeek(offset, whence, self->position_, self->size_);
  if (resolved >= 0 && (whence & ~AVSEEK_FORCE) != AVSEEK_SIZE) self->position_ = resolved;
  return resolved;
}

bool SourceCopier::Settle(const std::uint8_t* data, int size) {
  bool complete = true;
  std::erase_if(ranges_, [&](const Range& range) {
    if (range.data < data || range.data >= data + size) return false;
    complete = complete && range.copied == range.size;
    return true;
  });
  return complete;
}

bool SourceCopier::NotedWithin(std::size_t first, const std::uint8_t* data, int size) const {
  for (std::size_t i = first; i < ranges_.size(); ++i) {
    const Range& range = ranges_[i];
    if (range.data < data || range.data + range.size > data + size) return false;
  }
  return true;
}

int SourceCopier::WriteBytes(int fd, std::int64_t offset, const std::uint8_t* data, int size) {
  int done = 0;
  while (done < size) {
    const ssize_t n = ::pwrite(fd, data + done, size - done, offset + done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n < 0 ? errno : ENOSPC;
    done += static_cast<int>(n);
  }
  return 0;
}

int SourceCopier::CopyRange(int fd, std::int64_t offset, std::int64_t sourceOffset, int size) {
  int done = 0;
  while (done < size) {
    loff_t from = sourceOffset + done;
    loff_t to = offset + done;
    const ssize_t n = ::copy_file_range(fd_, &from, fd, &to, size - done, 0);
    if (n > 0) {
      done += static_cast<int>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n == 0 || errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL) {
      // No copying in the kernel here (another file system, an old kernel):
      // read and write the rest.
      std::vector<std::uint8_t> bounce(std::min(size - done, 1 << 20));
      while (done < size) {
        const int step = std::min<int>(size - done, static_cast<int>(bounce.size()));
        const ssize_t got = ::pread(fd_, bounce.data(), step, sourceOffset + done);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return got < 0 ? errno : EIO;
        if (const int err = WriteBytes(fd, offset + done, bounce.data(), static_cast<int>(got))) {
          return err;
        }
        done += static_cast<int>(got);
      }
      return 0;
    }
    return errno;
  }
  return 0;
}

int SourceCopier::WriteAt(int fd, std::int64_t offset, const std::uint8_t* data, int size) {
  int done = 0;
  while (done < size) {
    const std::uint8_t* at = data + done;
    const int left = size - done;
    // The noted range holding `at`, or else the nearest one starting inside
    // what is left to write.
    Range* holder = nullptr;
    const std::uint8_t* nextStart = at + left;
    for (Range& range : ranges_) {
      if (at >= range.data && at < range.data + range.size) {
        holder = &range;
        break;
      }
      if (range.data > at && range.data < nextStart) nextStart = range.data;
    }
    if (holder != nullptr) {
      const int step = std::min<int>(left, static_cast<int>(holder->data + holder->size - at));
      if (const int err = CopyRange(fd, offset + done, holder->sourceOffset + (at - holder->data), step)) {
        return err;
      }
      holder->copied += step;
      done += step;
    } else {
      const int step = static_cast<int>(nextStart - at);
      if (const int err = WriteBytes(fd, offset + done, at, step)) return err;
      done += step;
    }
  }
  return 0;
}

}  // namespace tarn
