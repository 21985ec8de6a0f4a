#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "kernelcad/core/scan_reader.h"

// What every scan the reader hands back must satisfy; a violation stops the fuzzer.
inline void CheckScan(const kernelcad::ScanFile& scan) {
  const std::size_t n = scan.mesh.pointCount();
  std::vector<bool> used(n);
  for (const std::int32_t t : scan.mesh.triangles) {
    if (t < 0 || static_cast<std::size_t>(t) >= n) __builtin_trap();
    used[static_cast<std::size_t>(t)] = true;
  }
  for (const bool u : used) {
    if (!u) __builtin_trap();  // points no triangle uses are dropped
  }
  if (scan.mesh.hasColors() && scan.mesh.colors.size() != n * 3) __builtin_trap();
}
