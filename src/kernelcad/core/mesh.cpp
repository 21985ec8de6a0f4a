#include "kernelcad/core/mesh.h"

#include <algorithm>
#include <limits>

namespace kernelcad {

std::array<double, 6> Mesh::bounds() const {
  if (points.empty()) return {0, 0, 0, 0, 0, 0};
  constexpr double inf = std::numeric_limits<double>::infinity();
  std::array<double, 6> b{inf, inf, inf, -inf, -inf, -inf};
  for (std::size_t i = 0; i < points.size(); i += 3) {
    for (int a = 0; a < 3; ++a) {
      b[a] = std::min(b[a], points[i + a]);
      b[a + 3] = std::max(b[a + 3], points[i + a]);
    }
  }
  return b;
}

}  // namespace kernelcad
