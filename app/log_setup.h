#pragma once
// The program's log folder: the start-up sweep of old files and the glog set-up.

#include <ctime>
#include <string>

namespace tarn {

// Deletes every file of `logDir` whose date part (the 8 characters after the
// "log." prefix) is not `now`'s local date in "%Y%m%d" form, so only logs
// opened today survive. Folders are left alone and deletion failures are
// ignored. Returns 0, or -1 when the folder cannot be listed.
int SweepStaleLogs(const std::string& logDir, std::time_t now);

// Sets glog up to write every line at once into `logDir` (which ends with "/")
// as files named "log.YYYYMMDD-HHMMSS.PID", with no other log files, links or
// console copies. Call once, before the first log line.
void InitLogging(const std::string& logDir);

// Flushes and closes the log.
void ShutdownLogging();

}  // namespace tarn
