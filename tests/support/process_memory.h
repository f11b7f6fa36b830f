#pragma once
// The test process's resident memory, as the kernel counts it.

#include <cstdint>
#include <fstream>
#include <string>

namespace tarn::test {

// VmRSS in kilobytes; -1 when it cannot be read.
inline std::int64_t ResidentKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stoll(line.substr(6));
  }
  return -1;
}

}  // namespace tarn::test
