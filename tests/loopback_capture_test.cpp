// The loopback of the default sink against the test rig's PulseAudio
// ($PULSE_SERVER, default sink "speaker"): a tone played with ffmpeg is read
// back, silence is no failure, and a sink removed under the stream ends it.

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/audio_devices.h"
#include "tests/support/command_output.h"
#include "tests/support/silent_socket.h"
#include "tests/support/temp_dir.h"

extern char** environ;

namespace tarn::platform {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPollPeriod = std::chrono::milliseconds(10);

using test::CommandOutput;

// A program started in the background and waited for at the end of the scope.
class Child {
 public:
  explicit Child(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    if (::posix_spawnp(&pid_, argv[0], nullptr, nullptr, argv.data(), environ) != 0) pid_ = -1;
  }
  ~Child() { Wait(); }
  bool started() const { return pid_ > 0; }
  bool Exited() {
    if (pid_ <= 0) return true;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) != pid_) return false;
    pid_ = -1;
    return true;
  }
  void Wait() {
    if (pid_ <= 0) return;
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
};

// What Read delivered, call by call.
struct Capture {
  std::vector<std::uint8_t> bytes;
  std::vector<int> results;
  Clock::duration longestRead{};
};

// Where Read puts the capture time when the tests do not look at it.
std::int64_t stampUs_ = 0;

// Read must hand back what is waiting, never wait for more.
constexpr auto kLongestAllowedRead = std::chrono::milliseconds(20);

// Reads every 10 ms until `stop` holds, a read fails or `limit` passes.
template <typename Stop>
Capture ReadWhile(SoundCapture& loopback, Clock::duration limit, Stop stop) {
  Capture capture;
  const auto end = Clock::now() + limit;
  while (Clock::now() < end && !stop()) {
    const auto before = Clock::now();
    std::int64_t stampUs = 0;
    const int got = loopback.Read(capture.bytes, stampUs);
    capture.longestRead = std::max(capture.longestRead, Clock::now() - before);
    capture.results.push_back(got);
    if (got < 0) break;
    std::this_thread::sleep_for(kPollPeriod);
  }
  return capture;
}

// Channel 0 of interleaved S32LE frames.
std::vector<double> FirstChannel(const std::vector<std::uint8_t>& bytes, int channels) {
  std::vector<double> samples;
  const std::size_t frameBytes = static_cast<std::size_t>(channels) * 4;
  for (std::size_t at = 0; at + frameBytes <= bytes.size(); at += frameBytes) {
    std::uint32_t raw = 0;
    for (int i = 0; i < 4; ++i) raw |= static_cast<std::uint32_t>(bytes[at + i]) << (8 * i);
    samples.push_back(static_cast<double>(static_cast<std::int32_t>(raw)));
  }
  return samples;
}

class LoopbackCaptureTest : public testing::Test {
 protected:
  void SetUp() override {
    if (std::system("pactl info >/dev/null 2>&1") != 0) {
      GTEST_SKIP() << "no PulseAudio server is reachable ($PULSE_SERVER); start it with "
                      "scripts/test-rig.sh";
    }
  }
};

TEST_F(LoopbackCaptureTest, ToneIntoTheDefaultSinkIsReadBack) {
  auto loopback = CreateLoopbackCapture();
  ASSERT_TRUE(loopback->Open());
  AudioServerInfo server;
  ASSERT_TRUE(QueryAudioServer(server));
  EXPECT_EQ(loopback->sampleRate(), server.sinkRate);
  EXPECT_EQ(loopback->channels(), server.sinkChannels);
  const int rate = loopback->sampleRate();
  const int channels = loopback->channels();
  const int frameBytes = channels * 4;
  ASSERT_GT(frameBytes, 0);

  constexpr double kToneSeconds = 2.0;
  // pacat plays everything before it exits; ffmpeg's own pulse output drops
  // what is still buffered when it ends, which on the rig is nearly all of it.
  Child player({"sh", "-c",
                "ffmpeg -nostdin -hide_banner -loglevel error -f lavfi "
                "-i sine=frequency=1000:duration=2 -f s16le -ac 2 -ar 44100 - | "
                "pacat --format=s16le --rate=44100 --channels=2"});
  ASSERT_TRUE(player.started()) << "cannot start the player";
  const auto start = Clock::now();
  // Until the player is done, then a little longer for what is still on its way.
  std::optional<Clock::time_point> playerDone;
  const Capture capture = ReadWhile(*loopback, std::chrono::seconds(6), [&] {
    if (!playerDone && player.Exited()) playerDone = Clock::now();
    return playerDone && Clock::now() - *playerDone > std::chrono::milliseconds(300);
  });
  const double readSeconds = std::chrono::duration<double>(Clock::now() - start).count();

  for (const int got : capture.results) {
    ASSERT_GE(got, 0);
    ASSERT_EQ(got % frameBytes, 0) << "a read ended inside a frame";
  }
  EXPECT_LT(capture.longestRead, kLongestAllowedRead);
  const double capturedSeconds =
      static_cast<double>(capture.bytes.size()) / (static_cast<double>(rate) * frameBytes);
  EXPECT_GE(capturedSeconds, kToneSeconds * 0.9);
  EXPECT_LE(capturedSeconds, readSeconds * 1.05) << "more sound than time went by";

  // The tone in 10 ms blocks: loud blocks for about its duration, and in them
  // about 2000 zero crossings a second (1 kHz).
  const std::vector<double> samples = FirstChannel(capture.bytes, channels);
  const std::size_t block = static_cast<std::size_t>(rate) / 100;
  int loudBlocks = 0;
  int crossings = 0;
  for (std::size_t at = 0; at + block <= samples.size(); at += block) {
    double sum = 0;
    for (std::size_t i = at; i < at + block; ++i) sum += samples[i] * samples[i];
    if (std::sqrt(sum / block) < 1e7) continue;  // the tone's RMS is about 1.9e8
    ++loudBlocks;
    for (std::size_t i = at + 1; i < at + block; ++i) {
      if ((samples[i - 1] < 0) != (samples[i] < 0)) ++crossings;
    }
  }
  const double loudSeconds = loudBlocks / 100.0;
  EXPECT_NEAR(loudSeconds, kToneSeconds, 0.25);
  ASSERT_GT(loudBlocks, 0);
  EXPECT_NEAR(crossings / loudSeconds, 2000.0, 100.0);
}

TEST_F(LoopbackCaptureTest, NothingPlayingIsSilenceNotFailure) {
  auto loopback = CreateLoopbackCapture();
  ASSERT_TRUE(loopback->Open());
  const int frameBytes = loopback->channels() * 4;
  const Capture capture = ReadWhile(*loopback, std::chrono::seconds(1), [] { return false; });
  ASSERT_FALSE(capture.results.empty());
  for (const int got : capture.results) {
    ASSERT_GE(got, 0);
    ASSERT_EQ(got % frameBytes, 0);
  }
  EXPECT_LT(capture.longestRead, kLongestAllowedRead);
  for (const std::uint8_t byte : capture.bytes) ASSERT_EQ(byte, 0) << "sound while nothing plays";
}

// Loads a second null sink and makes it the default; unloads it (if still
// there) and puts "speaker" back at the end.
class TemporarySink {
 public:
  TemporarySink() {
    const std::string id =
        CommandOutput("pactl load-module module-null-sink sink_name=tmp_sink 2>/dev/null");
    module_ = std::atoi(id.c_str());
    if (module_ > 0) std::system("pactl set-default-sink tmp_sink");
  }
  ~TemporarySink() {
    Unload();
    std::system("pactl set-default-sink speaker");
  }
  bool loaded() const { return module_ > 0; }
  bool Unload() {
    if (module_ <= 0) return true;
    const bool ok = std::system(("pactl unload-module " + std::to_string(module_)).c_str()) == 0;
    module_ = -1;
    return ok;
  }

 private:
  int module_ = -1;
};

TEST_F(LoopbackCaptureTest, RemovedSinkEndsTheStream) {
  auto loopback = CreateLoopbackCapture();
  {
    TemporarySink sink;
    ASSERT_TRUE(sink.loaded()) << "cannot load a null sink";
    ASSERT_TRUE(loopback->Open());
    const Capture before = ReadWhile(*loopback, std::chrono::milliseconds(200), [] { return false; });
    ASSERT_FALSE(before.results.empty());
    EXPECT_GE(before.results.back(), 0);
    ASSERT_TRUE(sink.Unload());
  }
  const auto start = Clock::now();
  const Capture after = ReadWhile(*loopback, std::chrono::seconds(2), [] { return false; });
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  ASSERT_FALSE(after.results.empty());
  EXPECT_EQ(after.results.back(), -1);
  EXPECT_LT(seconds, 1.0);
  std::vector<std::uint8_t> more;
  EXPECT_EQ(loopback->Read(more, stampUs_), -1) << "the end is reported again";
}


TEST(LoopbackCaptureNoServerTest, OpenFailsWithinTheTimeoutAndReadReportsTheEnd) {
  test::TempDir folder;
  test::SilentSocket silent(folder / "native");
  ASSERT_TRUE(silent.listening());
  struct Case {
    const char* label;
    std::string server;
  };
  for (const Case& test : {Case{"missing socket", "unix:/nonexistent/socket"},
                           Case{"silent socket", "unix:" + (folder / "native")}}) {
    SCOPED_TRACE(test.label);
    test::ScopedEnv server("PULSE_SERVER", test.server);
    auto loopback = CreateLoopbackCapture();
    std::vector<std::uint8_t> bytes;
    EXPECT_EQ(loopback->Read(bytes, stampUs_), -1) << "read before open";
    const auto start = Clock::now();
    EXPECT_FALSE(loopback->Open(400));
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(700));
    EXPECT_EQ(loopback->Read(bytes, stampUs_), -1);
    EXPECT_TRUE(bytes.empty());
  }
}

}  // namespace
}  // namespace tarn::platform
