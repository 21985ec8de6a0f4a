#include <cstddef>
#include <cstdint>
#include <string_view>

#include "scan_check.h"

// Any input must end in a mesh or a ScanError: never a crash, hang, or other exception.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    CheckScan(kernelcad::ReadScanBuffer(std::string_view(reinterpret_cast<const char*>(data), size),
                                        "fuzz.wrl"));
  } catch (const kernelcad::ScanError&) {
  }
  return 0;
}
