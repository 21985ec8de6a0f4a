#include <cstddef>
#include <cstdint>
#include <string_view>

#include "scan_check.h"

// Any input must end in a mesh or a VrmlError: never a crash, hang, or other exception.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    CheckScan(kernelcad::ReadVrmlBuffer(std::string_view(reinterpret_cast<const char*>(data), size),
                                        "fuzz.wrl"));
  } catch (const kernelcad::VrmlError&) {
  }
  return 0;
}
