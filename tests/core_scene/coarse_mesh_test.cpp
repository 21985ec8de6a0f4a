// The coarse copy a large scan is drawn from while the view moves.
#include "kernelcad/core/coarse_mesh.h"

#include <gtest/gtest.h>

#include <Eigen/Geometry>
#include <set>

#include "footgen/footgen.h"

namespace kernelcad {
namespace {

// Sum of the triangles' vector areas; checks on the way that every triangle has three distinct
// corners in range and no triangle comes twice with the same winding.
Eigen::Vector3d vectorArea(const Mesh& m) {
  const auto at = [&m](int i) { return Eigen::Map<const Eigen::Vector3d>(&m.points[3 * i]); };
  Eigen::Vector3d sum = Eigen::Vector3d::Zero();
  std::set<std::array<int, 3>> seen;
  for (std::size_t t = 0; t < m.triangles.size(); t += 3) {
    std::array<int, 3> c{m.triangles[t], m.triangles[t + 1], m.triangles[t + 2]};
    for (int v : c) EXPECT_TRUE(v >= 0 && static_cast<std::size_t>(v) < m.pointCount());
    EXPECT_TRUE(c[0] != c[1] && c[1] != c[2] && c[2] != c[0]);
    sum += 0.5 * (at(c[1]) - at(c[0])).cross(at(c[2]) - at(c[0]));
    std::rotate(c.begin(), std::min_element(c.begin(), c.end()), c.end());
    EXPECT_TRUE(seen.insert(c).second) << "triangle " << t / 3 << " twice";
  }
  return sum;
}

TEST(CoarseCopy, AFootKeepsItsSizeSoleAndLandmarksOnAFractionOfTheVertices) {
  const footgen::Foot foot = footgen::GenerateFoot(footgen::Side::Left);
  const Mesh coarse = coarseCopy(foot.mesh, 10'000);
  EXPECT_GT(coarse.pointCount(), 5'000u);
  EXPECT_LT(coarse.pointCount(), 20'000u);
  // Same box within a cube's size (about 2 mm here).
  const auto full = foot.mesh.bounds(), box = coarse.bounds();
  for (int a = 0; a < 6; ++a) EXPECT_NEAR(box[a], full[a], 3.0) << a;
  // The open surface's vector area is the sole's, facing down: a flipped winding turns it.
  const Eigen::Vector3d before = vectorArea(foot.mesh), after = vectorArea(coarse);
  EXPECT_GT(before.normalized().dot(after.normalized()), 0.99);
  EXPECT_NEAR(after.norm() / before.norm(), 1.0, 0.05);
  for (const auto& mark : {foot.landmarks.heel, foot.landmarks.ball, foot.landmarks.adjacent}) {
    Eigen::Vector3d hit;
    ASSERT_TRUE(footgen::LowestSurfacePoint(coarse, mark.x(), mark.y(), &hit));
    EXPECT_NEAR(hit.z(), mark.z(), 1.0);
  }
}

TEST(CoarseCopy, MergedVerticesAverageTheirColoursAndSmallMeshesStayAsTheyAre) {
  // A flat 30 x 30 grid facing +Z, coloured in proportion to x: the mean of merged colours is
  // then the colour of the merged position.
  Mesh grid;
  for (int v = 0; v < 900; ++v) {
    grid.points.insert(grid.points.end(), {double(v % 30), double(v / 30), 0.0});
    grid.colors.insert(grid.colors.end(), {std::uint8_t(8 * (v % 30)), 0, 200});
    if (v % 30 < 29 && v < 870) grid.triangles.insert(grid.triangles.end(), {v, v + 1, v + 31});
  }
  const Mesh coarse = coarseCopy(grid, 100);
  ASSERT_LT(coarse.pointCount(), 300u);
  EXPECT_GT(vectorArea(coarse).normalized().z(), 0.99);
  for (std::size_t v = 0; v < coarse.pointCount(); ++v)
    EXPECT_NEAR(coarse.colors[3 * v], 8 * coarse.points[3 * v], 1.0);
  EXPECT_EQ(coarseCopy(grid, 900).points, grid.points);
  Mesh onePlace = grid;  // nothing to merge into
  std::fill(onePlace.points.begin(), onePlace.points.end(), 5.0);
  EXPECT_EQ(coarseCopy(onePlace, 100).triangles, grid.triangles);
}

}  // namespace
}  // namespace kernelcad
