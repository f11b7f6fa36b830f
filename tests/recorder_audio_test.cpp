// Recordings with sound on the PulseAudio rig: speech played into the virtual
// microphone, a tone into the default speaker, and the band energies of the
// recorded track measured to tell which sources it holds.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>

#include "platform/screen_capture.h"
#include "recorder/audio/capture_devices.h"
#include "recorder/recorder.h"
#include "settings/settings_keys.h"
#include "settings/settings_store.h"
#include "tests/support/media_probe.h"
#include "tests/support/process_memory.h"
#include "tests/support/sound_capture_support.h"
#include "tests/support/temp_dir.h"
#include "tests/support/timed_recording.h"

namespace tarn {
namespace {

using namespace std::chrono_literals;

constexpr double kToneHz = 6000;

bool HaveCommand(const char* name) {
  return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

// Plays a file into a sink with paplay until destroyed.
class Player {
 public:
  Player(const std::string& file, const std::string& device) {
    pid_ = ::fork();
    if (pid_ == 0) {
      ::execlp("paplay", "paplay", ("--device=" + device).c_str(), file.c_str(), nullptr);
      ::_exit(127);
    }
  }
  ~Player() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
  }

 private:
  pid_t pid_ = -1;
};

class NullListener : public RecorderListener {
 public:
  void OnRecordSeconds(std::int64_t) override {}
};

// What a recorded track holds, measured over [from, to) seconds.
struct Bands {
  double speech = 0;  // 200 to 1200 Hz
  double tone = 0;    // at the tone's frequency
};

class RecorderAudioTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    media_ = new test::TempDir;
    if (!HaveCommand("espeak-ng") || !HaveCommand("ffmpeg") || !HaveCommand("paplay")) return;
    const std::string text =
        "The quick brown fox jumps over the lazy dog. Recording the microphone and the speaker "
        "together, we keep talking for a while so that every part of the test hears speech.";
    const std::string speech = media_->path() + "/speech.wav";
    std::system(("espeak-ng -s 140 -w '" + speech + "' '" + text + "' >/dev/null 2>&1").c_str());
    std::system(("ffmpeg -v error -y -f lavfi -i sine=frequency=6000:duration=30 -af volume=3 '" +
                 media_->path() + "/tone.wav'").c_str());
  }
  static void TearDownTestSuite() {
    delete media_;
    media_ = nullptr;
  }

  void SetUp() override {
    int width = 0, height = 0;
    if (!platform::QueryScreenSize(width, height)) GTEST_SKIP() << "no X display: run through scripts/test.sh";
    if (std::system("pactl info >/dev/null 2>&1") != 0) GTEST_SKIP() << "no PulseAudio server: run through scripts/test.sh";
    if (!std::filesystem::exists(Speech()) || !std::filesystem::exists(Tone())) {
      GTEST_SKIP() << "espeak-ng, ffmpeg or paplay is missing";
    }
    store_.SetInt(kUserDefinedRegionCheck, 1);
    store_.SetInt(kRegionWidth, 160);
    store_.SetInt(kRegionHeight, 120);
  }

  static std::string Speech() { return media_->path() + "/speech.wav"; }
  static std::string Tone() { return media_->path() + "/tone.wav"; }

  // Records `seconds` with the given pauses while the players run.
  std::string Record(const std::string& name, double seconds,
                     std::vector<std::pair<double, double>> pauses = {}) {
    Recorder recorder(&listener_, &store_);
    EXPECT_EQ(recorder.Start(name, out_.path(), "mkv", "matroska", 10, 1), 0);
    test::RunTimedRecording(recorder, seconds, pauses);
    return out_.path() + "/" + name;
  }

  static Bands Measure(const std::string& path, double from, double to) {
    int rate = 0;
    const std::vector<float> samples = test::DecodeAudioMono(path, rate);
    Bands bands;
    if (rate == 0) return bands;
    const std::size_t begin = std::min(samples.size(), static_cast<std::size_t>(from * rate));
    const std::size_t end = std::min(samples.size(), static_cast<std::size_t>(to * rate));
    // Averaged over 0.1 s windows, so a long span is not dominated by phase.
    const std::size_t window = static_cast<std::size_t>(rate / 10);
    int windows = 0;
    for (std::size_t w = begin; w + window <= end; w += window, ++windows) {
      bands.speech += test::BandPower(samples, w, w + window, 200, 1200, 50, rate);
      bands.tone += test::TonePower(samples, w, w + window, kToneHz, rate);
    }
    if (windows > 0) {
      bands.speech /= windows;
      bands.tone /= windows;
    }
    std::cout << "  " << path << " [" << from << "," << to << ") speech " << bands.speech << " tone "
              << bands.tone << std::endl;
    return bands;
  }

  static test::TempDir* media_;
  test::TempDir dir_;
  test::TempDir out_;
  SettingsStore store_{dir_.path() + "/configure.ini"};
  NullListener listener_;
};

test::TempDir* RecorderAudioTest::media_ = nullptr;

// Presence thresholds, from measured recordings: speech in the band reads
// around 1e-4 and more, a playing tone around 1e-3; silence and leakage stay
// under a hundredth of those. Without speech the band is not empty on every
// server: where a loaded server drops some of the tone, each seam clicks over
// all bands (up to about 6e-7 seen on PipeWire), so absence allows that much
// and more, still fifty times under speech.
constexpr double kSpeechPresent = 5e-6;
constexpr double kSpeechAbsent = 2e-6;
constexpr double kTonePresent = 1e-4;
constexpr double kToneAbsent = 1e-6;

TEST_F(RecorderAudioTest, EachVoiceSourceHoldsExactlyItsSources) {
  struct Case {
    int voiceSource;
    int muted;
    bool speech;
    bool tone;
  };
  const Case cases[] = {{0, 0, true, true}, {1, 0, true, false}, {2, 0, false, true}, {0, 1, false, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "voice-source " << c.voiceSource << " muted " << c.muted);
    store_.SetInt(kVoiceSource, c.voiceSource);
    store_.SetInt(kAudioMuteCheck, c.muted);
    Player speech(Speech(), "mic_feed");
    Player tone(Tone(), "speaker");
    std::this_thread::sleep_for(300ms);
    const std::string path = Record("sources" + std::to_string(c.voiceSource) + std::to_string(c.muted) + ".mkv", 4.0);
    const Bands bands = Measure(path, 1.0, 3.5);
    if (c.speech) {
      EXPECT_GT(bands.speech, kSpeechPresent);
    } else {
      EXPECT_LT(bands.speech, kSpeechAbsent);
    }
    if (c.tone) {
      EXPECT_GT(bands.tone, kTonePresent);
    } else {
      EXPECT_LT(bands.tone, kToneAbsent);
    }
    const test::MediaInfo info = test::ProbeMedia(path);
    ASSERT_TRUE(info.Find(AVMEDIA_TYPE_AUDIO) && info.Find(AVMEDIA_TYPE_VIDEO));
    EXPECT_NEAR(info.Find(AVMEDIA_TYPE_AUDIO)->endSeconds, info.Find(AVMEDIA_TYPE_VIDEO)->endSeconds, 0.1);
  }
}

// On a sound server with nothing else recording (its devices idle), the
// recording still starts when it is begun: as much picture and sound as asked.
TEST_F(RecorderAudioTest, ARecordingHoldsAsMuchPictureAndSoundAsAsked) {
  store_.SetInt(kVoiceSource, 0);
  for (double seconds : {2.0, 4.0, 8.0}) {
    SCOPED_TRACE(seconds);
    const std::string path = Record("asked" + std::to_string(static_cast<int>(seconds)) + ".mkv", seconds);
    const test::MediaInfo info = test::ProbeMedia(path);
    const test::StreamInfo* video = info.Find(AVMEDIA_TYPE_VIDEO);
    const test::StreamInfo* audio = info.Find(AVMEDIA_TYPE_AUDIO);
    ASSERT_TRUE(video && audio);
    std::cout << "  asked " << seconds << " s: video " << video->duration() << " s, sound "
              << audio->duration() << " s" << std::endl;
    EXPECT_NEAR(video->duration(), seconds, 0.1);
    EXPECT_NEAR(audio->duration(), seconds, 0.1);
  }
}

TEST_F(RecorderAudioTest, WhatPlaysDuringAPauseIsAbsent) {
  store_.SetInt(kVoiceSource, 2);
  // The tone plays only while the recording is paused (from 1.2 s to 2.8 s).
  std::thread player([] {
    std::this_thread::sleep_for(1200ms);
    Player tone(Tone(), "speaker");
    std::this_thread::sleep_for(1600ms);
  });
  const std::string path = Record("pause.mkv", 5.0, {{1.0, 3.2}});
  player.join();
  const test::MediaInfo info = test::ProbeMedia(path);
  ASSERT_TRUE(info.Find(AVMEDIA_TYPE_VIDEO));
  // 5 s less the 2.2 s pause.
  EXPECT_NEAR(info.Find(AVMEDIA_TYPE_VIDEO)->duration(), 2.8, 0.1);
  const Bands bands = Measure(path, 0.0, info.Find(AVMEDIA_TYPE_AUDIO)->endSeconds);
  EXPECT_LT(bands.tone, kToneAbsent);
}

TEST_F(RecorderAudioTest, NothingPlayingGivesSilenceWithoutStalling) {
  store_.SetInt(kVoiceSource, 2);
  const std::string path = Record("quiet.mkv", 3.0);
  const test::MediaInfo info = test::ProbeMedia(path);
  const test::StreamInfo* video = info.Find(AVMEDIA_TYPE_VIDEO);
  const test::StreamInfo* audio = info.Find(AVMEDIA_TYPE_AUDIO);
  ASSERT_TRUE(video && audio);
  EXPECT_GE(video->packets, 10);  // the pictures do not wait for sound that never comes
  EXPECT_NEAR(audio->endSeconds, video->endSeconds, 0.1);
  const Bands bands = Measure(path, 0.0, audio->endSeconds);
  EXPECT_LT(bands.tone, kToneAbsent);
  EXPECT_LT(bands.speech, kSpeechAbsent);
}

TEST_F(RecorderAudioTest, AudioFollowsTheVideoOverTwentySeconds) {
  store_.SetInt(kVoiceSource, 0);
  Player speech(Speech(), "mic_feed");
  Player tone(Tone(), "speaker");
  const std::string path = Record("sync.mkv", 20.0);
  const test::MediaInfo info = test::ProbeMedia(path);
  const test::StreamInfo* video = info.Find(AVMEDIA_TYPE_VIDEO);
  const test::StreamInfo* audio = info.Find(AVMEDIA_TYPE_AUDIO);
  ASSERT_TRUE(video && audio);
  std::cout << "  video " << video->startSeconds << ".." << video->endSeconds << " audio "
            << audio->startSeconds << ".." << audio->endSeconds << std::endl;
  // The pictures start when the recording does, whatever the sources take.
  EXPECT_NEAR(video->duration(), 20.0, 0.1);
  EXPECT_NEAR(audio->endSeconds, video->endSeconds, 0.05);
  EXPECT_NEAR(audio->startSeconds, video->startSeconds, 0.05);
}

TEST_F(RecorderAudioTest, ASoundAndAPictureThatHappenTogetherStayTogether) {
  if (!HaveCommand("xsetroot")) GTEST_SKIP() << "xsetroot is missing";
  // At about 2.5 s a tone starts, and the screen turns white when it is heard.
  std::system("xsetroot -solid black");
  std::this_thread::sleep_for(300ms);
  store_.SetInt(kVoiceSource, 2);
  store_.SetInt(kMouseCheck, 0);
  store_.SetInt(kRegionOffsetX, 600);
  store_.SetInt(kRegionOffsetY, 400);
  std::atomic<bool> heard{false};
  std::thread event([&heard] {
    std::this_thread::sleep_for(2000ms);
    test::TonePlayer tone("speaker", 48000, 0.5, 0.4);
    while (tone.toneHeardUs() == 0 && !tone.done()) std::this_thread::sleep_for(1ms);
    if (tone.toneHeardUs() == 0) return;
    std::this_thread::sleep_until(
        std::chrono::steady_clock::time_point(std::chrono::microseconds(tone.toneHeardUs())));
    std::system("xsetroot -solid white");
    heard = true;
  });
  Recorder recorder(&listener_, &store_);
  ASSERT_EQ(recorder.Start("event.mkv", out_.path(), "mkv", "matroska", 30, 1), 0);
  recorder.Resume();
  std::this_thread::sleep_for(4500ms);
  recorder.Stop();
  ASSERT_TRUE(recorder.WaitUntilFinished(15000));
  event.join();
  std::system("xsetroot -solid black");
  ASSERT_TRUE(heard) << "the tone could not be played";

  // Both are found by their time stamps in the file, so pictures the
  // encoder had to leave out on a busy machine move nothing.
  const std::string path = out_.path() + "/event.mkv";
  const std::vector<double> flashes = test::WhiteRunStarts(path);
  const std::vector<double> tones = test::ToneOnsets(path);
  ASSERT_FALSE(flashes.empty()) << "the white screen is not in the pictures";
  ASSERT_FALSE(tones.empty()) << "the tone is not in the sound";
  std::cout << "  picture event at " << flashes[0] << " s, sound event at " << tones[0] << " s"
            << std::endl;
  // The event lies inside the recording, not at its start...
  EXPECT_GT(flashes[0], 0.3);
  // ...and sound and picture are within about three pictures of each other,
  // which covers the time xsetroot takes.
  EXPECT_NEAR(tones[0], flashes[0], 0.12);
}

TEST_F(RecorderAudioTest, NoSoundServerMeansNoSoundWithoutAHang) {
  test::ScopedEnv noServer("PULSE_SERVER", std::string("unix:/nonexistent/tarn-test/native"));
  store_.SetInt(kVoiceSource, 0);
  const auto before = std::chrono::steady_clock::now();
  const std::string path = Record("noserver.mkv", 1.5);
  EXPECT_LT(std::chrono::steady_clock::now() - before, 12s);
  const test::MediaInfo info = test::ProbeMedia(path);
  ASSERT_TRUE(info.Find(AVMEDIA_TYPE_AUDIO));  // a silent track all the same
  EXPECT_NEAR(info.Find(AVMEDIA_TYPE_AUDIO)->endSeconds, info.Find(AVMEDIA_TYPE_VIDEO)->endSeconds, 0.1);
}

TEST_F(RecorderAudioTest, NoMicrophoneDeviceIsMutedAndAFixedDeviceGoesThroughTheCaptureCode) {
  // No source at all: "microphone only" records a silent track.
  SetCaptureDevicesForTesting(CaptureCategory::kAudio, std::vector<CaptureDeviceEntry>{});
  store_.SetInt(kVoiceSource, 1);
  const std::string silent = Record("nomic.mkv", 1.5);
  EXPECT_LT(Measure(silent, 0.0, 1.4).speech, kSpeechAbsent);

  // A lavfi device that plays the speech file at 48 kHz stereo, as a real
  // microphone of that format would deliver it.
  CaptureDeviceEntry fake;
  fake.friendlyName = "Test speech";
  fake.displayName = "lavfi speech";
  fake.inputFormat = "lavfi";
  fake.url = "amovie='" + Speech() + "',aresample=48000,pan=stereo|c0=c0|c1=c0,arealtime";
  SetCaptureDevicesForTesting(CaptureCategory::kAudio, std::vector<CaptureDeviceEntry>{fake});
  const std::string path = Record("lavfi.mkv", 4.0);
  SetCaptureDevicesForTesting(CaptureCategory::kAudio, std::nullopt);
  EXPECT_GT(Measure(path, 1.0, 3.5).speech, kSpeechPresent);
}

TEST_F(RecorderAudioTest, AMicrophoneRemovedMidRecordingEndsItsThreadAndTheFileFinishes) {
  // A microphone of its own that can be taken away.
  const std::string module = test::CommandOutput(
      "pactl load-module module-remap-source source_name=gone_mic master=mic_feed.monitor");
  ASSERT_FALSE(module.empty());
  const std::string previous = test::CommandOutput("pactl get-default-source");
  std::system("pactl set-default-source gone_mic");
  store_.SetInt(kVoiceSource, 1);
  Player speech(Speech(), "mic_feed");
  Recorder recorder(&listener_, &store_);
  ASSERT_EQ(recorder.Start("gone.mkv", out_.path(), "mkv", "matroska", 10, 1), 0);
  recorder.Resume();
  std::this_thread::sleep_for(1500ms);
  std::system(("pactl unload-module " + module).c_str());
  std::this_thread::sleep_for(1500ms);
  recorder.Stop();
  EXPECT_TRUE(recorder.WaitUntilFinished(15000));
  EXPECT_TRUE(recorder.lastFinishOk());
  const std::int64_t captured = recorder.capturedFrames();
  std::system(("pactl set-default-source " + previous).c_str());
  const test::MediaInfo info = test::ProbeMedia(out_.path() + "/gone.mkv");
  const test::StreamInfo* video = info.Find(AVMEDIA_TYPE_VIDEO);
  const test::StreamInfo* audio = info.Find(AVMEDIA_TYPE_AUDIO);
  ASSERT_TRUE(video && audio);
  // Every picture taken reaches the file: nothing waits for the lost microphone.
  EXPECT_GT(captured, 5);
  EXPECT_NEAR(video->packets, captured, 2);
  EXPECT_NEAR(audio->endSeconds, video->endSeconds, 0.15);
}

TEST(CaptureDevicesTest, NamesAreCutToTheirLengthWithoutSplittingACharacter) {
  EXPECT_EQ(TruncateCharacters(std::string(200, 'a'), 127).size(), 127u);
  EXPECT_EQ(TruncateCharacters("麦克风", 2), "麦克");
  EXPECT_EQ(TruncateCharacters("ab", 5), "ab");
  CaptureDeviceEntry longName;
  longName.friendlyName = std::string(200, 'm');
  longName.displayName = std::string(300, 'd');
  longName.inputFormat = "lavfi";
  longName.url = "sine";
  SetCaptureDevicesForTesting(CaptureCategory::kAudio, std::vector<CaptureDeviceEntry>{longName});
  std::vector<CaptureDeviceEntry> list;
  EXPECT_EQ(enumerateCaptureDevices(list, CaptureCategory::kAudio), 0);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].friendlyName.size(), 127u);
  EXPECT_EQ(list[0].displayName.size(), 255u);
  std::string name;
  EXPECT_TRUE(defaultMicrophoneName(name));
  SetCaptureDevicesForTesting(CaptureCategory::kAudio, std::nullopt);
}

}  // namespace
}  // namespace tarn

namespace tarn {
namespace {

using test::ResidentKb;

TEST_F(RecorderAudioTest, RecordingsWithSoundKeepTheMemoryWhereTheFirstLeftIt) {
  // Twenty, not a hundred as the muted test does: on an idle sound server each
  // short recording waits for its first sound to arrive.
  store_.SetInt(kVoiceSource, 0);
  Recorder recorder(&listener_, &store_);
  std::int64_t afterFirstKb = 0;
  const auto begin = std::chrono::steady_clock::now();
  for (int i = 0; i < 20; ++i) {
    const std::string name = "mem" + std::to_string(i) + ".mp4";
    ASSERT_EQ(recorder.Start(name, out_.path(), "mp4", "mp4", 30, 1), 0);
    recorder.Resume();
    std::this_thread::sleep_for(150ms);
    recorder.Stop();
    ASSERT_TRUE(recorder.WaitUntilFinished(20000));
    std::filesystem::remove(out_.path() + "/" + name);
    if (i == 0) afterFirstKb = ResidentKb();
  }
  std::cout << "  20 recordings in "
            << std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count()
            << " s; resident after the first " << afterFirstKb / 1024 << " MB, after the last "
            << ResidentKb() / 1024 << " MB" << std::endl;
  EXPECT_LT(ResidentKb() - afterFirstKb, 20 * 1024);
}

}  // namespace
}  // namespace tarn
