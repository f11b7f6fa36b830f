#pragma once
// A blocking queue of owned FFmpeg packets between one producer and one
// consumer thread. All methods are thread-safe.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>

#include "recorder/ffmpeg_holders.h"

namespace tarn {

class PacketQueue {
 public:
  // How long Pop waits at a time before it looks at the stop flag again.
  static constexpr int kPopWaitMs = 400;

  // Appends a packet and wakes the consumer. Takes ownership.
  void Push(av::PacketPtr packet);

  // The front packet; waits while the queue is empty. Returns null once the
  // queue is stopped and empty.
  av::PacketPtr Pop();

  // As Pop, but gives up after `timeoutMs` with null.
  av::PacketPtr PopFor(int timeoutMs);

  std::size_t Size() const;
  // The bytes of packet data queued.
  std::size_t Bytes() const;

  // Frees every queued packet.
  void Drain();

  // After Stop, Pop returns what is left and then null without waiting.
  void Stop();
  // Lets Pop wait again (for the next recording).
  void ClearStop();
  bool IsStopped() const;

 private:
  av::PacketPtr TakeFront();  // with mutex_ held, the queue not empty

  mutable std::mutex mutex_;
  std::condition_variable cond_;
  std::deque<av::PacketPtr> packets_;  // guarded by mutex_
  std::size_t bytes_ = 0;              // guarded by mutex_
  bool stopped_ = false;               // guarded by mutex_
};

}  // namespace tarn
