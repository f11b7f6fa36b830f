// The recording's time line, the placing of pictures into slots, and the
// sound bus that reads the tracks on it.

#include "recorder/timeline.h"

#include <gtest/gtest.h>

#include "recorder/audio/audio_bus.h"
#include "recorder/audio/audio_track.h"

#include <cstdlib>
#include <vector>

namespace tarn {
namespace {

constexpr std::int64_t kT0 = 5'000'000'000;  // an arbitrary monotonic start

TEST(RecordingTimelineTest, PausesAreLeftOutAndStampsOutsideSegmentsBelongNowhere) {
  RecordingTimeline timeline;
  EXPECT_FALSE(timeline.ToRecordingUs(kT0));
  timeline.Resume(kT0);
  timeline.Pause(kT0 + 2'000'000);
  timeline.Resume(kT0 + 5'000'000);  // a 3 s pause
  timeline.Stop(kT0 + 6'000'000);
  EXPECT_EQ(timeline.ToRecordingUs(kT0), 0);
  EXPECT_EQ(timeline.ToRecordingUs(kT0 + 1'999'999), 1'999'999);
  EXPECT_FALSE(timeline.ToRecordingUs(kT0 + 2'000'000));  // in the pause
  EXPECT_FALSE(timeline.ToRecordingUs(kT0 + 4'000'000));
  EXPECT_EQ(timeline.ToRecordingUs(kT0 + 5'000'000), 2'000'000);
  EXPECT_FALSE(timeline.ToRecordingUs(kT0 + 6'000'000));  // after the stop
  EXPECT_FALSE(timeline.ToRecordingUs(kT0 - 1));          // before the start
  EXPECT_EQ(timeline.stopRecordingUs(), 3'000'000);
  EXPECT_EQ(timeline.RecordingTimeAt(kT0 + 3'000'000), 2'000'000);

  // A span across the pause keeps its two recorded pieces.
  const auto portions = timeline.ActivePortions(kT0 + 1'500'000, kT0 + 5'500'000);
  ASSERT_EQ(portions.size(), 2u);
  EXPECT_EQ(portions[0].monoBeginUs, kT0 + 1'500'000);
  EXPECT_EQ(portions[0].monoEndUs, kT0 + 2'000'000);
  EXPECT_EQ(portions[0].recordingBeginUs, 1'500'000);
  EXPECT_EQ(portions[1].monoBeginUs, kT0 + 5'000'000);
  EXPECT_EQ(portions[1].recordingBeginUs, 2'000'000);

  // And back: recording time to when it happened, up to the stop exactly.
  EXPECT_EQ(timeline.ToMonotonicUs(2'500'000), kT0 + 5'500'000);
  EXPECT_EQ(timeline.ToMonotonicUs(3'000'000), kT0 + 6'000'000);
  EXPECT_FALSE(timeline.ToMonotonicUs(3'000'001));
}

TEST(RecordingTimelineTest, ARecordingNotYetReachedHasNoMonotonicTime) {
  RecordingTimeline timeline;
  EXPECT_FALSE(timeline.ToMonotonicUs(0));
  timeline.Resume(kT0);
  // While running, later recording times are projected.
  EXPECT_EQ(timeline.ToMonotonicUs(10'000'000), kT0 + 10'000'000);
  timeline.Pause(kT0 + 1'000'000);
  EXPECT_FALSE(timeline.ToMonotonicUs(1'000'001));
  timeline.Resume(kT0 + 1'000'000 - 5);  // an older stamp cannot reach back into the pause
  EXPECT_EQ(timeline.ToRecordingUs(kT0 + 1'000'000), 1'000'000);
}

TEST(PictureSlotterTest, ConsecutivePicturesTakeConsecutiveSlotsAndGapsStay) {
  PictureSlotter slotter(25);  // 40 ms slots
  EXPECT_EQ(slotter.Place(1'000), 0);
  EXPECT_EQ(slotter.Place(40'000 + 15'000), 1);  // late within the slot: still the next
  EXPECT_EQ(slotter.Place(80'000 - 12'000), 2);  // early within the slot
  EXPECT_FALSE(slotter.Place(80'000 + 5'000));   // a second picture for slot 2
  EXPECT_EQ(slotter.Place(200'000), 5);          // slots 3 and 4 were lost
  EXPECT_EQ(slotter.skippedSlots(), 2);
  EXPECT_EQ(slotter.surplusPictures(), 1);
  EXPECT_FALSE(slotter.previousMovedBack());
}

TEST(PictureSlotterTest, APictureALittleLateMovesBackWhenTheNextComesOnTime) {
  PictureSlotter slotter(60);  // 16.7 ms slots
  EXPECT_EQ(slotter.Place(0), 0);
  // 9 ms late for slot 1: it would leave slot 1 empty and take slot 2 ...
  EXPECT_EQ(slotter.Place(16'667 + 9'000), 2);
  EXPECT_EQ(slotter.skippedSlots(), 1);
  EXPECT_EQ(slotter.settledSkippedSlots(), 0);  // the next picture may still fill it
  // ... and the picture on time for slot 2 would be surplus; instead the late
  // one moves back to slot 1 and this one takes slot 2. Nothing is lost.
  EXPECT_EQ(slotter.Place(33'333), 2);
  EXPECT_TRUE(slotter.previousMovedBack());
  EXPECT_EQ(slotter.skippedSlots(), 0);
  EXPECT_EQ(slotter.Place(50'000), 3);
  EXPECT_FALSE(slotter.previousMovedBack());

  // A picture that is really a slot late keeps its slot: the one before it
  // was lost, and a surplus picture after it is dropped.
  EXPECT_EQ(slotter.Place(50'000 + 33'333 + 2'000), 5);
  EXPECT_FALSE(slotter.Place(50'000 + 33'333 + 5'000));
  EXPECT_FALSE(slotter.previousMovedBack());
  EXPECT_EQ(slotter.skippedSlots(), 1);
  EXPECT_EQ(slotter.surplusPictures(), 1);
}

TEST(AudioBusTest, WithoutTracksSilenceKeepsPaceAndEndsExactlyAtTheStop) {
  RecordingTimeline timeline;
  AudioBus bus(timeline);
  EXPECT_EQ(bus.NextFrameReady(kT0), 0);  // not begun
  timeline.Resume(kT0);
  EXPECT_EQ(bus.NextFrameReady(kT0 + 10'000), 0);  // 1024 samples take 23 ms
  EXPECT_EQ(bus.NextFrameReady(kT0 + 23'300), 1024);
  bus.Advance(1024);
  // Stopped at an odd moment: the last frame is short and ends right there.
  timeline.Stop(kT0 + 2'000'086);
  std::int64_t samples = 1024;
  int frames = 1;
  while (const int n = bus.NextFrameReady(kT0 + 2'000'086)) {
    samples += n;
    ++frames;
    bus.Advance(n);
  }
  EXPECT_TRUE(bus.Done());
  EXPECT_EQ(samples, 88204);  // 2.000086 s at 44100 Hz
  EXPECT_EQ(frames, 87);
}

// Pushes one 10-ms block of a steady level, stamped `stampUs`.
void PushBlock(AudioTrack& track, std::int64_t stampUs) {
  static const std::vector<float> level(441, 0.25f);
  const float* planes[2] = {level.data(), level.data()};
  track.Push(planes, 441, stampUs, stampUs + 20'000);
}

// Sound a source lost, or held back, by less than a snap makes a step in its
// stamps that lasts: it is fixed at once within a second, by silence or by
// trimming as much, and never again after that.
TEST(AudioTrackTest, ALastingStepSmallerThanASnapIsFixedWithinASecond) {
  for (const std::int64_t stepUs : {30'000, -30'000, 20'000}) {
    SCOPED_TRACE(stepUs);
    RecordingTimeline timeline;
    timeline.Resume(kT0);
    AudioTrack track(timeline, "test");
    int fixedAt = -1;
    for (int k = 0; k < 400; ++k) {
      PushBlock(track, kT0 + k * 10'000 + (k >= 100 ? stepUs : 0));
      if (fixedAt < 0 && track.stats().resyncs > 0) fixedAt = k;
    }
    const AudioTrack::Stats stats = track.stats();
    EXPECT_EQ(stats.resyncs, 1);
    EXPECT_GE(fixedAt, 100);
    EXPECT_LE(fixedAt, 200);
    const std::int64_t fixedSamples = stepUs > 0 ? stats.silenceSamples : stats.trimmedSamples;
    // Less what the resampling worked off before (a few hundred parts per million).
    EXPECT_NEAR(fixedSamples, std::llabs(stepUs) * 441 / 10'000, 50);
  }
}

// Stamps that jitter by up to 20 ms either way about the sample count (a
// source whose stamps come from its read times) are joined without seams.
TEST(AudioTrackTest, JitteryStampsAreJoinedWithoutSeams) {
  RecordingTimeline timeline;
  timeline.Resume(kT0);
  AudioTrack track(timeline, "test");
  PushBlock(track, kT0);
  for (int k = 1; k < 1000; ++k) {
    const std::int64_t jitterUs = (k * 7919 % 41 - 20) * 1000;
    PushBlock(track, kT0 + k * 10'000 + jitterUs);
  }
  const AudioTrack::Stats stats = track.stats();
  EXPECT_EQ(stats.resyncs, 0);
  EXPECT_EQ(stats.silenceSamples, 0);
  EXPECT_EQ(stats.trimmedSamples, 0);
}

}  // namespace
}  // namespace tarn
