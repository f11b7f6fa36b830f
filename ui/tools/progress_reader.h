#pragma once
// Reads the transcoder's diagnostic output as it arrives, in chunks of any
// size, for the three markers a job relies on: "Duration: HH:MM:SS.xx" (the
// source's length), "time=HH:MM:SS.xx" (how far it got) and
// "muxing overhead:" (the output was written completely). It also keeps the
// last line that is not a progress line, which on a failure is the
// transcoder's reason. No Qt, no threads: one reader per job, fed by whoever
// reads the job's pipe.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tarn::ui::tools {

// Milliseconds of a time written HH:MM:SS.xx: hours × 3600000 + minutes ×
// 60000 + seconds × 1000 + the digits after the point taken as a plain number
// (so "00:00:12.34" is 12034). Nothing for a negative time, "N/A" or text
// that is not a time.
std::optional<long long> MarkerTimeMs(std::string_view text);

// 0..99 while a job runs (position / duration, never 100 before the end),
// 100 once it has completed.
int ProgressPercent(long long durationMs, long long positionMs, bool completed);

class ProgressReader {
 public:
  // What one Feed changed.
  struct Update {
    bool duration = false;    // the duration became known
    bool position = false;    // the position moved forward
    bool completion = false;  // "muxing overhead:" was seen
  };

  Update Feed(std::string_view chunk);
  // The output has ended: an unterminated last line is read as a whole.
  Update Finish();

  // -1 until known.
  long long durationMs() const { return durationMs_; }
  // The furthest position seen, 0 before the first; never goes back.
  long long positionMs() const { return positionMs_; }
  bool completed() const { return completed_; }
  // Every valid "time=" marker read (including ones that did not move the
  // position forward).
  std::size_t positionMarkers() const { return positionMarkers_; }
  // The last line that is neither empty nor a progress line.
  const std::string& lastMessageLine() const { return lastMessageLine_; }

 private:
  // Looks for markers in `line` from `from`; `complete` when the line has
  // ended. Returns where a later scan of the same unfinished line starts.
  std::size_t ScanMarkers(std::string_view line, std::size_t from, bool complete, Update& update);
  void NoteLine(std::string_view line);

  std::string line_;        // the unfinished line
  std::size_t scanFrom_ = 0;  // markers of line_ before this were taken
  long long durationMs_ = -1;
  long long positionMs_ = 0;
  bool completed_ = false;
  std::size_t positionMarkers_ = 0;
  std::string lastMessageLine_;
};

}  // namespace tarn::ui::tools
