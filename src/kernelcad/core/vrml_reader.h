#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "kernelcad/core/mesh.h"

namespace kernelcad {

// Any file the reader refuses. The message names the file and, where one exists, the line.
class VrmlError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct VrmlScan {
  Mesh mesh;            // every IndexedFaceSet of the file, in world coordinates, as one mesh
  std::string version;  // "1.0" or "2.0"
  bool gzip = false;    // the bytes were gzip-compressed (recognised by content, not by name)
};

// Reads a VRML 1.0 or 2.0 file, plain or gzip-compressed. Throws VrmlError.
// Colours are kept only when every IndexedFaceSet carries per-vertex colours; a mesh with
// colour on some parts and none on others would render misleadingly, so then all are dropped.
VrmlScan ReadVrmlFile(const std::string& path);

// Same as ReadVrmlFile on bytes already in memory; fileName is only used in messages.
VrmlScan ReadVrmlBuffer(std::string_view bytes, const std::string& fileName);

}  // namespace kernelcad
