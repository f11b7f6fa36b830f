// The video capture device list, pointed with TARN_DEV_DIR at folders of the
// test's own (nothing there is a V4L2 device), and on the real /dev.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "platform/audio_devices.h"
#include "tests/support/temp_dir.h"

namespace tarn::platform {
namespace {

TEST(VideoDevicesTest, FolderWithoutDevicesGivesAnEmptyList) {
  test::TempDir folder;
  {
    SCOPED_TRACE("empty folder");
    test::ScopedEnv dir("TARN_DEV_DIR", folder.path());
    EXPECT_TRUE(ListVideoCaptureDevices().empty());
  }
  {
    SCOPED_TRACE("missing folder");
    test::ScopedEnv dir("TARN_DEV_DIR", folder / "absent");
    EXPECT_TRUE(ListVideoCaptureDevices().empty());
  }
}

TEST(VideoDevicesTest, EntriesThatAreNotDevicesAreLeftOut) {
  test::TempDir folder;
  std::ofstream(folder / "video0") << "not a device";
  ASSERT_EQ(::mkdir((folder / "video1").c_str(), 0755), 0);
  // A FIFO nobody writes to: opening it must not wait for a writer.
  ASSERT_EQ(::mkfifo((folder / "video2").c_str(), 0600), 0);
  std::ofstream(folder / "videoX") << "not a device name";
  test::ScopedEnv dir("TARN_DEV_DIR", folder.path() + "/");
  EXPECT_TRUE(ListVideoCaptureDevices().empty());
}

TEST(VideoDevicesTest, RealDevicesAreListedByNumber) {
  test::ScopedEnv dir("TARN_DEV_DIR", std::nullopt);
  const std::vector<VideoDeviceInfo> devices = ListVideoCaptureDevices();
  long previous = -1;
  for (const VideoDeviceInfo& device : devices) {
    SCOPED_TRACE(device.path);
    ASSERT_EQ(device.path.rfind("/dev/video", 0), 0u);
    const long number = std::stol(device.path.substr(10));
    EXPECT_GT(number, previous);
    previous = number;
    EXPECT_LE(device.card.size(), 32u);
  }
  if (devices.empty()) GTEST_SKIP() << "this machine has no video capture device";
}

}  // namespace
}  // namespace tarn::platform
