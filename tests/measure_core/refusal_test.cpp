// The suggestion and the measurements say why when the mesh is not a foot, or not the foot side
// asked for, rather than guess; and every length follows the scale factor.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <utility>

#include "footgen/footgen.h"
#include "measure/foot_measure.h"

namespace {

// The mesh scaled along each axis; a mirror image keeps its triangles wound outwards.
kernelcad::Mesh Scaled(kernelcad::Mesh mesh, const Eigen::Vector3d& factor) {
  for (std::size_t i = 0; i < mesh.points.size(); ++i)
    mesh.points[i] = static_cast<float>(mesh.points[i] * factor[static_cast<Eigen::Index>(i % 3)]);
  if (factor.prod() < 0)
    for (std::size_t t = 0; t + 2 < mesh.triangles.size(); t += 3)
      std::swap(mesh.triangles[t + 1], mesh.triangles[t + 2]);
  return mesh;
}

// A closed ball of `radius` mm: round everywhere, nothing to stand on.
kernelcad::Mesh Ball(double radius) {
  kernelcad::Mesh m;
  constexpr int kRings = 60, kSegments = 120;
  for (int r = 0; r <= kRings; ++r)
    for (int s = 0; s < kSegments; ++s) {
      const double polar = std::numbers::pi * r / kRings,
                   around = 2 * std::numbers::pi * s / kSegments;
      for (const double c : {radius * std::sin(polar) * std::cos(around),
                             radius * std::sin(polar) * std::sin(around), radius * std::cos(polar)})
        m.points.push_back(static_cast<float>(c));
    }
  for (int r = 0; r < kRings; ++r)
    for (int s = 0; s < kSegments; ++s) {
      const int a = r * kSegments + s, b = r * kSegments + (s + 1) % kSegments;
      m.triangles.insert(m.triangles.end(), {a, a + kSegments, b, b, a + kSegments, b + kSegments});
    }
  return m;
}

}  // namespace

TEST(Suggestion, RefusesWhatIsNotThisFootWithItsReason) {
  const kernelcad::Mesh left = footgen::GenerateFoot(footgen::Side::Left, 20).mesh;
  const kernelcad::Mesh mirrored = Scaled(left, {1, -1, 1});
  kernelcad::Mesh scrap = left;
  scrap.triangles.resize(30);
  const struct {
    const char* name;
    kernelcad::Mesh mesh;
    footview::Side side;
    const char* reason;
  } cases[] = {
      {"a few triangles", scrap, footview::Side::Left, "too few triangles"},
      {"a foot twice too long", Scaled(left, {2, 2, 2}), footview::Side::Left, "mm long"},
      {"a ball", Ball(100), footview::Side::Left, "No sole found"},
      {"the left foot as a right one", left, footview::Side::Right, "check the foot's side"},
      {"the left foot mirrored, as a left one", mirrored, footview::Side::Left,
       "check the foot's side"},
      {"a foot too narrow for its length", Scaled(left, {1, 0.6, 1}), footview::Side::Left,
       "width across the ball found is 0.23 of the foot length, which no foot has: place the "
       "points by hand."},
      {"a foot too wide for its length", Scaled(left, {1, 1.4, 1}), footview::Side::Left,
       "no foot has"},
  };
  for (const auto& c : cases) {
    const measure::Suggestion s = measure::SuggestReferencePoints(c.mesh, c.side);
    EXPECT_FALSE(s.found) << c.name;
    EXPECT_NE(s.reason.find(c.reason), std::string::npos) << c.name << ": " << s.reason;
  }
}

// Sides are the real foot's: a left foot's ball is on its -Y side, and the left foot seen in a
// mirror is a right one, its points the right sample's.
TEST(Suggestion, TakesAMirroredLeftFootForARightOne) {
  const footgen::Foot left = footgen::GenerateFoot(footgen::Side::Left, 20),
                      right = footgen::GenerateFoot(footgen::Side::Right, 20);
  const measure::Suggestion asLeft =
                                measure::SuggestReferencePoints(left.mesh, footview::Side::Left),
                            mirrored = measure::SuggestReferencePoints(
                                Scaled(left.mesh, {1, -1, 1}), footview::Side::Right);
  ASSERT_TRUE(asLeft.found && mirrored.found) << asLeft.reason << mirrored.reason;
  EXPECT_LT(asLeft.ball.y(), asLeft.adjacent.y() - 40);
  EXPECT_LT((mirrored.ball - right.landmarks.ball).norm(), 3.0);
  EXPECT_LT((mirrored.adjacent - right.landmarks.adjacent).norm(), 3.0);
}

TEST(Measurements, FollowTheScaleAndRefuseBadPoints) {
  const footgen::Foot foot = footgen::GenerateFoot(footgen::Side::Left, 60);
  const footgen::Landmarks& at = foot.landmarks;
  const auto measure = [&](const Eigen::Vector3d& heel, double scale) {
    return measure::Measure(foot.mesh, heel, at.ball, at.adjacent, footview::Side::Left, scale);
  };
  const measure::Measurements one = measure(at.heel, 1.0), twice = measure(at.heel, 2.0);
  ASSERT_TRUE(one.valid && twice.valid) << one.reason << twice.reason;
  EXPECT_NEAR(twice.footLength, 2 * one.footLength, 1e-9);
  EXPECT_NEAR(twice.heelWidth, 2 * one.heelWidth, 1e-9);
  EXPECT_NEAR(twice.archHeight, 2 * one.archHeight, 1e-9);
  EXPECT_EQ(twice.archIndex, one.archIndex);

  EXPECT_NE(measure(at.heel, 0.0).reason.find("scale"), std::string::npos);
  EXPECT_NE(measure(0.5 * (at.ball + at.adjacent), 1.0).reason.find("too close"),
            std::string::npos);
  const measure::Measurements swapped =
      measure::Measure(foot.mesh, at.heel, at.adjacent, at.ball, footview::Side::Left);
  EXPECT_NE(swapped.reason.find("lateral of the adjacent"), std::string::npos) << swapped.reason;
  // The ball point placed behind the adjacent one, in the arch: no foot has its first metatarsal
  // head there.
  const Eigen::Vector3d arch = at.ball - Eigen::Vector3d(90, 0, 0);
  const measure::Measurements behind =
      measure::Measure(foot.mesh, at.heel, arch, at.adjacent, footview::Side::Left);
  EXPECT_NE(behind.reason.find("ball point's distance from the back of the heel found is 0.37"),
            std::string::npos)
      << behind.reason;
}
