#pragma once

#include <string>

#include "kernelcad/core/mesh.h"
#include "kernelcad/core/scan_reader.h"

namespace kernelcad {

// The mesh as the bytes of a file in `format` (any but Vrml), as CAD/CAM programs read them:
// coordinates in single precision, written so that reading them back gives the same floats;
// colours where the format carries them (PLY, OBJ's "v x y z r g b"); STL gets facet normals.
std::string MeshFileBytes(const Mesh& mesh, ScanFormat format);

// Writes MeshFileBytes to `path`. Throws std::runtime_error naming the file when it cannot.
void WriteMeshFile(const Mesh& mesh, ScanFormat format, const std::string& path);

}  // namespace kernelcad
