#pragma once

// quarnel-scan run as a lab script runs it: through the shell, with its exit code.

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

struct Outcome {
  int exitCode;
  std::string out;
};

// Runs "quarnel-scan <args>"; stderr goes with stdout when `withErrors`, else it is dropped.
inline Outcome runScan(const std::string& args, bool withErrors = true) {
  const std::string command =
      std::string(QUARNEL_SCAN) + " " + args + (withErrors ? " 2>&1" : " 2>/dev/null");
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return {-1, {}};
  std::string out;
  std::array<char, 4096> buffer{};
  while (const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe))
    out.append(buffer.data(), n);
  const int status = pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}
