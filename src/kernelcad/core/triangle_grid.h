#pragma once

#include <Eigen/Core>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "kernelcad/core/mesh.h"

namespace kernelcad {

// Where a line first meets a triangle mesh, in well under a millisecond on a million-point scan:
// the triangles sorted into a uniform grid of cells, which a ray walks
// cell by cell from its start. Built in one pass over the triangles with memory proportional to
// them (a triangle spanning more than a few cells is kept on a list every ray tests instead), so
// it is ready soon after a load. Plain arrays only: build it on any thread, then query it from
// another. The mesh must outlive the grid and not change.
class TriangleGrid {
 public:
  explicit TriangleGrid(const Mesh& mesh);

  // The point nearest `from` where the segment from `from` to `to` meets a triangle of the
  // mesh; nothing when it meets none.
  std::optional<Eigen::Vector3d> FirstHit(const Eigen::Vector3d& from,
                                          const Eigen::Vector3d& to) const;

 private:
  // Segment parameter in [0, 1] where from + t (to - from) meets triangle `tri`, or nothing.
  std::optional<double> hitTriangle(std::int32_t tri, const Eigen::Vector3d& from,
                                    const Eigen::Vector3d& dir) const;
  std::size_t cellIndex(const std::array<std::int64_t, 3>& c) const;

  const Mesh& mesh_;
  Eigen::Vector3d origin_ = Eigen::Vector3d::Zero();
  double cell_ = 1.0;
  std::array<std::int64_t, 3> dims_{0, 0, 0};
  std::vector<std::uint32_t> start_;      // cell c holds tris_[start_[c] .. start_[c + 1])
  std::vector<std::int32_t> tris_;        // triangle numbers, cell after cell
  std::vector<std::int32_t> everywhere_;  // triangles too large for the grid
};

}  // namespace kernelcad
