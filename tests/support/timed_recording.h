#pragma once
// Drives a prepared Recorder through a timed recording: Resume, pauses at
// given times, Stop, and the wait for the finished file.

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <utility>
#include <vector>

#include "recorder/recorder.h"

namespace tarn::test {

// Pauses as {pauseAt, resumeAt} in seconds from the Resume; the recording
// stops `seconds` after the Resume. Expects the file to finish correctly.
inline void RunTimedRecording(Recorder& recorder, double seconds,
                              const std::vector<std::pair<double, double>>& pauses = {}) {
  const auto begin = std::chrono::steady_clock::now();
  auto at = [&begin](double s) {
    std::this_thread::sleep_until(begin + std::chrono::duration<double>(s));
  };
  recorder.Resume();
  for (const auto& [pauseAt, resumeAt] : pauses) {
    at(pauseAt);
    recorder.Pause();
    at(resumeAt);
    recorder.Resume();
  }
  at(seconds);
  recorder.Stop();
  EXPECT_TRUE(recorder.WaitUntilFinished(20000));
  EXPECT_TRUE(recorder.lastFinishOk());
}

}  // namespace tarn::test
