#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "scan_check.h"

// The same through a file on disk, with progress reported: the path every window and the
// command line take.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path = (std::filesystem::temp_directory_path() /
                                   ("quarnel_fuzz_" + std::to_string(::getpid()) + ".wrl"))
                                      .string();
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) __builtin_trap();
  if (size > 0 && std::fwrite(data, 1, size, f) != size) __builtin_trap();
  std::fclose(f);
  kernelcad::ReadProgress progress;
  try {
    CheckScan(kernelcad::ReadScanFile(path, &progress));
    if (progress.done != size || progress.total != size) __builtin_trap();
  } catch (const kernelcad::ScanError&) {
    if (progress.done > progress.total) __builtin_trap();
  }
  return 0;
}
