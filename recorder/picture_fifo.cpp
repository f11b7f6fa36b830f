#include "recorder/picture_fifo.h"

#include <chrono>
#include <cstring>

namespace tarn {

PictureFifo::PictureFifo(int width, int height, int capacity)
    : width_(width),
      height_(height),
      pictureSize_(static_cast<std::size_t>(width) * height * 3 / 2),
      capacity_(capacity > 0 ? static_cast<std::size_t>(capacity) : 1) {}

PictureFifo::Buffer PictureFifo::AcquireWrite() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (queued_.size() >= capacity_ && !readerGone_) {
    cond_.wait_for(lock, std::chrono::milliseconds(kWriteWaitMs));
  }
  if (readerGone_) return nullptr;
  Buffer buffer;
  if (!spare_.empty()) {
    buffer = std::move(spare_.back());
    spare_.pop_back();
  }
  lock.unlock();
  if (!buffer) buffer.reset(new std::uint8_t[pictureSize_]);
  return buffer;
}

void PictureFifo::CommitWrite(Buffer buffer, std::int64_t stampUs) {
  if (!buffer) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queued_.push_back({std::move(buffer), stampUs});
  }
  cond_.notify_all();
}

bool PictureFifo::Write(const std::uint8_t* const planes[3], const int lineSizes[3], std::int64_t stampUs) {
  Buffer buffer = AcquireWrite();
  if (!buffer) return false;
  std::uint8_t* out = buffer.get();
  const int planeWidths[3] = {width_, width_ / 2, width_ / 2};
  const int planeHeights[3] = {height_, height_ / 2, height_ / 2};
  for (int p = 0; p < 3; ++p) {
    for (int row = 0; row < planeHeights[p]; ++row) {
      std::memcpy(out, planes[p] + static_cast<std::ptrdiff_t>(row) * lineSizes[p],
                  planeWidths[p]);
      out += planeWidths[p];
    }
  }
  CommitWrite(std::move(buffer), stampUs);
  return true;
}

PictureFifo::ReadResult PictureFifo::ReadBuffer(Buffer& out, int timeoutMs, std::int64_t* stampUs) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!cond_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                      [this] { return !queued_.empty() || closed_; })) {
    return ReadResult::kTimeout;
  }
  if (queued_.empty()) return ReadResult::kEnded;
  out = std::move(queued_.front().buffer);
  if (stampUs != nullptr) *stampUs = queued_.front().stampUs;
  queued_.pop_front();
  lock.unlock();
  cond_.notify_all();
  return ReadResult::kPicture;
}

void PictureFifo::Recycle(Buffer buffer) {
  if (!buffer) return;
  std::lock_guard<std::mutex> lock(mutex_);
  spare_.push_back(std::move(buffer));
}

PictureFifo::ReadResult PictureFifo::Read(std::uint8_t* out, int timeoutMs) {
  Buffer buffer;
  const ReadResult result = ReadBuffer(buffer, timeoutMs);
  if (result == ReadResult::kPicture) {
    std::memcpy(out, buffer.get(), pictureSize_);
    Recycle(std::move(buffer));
  }
  return result;
}

void PictureFifo::Close() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
  }
  cond_.notify_all();
}

void PictureFifo::MarkReaderGone() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    readerGone_ = true;
  }
  cond_.notify_all();
}

std::size_t PictureFifo::Count() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return queued_.size();
}

}  // namespace tarn
