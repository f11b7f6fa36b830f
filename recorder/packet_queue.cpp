#include "recorder/packet_queue.h"

#include <chrono>

namespace tarn {

void PacketQueue::Push(av::PacketPtr packet) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    bytes_ += static_cast<std::size_t>(packet->size);
    packets_.push_back(std::move(packet));
  }
  cond_.notify_one();
}

av::PacketPtr PacketQueue::Pop() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (packets_.empty()) {
    if (stopped_) return nullptr;
    cond_.wait_for(lock, std::chrono::milliseconds(kPopWaitMs));
  }
  return TakeFront();
}

av::PacketPtr PacketQueue::PopFor(int timeoutMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!cond_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                      [this] { return !packets_.empty() || stopped_; })) {
    return nullptr;
  }
  if (packets_.empty()) return nullptr;
  return TakeFront();
}

av::PacketPtr PacketQueue::TakeFront() {
  av::PacketPtr packet = std::move(packets_.front());
  packets_.pop_front();
  bytes_ -= static_cast<std::size_t>(packet->size);
  return packet;
}

std::size_t PacketQueue::Bytes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return bytes_;
}

std::size_t PacketQueue::Size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return packets_.size();
}

void PacketQueue::Drain() {
  std::deque<av::PacketPtr> old;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    old.swap(packets_);
    bytes_ = 0;
  }
}

void PacketQueue::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopped_ = true;
  }
  cond_.notify_all();
}

void PacketQueue::ClearStop() {
  std::lock_guard<std::mutex> lock(mutex_);
  stopped_ = false;
}

bool PacketQueue::IsStopped() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return stopped_;
}

}  // namespace tarn
