#pragma once

#include <cstdint>
#include <vector>

#include "kernelcad/core/mesh.h"

namespace kernelcad {

// Builds a mesh from corners given one by one, merging corners at the same point into one
// vertex: STL repeats each corner in every triangle it belongs to, and picking, normals and
// the measurements need to see one surface. Same point means the same single-precision
// coordinates (+0 and -0 alike), as the file wrote them: nothing is snapped.
class CornerWelder {
 public:
  explicit CornerWelder(std::size_t expectedCorners);

  // Adds a triangle's corner (x, y, z) to the mesh's triangle list.
  void Add(float x, float y, float z);
  Mesh Take();

 private:
  void Grow();

  Mesh mesh_;
  std::vector<std::int32_t> slots_;  // open addressing: vertex index, or -1 for none
  std::size_t mask_ = 0;
};

}  // namespace kernelcad
