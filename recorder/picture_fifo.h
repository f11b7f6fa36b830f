#pragma once
// A bounded FIFO of raw YUV 4:2:0 pictures between the video decode thread
// (the writer) and the video encode thread (the reader). Each picture is stored
// as its Y plane followed by the U and V planes, without padding. Picture
// buffers are made on demand and reused, so memory follows how many pictures
// are really waiting, not the capacity. All methods are thread-safe.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace tarn {

class PictureFifo {
 public:
  // How long a full Write or an empty Read waits before looking again.
  static constexpr int kWriteWaitMs = 400;
  static constexpr int kReadWaitMs = 10;

  // Room for `capacity` pictures of width x height (both even).
  PictureFifo(int width, int height, int capacity);

  std::size_t pictureSize() const { return pictureSize_; }
  int width() const { return width_; }
  int height() const { return height_; }

  // One picture's memory: pictureSize() bytes, Y then U then V.
  using Buffer = std::unique_ptr<std::uint8_t[]>;

  // Copies one picture in from three planes with their line sizes, with its
  // capture time. Waits while the FIFO is full; drops the picture (returns
  // false) once the reader is gone.
  bool Write(const std::uint8_t* const planes[3], const int lineSizes[3], std::int64_t stampUs = 0);

  // Writing without a copy: AcquireWrite waits for room as Write does and
  // returns a buffer to fill (null once the reader is gone); CommitWrite
  // queues it. One writer at a time.
  Buffer AcquireWrite();
  void CommitWrite(Buffer buffer, std::int64_t stampUs = 0);

  enum class ReadResult {
    kPicture,  // one picture was copied into `out`
    kTimeout,  // nothing arrived within the wait
    kEnded,    // the writer closed the FIFO and every picture was read
  };
  // Copies the oldest picture into `out` (pictureSize() bytes), waiting at most
  // `timeoutMs` for one.
  ReadResult Read(std::uint8_t* out, int timeoutMs = kReadWaitMs);

  // Reading without a copy: the oldest picture's buffer is moved into `out`
  // (and its capture time into `stampUs` when given); hand it back with
  // Recycle when done with it.
  ReadResult ReadBuffer(Buffer& out, int timeoutMs = kReadWaitMs, std::int64_t* stampUs = nullptr);
  void Recycle(Buffer buffer);

  // The writer is done: readers get what is left, then kEnded.
  void Close();
  // The reader is gone: writers stop waiting for room and drop pictures.
  void MarkReaderGone();

  std::size_t Count() const;

 private:
  const int width_;
  const int height_;
  const std::size_t pictureSize_;
  const std::size_t capacity_;

  mutable std::mutex mutex_;
  std::condition_variable cond_;
  struct Queued {
    Buffer buffer;
    std::int64_t stampUs;
  };
  std::deque<Queued> queued_;  // oldest first; guarded by mutex_
  std::vector<Buffer> spare_;  // buffers to reuse; guarded by mutex_
  bool closed_ = false;        // guarded by mutex_
  bool readerGone_ = false;    // guarded by mutex_
};

}  // namespace tarn
