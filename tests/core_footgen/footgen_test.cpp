#include "footgen/footgen.h"

#include <gtest/gtest.h>

#include <Eigen/Geometry>
#include <algorithm>
#include <cmath>
#include <numeric>
#include <utility>

namespace {

using Eigen::Vector3d;
using footgen::Arch;
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
  EXPECT_LT(lm.ball.y(), lm.adjacent.y() - 40) << "medial is -Y on a left foot";
  EXPECT_TRUE(std::isfinite(LowestZ(m, 255, -25)) && std::isinf(LowestZ(m, 255, 25)))
      << "the hallux tip on the -Y side";
  EXPECT_GT(LowestZ(m, 235, 0.5), LowestZ(m, 235, -7.7) + 8) << "cleft by the second toe's pad";

  EXPECT_GT(LowestZ(m, 0.42 * 260, -25), 8.0) << "medial midfoot clear of the ground";
  EXPECT_LT(LowestZ(m, 0.42 * 260, 25), 3.0) << "lateral midfoot on the ground";
}

}  // namespace

footgen::GeneratedFoot Variant(Arch arch, double length, bool closed = false, bool pose = false) {
  footgen::Variant v;
  v.arch = arch, v.length = length, v.closed = closed, v.randomPose = pose, v.resolution = 10;
  return footgen::Generate(v);
}

// The arch shapes sit well inside their classes at every length; the truth agrees with the mesh
// where a vertex scan can tell, and follows the foot into any pose.
TEST(FootGenVariants, TruthOfTheShapes) {
  const std::pair<Arch, double> kShapes[] = {
      {Arch::Flat, 0.298}, {Arch::Normal, 0.234}, {Arch::High, 0.169}};
  for (const auto& [arch, index] : kShapes)
    for (const double length : {220.0, 300.0}) {
      const auto foot = Variant(arch, length);
      const auto& t = foot.truth;
      EXPECT_NEAR(t.archIndex, index, 0.002) << length;
      EXPECT_EQ(t.archClass, arch);
      const Vector3d axis = (0.5 * (t.landmarks.ball + t.landmarks.adjacent) - t.landmarks.heel)
                                .cwiseProduct(Vector3d(1, 1, 0))
                                .normalized();
      double lo = INFINITY, hi = -INFINITY;
      for (std::size_t i = 0; i < foot.mesh.pointCount(); ++i) {
        lo = std::min(lo, axis.dot(Point(foot.mesh, i)));
        hi = std::max(hi, axis.dot(Point(foot.mesh, i)));
      }
      EXPECT_NEAR(t.footLength, hi - lo, 0.02);
      EXPECT_NEAR(t.footLength, length, 0.002 * length);
      EXPECT_NEAR(t.heelWidth, 0.256 * length, 1);
      for (const Vector3d& p : {t.landmarks.heel, t.landmarks.ball, t.landmarks.adjacent})
        EXPECT_NEAR(LowestZ(foot.mesh, p.x(), p.y()), p.z(), 0.05);
    }
  const auto still = Variant(Arch::High, 250, true), posed = Variant(Arch::High, 250, true, true);
  ASSERT_EQ(still.mesh.points.size(), posed.mesh.points.size());
  EXPECT_GT((posed.truth.pose.translation()).norm(), 1.0);
  // Both carry the left foot's mirror image; the posed one is turned and moved besides.
  const Eigen::Isometry3d move = posed.truth.pose * still.truth.pose.inverse();
  for (std::size_t i = 0; i < still.mesh.pointCount(); i += 97)
    ASSERT_TRUE((move * Point(still.mesh, i)).isApprox(Point(posed.mesh, i), 1e-6));
  EXPECT_TRUE((move * still.truth.landmarks.ball).isApprox(posed.truth.landmarks.ball));
  EXPECT_EQ(posed.truth.archIndex, still.truth.archIndex);
}

// A foot as it stands: its leg stub as high as asked, the hallux tip and the heel's back lifted
// by the toe spring and the rocker while the heel pad and metatarsal heads stay on the floor, and
// in plan the same foot as the flat one.
TEST(FootGenVariants, StandingFoot) {
  footgen::Variant v;
  v.closed = true, v.resolution = 10, v.leg = 180, v.toeSpring = 25, v.heelRocker = 5;
  const auto standing = footgen::Generate(v);
  const auto flat = Variant(Arch::Normal, 260, true);
  const auto b = standing.mesh.bounds();
  EXPECT_NEAR(b[5], 180, 1) << "leg stub";
  EXPECT_NEAR(b[2], 0, 0.5) << "still standing on the floor";
  const auto& lm = standing.truth.landmarks;
  for (const Vector3d& p : {lm.heel, lm.ball, lm.adjacent})
    EXPECT_NEAR(LowestZ(standing.mesh, p.x(), p.y()), p.z(), 0.05);
  EXPECT_TRUE(lm.ball.isApprox(flat.truth.landmarks.ball, 1e-9));
  EXPECT_NEAR(LowestZ(standing.mesh, 257, -27), LowestZ(flat.mesh, 257, -27) + 25, 2.5)
      << "hallux tip lifted";
  EXPECT_NEAR(LowestZ(standing.mesh, 2, 0), LowestZ(flat.mesh, 2, 0) + 5 * 0.94 * 0.94, 0.5)
      << "heel's back lifted";
  EXPECT_EQ(standing.truth.footLength, flat.truth.footLength);
  EXPECT_EQ(standing.truth.heelWidth, flat.truth.heelWidth);
}

// A closed mesh is watertight and wound outwards; the defects are what they say, drawn from the
// seed.
TEST(FootGenVariants, ClosedAndDamagedScans) {
  const auto closed = Variant(Arch::Normal, 260, true);
  const auto& m = closed.mesh;
  std::vector<std::uint64_t> edges;
  double volume = 0;
  for (std::size_t t = 0; t < m.triangles.size(); t += 3) {
    const std::int32_t* v = &m.triangles[t];
    for (int k = 0; k < 3; ++k)
      edges.push_back(std::uint64_t(v[k]) << 32 | std::uint32_t(v[(k + 1) % 3]));
    volume += Point(m, v[0]).dot(Point(m, v[1]).cross(Point(m, v[2]))) / 6;
  }
  std::sort(edges.begin(), edges.end());
  ASSERT_EQ(std::adjacent_find(edges.begin(), edges.end()), edges.end());
  for (const std::uint64_t e : edges)
    ASSERT_TRUE(std::binary_search(edges.begin(), edges.end(), e << 32 | e >> 32)) << "open edge";
  EXPECT_GT(volume, 0.3e6) << "a foot's volume in mm3, wound outwards";

  footgen::Variant v;
  v.resolution = 10, v.noise = 0.3, v.holes = 4, v.fragments = 3, v.cutRim = true, v.seed = 9;
  const auto damaged = footgen::Generate(v);
  const auto again = footgen::Generate(v);
  EXPECT_EQ(damaged.mesh.points, again.mesh.points) << "same seed, same scan";
  EXPECT_EQ(damaged.mesh.triangles, again.mesh.triangles);
  const auto clean = Variant(Arch::Normal, 260);
  EXPECT_LT(damaged.truth.footLength, clean.truth.footLength) << "the cut takes the heel's back";
  EXPECT_EQ(damaged.truth.archIndex, clean.truth.archIndex) << "and leaves the sole";
  std::vector<std::int32_t> part(damaged.mesh.pointCount());
  std::iota(part.begin(), part.end(), 0);
  const auto root = [&part](std::int32_t i) {
    while (part[i] != i) i = part[i] = part[part[i]];
    return i;
  };
  for (std::size_t t = 0; t < damaged.mesh.triangles.size(); t += 3)
    for (int k = 1; k < 3; ++k)
      part[root(damaged.mesh.triangles[t + k])] = root(damaged.mesh.triangles[t]);
  std::size_t parts = 0, high = 0;
  for (std::size_t i = 0; i < part.size(); ++i) {
    parts += root(static_cast<std::int32_t>(i)) == static_cast<std::int32_t>(i);
    high += Point(damaged.mesh, i).z() > 30;
  }
  EXPECT_EQ(parts, 1u + 3u) << "the foot and its fragments";
  EXPECT_LT(high, clean.mesh.pointCount() / 100) << "the rim is cut below 31 mm";
  EXPECT_LT(damaged.mesh.triangleCount(), clean.mesh.triangleCount());
}
