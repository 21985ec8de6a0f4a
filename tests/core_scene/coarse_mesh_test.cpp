// The coarse copy a large scan is drawn from while the view moves.
#include "kernelcad/core/coarse_mesh.h"

#include <gtest/gtest.h>

#include <Eigen/Geometry>
#include <set>
#include <tuple>

#include "footgen/footgen.h"

namespace kernelcad {
namespace {

Eigen::Vector3d point(const Mesh& m, std::int32_t i) {
  return Eigen::Map<const Eigen::Vector3d>(&m.points[3 * static_cast<std::size_t>(i)]);
}

Eigen::Vector3d triangleArea(const Mesh& m, std::size_t t) {
  const auto& i = m.triangles;
  const Eigen::Vector3d a = point(m, i[3 * t]);
  return 0.5 * (point(m, i[3 * t + 1]) - a).cross(point(m, i[3 * t + 2]) - a);
}

// Indices in range, no collapsed triangle and no triangle twice with the same winding.
void expectWellFormed(const Mesh& m) {
  std::set<std::tuple<int, int, int>> seen;
  for (std::size_t t = 0; t < m.triangleCount(); ++t) {
    std::array<int, 3> c{m.triangles[3 * t], m.triangles[3 * t + 1], m.triangles[3 * t + 2]};
    for (int v : c) ASSERT_TRUE(v >= 0 && static_cast<std::size_t>(v) < m.pointCount());
    ASSERT_TRUE(c[0] != c[1] && c[1] != c[2] && c[2] != c[0]);
    std::rotate(c.begin(), std::min_element(c.begin(), c.end()), c.end());
    ASSERT_TRUE(seen.emplace(c[0], c[1], c[2]).second) << "triangle " << t << " twice";
  }
}

TEST(CoarseCopy, AFootKeepsItsShapeSoleAndLandmarksOnAFractionOfTheVertices) {
  const footgen::Foot foot = footgen::GenerateFoot(footgen::Side::Left);
  const Mesh coarse = coarseCopy(foot.mesh, 10'000);
  expectWellFormed(coarse);
  EXPECT_GT(coarse.pointCount(), 5'000u);
  EXPECT_LT(coarse.pointCount(), 20'000u);
  EXPECT_LT(coarse.triangleCount(), foot.mesh.triangleCount() / 5);

  // Same box within a cube's size (about 2 mm here), never beyond the original.
  const auto full = foot.mesh.bounds();
  const auto box = coarse.bounds();
  for (int a = 0; a < 3; ++a) {
    EXPECT_GE(box[a], full[a]);
    EXPECT_LE(box[a + 3], full[a + 3]);
    EXPECT_NEAR(box[a], full[a], 3.0);
    EXPECT_NEAR(box[a + 3], full[a + 3], 3.0);
  }
  // The open surface's vector area is the sole's, facing down: a flipped winding turns it.
  Eigen::Vector3d before = Eigen::Vector3d::Zero(), after = Eigen::Vector3d::Zero();
  for (std::size_t t = 0; t < foot.mesh.triangleCount(); ++t) before += triangleArea(foot.mesh, t);
  for (std::size_t t = 0; t < coarse.triangleCount(); ++t) after += triangleArea(coarse, t);
  EXPECT_GT(before.normalized().dot(after.normalized()), 0.99);
  EXPECT_NEAR(after.norm() / before.norm(), 1.0, 0.05);
  for (const Eigen::Vector3d& mark :
       {foot.landmarks.heel, foot.landmarks.ball, foot.landmarks.adjacent}) {
    Eigen::Vector3d hit;
    ASSERT_TRUE(footgen::LowestSurfacePoint(coarse, mark.x(), mark.y(), &hit));
    EXPECT_NEAR(hit.z(), mark.z(), 1.0);
  }
}

TEST(CoarseCopy, MergedVerticesAverageTheirColoursAndKeepTheWinding) {
  // A flat 30 x 30 grid facing +Z, coloured in proportion to x and y: the mean of merged
  // colours is then the colour of the merged position.
  Mesh grid;
  constexpr int n = 30;
  for (int y = 0; y < n; ++y) {
    for (int x = 0; x < n; ++x) {
      grid.points.insert(grid.points.end(), {double(x), double(y), 0.0});
      grid.colors.insert(grid.colors.end(),
                         {std::uint8_t(8 * x), std::uint8_t(8 * y), std::uint8_t(200)});
      if (x + 1 < n && y + 1 < n) {
        const int v = y * n + x;
        grid.triangles.insert(grid.triangles.end(), {v, v + 1, v + n + 1, v, v + n + 1, v + n});
      }
    }
  }
  const Mesh coarse = coarseCopy(grid, 100);
  expectWellFormed(coarse);
  ASSERT_LT(coarse.pointCount(), 200u);
  ASSERT_EQ(coarse.colors.size(), coarse.points.size());
  for (std::size_t v = 0; v < coarse.pointCount(); ++v) {
    EXPECT_NEAR(coarse.colors[3 * v], 8 * coarse.points[3 * v], 1.0);
    EXPECT_NEAR(coarse.colors[3 * v + 1], 8 * coarse.points[3 * v + 1], 1.0);
    EXPECT_EQ(coarse.colors[3 * v + 2], 200);
  }
  for (std::size_t t = 0; t < coarse.triangleCount(); ++t)
    EXPECT_GT(triangleArea(coarse, t).z(), 0.0) << "triangle " << t;
}

TEST(CoarseCopy, MeshesWithNothingToMergeComeBackUnchanged) {
  Mesh twoTriangles;
  twoTriangles.points = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
  twoTriangles.triangles = {0, 1, 2, 0, 2, 3};
  twoTriangles.colors = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  Mesh onePlace = twoTriangles;  // more points than the budget, all in one place
  for (double& c : onePlace.points) c = 5.0;
  Mesh pointsOnly = twoTriangles;
  pointsOnly.triangles.clear();
  const std::vector<std::pair<const Mesh*, std::size_t>> cases = {
      {&twoTriangles, 4}, {&onePlace, 2}, {&pointsOnly, 2}};
  for (const auto& [mesh, budget] : cases) {
    const Mesh coarse = coarseCopy(*mesh, budget);
    EXPECT_EQ(coarse.points, mesh->points);
    EXPECT_EQ(coarse.triangles, mesh->triangles);
    EXPECT_EQ(coarse.colors, mesh->colors);
  }
  EXPECT_EQ(coarseCopy(Mesh{}, 10).pointCount(), 0u);
}

}  // namespace
}  // namespace kernelcad
