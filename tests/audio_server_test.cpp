// The sound server queries against the test rig's PulseAudio ($PULSE_SERVER):
// a null sink "speaker" is the default sink and a remapped source
// "microphone" ("Microphone") the default source. Also what the queries do
// when no server is there or when its socket never answers.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/audio_devices.h"
#include "tests/support/command_output.h"
#include "tests/support/silent_socket.h"
#include "tests/support/temp_dir.h"

namespace tarn::platform {
namespace {

using Clock = std::chrono::steady_clock;

using test::CommandOutput;

bool ServerReachable() { return std::system("pactl info >/dev/null 2>&1") == 0; }

#define SKIP_WITHOUT_SERVER()                                                        \
  if (!ServerReachable())                                                            \
  GTEST_SKIP() << "no PulseAudio server is reachable ($PULSE_SERVER); start it with " \
                  "scripts/test-rig.sh"

// The sample rate, channel count and monitor of a sink, as pactl shows them.
struct PactlSink {
  int rate = 0;
  int channels = 0;
  std::string monitor;
};

PactlSink PactlSinkInfo(const std::string& name) {
  std::istringstream lines(CommandOutput("LC_ALL=C pactl list sinks"));
  PactlSink sink;
  bool inSink = false;
  for (std::string line; std::getline(lines, line);) {
    const auto start = line.find_first_not_of(" \t");
    if (start == std::string::npos) continue;
    const std::string text = line.substr(start);
    if (text.rfind("Name: ", 0) == 0) inSink = text.substr(6) == name;
    if (!inSink) continue;
    // The sample format line: "<label>: s16le 2ch 44100Hz".
    char format[32] = {};
    const std::size_t colon = text.find(": ");
    if (text.rfind("Sample ", 0) == 0 && colon != std::string::npos &&
        std::sscanf(text.c_str() + colon + 2, "%31s %dch %dHz", format, &sink.channels, &sink.rate) == 3) {
      continue;
    }
    if (text.rfind("Monitor Source: ", 0) == 0) sink.monitor = text.substr(16);
  }
  return sink;
}

TEST(AudioServerTest, DefaultsAreTheRigSpeakerAndMicrophone) {
  SKIP_WITHOUT_SERVER();
  const PactlSink expected = PactlSinkInfo("speaker");
  ASSERT_GT(expected.rate, 0) << "pactl shows no sink \"speaker\"";

  AudioServerInfo info;
  ASSERT_TRUE(QueryAudioServer(info));
  EXPECT_EQ(info.defaultSinkName, "speaker");
  EXPECT_EQ(info.sinkRate, expected.rate);
  EXPECT_EQ(info.sinkChannels, expected.channels);
  EXPECT_EQ(info.defaultSinkMonitor, expected.monitor);
  EXPECT_FALSE(info.defaultSinkMonitor.empty());
  EXPECT_EQ(info.defaultSourceName, "microphone");
  EXPECT_EQ(info.defaultSourceDescription, "Microphone");
  EXPECT_FALSE(info.defaultSourceIsMonitor);
}

TEST(AudioServerTest, MonitorAsDefaultSourceIsReportedAsMonitor) {
  SKIP_WITHOUT_SERVER();
  ASSERT_EQ(std::system("pactl set-default-source speaker.monitor"), 0);
  AudioServerInfo info;
  const bool answered = QueryAudioServer(info);
  ASSERT_EQ(std::system("pactl set-default-source microphone"), 0);

  ASSERT_TRUE(answered);
  EXPECT_EQ(info.defaultSourceName, "speaker.monitor");
  EXPECT_TRUE(info.defaultSourceIsMonitor);
}

TEST(AudioServerTest, SourceListHasTheMicrophoneAndNoMonitors) {
  SKIP_WITHOUT_SERVER();
  std::vector<AudioSourceInfo> sources;
  ASSERT_TRUE(ListAudioSources(sources));
  bool foundMicrophone = false;
  for (const AudioSourceInfo& source : sources) {
    SCOPED_TRACE(source.name);
    EXPECT_EQ(source.name.find(".monitor"), std::string::npos);
    if (source.name == "microphone") {
      foundMicrophone = true;
      EXPECT_EQ(source.description, "Microphone");
    }
  }
  EXPECT_TRUE(foundMicrophone);
}


struct NoServerCase {
  const char* label;
  std::function<bool(int timeoutMs)> call;
};

const NoServerCase kNoServerCases[] = {
    {"QueryAudioServer",
     [](int timeoutMs) {
       AudioServerInfo info;
       return QueryAudioServer(info, timeoutMs);
     }},
    {"ListAudioSources",
     [](int timeoutMs) {
       std::vector<AudioSourceInfo> sources;
       return ListAudioSources(sources, timeoutMs);
     }},
};

long long MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

TEST(AudioServerNoServerTest, MissingSocketAnswersFalseAtOnce) {
  test::ScopedEnv server("PULSE_SERVER", "unix:/nonexistent/socket");
  for (const NoServerCase& test : kNoServerCases) {
    SCOPED_TRACE(test.label);
    const auto start = Clock::now();
    EXPECT_FALSE(test.call(2000));
    EXPECT_LT(MillisecondsSince(start), 1000);
  }
}

TEST(AudioServerNoServerTest, SilentSocketAnswersFalseWithinTheTimeout) {
  test::TempDir folder;
  test::SilentSocket silent(folder / "native");
  ASSERT_TRUE(silent.listening());
  test::ScopedEnv server("PULSE_SERVER", "unix:" + (folder / "native"));
  constexpr int kTimeoutMs = 400;
  for (const NoServerCase& test : kNoServerCases) {
    SCOPED_TRACE(test.label);
    const auto start = Clock::now();
    EXPECT_FALSE(test.call(kTimeoutMs));
    const long long elapsedMs = MillisecondsSince(start);
    EXPECT_GE(elapsedMs, kTimeoutMs - 50);  // it did wait for an answer
    EXPECT_LT(elapsedMs, kTimeoutMs + 300);
  }
}

}  // namespace
}  // namespace tarn::platform
