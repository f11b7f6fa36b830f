#include "recorder/containers.h"

#include <gtest/gtest.h>

namespace tarn {
namespace {

TEST(ContainersTest, EachFormatHasItsExtensionAndMuxer) {
  struct Case {
    const char* format;
    const char* radio;
    const char* muxer;
  };
  const Case cases[] = {{"mp4", "radio_mp4", "mp4"}, {"flv", "radio_flv", "flv"},
                        {"wmv", "radio_wmv", "asf"}, {"avi", "radio_avi", "avi"},
                        {"mov", "radio_mov", "mov"}, {"mkv", "radio_mkv", "matroska"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    const auto choice = ContainerForFormat(c.format);
    ASSERT_TRUE(choice);
    EXPECT_EQ(choice->extension, c.format);
    EXPECT_EQ(choice->radioName, c.radio);
    EXPECT_EQ(choice->muxer, c.muxer);
  }
  for (const char* other : {"", "MP4", "webm", "matroska", "asf"}) {
    EXPECT_FALSE(ContainerForFormat(other)) << other;
  }
}

TEST(ContainersTest, TheFloatingPanelStaysInsideTheWorkArea) {
  struct Case {
    int top, right, x, y;
  };
  // A 1920 x 1040 work area; the panel is 120 x 28.
  const Case cases[] = {
      {50, 50, 1750, 50},   // the defaults
      {-10, 50, 1750, 0},   // above the top: at the top
      {5000, 50, 1750, 1012},  // below the bottom: at the bottom
      {50, 99999, 0, 50},   // far left: at the left edge
      {50, -30, 1800, 50},  // past the right edge: at the right edge
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "top " << c.top << " right " << c.right);
    const PanelPosition p = PlaceFloatingPanel(1920, 1040, c.top, c.right);
    EXPECT_EQ(p.x, c.x);
    EXPECT_EQ(p.y, c.y);
  }
}

}  // namespace
}  // namespace tarn
