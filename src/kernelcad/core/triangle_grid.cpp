#include "kernelcad/core/triangle_grid.h"

#include <Eigen/Geometry>
#include <algorithm>
#include <cmath>
#include <limits>

namespace kernelcad {

namespace {

// A triangle whose bounding box spans more cells than this goes on the list every ray tests:
// it bounds the grid's memory at this many entries per triangle, whatever the mesh.
constexpr std::int64_t kMaxCellsPerTriangle = 8;
// A scan is a surface, so most cells of its box are empty and those it crosses hold many
// triangles: with a cell for every triangle a 2M-triangle scan's grid took 36 MB, nearly all of
// it empty cells and triangles entered in several cells. With a cell for every kTrianglesPerCell
// it takes 11 MB, and a pick tests a few hundred triangles, still well under a millisecond.
constexpr double kTrianglesPerCell = 8;
// Cells are at most this many: the start offsets stay within 8 MB for any mesh.
constexpr double kMaxCells = 2'000'000;

Eigen::Vector3d pointOf(const Mesh& mesh, std::int32_t i) {
  const std::size_t k = 3 * static_cast<std::size_t>(i);
  return {mesh.points[k], mesh.points[k + 1], mesh.points[k + 2]};
}

}  // namespace

TriangleGrid::TriangleGrid(const Mesh& mesh) : mesh_(mesh) {
  const std::size_t count = mesh.triangleCount();
  const std::array<double, 6> b = mesh.bounds();
  const Eigen::Vector3d lo(b[0], b[1], b[2]);
  const Eigen::Vector3d extent = Eigen::Vector3d(b[3], b[4], b[5]) - lo;
  const double longest = extent.maxCoeff();
  if (count == 0 || !std::isfinite(longest) || !std::isfinite(lo.sum()) || !(longest > 0.0)) {
    for (std::size_t t = 0; t < count; ++t) everywhere_.push_back(static_cast<std::int32_t>(t));
    return;
  }
  // Cubes of side cell_ over the axes the mesh spans.
  const double cells =
      std::min(std::ceil(static_cast<double>(count) / kTrianglesPerCell), kMaxCells);
  double volume = 1.0;
  int spanned = 0;
  for (int a = 0; a < 3; ++a) {
    if (extent[a] > longest * 1e-6) {
      volume *= extent[a];
      ++spanned;
    }
  }
  cell_ = std::pow(volume / cells, 1.0 / spanned);
  for (;;) {
    double total = 1.0;
    for (int a = 0; a < 3; ++a) {
      dims_[a] = static_cast<std::int64_t>(extent[a] / cell_) + 1;
      total *= static_cast<double>(dims_[a]);
    }
    if (total <= 2.0 * cells) break;
    cell_ *= 1.1;
  }
  origin_ = lo;

  // Two passes: count the entries of each cell, then place the triangles at their offsets.
  const auto cellRange = [this](std::int32_t t, std::array<std::int64_t, 3>& first,
                                std::array<std::int64_t, 3>& last) {
    const std::size_t k = 3 * static_cast<std::size_t>(t);
    std::int64_t span = 1;
    for (int a = 0; a < 3; ++a) {
      double lo = std::numeric_limits<double>::infinity();
      double hi = -lo;
      for (std::size_t v = 0; v < 3; ++v) {
        const double x = mesh_.points[3 * static_cast<std::size_t>(mesh_.triangles[k + v]) + a];
        lo = std::min(lo, x);
        hi = std::max(hi, x);
      }
      first[a] = std::clamp(static_cast<std::int64_t>((lo - origin_[a]) / cell_), std::int64_t{0},
                            dims_[a] - 1);
      last[a] = std::clamp(static_cast<std::int64_t>((hi - origin_[a]) / cell_), std::int64_t{0},
                           dims_[a] - 1);
      span *= last[a] - first[a] + 1;
    }
    return span <= kMaxCellsPerTriangle;
  };
  const auto forEachCell = [this, &cellRange](std::int32_t t, auto&& fn) {
    std::array<std::int64_t, 3> first{};
    std::array<std::int64_t, 3> last{};
    if (!cellRange(t, first, last)) return false;
    for (std::int64_t z = first[2]; z <= last[2]; ++z)
      for (std::int64_t y = first[1]; y <= last[1]; ++y)
        for (std::int64_t x = first[0]; x <= last[0]; ++x) fn(cellIndex({x, y, z}));
    return true;
  };
  start_.assign(static_cast<std::size_t>(dims_[0] * dims_[1] * dims_[2]) + 1, 0);
  for (std::size_t t = 0; t < count; ++t) {
    const auto tri = static_cast<std::int32_t>(t);
    if (!forEachCell(tri, [this](std::size_t c) { ++start_[c + 1]; })) everywhere_.push_back(tri);
  }
  for (std::size_t c = 1; c < start_.size(); ++c) start_[c] += start_[c - 1];
  tris_.resize(start_.back());
  std::vector<std::uint32_t> next(start_.begin(), start_.end() - 1);
  for (std::size_t t = 0; t < count; ++t) {
    const auto tri = static_cast<std::int32_t>(t);
    forEachCell(tri, [&](std::size_t c) { tris_[next[c]++] = tri; });
  }
}

std::size_t TriangleGrid::cellIndex(const std::array<std::int64_t, 3>& c) const {
  return static_cast<std::size_t>((c[2] * dims_[1] + c[1]) * dims_[0] + c[0]);
}

std::optional<double> TriangleGrid::hitTriangle(std::int32_t tri, const Eigen::Vector3d& from,
                                                const Eigen::Vector3d& dir) const {
  const std::size_t k = 3 * static_cast<std::size_t>(tri);
  const Eigen::Vector3d a = pointOf(mesh_, mesh_.triangles[k]);
  const Eigen::Vector3d e1 = pointOf(mesh_, mesh_.triangles[k + 1]) - a;
  const Eigen::Vector3d e2 = pointOf(mesh_, mesh_.triangles[k + 2]) - a;
  const Eigen::Vector3d p = dir.cross(e2);
  const double det = e1.dot(p);
  if (det == 0.0 || !std::isfinite(det)) return std::nullopt;  // along the triangle's plane
  // A line through an edge or corner hits both neighbours rather than slipping between them.
  constexpr double kSlack = 1e-9;
  const Eigen::Vector3d s = from - a;
  const double u = s.dot(p) / det;
  if (u < -kSlack || u > 1.0 + kSlack) return std::nullopt;
  const Eigen::Vector3d q = s.cross(e1);
  const double v = dir.dot(q) / det;
  if (v < -kSlack || u + v > 1.0 + kSlack) return std::nullopt;
  const double t = e2.dot(q) / det;
  if (t < 0.0 || t > 1.0) return std::nullopt;
  return t;
}

std::optional<Eigen::Vector3d> TriangleGrid::FirstHit(const Eigen::Vector3d& from,
                                                      const Eigen::Vector3d& to) const {
  const Eigen::Vector3d dir = to - from;
  double best = std::numeric_limits<double>::infinity();
  const auto test = [&](std::int32_t tri) {
    if (const auto t = hitTriangle(tri, from, dir); t && *t < best) best = *t;
  };
  for (const std::int32_t tri : everywhere_) test(tri);

  // The part of the segment inside the grid's box.
  double enter = 0.0;
  double leave = 1.0;
  for (int a = 0; a < 3 && !start_.empty(); ++a) {
    const double lo = origin_[a];
    const double hi = origin_[a] + static_cast<double>(dims_[a]) * cell_;
    if (dir[a] == 0.0) {
      if (from[a] < lo || from[a] > hi) leave = -1.0;
      continue;
    }
    double t0 = (lo - from[a]) / dir[a];
    double t1 = (hi - from[a]) / dir[a];
    if (t0 > t1) std::swap(t0, t1);
    enter = std::max(enter, t0);
    leave = std::min(leave, t1);
  }
  if (!start_.empty() && enter <= leave) {
    // Walk the cells the segment crosses, in order, until a hit lies within the cells walked.
    const Eigen::Vector3d at = from + enter * dir;
    std::array<std::int64_t, 3> c{};
    std::array<std::int64_t, 3> step{};
    std::array<double, 3> nextT{};
    std::array<double, 3> deltaT{};
    for (int a = 0; a < 3; ++a) {
      c[a] = std::clamp(static_cast<std::int64_t>((at[a] - origin_[a]) / cell_), std::int64_t{0},
                        dims_[a] - 1);
      if (dir[a] > 0.0) {
        step[a] = 1;
        nextT[a] = (origin_[a] + static_cast<double>(c[a] + 1) * cell_ - from[a]) / dir[a];
        deltaT[a] = cell_ / dir[a];
      } else if (dir[a] < 0.0) {
        step[a] = -1;
        nextT[a] = (origin_[a] + static_cast<double>(c[a]) * cell_ - from[a]) / dir[a];
        deltaT[a] = -cell_ / dir[a];
      } else {
        nextT[a] = std::numeric_limits<double>::infinity();
      }
    }
    for (;;) {
      const std::size_t index = cellIndex(c);
      for (std::uint32_t i = start_[index]; i < start_[index + 1]; ++i) test(tris_[i]);
      const int a = static_cast<int>(std::min_element(nextT.begin(), nextT.end()) - nextT.begin());
      if (best <= nextT[a] || nextT[a] > leave) break;
      c[a] += step[a];
      if (c[a] < 0 || c[a] >= dims_[a]) break;
      nextT[a] += deltaT[a];
    }
  }
  if (!std::isfinite(best)) return std::nullopt;
  return from + best * dir;
}

}  // namespace kernelcad
