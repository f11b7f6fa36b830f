#pragma once
// Rewrites a recording file into its finished form:
//  - MP4 / MOV (written fragmented): a regular file with its index ('moov')
//    in front of the media data, so players start at once and seek anywhere;
//  - the others: the same packets written again, so that the index (AVI,
//    Matroska cues), the durations and the header (ASF) describe them.
// Whatever the file holds is kept up to its last complete packet or
// fragment; a torn end is dropped.
//
// The new file is written beside the old one (an unnamed file where the file
// system allows it), synced, and renamed over it in one step: at every
// moment `path` holds either the old or the new file. On failure the old file
// stays as it was and nothing else is left in the folder.

#include <cstdint>
#include <functional>
#include <string>

namespace tarn {

struct RewriteResult {
  bool ok = false;
  // The new file could not be written (no space, an I/O error): the old one
  // is intact and the rewrite may succeed later. Otherwise a failure means
  // the old file cannot be read.
  bool writeFailed = false;
  // The pictures' data was copied in the kernel (RewriteOptions).
  bool copiedInKernel = false;
  std::string error;
};

struct RewriteOptions {
  // MP4 / MOV: copy the pictures' data file to file in the kernel instead of
  // reading and writing it (see SourceCopier); the result is the same.
  bool copyInKernel = true;
};

// `progress` (0..1) is called when the rewrite has taken longer than half a
// second, then about ten times a second.
RewriteResult RewriteRecording(const std::string& path,
                               const std::function<void(double)>& progress = {},
                               const RewriteOptions& options = {});

}  // namespace tarn
