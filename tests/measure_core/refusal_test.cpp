// The suggestion and the measurements say why when the mesh is not a foot, or not the foot side
// asked for, rather than guess; and every length follows the scale factor.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>

#include "footgen/footgen.h"
#include "measure/foot_measure.h"

namespace {

kernelcad::Mesh Scaled(kernelcad::Mesh mesh, double factor) {
  for (float& c : mesh.points) c = static_cast<float>(c * factor);
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
  kernelcad::Mesh scrap = left;
  scrap.triangles.resize(30);
  const struct {
    const char* name;
    kernelcad::Mesh mesh;
    footview::Side side;
    const char* reason;
  } cases[] = {
      {"a few triangles", scrap, footview::Side::Left, "too few triangles"},
      {"a foot twice too long", Scaled(left, 2.0), footview::Side::Left, "mm long"},
      {"a ball", Ball(100), footview::Side::Left, "No sole found"},
      {"the left foot as a right one", left, footview::Side::Right, "check the foot's side"},
  };
  for (const auto& c : cases) {
    const measure::Suggestion s = measure::SuggestReferencePoints(c.mesh, c.side);
    EXPECT_FALSE(s.found) << c.name;
    EXPECT_NE(s.reason.find(c.reason), std::string::npos) << c.name << ": " << s.reason;
  }
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
}
