#include "footgen/footgen.h"

#include <gtest/gtest.h>

#include <Eigen/Geometry>
#include <algorithm>
#include <cmath>

namespace {

using Eigen::Vector3d;
using footgen::Side;

const footgen::Foot& Left() {
  static const footgen::Foot foot = footgen::GenerateFoot(Side::Left);
  return foot;
}

Vector3d Point(const kernelcad::Mesh& m, std::int32_t i) {
  return Vector3d(m.points[3 * i], m.points[3 * i + 1], m.points[3 * i + 2]);
}

// Lowest crossing of the vertical line through (x, y), as a pick from under the foot.
double LowestZ(const kernelcad::Mesh& m, double x, double y) {
  double lowest = INFINITY;
  for (std::size_t t = 0; t < m.triangles.size(); t += 3) {
    const Vector3d a = Point(m, m.triangles[t]), b = Point(m, m.triangles[t + 1]),
                   c = Point(m, m.triangles[t + 2]);
    const double d = (b.x() - a.x()) * (c.y() - a.y()) - (c.x() - a.x()) * (b.y() - a.y());
    if (std::abs(d) < 1e-12) continue;
    const double u = ((x - a.x()) * (c.y() - a.y()) - (c.x() - a.x()) * (y - a.y())) / d;
    const double v = ((b.x() - a.x()) * (y - a.y()) - (x - a.x()) * (b.y() - a.y())) / d;
    if (u >= 0 && v >= 0 && u + v <= 1)
      lowest = std::min(lowest, a.z() + u * (b.z() - a.z()) + v * (c.z() - a.z()));
  }
  return lowest;
}

TEST(FootGen, SizeAndVertexBudget) {
  const auto b = Left().mesh.bounds();
  EXPECT_NEAR(b[3] - b[0], 260, 10);
  EXPECT_NEAR(b[4] - b[1], 100, 10);
  EXPECT_NEAR(b[2], 0, 0.5) << "sole rests on the ground plane";
  EXPECT_EQ(b[5], footgen::kRimHeight) << "nothing above the rim";
  EXPECT_LT(b[5] - b[2], 45) << "must stay clear of the sheet 50 mm behind the aligned sole";
  EXPECT_GE(Left().mesh.pointCount(), 100'000u);
  EXPECT_LE(Left().mesh.pointCount(), 300'000u);
  const auto again = footgen::GenerateFoot(Side::Left);
  EXPECT_EQ(again.mesh.points, Left().mesh.points) << "same arguments, same mesh";
  EXPECT_EQ(again.mesh.triangles, Left().mesh.triangles);
}

TEST(FootGen, LandmarksAndArchSeenFromBelow) {
  const auto& m = Left().mesh;
  const auto& lm = Left().landmarks;
  for (const Vector3d& p : {lm.heel, lm.ball, lm.adjacent}) {
    EXPECT_NEAR(LowestZ(m, p.x(), p.y()), p.z(), 0.01) << p.transpose();
    EXPECT_LT(p.z(), 3.0) << "weight-bearing point " << p.transpose();
  }
  EXPECT_LT(lm.heel.x(), lm.adjacent.x());
  EXPECT_LT(lm.adjacent.x(), lm.ball.x());
  EXPECT_GT(lm.ball.y(), lm.adjacent.y() + 40) << "medial is +Y on a left foot";

  EXPECT_GT(LowestZ(m, 0.42 * 260, 25), 8.0) << "medial midfoot clear of the ground";
  EXPECT_LT(LowestZ(m, 0.42 * 260, -25), 3.0) << "lateral midfoot on the ground";
}

}  // namespace
