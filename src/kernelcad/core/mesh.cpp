#include "kernelcad/core/mesh.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <utility>

#include "kernelcad/core/file_access.h"

namespace kernelcad {

std::array<double, 6> Mesh::bounds() const {
  if (points.empty()) return {0, 0, 0, 0, 0, 0};
  // In the points' own precision, which is exact, four points at a time in independent lanes
  // the compiler turns into vector instructions: a million points in a millisecond, not five.
  constexpr float inf = std::numeric_limits<float>::infinity();
  constexpr std::size_t kLanes = 12;  // four points of three coordinates
  std::array<float, kLanes> lo, hi;
  lo.fill(inf), hi.fill(-inf);
  std::size_t i = 0;
  for (; i + kLanes <= points.size(); i += kLanes) {
    for (std::size_t k = 0; k < kLanes; ++k) {
      lo[k] = std::min(lo[k], points[i + k]);
      hi[k] = std::max(hi[k], points[i + k]);
    }
  }
  for (; i < points.size(); ++i) {
    lo[i % 3] = std::min(lo[i % 3], points[i]);
    hi[i % 3] = std::max(hi[i % 3], points[i]);
  }
  std::array<double, 6> b;
  for (int a = 0; a < 3; ++a) {
    b[a] = std::min({lo[a], lo[a + 3], lo[a + 6], lo[a + 9]});
    b[a + 3] = std::max({hi[a], hi[a + 3], hi[a + 6], hi[a + 9]});
  }
  return b;
}

std::vector<float> NormalsRoom(const Mesh& mesh) {
  std::vector<float> n;  // 2 MB pages: a scan's normals are faulted in while its picture waits
  n.reserve(mesh.points.size());
  files::AdviseHugePages(n.data(), n.capacity() * sizeof(float));
  return n;
}

std::vector<float> VertexNormals(const Mesh& mesh) {
  std::vector<float> n = NormalsRoom(mesh);
  VertexNormals(mesh, n);
  return n;
}

void VertexNormals(const Mesh& mesh, std::vector<float>& n) {
  // One pass over the triangles, summed straight into the result: a normals filter would copy
  // the whole mesh. Single precision, as the points are and as the shading needs: double sums
  // would take twice the memory of the result for no visible gain.
  n.assign(mesh.points.size(), 0.0f);
  const auto& p = mesh.points;
  const auto& t = mesh.triangles;
  for (std::size_t i = 0; i + 2 < t.size(); i += 3) {
    const std::size_t a = 3 * static_cast<std::size_t>(t[i]);
    const std::size_t b = 3 * static_cast<std::size_t>(t[i + 1]);
    const std::size_t c = 3 * static_cast<std::size_t>(t[i + 2]);
    const float ux = p[b] - p[a], uy = p[b + 1] - p[a + 1], uz = p[b + 2] - p[a + 2];
    const float vx = p[c] - p[a], vy = p[c + 1] - p[a + 1], vz = p[c + 2] - p[a + 2];
    const float nx = uy * vz - uz * vy;
    const float ny = uz * vx - ux * vz;
    const float nz = ux * vy - uy * vx;
    for (std::size_t v : {a, b, c}) {
      n[v] += nx;
      n[v + 1] += ny;
      n[v + 2] += nz;
    }
  }
  for (std::size_t i = 0; i + 2 < n.size(); i += 3) {
    const float len = std::sqrt(n[i] * n[i] + n[i + 1] * n[i + 1] + n[i + 2] * n[i + 2]);
    const float s = len > 0.0f ? 1.0f / len : 0.0f;
    for (int k = 0; k < 3; ++k) n[i + k] *= s;
  }
}

std::vector<std::int32_t> TrianglesByLowestCorner(const Mesh& mesh) {
  const std::vector<std::int32_t>& t = mesh.triangles;
  const std::size_t count = mesh.triangleCount();
  constexpr int kGroup = 3;  // corners 8 at a time: counts that stay in the cache
  const std::size_t groups = (mesh.pointCount() >> kGroup) + 1;
  // A corner out of range (a mesh not from the reader) counts in the first or the last group.
  const auto group = [&t, groups](std::size_t k) {
    const auto lowest = static_cast<std::size_t>(std::max(std::min({t[k], t[k + 1], t[k + 2]}), 0));
    return std::min(lowest >> kGroup, groups - 1);
  };
  std::vector<std::size_t> next(groups + 1, 0);
  for (std::size_t k = 0; k < 3 * count; k += 3) ++next[group(k) + 1];
  std::partial_sum(next.begin(), next.end(), next.begin());
  std::vector<std::int32_t> ordered;
  ordered.reserve(3 * count);
  files::AdviseHugePages(ordered.data(), ordered.capacity() * sizeof(std::int32_t));
  ordered.resize(3 * count);
  for (std::size_t k = 0; k < 3 * count; k += 3)
    std::copy_n(&t[k], 3, &ordered[3 * next[group(k)]++]);
  return ordered;
}

}  // namespace kernelcad
