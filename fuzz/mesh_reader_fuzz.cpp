#include <cstddef>
#include <cstdint>
#include <string_view>

#include "scan_check.h"

// The STL, OBJ and PLY readers: the first byte picks the name the bytes come under (binary STL
// and OBJ are told by their extension), the rest are the file. Any input must end in a mesh or
// a ScanError.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static const char* const kNames[] = {"fuzz.stl", "fuzz.obj", "fuzz.ply"};
  try {
    CheckScan(kernelcad::ReadScanBuffer(
        std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1), kNames[data[0] % 3]));
  } catch (const kernelcad::ScanError&) {
  }
  return 0;
}
