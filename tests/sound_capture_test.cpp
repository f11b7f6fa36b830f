// Sound captures against the test rig's sound server ($PULSE_SERVER, default
// sink "speaker"): a tone played with ffmpeg is read back from the loopback,
// silence is no failure, a missing source fails the open, a sink or source
// removed under the stream ends it. Against a server of the test's own: a
// server that stops answering holds no read, and a killed one ends the stream.

#include <gtest/gtest.h>
#include <signal.h>
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
#include "tests/support/sound_capture_support.h"
#include "tests/support/temp_dir.h"

extern char** environ;

namespace tarn::platform {
namespace {

using Clock = std::chrono::steady_clock;

using test::Captured;
using test::CommandOutput;
using test::FirstChannel;
using test::ReadWhile;

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

// Read must hand back what is waiting, never wait for more: a read that
// waited would take about a fragment each time. A loaded machine may stall
// the reading thread now and then, so a few reads may take longer, never
// most of them, and none long.
void ExpectReadsNeverWait(const Captured& capture) {
  constexpr auto kQuickRead = std::chrono::milliseconds(20);
  constexpr auto kStalledRead = std::chrono::milliseconds(250);
  std::size_t slow = 0;
  for (const auto took : capture.readTimes) {
    EXPECT_LT(took, kStalledRead);
    if (took >= kQuickRead) ++slow;
  }
  EXPECT_LE(slow, 2 + capture.readTimes.size() / 20) << "of " << capture.readTimes.size() << " reads";
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
  const Captured capture = ReadWhile(*loopback, std::chrono::seconds(6), [&] {
    if (!playerDone && player.Exited()) playerDone = Clock::now();
    return playerDone && Clock::now() - *playerDone > std::chrono::milliseconds(300);
  });
  const double readSeconds = std::chrono::duration<double>(Clock::now() - start).count();

  for (const int got : capture.results) {
    ASSERT_GE(got, 0);
    ASSERT_EQ(got % frameBytes, 0) << "a read ended inside a frame";
  }
  ExpectReadsNeverWait(capture);
  const double capturedSeconds =
      static_cast<double>(capture.bytes.size()) / (static_cast<double>(rate) * frameBytes);
  EXPECT_GE(capturedSeconds, kToneSeconds * 0.9);
  EXPECT_LE(capturedSeconds, readSeconds * 1.05) << "more sound than time went by";

  // The tone in 10 ms blocks: loud blocks for about its duration, and in them
  // the power at 1 kHz, not at a nearby frequency (sound read at a wrong rate
  // would move the tone: 48 kHz read as 44.1 kHz puts it at 919 Hz). Power
  // rather than zero crossings, so that sound the server drops on a loaded
  // machine does not count as a wrong frequency.
  const std::vector<double> samples = FirstChannel(capture.bytes, channels);
  const std::size_t block = static_cast<std::size_t>(rate) / 100;
  std::vector<double> loud;  // the loud blocks, one after the other
  int loudBlocks = 0;
  for (std::size_t at = 0; at + block <= samples.size(); at += block) {
    double sum = 0;
    for (std::size_t i = at; i < at + block; ++i) sum += samples[i] * samples[i];
    if (std::sqrt(sum / block) < 0.005) continue;  // the tone's RMS is about 0.09
    ++loudBlocks;
    loud.insert(loud.end(), samples.begin() + at, samples.begin() + at + block);
  }
  // In 100 ms windows, fine enough to tell 1000 Hz from 919 Hz.
  const std::size_t window = static_cast<std::size_t>(rate) / 10;
  auto power = [&](std::size_t at, double frequency) {
    const double coefficient = 2 * std::cos(2 * M_PI * frequency / rate);
    double s1 = 0, s2 = 0;
    for (std::size_t i = at; i < at + window; ++i) {
      const double v = loud[i] + coefficient * s1 - s2;
      s2 = s1;
      s1 = v;
    }
    return s1 * s1 + s2 * s2 - coefficient * s1 * s2;
  };
  double atTone = 0, beside = 0;
  for (std::size_t at = 0; at + window <= loud.size(); at += window) {
    atTone += power(at, 1000);
    beside += std::max(power(at, 919), power(at, 1088));
  }
  const double loudSeconds = loudBlocks / 100.0;
  EXPECT_NEAR(loudSeconds, kToneSeconds, 0.25);
  ASSERT_GT(loudBlocks, 0);
  EXPECT_GT(atTone, 20 * beside) << "the tone is not at 1 kHz";
}

TEST_F(LoopbackCaptureTest, NothingPlayingIsSilenceNotFailure) {
  auto loopback = CreateLoopbackCapture();
  ASSERT_TRUE(loopback->Open());
  const int frameBytes = loopback->channels() * 4;
  const Captured capture = ReadWhile(*loopback, std::chrono::seconds(1), [] { return false; });
  ASSERT_FALSE(capture.results.empty());
  for (const int got : capture.results) {
    ASSERT_GE(got, 0);
    ASSERT_EQ(got % frameBytes, 0);
  }
  ExpectReadsNeverWait(capture);
  for (const std::uint8_t byte : capture.bytes) ASSERT_EQ(byte, 0) << "sound while nothing plays";
}

// Loads a second null sink, the default one with `makeDefault`; unloads it
// (if still there) and puts "speaker" back at the end.
class TemporarySink {
 public:
  explicit TemporarySink(bool makeDefault) : madeDefault_(makeDefault) {
    const std::string id =
        CommandOutput("pactl load-module module-null-sink sink_name=tmp_sink 2>/dev/null");
    module_ = std::atoi(id.c_str());
    if (module_ > 0 && makeDefault) std::system("pactl set-default-sink tmp_sink");
  }
  ~TemporarySink() {
    Unload();
    if (madeDefault_) std::system("pactl set-default-sink speaker");
  }
  bool loaded() const { return module_ > 0; }
  bool Unload() {
    if (module_ <= 0) return true;
    const bool ok = std::system(("pactl unload-module " + std::to_string(module_)).c_str()) == 0;
    module_ = -1;
    return ok;
  }

 private:
  const bool madeDefault_;
  int module_ = -1;
};

// Reads until the capture reports its end: within a second, and for good.
void ExpectEndWithinASecond(SoundCapture& capture) {
  const auto start = Clock::now();
  const Captured after = ReadWhile(capture, std::chrono::seconds(2), [] { return false; });
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  ASSERT_FALSE(after.results.empty());
  EXPECT_EQ(after.results.back(), -1);
  EXPECT_LT(seconds, 1.0);
  ExpectReadsNeverWait(after);
  std::vector<std::uint8_t> more;
  std::int64_t stampUs = 0;
  EXPECT_EQ(capture.Read(more, stampUs), -1) << "the end is reported again";
  EXPECT_TRUE(more.empty());
}

// The loopback follows the default sink; a source capture is given the
// monitor of the sink by name. Either ends when the sink is unloaded.
TEST_F(LoopbackCaptureTest, RemovedSinkOrSourceEndsTheStream) {
  for (const bool loopback : {true, false}) {
    SCOPED_TRACE(loopback ? "loopback of the default sink" : "source tmp_sink.monitor");
    auto capture = loopback ? CreateLoopbackCapture() : CreateSourceCapture("tmp_sink.monitor");
    {
      TemporarySink sink(loopback);
      ASSERT_TRUE(sink.loaded()) << "cannot load a null sink";
      ASSERT_TRUE(capture->Open());
      const Captured before =
          ReadWhile(*capture, std::chrono::milliseconds(200), [] { return false; });
      ASSERT_FALSE(before.results.empty());
      EXPECT_GE(before.results.back(), 0);
      ASSERT_TRUE(sink.Unload());
    }
    ExpectEndWithinASecond(*capture);
  }
}

TEST_F(LoopbackCaptureTest, MissingSourceFailsTheOpenAtOnce) {
  auto capture = CreateSourceCapture("no_such_source");
  const auto start = Clock::now();
  EXPECT_FALSE(capture->Open(2000));
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1000));
  std::vector<std::uint8_t> bytes;
  std::int64_t stampUs = 0;
  EXPECT_EQ(capture->Read(bytes, stampUs), -1);
}

// A PulseAudio server of the test's own with one null sink (the default),
// so that it can be stopped and killed without disturbing the rig's.
class PrivateServer {
 public:
  PrivateServer() {
    const std::string script = folder_ / "default.pa";
    std::FILE* file = std::fopen(script.c_str(), "w");
    if (file == nullptr) return;
    std::fprintf(file,
                 "load-module module-native-protocol-unix auth-anonymous=1 socket=%s\n"
                 "load-module module-null-sink sink_name=private_sink\n"
                 "set-default-sink private_sink\n",
                 (folder_ / "native").c_str());
    std::fclose(file);
    std::vector<std::string> env = {
        "HOME=" + folder_.path(), "XDG_RUNTIME_DIR=" + folder_.path(),
        "PATH=" + std::string(std::getenv("PATH") ? std::getenv("PATH") : "")};
    std::vector<std::string> args = {"pulseaudio",
                                     "-n",
                                     "--daemonize=no",
                                     "--exit-idle-time=-1",
                                     "--use-pid-file=no",
                                     "--system=false",
                                     "-F",
                                     script};
    std::vector<char*> argv, envp;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    for (std::string& var : env) envp.push_back(var.data());
    envp.push_back(nullptr);
    if (::posix_spawnp(&pid_, argv[0], nullptr, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
  }
  ~PrivateServer() { Kill(); }
  PrivateServer(const PrivateServer&) = delete;
  PrivateServer& operator=(const PrivateServer&) = delete;

  // Waits up to ten seconds for the server to answer.
  bool WaitReady() {
    if (pid_ <= 0) return false;
    const std::string check = "PULSE_SERVER=" + address() + " pactl info >/dev/null 2>&1";
    for (int i = 0; i < 100; ++i) {
      if (std::system(check.c_str()) == 0) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }
  std::string address() const { return "unix:" + (folder_ / "native"); }
  void Stop() {
    if (pid_ > 0) ::kill(pid_, SIGSTOP);
  }
  void Kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  test::TempDir folder_;
  pid_t pid_ = -1;
};

TEST(SoundCaptureServerGoneTest, StoppedServerHoldsNoReadAndKilledOneEndsTheStream) {
  if (std::system("command -v pulseaudio >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "pulseaudio is not installed (scripts/install-deps.sh installs it)";
  }
  PrivateServer server;
  ASSERT_TRUE(server.WaitReady()) << "the private PulseAudio server did not start";
  test::ScopedEnv address("PULSE_SERVER", server.address());
  std::unique_ptr<SoundCapture> captures[] = {CreateLoopbackCapture(),
                                              CreateSourceCapture("private_sink.monitor")};
  for (auto& capture : captures) ASSERT_TRUE(capture->Open());
  for (auto& capture : captures) {
    const Captured running =
        ReadWhile(*capture, std::chrono::milliseconds(200), [] { return false; });
    EXPECT_GE(running.results.back(), 0);
  }

  server.Stop();  // it keeps its socket but answers nothing
  for (auto& capture : captures) {
    const Captured stopped =
        ReadWhile(*capture, std::chrono::milliseconds(300), [] { return false; });
    for (const int got : stopped.results) EXPECT_GE(got, 0);
    ExpectReadsNeverWait(stopped);
  }

  server.Kill();
  for (auto& capture : captures) ExpectEndWithinASecond(*capture);
}

TEST(SoundCaptureNoServerTest, OpenFailsWithinTheTimeoutAndReadReportsTheEnd) {
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
    for (auto& capture : {CreateLoopbackCapture(), CreateSourceCapture("")}) {
      std::vector<std::uint8_t> bytes;
      std::int64_t stampUs = 0;
      EXPECT_EQ(capture->Read(bytes, stampUs), -1) << "read before open";
      const auto start = Clock::now();
      EXPECT_FALSE(capture->Open(400));
      EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(700));
      EXPECT_EQ(capture->Read(bytes, stampUs), -1);
      EXPECT_TRUE(bytes.empty());
    }
  }
}

}  // namespace
}  // namespace tarn::platform
