#pragma once
// The recording's one time line. Every picture and every block of sound is
// stamped with the monotonic time at which it was captured; the time line
// turns such a stamp into recording time: microseconds since the recording
// began, with the pauses left out. Resume opens a segment of active time,
// Pause closes it, Stop closes the last one for good. Stamps that fall
// before the first Resume, inside a pause or after Stop belong to no segment:
// what was captured then is not recorded.
//
// All methods are thread-safe.

#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

namespace tarn {

// Microseconds on the steady (CLOCK_MONOTONIC) clock: the clock of every stamp.
std::int64_t MonotonicNowUs();

class RecordingTimeline {
 public:
  // Forgets every segment: a new recording that has not begun yet.
  void Reset();
  // Active time starts (again) at `monoUs`. Does nothing while running or after Stop.
  void Resume(std::int64_t monoUs);
  // Active time stops at `monoUs`. Does nothing unless running.
  void Pause(std::int64_t monoUs);
  // The recording ends at `monoUs` (pausing first when running). Final.
  void Stop(std::int64_t monoUs);

  bool running() const;
  bool stopped() const;
  // Whether Resume was ever called since Reset.
  bool begun() const;
  // Monotonic time of the first Resume (0 before).
  std::int64_t beginMonoUs() const;

  // Recording time of a stamp inside a segment; nullopt outside every segment.
  std::optional<std::int64_t> ToRecordingUs(std::int64_t monoUs) const;

  // One piece of [beginMonoUs, endMonoUs) that lies inside a segment.
  struct Portion {
    std::int64_t monoBeginUs;
    std::int64_t monoEndUs;
    std::int64_t recordingBeginUs;
  };
  // The pieces of a span that were recorded, in order (none when it lies in
  // no segment).
  std::vector<Portion> ActivePortions(std::int64_t beginMonoUs, std::int64_t endMonoUs) const;

  // The monotonic time at which recording time `recordingUs` was reached;
  // nullopt when the recording has not got that far yet (or will not: it
  // stopped before).
  std::optional<std::int64_t> ToMonotonicUs(std::int64_t recordingUs) const;

  // Recording time reached at `monoUs`: the active time before it.
  std::int64_t RecordingTimeAt(std::int64_t monoUs) const;
  // Total recording time once stopped (nullopt before Stop).
  std::optional<std::int64_t> stopRecordingUs() const;

 private:
  struct Segment {
    std::int64_t monoBeginUs;
    std::int64_t monoEndUs;  // kOpen while running
    std::int64_t recordingBeginUs;
  };
  static constexpr std::int64_t kOpen = INT64_MAX;

  mutable std::mutex mutex_;
  std::vector<Segment> segments_;  // in time order; guarded by mutex_
  bool stopped_ = false;           // guarded by mutex_
};

// Turns picture stamps into picture slots (recording time x frame rate) for
// a constant-rate stream: consecutive pictures take consecutive slots; a
// picture that comes more than a slot and a half after the last one leaves
// the slots between empty (pictures were lost, the time line stays right); a
// picture less than half a slot after the last one is surplus. One picture
// taken a little late (less than a slot) and followed by one on time would
// leave a slot empty and the next picture surplus; instead the late one moves
// back into the empty slot (the caller has not encoded it yet) and the next
// one takes its place. Used by one thread.
class PictureSlotter {
 public:
  explicit PictureSlotter(int frameRate) : frameRate_(frameRate > 0 ? frameRate : 1) {}
  // The slot of a picture taken at `recordingUs`, or nullopt for a surplus one.
  std::optional<std::int64_t> Place(std::int64_t recordingUs);
  // Whether the last Place moved the picture placed before it back by one slot.
  bool previousMovedBack() const { return movedBack_; }
  // Slots left empty so far.
  std::int64_t skippedSlots() const { return skipped_; }
  // Of these, the ones no later picture can fill any more.
  std::int64_t settledSkippedSlots() const { return skipped_ - lastSkipped_; }
  std::int64_t surplusPictures() const { return surplus_; }

 private:
  const int frameRate_;
  std::int64_t last_ = -1;
  double lastExact_ = 0;        // the last picture's time in slots
  std::int64_t lastSkipped_ = 0;  // slots its placement left empty
  bool movedBack_ = false;
  std::int64_t skipped_ = 0;
  std::int64_t surplus_ = 0;
};

}  // namespace tarn
