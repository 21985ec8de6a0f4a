// What the benchmarks share: medians, timing, memory figures, child processes and the
// synthetic scans they read.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "footgen/footgen.h"

namespace bench {

using Clock = std::chrono::steady_clock;

inline double Median(std::vector<double> v) {
  if (v.empty()) return 0.0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

inline double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// kB value of a status line such as "VmHWM:" of this process, or of the one given.
inline long StatusKb(const char* key, const std::string& process = "self") {
  std::FILE* f = std::fopen(("/proc/" + process + "/status").c_str(), "r");
  if (!f) return -1;
  char line[256];
  long kb = -1;
  while (std::fgets(line, sizeof line, f)) {
    if (std::strncmp(line, key, std::strlen(key)) == 0) kb = std::atol(line + std::strlen(key));
  }
  std::fclose(f);
  return kb;
}

// Runs fn in a child process so its allocations never touch this process's heap.
template <typename Fn>
bool InChild(Fn fn) {
  std::fflush(stdout);  // or the child would print the parent's buffered text again
  const pid_t pid = fork();
  if (pid == 0) {
    const int rc = fn();
    std::fflush(stdout);
    _exit(rc);
  }
  int status = 0;
  return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

// A synthetic VRML 2.0 foot of about `vertices` vertices in the temp folder, written on first
// use; empty when it cannot be written.
inline std::string ScanFile(long long vertices) {
  const std::string path = (std::filesystem::temp_directory_path() /
                            ("quarnel_bench_foot_" + std::to_string(vertices / 1000) + "k.wrl"))
                               .string();
  if (std::filesystem::exists(path)) return path;
  std::printf("writing %s ...\n", path.c_str());
  const bool ok = InChild([&] {
    const footgen::Foot foot =
        footgen::GenerateFoot(footgen::Side::Left, footgen::ResolutionForVertices(vertices));
    std::ofstream out(path, std::ios::binary);
    footgen::WriteVrml2(foot.mesh, out, "synthetic foot for the benchmarks");
    return out.good() ? 0 : 1;
  });
  if (!ok) {
    std::filesystem::remove(path);
    return {};
  }
  return path;
}

}  // namespace bench
