#include <gtest/gtest.h>

#include <Eigen/Geometry>
#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>
#include <sstream>

#include "footgen/footgen.h"

namespace {

using Eigen::Vector3d;
using footgen::Side;

const footgen::Foot& Left() {
  static const footgen::Foot foot = footgen::GenerateFoot(Side::Left);
  return foot;
}
const footgen::Foot& Right() {
  static const footgen::Foot foot = footgen::GenerateFoot(Side::Right);
  return foot;
}

Vector3d Point(const kernelcad::Mesh& m, std::int32_t i) {
  return Vector3d(m.points[3 * i], m.points[3 * i + 1], m.points[3 * i + 2]);
}

// Lowest crossing of an upward ray from below (Moller-Trumbore), as a pick from under the foot.
double LowestHitZ(const kernelcad::Mesh& m, double x, double y) {
  const Vector3d origin(x, y, -1000), dir(0, 0, 1);
  double best = INFINITY;
  for (std::size_t t = 0; t < m.triangles.size(); t += 3) {
    const double* xy[3];
    for (int k = 0; k < 3; ++k) xy[k] = &m.points[3 * m.triangles[t + k]];
    if (std::max({xy[0][0], xy[1][0], xy[2][0]}) < x || std::min({xy[0][0], xy[1][0], xy[2][0]}) > x ||
        std::max({xy[0][1], xy[1][1], xy[2][1]}) < y || std::min({xy[0][1], xy[1][1], xy[2][1]}) > y)
      continue;
    const Vector3d a = Point(m, m.triangles[t]);
    const Vector3d e1 = Point(m, m.triangles[t + 1]) - a, e2 = Point(m, m.triangles[t + 2]) - a;
    const Vector3d p = dir.cross(e2);
    const double det = e1.dot(p);
    if (std::abs(det) < 1e-12) continue;
    const Vector3d s = origin - a;
    const double u = s.dot(p) / det;
    const Vector3d q = s.cross(e1);
    const double v = dir.dot(q) / det;
    if (u < 0 || v < 0 || u + v > 1) continue;
    best = std::min(best, origin.z() + e2.dot(q) / det);
  }
  return best;
}

TEST(FootGen, SizeAndVertexBudget) {
  for (const auto* foot : {&Left(), &Right()}) {
    const auto b = foot->mesh.bounds();
    EXPECT_NEAR(b[3] - b[0], 260, 10);
    EXPECT_NEAR(b[4] - b[1], 100, 10);
    EXPECT_NEAR(b[5] - b[2], 70, 10);
    EXPECT_NEAR(b[2], 0, 0.5) << "sole rests on the ground plane";
    EXPECT_GE(foot->mesh.pointCount(), 100'000u);
    EXPECT_LE(foot->mesh.pointCount(), 300'000u);
  }
  // The budget maps to vertices roughly one to one, so benchmarks can ask for a size.
  for (long long n : {5'000LL, 40'000LL}) {
    const auto count = footgen::GenerateFoot(Side::Left, footgen::ResolutionForVertices(n)).mesh.pointCount();
    EXPECT_NEAR(static_cast<double>(count), static_cast<double>(n), 0.1 * n);
  }
}

TEST(FootGen, RightIsMirrorOfLeft) {
  const auto &l = Left().mesh, &r = Right().mesh;
  ASSERT_EQ(l.points.size(), r.points.size());
  ASSERT_EQ(l.triangles.size(), r.triangles.size());
  for (std::size_t i = 0; i < l.points.size(); i += 3) {
    ASSERT_EQ(l.points[i], r.points[i]);
    ASSERT_EQ(l.points[i + 1], -r.points[i + 1]);
    ASSERT_EQ(l.points[i + 2], r.points[i + 2]);
  }
  const auto mirrored = [](Vector3d p) { return Vector3d(p.x(), -p.y(), p.z()); };
  EXPECT_TRUE(mirrored(Left().landmarks.ball).isApprox(Right().landmarks.ball));
  EXPECT_TRUE(mirrored(Left().landmarks.heel).isApprox(Right().landmarks.heel));
  EXPECT_TRUE(mirrored(Left().landmarks.adjacent).isApprox(Right().landmarks.adjacent));
}

// Closed, consistently wound shells facing outward: every directed edge is met exactly once in
// the opposite direction, no triangle is degenerate, and each shell encloses positive volume.
TEST(FootGen, ShellsAreClosedAndFaceOutward) {
  for (const auto* foot : {&Left(), &Right()}) {
    const auto& m = foot->mesh;
    std::vector<std::uint64_t> directed;  // (from << 32) | to
    const auto key = [](std::uint64_t from, std::uint64_t to) { return from << 32 | to; };
    std::vector<std::int32_t> shell(m.pointCount());
    std::iota(shell.begin(), shell.end(), 0);
    const auto root = [&shell](std::int32_t i) {
      while (shell[i] != i) i = shell[i] = shell[shell[i]];
      return i;
    };
    for (std::size_t t = 0; t < m.triangles.size(); t += 3) {
      const std::int32_t* v = &m.triangles[t];
      const Vector3d a = Point(m, v[0]);
      ASSERT_GT((Point(m, v[1]) - a).cross(Point(m, v[2]) - a).norm(), 1e-9) << "triangle " << t / 3;
      for (int k = 0; k < 3; ++k) directed.push_back(key(v[k], v[(k + 1) % 3]));
      shell[root(v[1])] = root(v[0]);
      shell[root(v[2])] = root(v[0]);
    }
    std::sort(directed.begin(), directed.end());
    ASSERT_EQ(std::adjacent_find(directed.begin(), directed.end()), directed.end())
        << "an edge is used twice in the same direction";
    for (const std::uint64_t e : directed)
      ASSERT_TRUE(std::binary_search(directed.begin(), directed.end(), key(e & 0xffffffffu, e >> 32)))
          << "open edge " << (e >> 32) << "-" << (e & 0xffffffffu);
    std::map<std::int32_t, double> volume;  // six times the signed volume per shell
    for (std::size_t t = 0; t < m.triangles.size(); t += 3) {
      const std::int32_t* v = &m.triangles[t];
      volume[root(v[0])] += Point(m, v[0]).dot(Point(m, v[1]).cross(Point(m, v[2])));
    }
    EXPECT_EQ(volume.size(), 6u) << "body and five toes";
    for (const auto& [shellRoot, v6] : volume) EXPECT_GT(v6, 0) << "shell at vertex " << shellRoot;
  }
}

TEST(FootGen, LandmarksLieOnThePlantarSurface) {
  for (const auto* foot : {&Left(), &Right()}) {
    const auto& lm = foot->landmarks;
    for (const Vector3d& p : {lm.heel, lm.ball, lm.adjacent}) {
      EXPECT_NEAR(LowestHitZ(foot->mesh, p.x(), p.y()), p.z(), 0.01) << p.transpose();
      EXPECT_LT(p.z(), 3.0) << "weight-bearing point " << p.transpose();
    }
    EXPECT_LT(lm.heel.x(), lm.adjacent.x());
    EXPECT_LT(lm.adjacent.x(), lm.ball.x());
    EXPECT_NEAR(lm.heel.x(), 0.12 * 260, 5);
    EXPECT_NEAR(lm.ball.x(), 0.72 * 260, 5);
  }
  // Medial is +Y on a left foot and -Y on a right foot.
  EXPECT_GT(Left().landmarks.ball.y(), Left().landmarks.adjacent.y() + 40);
  EXPECT_LT(Right().landmarks.ball.y(), Right().landmarks.adjacent.y() - 40);
}

TEST(FootGen, MedialArchIsRaised) {
  const auto& m = Left().mesh;
  const double x = 0.42 * 260;
  EXPECT_GT(LowestHitZ(m, x, 25), 8.0) << "medial midfoot clear of the ground";
  EXPECT_LT(LowestHitZ(m, x, -25), 3.0) << "lateral midfoot on the ground";
}

TEST(FootGen, VrmlRoundTrip) {
  const auto foot = footgen::GenerateFoot(Side::Right, 2);
  std::ostringstream out;
  footgen::WriteVrml2(foot.mesh, out, "two\nlines");
  const std::string text = out.str();
  ASSERT_EQ(text.rfind("#VRML V2.0 utf8\n# two lines\n", 0), 0u);

  const auto pointsAt = text.find("point [") + 7, pointsEnd = text.find(']', pointsAt);
  std::istringstream points(text.substr(pointsAt, pointsEnd - pointsAt));
  std::vector<double> xyz;
  for (double v; points >> v;) {
    xyz.push_back(v);
    points.ignore(1);  // space or comma
  }
  ASSERT_EQ(xyz.size(), foot.mesh.points.size());
  for (std::size_t i = 0; i < xyz.size(); ++i) ASSERT_NEAR(xyz[i], foot.mesh.points[i], 6e-5);

  const auto indexAt = text.find("coordIndex [") + 12, indexEnd = text.find(']', indexAt);
  std::istringstream indices(text.substr(indexAt, indexEnd - indexAt));
  std::vector<std::int32_t> faces;
  for (std::int32_t v; indices >> v;) {
    if (v != -1) faces.push_back(v);
    else ASSERT_EQ(faces.size() % 3, 0u) << "faces are triangles";
    indices.ignore(1);
  }
  EXPECT_EQ(faces, foot.mesh.triangles);
}

}  // namespace
