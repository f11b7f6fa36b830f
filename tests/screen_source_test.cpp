// The screen source's packets on the test display: each is its memory's only
// holder and may be written, so the watermark is drawn into it without a copy.

#include "recorder/screen_source.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>

namespace tarn {
namespace {

// Keeps the first few packets the source delivers.
class KeepingSink : public VideoSink {
 public:
  void OnVideoPacket(av::PacketPtr packet) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (packets_.size() < 3) packets_.push_back(std::move(packet));
    cond_.notify_all();
  }
  bool WaitUntilRunning(bool* resumed) override {
    if (resumed != nullptr) *resumed = false;
    return true;
  }
  void OnSourceEnded(const std::string&) override {}

  bool WaitForPackets(std::size_t count, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    return cond_.wait_for(lock, timeout, [&] { return packets_.size() >= count; });
  }
  std::vector<av::PacketPtr> Take() {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::move(packets_);
  }

 private:
  std::mutex mutex_;
  std::condition_variable cond_;
  std::vector<av::PacketPtr> packets_;
};

TEST(ScreenSourceTest, PacketsAreTheOnlyHoldersOfTheirWritableMemory) {
  if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "DISPLAY is not set: no screen to capture";
  ScreenSourceOptions options;
  options.frameRate = 30;
  options.regionMode = true;
  options.width = 320;
  options.height = 240;
  ScreenSource source(options);
  std::string error;
  ASSERT_EQ(source.Open(error), 0) << error;
  KeepingSink sink;
  source.Start(sink);
  const bool delivered = sink.WaitForPackets(3, std::chrono::seconds(10));
  source.Stop();
  ASSERT_TRUE(delivered);
  for (const av::PacketPtr& packet : sink.Take()) {
    ASSERT_NE(packet->buf, nullptr);
    EXPECT_TRUE(av_buffer_is_writable(packet->buf));
  }
}

}  // namespace
}  // namespace tarn
