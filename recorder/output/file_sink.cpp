#include "recorder/output/file_sink.h"

#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <glog/logging.h>

#include <chrono>

extern "C" {
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

namespace tarn {
namespace {

constexpr long kSlowSyncMs = 2000;

}  // namespace

FileSink::~FileSink() {
  StopSyncing();
  if (io_ != nullptr) {
    av_freep(&io_->buffer);
    avio_context_free(&io_);
  }
  if (fd_ >= 0 && ownsFd_) ::close(fd_);
}

int FileSink::Attach(int fd, int bufferBytes, bool owns) {
  fd_ = fd;
  ownsFd_ = owns;
  auto* buffer = static_cast<unsigned char*>(av_malloc(bufferBytes));
  if (buffer == nullptr) return AVERROR(ENOMEM);
  io_ = avio_alloc_context(buffer, bufferBytes, 1, this, nullptr, &FileSink::WritePacket,
                           &FileSink::Seek);
  if (io_ == nullptr) {
    av_free(buffer);
    return AVERROR(ENOMEM);
  }
  io_->seekable = AVIO_SEEKABLE_NORMAL;
  return 0;
}

void FileSink::NoteError(int err) {
  int none = 0;
  error_.compare_exchange_strong(none, err);
}

int FileSink::WriteAll(const std::uint8_t* data, int size) {
  if (const int err = error_.load(); err != 0) return AVERROR(err);
  if (source_ != nullptr) {
    if (const int err = source_->WriteAt(fd_, position_, data, size); err != 0) {
      NoteError(err);
      return AVERROR(error_.load());
    }
  } else {
    int done = 0;
    while (done < size) {
      const ssize_t n = ::pwrite(fd_, data + done, size - done, position_ + done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        // A write that takes nothing without an error is a full device.
        NoteError(n < 0 ? errno : ENOSPC);
        return AVERROR(error_.load());
      }
      done += static_cast<int>(n);
    }
  }
  position_ += size;
  if (position_ > size_) size_ = position_;
  if (writebackChunk_ > 0 && size_ - writtenBack_ >= writebackChunk_) {
    ::sync_file_range(fd_, writtenBack_, size_ - writtenBack_, SYNC_FILE_RANGE_WRITE);
    writtenBack_ = size_;
  }
  return size;
}

int FileSink::WritePacket(void* opaque, std::uint8_t* data, int size) {
  return static_cast<FileSink*>(opaque)->WriteAll(data, size);
}

std::int64_t ResolveAvioSeek(std::int64_t offset, int whence, std::int64_t position, std::int64_t size) {
  switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE:
      return size;
    case SEEK_SET:
      break;
    case SEEK_CUR:
      offset += position;
      break;
    case SEEK_END:
      offset += size;
      break;
    default:
      return AVERROR(EINVAL);
  }
  return offset < 0 ? AVERROR(EINVAL) : offset;
}

std::int64_t FileSink::Seek(void* opaque, std::int64_t offset, int whence) {
  auto* self = static_cast<FileSink*>(opaque);
  const std::int64_t resolved = ResolveAvioSeek(offset, whence, self->position_, self->size_);
  if (resolved >= 0 && (whence & ~AVSEEK_FORCE) != AVSEEK_SIZE) self->position_ = resolved;
  return resolved;
}

void FileSink::Flush() {
  if (io_ == nullptr) return;
  avio_flush(io_);
  if (syncThread_.joinable()) {
    std::lock_guard<std::mutex> lock(syncLock_);
    dirty_ = true;
  }
}

void FileSink::StartSyncing(int periodMs) {
  if (syncThread_.joinable() || fd_ < 0) return;
  stopSyncing_ = false;
  syncThread_ = std::thread([this, periodMs] { SyncLoop(periodMs); });
}

void FileSink::SyncLoop(int periodMs) {
  pthread_setname_np(pthread_self(), "file-sync");
  std::unique_lock<std::mutex> lock(syncLock_);
  while (!stopSyncing_) {
    syncCond_.wait_for(lock, std::chrono::milliseconds(periodMs), [this] { return stopSyncing_; });
    if (stopSyncing_ || !dirty_) continue;
    dirty_ = false;
    lock.unlock();
    // A slow disk blocks only this thread. A failed sync (delayed allocation
    // on a full disk, an I/O error) is a lost write like any other.
    const auto start = std::chrono::steady_clock::now();
    if (::fdatasync(fd_) != 0 && errno != EINVAL) NoteError(errno);
    const auto tookMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - start).count();
    if (tookMs > kSlowSyncMs) {
      LOG_EVERY_N(WARNING, 10) << "syncing the recording to disk took " << tookMs
                               << " ms; the disk is slower than the recording";
    }
    lock.lock();
  }
}

void FileSink::StopSyncing() {
  if (!syncThread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(syncLock_);
    stopSyncing_ = true;
  }
  syncCond_.notify_all();
  syncThread_.join();
}

int FileSink::Close(bool sync) {
  if (io_ != nullptr && error_.load() == 0) avio_flush(io_);
  StopSyncing();
  if (fd_ >= 0) {
    if (sync && error_.load() == 0 && ::fdatasync(fd_) != 0 && errno != EINVAL) NoteError(errno);
    if (ownsFd_ && ::close(fd_) != 0 && errno != EINTR) NoteError(errno);
    fd_ = -1;
  }
  return error_.load();
}

}  // namespace tarn
