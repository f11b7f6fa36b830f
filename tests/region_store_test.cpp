// What a double click in the snapshot selector stores: the selection's
// top-left and its size rounded up to even, or the whole screen's size for a
// selection that is too thin or too large.

#include <gtest/gtest.h>

#include <ostream>

#include "ui/overlay/user_define_region.h"

namespace tarn::ui {

std::ostream& operator<<(std::ostream& out, const StoredRegion& r) {
  return out << r.width << "x" << r.height << " at " << r.x << "," << r.y;
}

namespace {

TEST(RegionToStoreTest, EvenSizesAndTheScreenForSelectionsOutOfRange) {
  struct Case {
    const char* what;
    TrackerRect selection;
    StoredRegion want;
  };
  const Case cases[] = {
      {"101 x 75 rounds up to even", {10, 20, 111, 95}, {10, 20, 102, 76}},
      {"even sizes stay", {10, 20, 110, 96}, {10, 20, 100, 76}},
      {"2 pixels wide: the screen's size at the selection",
       {500, 300, 502, 400},
       {500, 300, 1920, 1080}},
      {"2 pixels high too", {500, 300, 700, 302}, {500, 300, 1920, 1080}},
      {"3 pixels is enough", {500, 300, 503, 303}, {500, 300, 4, 4}},
      {"nothing selected: the whole screen", {0, 0, 0, 0}, {0, 0, 1920, 1080}},
      {"the whole screen", {0, 0, 1920, 1080}, {0, 0, 1920, 1080}},
      {"wider than the screen", {-1, 0, 1920, 100}, {-1, 0, 1920, 1080}},
      {"inverted: its top-left corner", {111, 95, 10, 20}, {10, 20, 102, 76}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(RegionToStore(c.selection, 1920, 1080), c.want);
  }
}

}  // namespace
}  // namespace tarn::ui
