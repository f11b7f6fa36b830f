#pragma once
// Runs a shell command for a test and returns what it printed on standard output.

#include <cstdio>
#include <memory>
#include <string>

namespace tarn::test {

inline std::string CommandOutput(const std::string& command) {
  struct PipeCloser {
    void operator()(FILE* pipe) const { ::pclose(pipe); }
  };
  std::unique_ptr<FILE, PipeCloser> pipe(::popen(command.c_str(), "r"));
  std::string output;
  if (!pipe) return output;
  char buffer[4096];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0) output.append(buffer, got);
  return output;
}

}  // namespace tarn::test
