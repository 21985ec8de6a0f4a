// The triangle grid picks are made with.
#include "kernelcad/core/triangle_grid.h"

#include <gtest/gtest.h>

#include <Eigen/Geometry>

#include "footgen/footgen.h"

namespace kernelcad {
namespace {

using Eigen::Vector3d;

TEST(TriangleGrid, UpwardLinesMeetTheSoleWhereASearchOfEveryTriangleDoes) {
  const footgen::Foot foot = footgen::GenerateFoot(footgen::Side::Left);
  const TriangleGrid grid(foot.mesh);
  const auto b = foot.mesh.bounds();
  int hits = 0;
  for (double x = b[0] - 5; x <= b[3] + 5; x += 11.3) {
    for (double y = b[1] - 5; y <= b[4] + 5; y += 6.1) {
      Vector3d expected;
      const bool meets = footgen::LowestSurfacePoint(foot.mesh, x, y, &expected);
      const auto hit = grid.FirstHit({x, y, b[2] - 100}, {x, y, b[5] + 100});
      ASSERT_EQ(hit.has_value(), meets) << x << " " << y;
      if (meets) {
        EXPECT_LT((*hit - expected).norm(), 1e-6) << x << " " << y;
      }
      hits += meets;
    }
  }
  EXPECT_GT(hits, 150);
  // Slanted lines: the point found lies on the line, and nothing comes before it.
  for (const Vector3d& mark : {foot.landmarks.heel, foot.landmarks.ball, foot.landmarks.adjacent}) {
    const Vector3d from = mark + Vector3d(-40, 25, -60), to = mark + Vector3d(40, -25, 60);
    const auto hit = grid.FirstHit(from, to);
    ASSERT_TRUE(hit);
    EXPECT_LT((*hit - from).cross(to - from).norm() / (to - from).norm(), 1e-9);
    EXPECT_FALSE(grid.FirstHit(from, from + (*hit - from) * 0.999));
  }
}

TEST(TriangleGrid, FlatEmptyAndOversizedMeshes) {
  Mesh flat;  // two triangles in z = 0, one of them far larger than a cell
  flat.points = {0, 0, 0, 1000, 0, 0, 0, 1000, 0, 0.5, 0.5, 0, 1.5, 0.5, 0, 0.5, 1.5, 0};
  flat.triangles = {0, 1, 2, 3, 4, 5};
  const TriangleGrid grid(flat);
  EXPECT_EQ(grid.FirstHit({800, 100, 5}, {800, 100, -5}), Vector3d(800, 100, 0));
  EXPECT_EQ(grid.FirstHit({1, 1, -5}, {1, 1, 5}), Vector3d(1, 1, 0));
  EXPECT_FALSE(grid.FirstHit({800, 800, 5}, {800, 800, -5}));
  EXPECT_FALSE(grid.FirstHit({1, 1, 5}, {1, 1, 1}));  // stops short of the mesh
  EXPECT_FALSE(TriangleGrid(Mesh{}).FirstHit({0, 0, 5}, {0, 0, -5}));
}

}  // namespace
}  // namespace kernelcad
