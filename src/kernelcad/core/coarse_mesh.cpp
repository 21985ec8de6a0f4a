#include "kernelcad/core/coarse_mesh.h"

#include <Eigen/Geometry>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace kernelcad {

namespace {

// The cube grid is one dense array; this bounds it (8 MB) whatever the mesh's proportions, and
// keeps every cluster number within the 21 bits a triangle key gives it.
constexpr std::size_t kMaxCells = std::size_t{1} << 21;

double surfaceArea(const Mesh& mesh) {
  const auto& p = mesh.points;
  const auto& t = mesh.triangles;
  const auto at = [&p](std::int32_t i) {
    const std::size_t k = 3 * static_cast<std::size_t>(i);
    return Eigen::Vector3d(p[k], p[k + 1], p[k + 2]);
  };
  double area = 0.0;
  for (std::size_t i = 0; i + 2 < t.size(); i += 3) {
    const Eigen::Vector3d a = at(t[i]);
    area += 0.5 * (at(t[i + 1]) - a).cross(at(t[i + 2]) - a).norm();
  }
  return area;
}

}  // namespace

Mesh coarseCopy(const Mesh& mesh, std::size_t targetVertices) {
  const std::size_t n = mesh.pointCount();
  if (n <= targetVertices || mesh.triangles.empty()) return mesh;

  // A surface of area A is covered by about A / s^2 cubes of side s.
  const std::array<double, 6> b = mesh.bounds();
  const double extent = std::max({b[3] - b[0], b[4] - b[1], b[5] - b[2]});
  double cell = std::sqrt(surfaceArea(mesh) / static_cast<double>(targetVertices));
  cell = std::max(cell, extent / static_cast<double>(kMaxCells));
  if (!(cell > 0.0)) return mesh;  // every point in one place: nothing to merge into
  std::array<std::size_t, 3> dims{};
  for (;;) {
    for (int a = 0; a < 3; ++a) dims[a] = static_cast<std::size_t>((b[a + 3] - b[a]) / cell) + 1;
    const double cells =
        static_cast<double>(dims[0]) * static_cast<double>(dims[1]) * static_cast<double>(dims[2]);
    if (cells <= static_cast<double>(kMaxCells)) break;
    cell *= 1.01 * std::cbrt(cells / static_cast<double>(kMaxCells));
  }

  const auto& p = mesh.points;
  std::vector<std::int32_t> grid(dims[0] * dims[1] * dims[2], -1);
  std::vector<std::int32_t> clusterOf(n);
  std::vector<double> sums;
  std::vector<std::uint32_t> colourSums;
  std::vector<std::uint32_t> counts;
  for (std::size_t v = 0; v < n; ++v) {
    std::size_t index = 0;
    for (int a = 2; a >= 0; --a) {
      const auto i = static_cast<std::size_t>((p[3 * v + a] - b[a]) / cell);
      index = index * dims[a] + std::min(i, dims[a] - 1);
    }
    std::int32_t& c = grid[index];
    if (c < 0) {
      c = static_cast<std::int32_t>(counts.size());
      counts.push_back(0);
      sums.insert(sums.end(), 3, 0.0);
      if (mesh.hasColors()) colourSums.insert(colourSums.end(), 3, 0);
    }
    clusterOf[v] = c;
    const auto k = 3 * static_cast<std::size_t>(c);
    ++counts[static_cast<std::size_t>(c)];
    for (std::size_t a = 0; a < 3; ++a) {
      sums[k + a] += p[3 * v + a];
      if (mesh.hasColors()) colourSums[k + a] += mesh.colors[3 * v + a];
    }
  }

  Mesh coarse;
  coarse.points.resize(sums.size());
  if (mesh.hasColors()) coarse.colors.resize(sums.size());
  for (std::size_t c = 0; c < counts.size(); ++c) {
    for (std::size_t a = 0; a < 3; ++a) {
      coarse.points[3 * c + a] = sums[3 * c + a] / counts[c];
      if (mesh.hasColors())
        coarse.colors[3 * c + a] =
            static_cast<std::uint8_t>((colourSums[3 * c + a] + counts[c] / 2) / counts[c]);
    }
  }

  // Each surviving triangle as one key: its clusters rotated so the smallest comes first, which
  // keeps the winding and makes copies equal.
  std::vector<std::uint64_t> keys;
  const auto& t = mesh.triangles;
  for (std::size_t i = 0; i + 2 < t.size(); i += 3) {
    std::array<std::uint64_t, 3> c{};
    for (std::size_t k = 0; k < 3; ++k)
      c[k] = static_cast<std::uint64_t>(clusterOf[static_cast<std::size_t>(t[i + k])]);
    if (c[0] == c[1] || c[1] == c[2] || c[2] == c[0]) continue;
    std::rotate(c.begin(), std::min_element(c.begin(), c.end()), c.end());
    keys.push_back(c[0] << 42 | c[1] << 21 | c[2]);
  }
  std::sort(keys.begin(), keys.end());
  keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
  coarse.triangles.reserve(3 * keys.size());
  constexpr std::uint64_t kMask = (std::uint64_t{1} << 21) - 1;
  for (const std::uint64_t key : keys) {
    for (const int shift : {42, 21, 0})
      coarse.triangles.push_back(static_cast<std::int32_t>(key >> shift & kMask));
  }
  return coarse;
}

}  // namespace kernelcad
