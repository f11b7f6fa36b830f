// Sound levels measured on blocks of every sample format, the meter's
// periods, the report thread's pace, the silence rule fed with levels and
// times, and which sources a sound choice leaves when devices are missing.

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libavutil/samplefmt.h>
}

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <limits>
#include <mutex>
#include <numbers>
#include <vector>

#include "recorder/audio/silence_watch.h"
#include "recorder/audio/sound_choice.h"
#include "recorder/audio/sound_levels.h"
#include "recorder/ffmpeg_holders.h"

namespace tarn {
namespace {

// Writes `value` (in [-1, 1]) as sample `index` of a plane in `format`.
void PutSample(std::uint8_t* plane, int index, AVSampleFormat format, double value) {
  switch (av_get_packed_sample_fmt(format)) {
    case AV_SAMPLE_FMT_U8:
      plane[index] = static_cast<std::uint8_t>(std::lround(128 + value * 127));
      break;
    case AV_SAMPLE_FMT_S16: {
      const auto v = static_cast<std::int16_t>(std::lround(value * 32767));
      std::memcpy(plane + index * 2, &v, 2);
      break;
    }
    case AV_SAMPLE_FMT_S32: {
      const auto v = static_cast<std::int32_t>(std::llround(value * 2147483647.0));
      std::memcpy(plane + index * 4, &v, 4);
      break;
    }
    case AV_SAMPLE_FMT_S64: {
      const auto v = static_cast<std::int64_t>(value * 9223372036854775807.0);
      std::memcpy(plane + index * 8, &v, 8);
      break;
    }
    case AV_SAMPLE_FMT_FLT: {
      const auto v = static_cast<float>(value);
      std::memcpy(plane + index * 4, &v, 4);
      break;
    }
    case AV_SAMPLE_FMT_DBL:
      std::memcpy(plane + index * 8, &value, 8);
      break;
    default:
      break;
  }
}

// Two channels of `samples`: channel 0 from `left`, channel 1 silent.
av::FramePtr MakeStereoFrame(AVSampleFormat format, int samples, double (*left)(int)) {
  av::FramePtr frame = av::MakeFrame();
  frame->format = format;
  frame->nb_samples = samples;
  frame->sample_rate = 48000;
  av_channel_layout_default(&frame->ch_layout, 2);
  EXPECT_GE(av_frame_get_buffer(frame.get(), 0), 0);
  const bool planar = av_sample_fmt_is_planar(format) != 0;
  for (int i = 0; i < samples; ++i) {
    if (planar) {
      PutSample(frame->extended_data[0], i, format, left(i));
      PutSample(frame->extended_data[1], i, format, 0.0);
    } else {
      PutSample(frame->extended_data[0], 2 * i, format, left(i));
      PutSample(frame->extended_data[0], 2 * i + 1, format, 0.0);
    }
  }
  return frame;
}

// 1 kHz at half of full scale, 48 whole periods.
double HalfScaleTone(int i) { return 0.5 * std::sin(2 * std::numbers::pi * 1000.0 * i / 48000.0); }

TEST(SoundLevelsTest, EveryFormatMeasuresTheSamePeakAndRms) {
  const AVSampleFormat formats[] = {AV_SAMPLE_FMT_U8,  AV_SAMPLE_FMT_S16,  AV_SAMPLE_FMT_S32,
                                    AV_SAMPLE_FMT_S64, AV_SAMPLE_FMT_FLT,  AV_SAMPLE_FMT_DBL,
                                    AV_SAMPLE_FMT_U8P, AV_SAMPLE_FMT_S16P, AV_SAMPLE_FMT_S32P,
                                    AV_SAMPLE_FMT_FLTP, AV_SAMPLE_FMT_DBLP};
  for (AVSampleFormat format : formats) {
    SCOPED_TRACE(av_get_sample_fmt_name(format));
    const av::FramePtr frame = MakeStereoFrame(format, 2400, HalfScaleTone);
    const BlockLevel level = MeasureFrame(*frame);
    EXPECT_EQ(level.samples, 2400);
    EXPECT_EQ(level.values, 4800);
    // u8 has 7 bits for half of the scale: a wider margin.
    const double margin = av_get_packed_sample_fmt(format) == AV_SAMPLE_FMT_U8 ? 0.02 : 0.002;
    EXPECT_NEAR(level.peak, 0.5, margin);
    // A sine's RMS is peak / sqrt(2); the silent channel halves the power.
    EXPECT_NEAR(std::sqrt(level.squareSum / static_cast<double>(level.values)), 0.25, margin);
  }
}

TEST(SoundLevelsTest, OddValuesAndEmptyFramesAreSafe) {
  // Float sound beyond full scale and NaN count as full scale.
  const av::FramePtr loud = MakeStereoFrame(AV_SAMPLE_FMT_FLT, 4, [](int i) {
    return i == 1 ? 3.0 : i == 2 ? std::numeric_limits<double>::quiet_NaN() : 0.0;
  });
  const BlockLevel level = MeasureFrame(*loud);
  EXPECT_FLOAT_EQ(level.peak, 1.0f);
  EXPECT_DOUBLE_EQ(level.squareSum, 2.0);

  // The most negative integer sample is full scale too, not beyond it.
  const av::FramePtr negative = MakeStereoFrame(AV_SAMPLE_FMT_S16, 4, [](int) { return 0.0; });
  const std::int16_t lowest = std::numeric_limits<std::int16_t>::min();
  std::memcpy(negative->extended_data[0], &lowest, 2);
  EXPECT_FLOAT_EQ(MeasureFrame(*negative).peak, 1.0f);

  av::FramePtr empty = av::MakeFrame();
  EXPECT_EQ(MeasureFrame(*empty).samples, 0);
  const av::FramePtr unknown = MakeStereoFrame(AV_SAMPLE_FMT_S16, 16, HalfScaleTone);
  unknown->format = AV_SAMPLE_FMT_NONE;
  EXPECT_EQ(MeasureFrame(*unknown).samples, 0);
}

TEST(SoundLevelsTest, TheMeterSumsAPeriodAndStartsTheNext) {
  LevelMeter meter;
  meter.Reset(LevelState::kLive);
  // A quiet block and a loud one: the peak is the loud one's, the RMS that
  // of all samples together.
  meter.Add(BlockLevel{0.1f, 100 * 0.01, 100, 50});
  meter.Add(BlockLevel{0.8f, 100 * 0.25, 100, 50});
  meter.Add(BlockLevel{});  // nothing measured adds nothing
  const SourceLevel first = meter.Take();
  EXPECT_EQ(first.state, LevelState::kLive);
  EXPECT_EQ(first.samples, 100);
  EXPECT_FLOAT_EQ(first.peak, 0.8f);
  EXPECT_NEAR(first.rms, std::sqrt((1.0 + 25.0) / 200.0), 1e-6);

  // A period in which nothing arrived is silence, and says so.
  const SourceLevel second = meter.Take();
  EXPECT_EQ(second.samples, 0);
  EXPECT_EQ(second.peak, 0.0f);
  EXPECT_EQ(second.rms, 0.0f);
  EXPECT_EQ(second.state, LevelState::kLive);

  meter.Add(BlockLevel{0.5f, 1, 4, 2});
  meter.Reset(LevelState::kUnavailable);
  const SourceLevel third = meter.Take();
  EXPECT_EQ(third.state, LevelState::kUnavailable);
  EXPECT_EQ(third.samples, 0);

  EXPECT_DOUBLE_EQ(LevelToDbfs(1.0), 0.0);
  EXPECT_NEAR(LevelToDbfs(0.5), -6.02, 0.01);
  EXPECT_NEAR(LevelToDbfs(0.001), -60.0, 1e-9);
  EXPECT_EQ(LevelToDbfs(0.0), kSilenceDbfs);
  EXPECT_EQ(LevelToDbfs(-1.0), kSilenceDbfs);
}

TEST(SoundLevelsTest, TheReporterKeepsItsPaceAndStopsAtOnce) {
  std::mutex mutex;
  std::condition_variable reported;
  int count = 0;
  LevelReporter reporter;
  const auto begin = std::chrono::steady_clock::now();
  reporter.Start([&] {
    std::lock_guard<std::mutex> lock(mutex);
    ++count;
    reported.notify_all();
  });
  {
    std::unique_lock<std::mutex> lock(mutex);
    ASSERT_TRUE(reported.wait_for(lock, std::chrono::seconds(10), [&] { return count >= 10; }));
  }
  const auto tenReports = std::chrono::steady_clock::now() - begin;
  // Ten reports a second: not faster, and on a loaded machine not much slower.
  EXPECT_GE(tenReports, std::chrono::milliseconds(950));
  EXPECT_LT(tenReports, std::chrono::seconds(5));
  const auto stopBegin = std::chrono::steady_clock::now();
  reporter.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - stopBegin, std::chrono::seconds(1));
  int afterStop = 0;
  {
    std::lock_guard<std::mutex> lock(mutex);
    afterStop = count;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  std::lock_guard<std::mutex> lock(mutex);
  EXPECT_EQ(count, afterStop) << "reports after Stop";
}

SourceLevel Level(LevelState state, float peak) {
  SourceLevel level;
  level.state = state;
  level.peak = peak;
  level.rms = peak / 2;
  level.samples = state == LevelState::kLive ? 4410 : 0;
  return level;
}

// Feeds one report every 100 ms from `fromUs` up to and including `toUs`;
// returns the warning after the last.
bool FeedSpan(SilenceWatch& watch, const SourceLevel& level, std::int64_t fromUs, std::int64_t toUs) {
  bool warning = false;
  for (std::int64_t t = fromUs; t <= toUs; t += 100000) warning = watch.Feed(level, t);
  return warning;
}

TEST(SilenceWatchTest, FiveSecondsOfSilenceWarnUntilSoundReturns) {
  const SourceLevel silent = Level(LevelState::kLive, 0.0f);
  const SourceLevel quiet = Level(LevelState::kLive, 0.0009f);   // below -60 dBFS
  const SourceLevel faint = Level(LevelState::kLive, 0.0011f);   // just above
  const SourceLevel loud = Level(LevelState::kLive, 0.5f);
  struct Case {
    const char* name;
    SourceLevel level;
    bool warnsAfterFiveSeconds;
  };
  const Case cases[] = {
      {"digital silence", silent, true},
      {"below the threshold", quiet, true},
      {"faint sound above it", faint, false},
      {"loud sound", loud, false},
      {"a chosen source that did not open", Level(LevelState::kUnavailable, 0), true},
      {"a source not chosen", Level(LevelState::kOff, 0), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SilenceWatch watch;
    const std::int64_t t0 = 7000000;
    EXPECT_FALSE(FeedSpan(watch, c.level, t0, t0 + 4900000)) << "warned before 5 s";
    EXPECT_EQ(watch.Feed(c.level, t0 + 5000000), c.warnsAfterFiveSeconds);
    EXPECT_EQ(watch.warning(), c.warnsAfterFiveSeconds);
  }

  // Sound in the middle starts the count again; sound after the warning
  // clears it at once, and silence must last 5 s again before it is back.
  SilenceWatch watch;
  EXPECT_FALSE(FeedSpan(watch, silent, 0, 4000000));
  EXPECT_FALSE(watch.Feed(loud, 4100000));
  EXPECT_FALSE(FeedSpan(watch, silent, 4200000, 9100000));
  EXPECT_TRUE(watch.Feed(silent, 9200000));
  EXPECT_FALSE(watch.Feed(loud, 9300000));
  EXPECT_FALSE(FeedSpan(watch, silent, 9400000, 14300000));
  EXPECT_TRUE(watch.Feed(silent, 14400000));

  // Reports that stop coming (a paused recording) and a Reset forget it.
  watch.Reset();
  EXPECT_FALSE(watch.warning());
  EXPECT_FALSE(watch.Feed(silent, 20000000));
  // Sparse reports count by their times, not by their number.
  EXPECT_TRUE(watch.Feed(silent, 25000000));
}

TEST(SoundChoiceTest, AMissingDeviceLeavesWhatIsThere) {
  struct Case {
    int voiceSource;
    bool microphone;
    bool speaker;
    int expected;
  };
  const Case cases[] = {
      {0, true, true, 0},   {0, false, true, 2},  {0, true, false, 1},  {0, false, false, -1},
      {1, true, false, 1},  {1, false, true, -1}, {2, false, true, 2},  {2, true, false, -1},
      {3, true, true, -1},  {-1, true, true, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "voice-source " << c.voiceSource << " microphone "
                                    << c.microphone << " speaker " << c.speaker);
    EXPECT_EQ(ResolveVoiceSource(c.voiceSource, c.microphone, c.speaker), c.expected);
  }
}

}  // namespace
}  // namespace tarn
