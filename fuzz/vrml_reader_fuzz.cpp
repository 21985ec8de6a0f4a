#include <cstddef>
#include <cstdint>
#include <string_view>

#include "kernelcad/core/vrml_reader.h"

// Any input must end in a mesh or a VrmlError: never a crash, hang, or other exception.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    const kernelcad::VrmlScan scan = kernelcad::ReadVrmlBuffer(
        std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.wrl");
    const std::size_t n = scan.mesh.pointCount();
    for (const std::int32_t t : scan.mesh.triangles) {
      if (t < 0 || static_cast<std::size_t>(t) >= n) __builtin_trap();
    }
    if (scan.mesh.hasColors() && scan.mesh.colors.size() != n * 3) __builtin_trap();
  } catch (const kernelcad::VrmlError&) {
  }
  return 0;
}
