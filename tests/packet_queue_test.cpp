#include "recorder/packet_queue.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

namespace tarn {
namespace {

av::PacketPtr PacketOfSize(int size) {
  av::PacketPtr packet = av::MakePacket();
  EXPECT_EQ(av_new_packet(packet.get(), size), 0);
  return packet;
}

TEST(PacketQueueTest, KeepsOrderAndHandsOverOwnership) {
  PacketQueue queue;
  for (int size : {10, 20, 30}) queue.Push(PacketOfSize(size));
  EXPECT_EQ(queue.Size(), 3u);
  EXPECT_EQ(queue.Bytes(), 60u);
  for (int size : {10, 20, 30}) {
    av::PacketPtr packet = queue.Pop();
    ASSERT_TRUE(packet);
    EXPECT_EQ(packet->size, size);
  }
  EXPECT_EQ(queue.Size(), 0u);
  EXPECT_EQ(queue.Bytes(), 0u);
}

TEST(PacketQueueTest, StopWakesAWaitingConsumerAndLeftoversAreStillDelivered) {
  PacketQueue queue;
  auto consumer = std::async(std::launch::async, [&queue] { return queue.Pop(); });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  const auto stoppedAt = std::chrono::steady_clock::now();
  queue.Stop();
  EXPECT_EQ(consumer.wait_for(std::chrono::seconds(2)), std::future_status::ready);
  EXPECT_FALSE(consumer.get());
  EXPECT_LT(std::chrono::steady_clock::now() - stoppedAt, std::chrono::milliseconds(300));

  // After a stop, what was queued comes out first, then nothing, without waiting.
  queue.Push(PacketOfSize(5));
  EXPECT_TRUE(queue.Pop());
  EXPECT_FALSE(queue.Pop());

  // Cleared for the next recording, Pop waits again.
  queue.ClearStop();
  EXPECT_FALSE(queue.PopFor(30));
  queue.Push(PacketOfSize(7));
  av::PacketPtr packet = queue.PopFor(30);
  ASSERT_TRUE(packet);
  EXPECT_EQ(packet->size, 7);
}

TEST(PacketQueueTest, DrainFreesEverything) {
  PacketQueue queue;
  for (int i = 0; i < 100; ++i) queue.Push(PacketOfSize(1024));
  queue.Drain();
  EXPECT_EQ(queue.Size(), 0u);
  EXPECT_EQ(queue.Bytes(), 0u);
  queue.Stop();
  EXPECT_FALSE(queue.Pop());
}

TEST(PacketQueueTest, ProducerAndConsumerThreadsLoseNothing) {
  PacketQueue queue;
  constexpr int kCount = 2000;
  std::thread producer([&queue] {
    for (int i = 1; i <= kCount; ++i) queue.Push(PacketOfSize(i % 64 + 1));
    queue.Stop();
  });
  int received = 0;
  long long bytes = 0;
  while (av::PacketPtr packet = queue.Pop()) {
    ++received;
    bytes += packet->size;
  }
  producer.join();
  long long expected = 0;
  for (int i = 1; i <= kCount; ++i) expected += i % 64 + 1;
  EXPECT_EQ(received, kCount);
  EXPECT_EQ(bytes, expected);
}

}  // namespace
}  // namespace tarn
