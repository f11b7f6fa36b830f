#include "recorder/audio/voice_processor.h"

#include <glog/logging.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <string>
#include <vector>

#include <unistd.h>

namespace tarn {
namespace {

using Samples = std::vector<std::int16_t>;
constexpr int kFrame = VoiceProcessor::kFrameSamples;
constexpr int kRate = VoiceProcessor::kSampleRate;

// Runs whole frames of `input` through `voice`; the output has the input's length
// rounded down to whole frames.
Samples Process(VoiceProcessor& voice, const Samples& input) {
  Samples output(input.size() / kFrame * kFrame);
  std::copy_n(input.begin(), output.size(), output.begin());
  for (std::size_t at = 0; at < output.size(); at += kFrame) {
    EXPECT_TRUE(voice.ProcessFrame(output.data() + at)) << "frame at sample " << at;
  }
  return output;
}

Samples ProcessWith(bool gainEnabled, int gainDb, const Samples& input) {
  VoiceProcessor voice;
  EXPECT_TRUE(voice.Init(gainEnabled, gainDb));
  return Process(voice, input);
}

double SquareSum(const Samples& samples, std::size_t begin, std::size_t end) {
  double sum = 0;
  for (std::size_t i = begin; i < end && i < samples.size(); ++i) {
    sum += double(samples[i]) * samples[i];
  }
  return sum;
}

// Mean power of `samples` in [begin, end) in dB relative to a full-scale square wave.
double LevelDb(const Samples& samples, std::size_t begin, std::size_t end) {
  const double mean = SquareSum(samples, begin, end) / double(end - begin);
  return 10 * std::log10(std::max(mean, 1e-3) / (32768.0 * 32768.0));
}

int Peak(const Samples& samples) {
  int peak = 0;
  for (std::int16_t s : samples) peak = std::max(peak, std::abs(int(s)));
  return peak;
}

Samples Scaled(const Samples& samples, double factor) {
  Samples out(samples.size());
  for (std::size_t i = 0; i < samples.size(); ++i) {
    out[i] = std::int16_t(std::clamp(std::lround(samples[i] * factor), -32768L, 32767L));
  }
  return out;
}

// The frames whose input power is within 30 dB of the loudest frame: the voiced part.
std::vector<std::size_t> VoicedFrames(const Samples& input) {
  std::vector<double> power;
  for (std::size_t at = 0; at + kFrame <= input.size(); at += kFrame) {
    power.push_back(SquareSum(input, at, at + kFrame));
  }
  const double loudest = *std::max_element(power.begin(), power.end());
  std::vector<std::size_t> voiced;
  for (std::size_t i = 0; i < power.size(); ++i) {
    if (power[i] >= loudest * 1e-3) voiced.push_back(i);
  }
  return voiced;
}

double VoicedLevelDb(const Samples& samples, const std::vector<std::size_t>& frames) {
  double sum = 0;
  for (std::size_t frame : frames) sum += SquareSum(samples, frame * kFrame, (frame + 1) * kFrame);
  const double mean = sum / double(frames.size() * kFrame);
  return 10 * std::log10(std::max(mean, 1e-3) / (32768.0 * 32768.0));
}

Samples Sine(double frequencyHz, double peakDb, double seconds) {
  Samples out(std::size_t(seconds * kRate));
  const double amplitude = 32767.0 * std::pow(10.0, peakDb / 20);
  for (std::size_t i = 0; i < out.size(); ++i) {
    const double phase = 2 * std::numbers::pi * frequencyHz * double(i) / kRate;
    out[i] = std::int16_t(std::lround(amplitude * std::sin(phase)));
  }
  return out;
}

bool HaveProgram(const char* name) {
  return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

// Synthesised speech at 32 kHz mono, after half a second of silence; empty when
// it cannot be made.
Samples MakeSpeech(std::string* why) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                    ("voice_processor_test_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::filesystem::path wav = dir / "speech.wav";
  const std::string say = "espeak-ng -w '" + wav.string() +
                          "' 'The quick brown fox jumps over the lazy dog. "
                          "Please record this meeting and send it to everyone tomorrow.'";
  Samples speech(kRate / 2, 0);
  if (std::system(say.c_str()) != 0) {
    *why = "espeak-ng could not synthesise speech";
  } else if (FILE* pipe = ::popen(("ffmpeg -v error -i '" + wav.string() +
                                   "' -ar 32000 -ac 1 -f s16le -").c_str(), "r")) {
    std::int16_t chunk[4096];
    std::size_t got;
    while ((got = std::fread(chunk, sizeof chunk[0], std::size(chunk), pipe)) > 0) {
      speech.insert(speech.end(), chunk, chunk + got);
    }
    if (::pclose(pipe) != 0) *why = "ffmpeg could not convert the speech";
  } else {
    *why = "ffmpeg could not be started";
  }
  std::filesystem::remove_all(dir);
  if (!why->empty() || speech.size() < std::size_t(kRate)) {
    if (why->empty()) *why = "the synthesised speech is shorter than a second";
    return {};
  }
  return speech;
}

class VoiceProcessorSpeechTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!HaveProgram("espeak-ng") || !HaveProgram("ffmpeg")) {
      skipReason_ = "espeak-ng and ffmpeg are needed to make speech";
      return;
    }
    speech_ = MakeSpeech(&skipReason_);
  }
  void SetUp() override {
    if (speech_.empty()) GTEST_SKIP() << skipReason_;
  }

  // The speech scaled so that its voiced part has a mean power of `levelDb`.
  Samples SpeechAtVoicedLevel(double levelDb) {
    const double now = VoicedLevelDb(speech_, VoicedFrames(speech_));
    return Scaled(speech_, std::pow(10.0, (levelDb - now) / 20));
  }
  Samples SpeechAtPeak(double peakDb) {
    return Scaled(speech_, 32767.0 * std::pow(10.0, peakDb / 20) / Peak(speech_));
  }

  static Samples speech_;
  static std::string skipReason_;
};
Samples VoiceProcessorSpeechTest::speech_;
std::string VoiceProcessorSpeechTest::skipReason_;

// Collects the text of warnings logged while it exists.
class WarningSink : public google::LogSink {
 public:
  WarningSink() { google::AddLogSink(this); }
  ~WarningSink() override { google::RemoveLogSink(this); }
  void send(google::LogSeverity severity, const char*, const char*, int,
            const google::LogMessageTime&, const char* message, std::size_t length) override {
    if (severity == google::GLOG_WARNING) text += std::string(message, length) + "\n";
  }
  std::string text;
};

TEST(VoiceProcessorTest, SteadyToneIsSuppressedOnceAdapted) {
  // Measured: -23.0 dB in, -45.0 dB out over the last 2 s.
  const Samples tone = Sine(1000, -20, 4);
  const Samples out = ProcessWith(false, 20, tone);
  EXPECT_LT(LevelDb(out, 2 * kRate, 4 * kRate), LevelDb(tone, 2 * kRate, 4 * kRate) - 10);
}

TEST(VoiceProcessorTest, ProcessFrameNeedsASuccessfulInit) {
  VoiceProcessor voice;
  Samples frame(kFrame, 1000);
  EXPECT_FALSE(voice.ProcessFrame(frame.data()));
  ASSERT_TRUE(voice.Init(true, 20));
  EXPECT_FALSE(voice.ProcessFrame(nullptr));
  EXPECT_TRUE(voice.ProcessFrame(frame.data()));
}

TEST(VoiceProcessorTest, OutOfRangeGainIsClampedAndLogged) {
  // Bursts of a 300 Hz tone, 200 ms on and 200 ms off, at -30 dBFS: quiet
  // enough for the compression gain to change the output.
  Samples bursts = Sine(300, -30, 1.6);
  for (std::size_t i = 0; i < bursts.size(); ++i) {
    if ((i / (kRate / 5)) % 2 == 1) bursts[i] = 0;
  }
  const Samples at20 = ProcessWith(true, 20, bursts);
  struct Case {
    int gainDb;
    int usedDb;
  };
  for (const Case& c : {Case{200, 90}, Case{-10, 0}}) {
    SCOPED_TRACE(c.gainDb);
    WarningSink sink;
    const Samples clamped = ProcessWith(true, c.gainDb, bursts);
    EXPECT_NE(sink.text.find(std::to_string(c.gainDb)), std::string::npos) << sink.text;
    EXPECT_EQ(clamped, ProcessWith(true, c.usedDb, bursts));
    EXPECT_NE(clamped, at20);
  }
  WarningSink sink;
  ProcessWith(true, 20, bursts);
  EXPECT_EQ(sink.text, "");
}

TEST_F(VoiceProcessorSpeechTest, SpeechSurvivesSuppression) {
  // Measured: -20.0 dB in, -21.1 dB out over the voiced frames; a 6 dB loss
  // is allowed.
  const Samples in = SpeechAtVoicedLevel(-20);
  const Samples out = ProcessWith(false, 20, in);
  const std::vector<std::size_t> voiced = VoicedFrames(in);
  EXPECT_GT(VoicedLevelDb(out, voiced), VoicedLevelDb(in, voiced) - 6);
}

TEST_F(VoiceProcessorSpeechTest, GainMakesQuietSpeechLouderWithoutClipping) {
  const Samples quiet = SpeechAtVoicedLevel(-30);
  const std::vector<std::size_t> voiced = VoicedFrames(quiet);
  const Samples plain = ProcessWith(false, 20, quiet);
  const Samples gained = ProcessWith(true, 20, quiet);
  // Measured: -31.0 dB without gain, -16.3 dB with it; peak 25371.
  EXPECT_GT(VoicedLevelDb(gained, voiced), VoicedLevelDb(plain, voiced) + 6);
  EXPECT_LT(Peak(gained), 32767);
}

TEST_F(VoiceProcessorSpeechTest, LimiterKeepsLoudSpeechBelowFullScale) {
  const Samples loud = SpeechAtPeak(-3);
  // Measured peak: 25369 (-2.2 dBFS); without the limiter the same input
  // reaches full scale. At most -1 dBFS is allowed.
  const Samples gained = ProcessWith(true, 20, loud);
  EXPECT_LE(Peak(gained), 29204);
}

}  // namespace
}  // namespace tarn
