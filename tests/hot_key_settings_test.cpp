#include "settings/hot_key_settings.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "tests/support/temp_dir.h"

namespace tarn {
namespace {

class HotKeySettingsTest : public ::testing::Test {
 protected:
  void WriteIni(const std::string& text) { std::ofstream(store_.path(), std::ios::binary) << text; }

  test::TempDir dir_;
  SettingsStore store_{dir_ / "configure.ini"};
};

TEST_F(HotKeySettingsTest, PairFallsBackWhenEitherHalfIsZero) {
  const struct {
    const char* what;
    const char* entries;  // lines of the [hotkey] section, with <p> for the pair's prefix
    bool configured;
  } cases[] = {
      {"nothing stored", "", false},
      {"modifiers 0", "<p>1=0\n<p>2=120\n", false},
      {"virtual key 0", "<p>1=2\n<p>2=0\n", false},
      {"virtual key missing", "<p>1=2\n", false},
      {"not a number", "<p>1=ctrl\n<p>2=120\n", false},
      {"both set", "<p>1=6\n<p>2=120\n", true},
  };
  for (const auto& c : cases) {
    for (const bool startPause : {true, false}) {
      SCOPED_TRACE(std::string(c.what) + (startPause ? " (start/pause)" : " (stop)"));
      std::string entries = c.entries;
      const std::string prefix = startPause ? "start-pause-key" : "stop-key";
      for (std::size_t at; (at = entries.find("<p>")) != std::string::npos;) {
        entries.replace(at, 3, prefix);
      }
      WriteIni("[hotkey]\n" + entries);
      const HotKey expected = c.configured ? HotKey{6, 120}
                              : startPause ? HotKey{kHotKeyModAlt, kVirtualKeyF8}
                                           : HotKey{kHotKeyModAlt, kVirtualKeyF12};
      const HotKey read = startPause ? ReadStartPauseHotKey(store_) : ReadStopHotKey(store_);
      EXPECT_EQ(read, expected);
      // The other pair is untouched by this one's entries.
      const HotKey other = startPause ? ReadStopHotKey(store_) : ReadStartPauseHotKey(store_);
      EXPECT_EQ(other, startPause ? kStopHotKeyDefault : kStartPauseHotKeyDefault);
    }
  }
}

TEST_F(HotKeySettingsTest, WriteStoresBothHalvesAsDecimalText) {
  WriteStartPauseHotKey(store_, {kHotKeyModCtrl | kHotKeyModShift, 65});
  WriteStopHotKey(store_, {kHotKeyModAlt, 120});
  std::ostringstream text;
  text << std::ifstream(store_.path()).rdbuf();
  EXPECT_EQ(text.str(),
            "[hotkey]\nstart-pause-key1=6\nstart-pause-key2=65\nstop-key1=1\nstop-key2=120\n");
  EXPECT_EQ(ReadStartPauseHotKey(store_), (HotKey{6, 65}));
  EXPECT_EQ(ReadStopHotKey(store_), (HotKey{1, 120}));
}

}  // namespace
}  // namespace tarn
