#pragma once
// The level preview while no recording runs: opens the sound sources a
// recording with the same choice would take (the same source classes and
// devices), encodes nothing, and reports their levels about ten times a
// second, as a recording does.
//
// Opening and closing happen on the monitor's own thread ("sound-preview"),
// so the controlling thread never waits for a slow or dead sound server:
// Open and Close return at once. A source that cannot be opened, or that
// ends, is reported unavailable and is not tried again until the next Open.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "recorder/audio/sound_choice.h"
#include "recorder/audio/sound_levels.h"

namespace tarn {

class AudioSource;
class SourceFactory;

class SoundLevelMonitor {
 public:
  // Called on the monitor's thread with each report: every
  // kLevelReportPeriodMs while a source is live, once when the sources
  // (re)open or none of them can. Must return quickly.
  using Report = std::function<void(const SoundLevels&)>;

  // `sources` makes the sources; null means the real devices.
  explicit SoundLevelMonitor(Report report, SourceFactory* sources = nullptr);
  // Closes the sources and joins the thread.
  ~SoundLevelMonitor();
  SoundLevelMonitor(const SoundLevelMonitor&) = delete;
  SoundLevelMonitor& operator=(const SoundLevelMonitor&) = delete;

  // (Re)opens the sources of `choice`, closing those open before. A choice
  // of the same sources as those open changes nothing, unless one of them
  // was unavailable: then it is tried once more. Controlling thread.
  void Open(const SoundChoice& choice);
  // Closes the sources. Controlling thread.
  void Close();
  // Whether sources are asked for (between Open and Close).
  bool active() const;
  // Waits until the monitor's thread has carried out the last Open or Close;
  // false when `timeoutMs` passed first.
  bool WaitUntilSettled(int timeoutMs);
  // How many times sources were opened, for tests.
  int openCount() const;

 private:
  struct Opened;

  void Run();
  // Carries out request `number`.
  void Apply(const std::optional<SoundChoice>& wanted, std::uint64_t number,
             std::unique_ptr<Opened>& opened);
  std::unique_ptr<Opened> OpenSources(const SoundChoice& choice, std::uint64_t number);
  // Whether request `number` has been overtaken by another, or the monitor ends.
  bool Superseded(std::uint64_t number) const;
  void ReportLevels(Opened& opened);
  SourceFactory& sources();

  const Report report_;
  SourceFactory* const sourceFactory_;

  // What the controlling thread asks for; taken by the monitor's thread.
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable settled_;
  std::optional<SoundChoice> wanted_;  // guarded by mutex_
  std::uint64_t requestNumber_ = 0;    // guarded by mutex_; counts Open and Close calls
  std::uint64_t doneNumber_ = 0;       // guarded by mutex_; the last request carried out
  bool quit_ = false;                  // guarded by mutex_
  int openCount_ = 0;                  // guarded by mutex_
  std::thread thread_;
};

}  // namespace tarn
