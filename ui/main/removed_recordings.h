#pragma once
// The recordings the user took off the list ("从列表移除") without deleting
// them, kept in a small text file so that the list still leaves them out after
// a restart. A file is known by its path and its modification time: a new
// recording written later under the same name is a new file and is listed.
// Not thread-safe; the UI thread owns it.

#include <cstdint>
#include <string>
#include <vector>

namespace tarn::ui {

class RemovedRecordings {
 public:
  // At most this many files are remembered; the oldest are forgotten first.
  static constexpr std::size_t kMaxEntries = 1000;

  // Reads `storePath` when it exists. A missing file is an empty store; a line
  // that cannot be read is skipped (and dropped at the next write).
  explicit RemovedRecordings(std::string storePath);

  // The modification time of `path` in nanoseconds, or -1 when the file
  // cannot be looked at.
  static std::int64_t ModifiedNs(const std::string& path);

  bool Contains(const std::string& path, std::int64_t modifiedNs) const;
  // Remembers a removed file and writes the store; false (logged) when the
  // store cannot be written, the file is then remembered for this run only.
  bool Add(const std::string& path, std::int64_t modifiedNs);
  // Forgets every entry of `path` (a new recording of that name); writes the
  // store when something was forgotten.
  void Forget(const std::string& path);

  std::size_t size() const { return entries_.size(); }
  const std::string& storePath() const { return storePath_; }

 private:
  struct Entry {
    std::int64_t modifiedNs;
    std::string path;
  };
  bool Save() const;

  std::string storePath_;
  std::vector<Entry> entries_;  // oldest first
};

}  // namespace tarn::ui
