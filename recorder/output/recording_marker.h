#pragma once
// The on-disk mark of a recording that is not finished: a hidden file
// ".<name>.recording" beside the recording "<name>". The writing process holds
// an exclusive flock() on it for as long as it writes, so another process can
// tell a live recording (locked) from one a crash or power cut left behind
// (unlocked: the kernel drops the lock with the process). A finished
// recording has no marker.

#include <string>
#include <vector>

namespace tarn {

class RecordingMarker {
 public:
  RecordingMarker() = default;
  // Releases the lock; the marker stays on disk unless Remove was called, so
  // the recording stays marked as unfinished.
  ~RecordingMarker();
  RecordingMarker(RecordingMarker&& other) noexcept;
  RecordingMarker& operator=(RecordingMarker&& other) noexcept;
  RecordingMarker(const RecordingMarker&) = delete;
  RecordingMarker& operator=(const RecordingMarker&) = delete;

  // Creates and locks the marker of `recordingPath`. A marker left by a dead
  // recording of the same name is taken over. Returns 0 or an errno value
  // (EBUSY: a live process records into that path).
  int Create(const std::string& recordingPath);
  // Locks the existing marker file `markerPath` when no live process holds
  // it. False when it is held, or gone.
  bool Claim(const std::string& markerPath);
  // Deletes the marker (the recording is finished) and releases the lock.
  void Remove();
  // Releases the lock and keeps the marker.
  void Release();

  bool held() const { return fd_ >= 0; }
  const std::string& path() const { return path_; }

  static std::string MarkerPathFor(const std::string& recordingPath);
  // The recording a marker file name stands for ("" for other names).
  static std::string RecordingNameFor(const std::string& markerName);
  // The name of the temporary file that finishing the recording may leave
  // for a moment before renaming it over the recording.
  static std::string FinishingPathFor(const std::string& recordingPath);

 private:
  // Locks `fd` (blocking or not) and checks that `path` still names it.
  static bool LockIfCurrent(int fd, const std::string& path, bool wait);

  int fd_ = -1;
  std::string path_;
};

// The markers in `dir` whose recordings no live process writes, each claimed.
std::vector<RecordingMarker> ClaimDeadMarkers(const std::string& dir);

}  // namespace tarn
