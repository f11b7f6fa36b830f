// Entry of the GoogleTest programs that drive windows on a desktop: each run
// gets a private X server with a window manager (WmDesktop) and a
// QApplication on it. TARN_TEST_DESKTOP sets the screen ("1920x1080x24").
// Listing the tests needs no desktop.

#include <gtest/gtest.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "tests/support/wm_desktop.h"

int main(int argc, char** argv) {
  bool listing = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--gtest_list_tests", 18) == 0) listing = true;
  }
  std::unique_ptr<tarn::test::WmDesktop> desktop;
  if (listing) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  } else {
    desktop = std::make_unique<tarn::test::WmDesktop>();
    const char* size = std::getenv("TARN_TEST_DESKTOP");
    std::string whyNot;
    if (!desktop->Start(size != nullptr ? size : "1920x1080x24", whyNot)) {
      std::fprintf(stderr, "cannot start the test desktop: %s\n", whyNot.c_str());
      return 1;
    }
    ::setenv("DISPLAY", desktop->displayName().c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
  }
  int result = 0;
  {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    result = RUN_ALL_TESTS();
  }
  return result;
}
