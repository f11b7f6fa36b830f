#pragma once
// A seekable FFmpeg byte stream (AVIOContext) over a file descriptor of our
// own. It exists for three things FFmpeg's file protocol does not give:
//  - the exact errno of the first failed write, seek or sync, kept for the
//    owner to report once; after it nothing more is written;
//  - flushing on demand, so that data reaches the kernel at least as often as
//    the owner wants (FFmpeg would hold it until its buffer is full);
//  - a background thread ("file-sync") that calls fdatasync about once a
//    period when something new was written, so that a power cut keeps what
//    a crash keeps, without blocking the writing thread on the disk.
//
// Threads: one thread uses io(), Flush and Close; the sync thread only syncs
// the descriptor and records a failed sync.

#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

extern "C" {
#include <libavformat/avio.h>
}

namespace tarn {

// Writes bytes of an output that may also be found elsewhere (see
// SourceCopier).
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Writes `size` bytes at `data` into `fd` at `offset`. Returns 0 or an
  // errno value.
  virtual int WriteAt(int fd, std::int64_t offset, const std::uint8_t* data, int size) = 0;
};

// The position a seek of an AVIOContext over a file of `size` bytes moves to
// from `position` (whence as avio's seek callback gets it); AVSEEK_SIZE
// answers the size. A negative FFmpeg code for a seek before the start or an
// unknown whence.
std::int64_t ResolveAvioSeek(std::int64_t offset, int whence, std::int64_t position, std::int64_t size);

class FileSink {
 public:
  FileSink() = default;
  // Stops the sync thread and closes the descriptor without syncing.
  ~FileSink();
  FileSink(const FileSink&) = delete;
  FileSink& operator=(const FileSink&) = delete;

  // Makes the byte stream over `fd` (open for writing), positioned at its
  // start, with a buffer of `bufferBytes`; the sink closes `fd` when it
  // `owns` it. Returns 0 or a negative FFmpeg code (only ENOMEM).
  int Attach(int fd, int bufferBytes, bool owns);
  // Starts syncing the file to disk every `periodMs` while data comes in.
  void StartSyncing(int periodMs);
  // Asks the kernel to start writing each `chunkBytes` to disk as soon as
  // they are written (without waiting for it), so that a final sync of a
  // large file waits only for its tail.
  void StartWriteback(std::int64_t chunkBytes) { writebackChunk_ = chunkBytes; }
  // Writes through `source` (not owned; null: plain writes), and hands large
  // writes over unbuffered, with the caller's memory.
  void WriteThrough(ByteSource* source) {
    source_ = source;
    if (io_ != nullptr) io_->direct = source != nullptr;
  }

  AVIOContext* io() const { return io_; }
  int fd() const { return fd_; }
  // The errno of the first failed write, seek or sync; 0 while none failed.
  int error() const { return error_.load(); }
  // Bytes handed to the kernel so far, and the file's size as written.
  std::int64_t size() const { return size_; }

  // Hands the buffered bytes to the kernel and lets the sync thread know.
  void Flush();
  // Flushes, stops the sync thread, syncs the file (when `sync`) and closes
  // it. Returns 0 or the errno of the first failure (earlier ones included).
  int Close(bool sync);

 private:
  static int WritePacket(void* opaque, std::uint8_t* data, int size);
  static std::int64_t Seek(void* opaque, std::int64_t offset, int whence);
  int WriteAll(const std::uint8_t* data, int size);
  void NoteError(int err);
  void SyncLoop(int periodMs);
  void StopSyncing();

  // Owned by the writing thread.
  int fd_ = -1;
  bool ownsFd_ = false;
  AVIOContext* io_ = nullptr;
  std::int64_t position_ = 0;
  std::int64_t size_ = 0;
  ByteSource* source_ = nullptr;
  std::int64_t writebackChunk_ = 0;
  std::int64_t writtenBack_ = 0;  // bytes from the start already sent to disk
  // Written by either thread (first failure wins), read by both.
  std::atomic<int> error_{0};

  // Sync thread state: `dirty_` is set by the writer, cleared by the syncer.
  std::thread syncThread_;
  std::mutex syncLock_;
  std::condition_variable syncCond_;
  bool dirty_ = false;       // guarded by syncLock_
  bool stopSyncing_ = false;  // guarded by syncLock_
};

}  // namespace tarn
