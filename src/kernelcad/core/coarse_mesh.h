#pragma once

#include <cstddef>

#include "kernelcad/core/mesh.h"

namespace kernelcad {

// A coarse copy of `mesh` with about `targetVertices` vertices, for drawing while the view
// moves. Vertex clustering: space is cut into cubes sized from the surface area, the vertices
// in one cube merge into their mean (colours too), triangles that collapse are dropped and
// triangles that end up on the same three cubes with the same winding are kept once. A mesh
// already coarser than that comes back unchanged. Plain arrays only, so it runs on any thread.
Mesh coarseCopy(const Mesh& mesh, std::size_t targetVertices);

}  // namespace kernelcad
