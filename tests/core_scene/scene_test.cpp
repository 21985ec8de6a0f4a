// The scene model's placement rules and the length units, without any rendering.
#include "kernelcad/core/scene.h"

#include <gtest/gtest.h>

#include <cmath>

#include "kernelcad/core/units.h"

namespace kernelcad {
namespace {

constexpr double kTol = 1e-9;

void expectNear(const Vec3& actual, const Vec3& expected, double tol = kTol) {
  EXPECT_NEAR(actual.x(), expected.x(), tol);
  EXPECT_NEAR(actual.y(), expected.y(), tol);
  EXPECT_NEAR(actual.z(), expected.z(), tol);
}

TEST(Placement, MovesActInWorldCoordinatesAfterThePlacement) {
  Model model;
  auto sphere = model.AddSphere(2.0);
  expectNear(sphere->GetPosition(), Vec3::Zero());
  sphere->Translate(10, 0, 0);
  // A quarter turn about +Z through the origin carries (10, 0, 0) to (0, 10, 0): right-handed.
  sphere->Rotate(90.0, 0, 0, 0, 0, 0, 1);
  expectNear(sphere->GetPosition(), Vec3(0, 10, 0));
  // Turning about an axis through another point: (0, 10, 0) about the X-parallel axis through
  // (0, 10, 5) by 180 degrees lands on (0, 10, 10).
  sphere->Rotate(180.0, 0, 10, 5, 3, 0, 0);
  expectNear(sphere->GetPosition(), Vec3(0, 10, 10));
  // The translation is applied after the rotation, in world axes, not the item's turned ones.
  sphere->Translate(1, 2, 3);
  expectNear(sphere->GetPosition(), Vec3(1, 12, 13));
  sphere->SetPosition(-4, 5, 6);
  expectNear(sphere->GetPosition(), Vec3(-4, 5, 6));
  EXPECT_THROW(sphere->Rotate(10, 0, 0, 0, 0, 0, 0), KernelCADError);
  EXPECT_THROW(sphere->Translate(NAN, 0, 0), KernelCADError);
}

}  // namespace
}  // namespace kernelcad

// A 270 mm foot written in each unit is recognised; sizes no unit makes plausible stay in mm.
TEST(Units, GuessBringsAFootIntoRange) {
  using kernelcad::LengthUnit;
  const std::pair<double, LengthUnit> cases[] = {
      {270.0, LengthUnit::Millimetre},       {0.27, LengthUnit::Metre},
      {27.0, LengthUnit::Centimetre},        {10.6, LengthUnit::Inch},
      {270000.0, LengthUnit::Micrometre},    {1e12, LengthUnit::Millimetre},
      {std::nan(""), LengthUnit::Millimetre}};
  for (const auto& [size, unit] : cases) EXPECT_EQ(kernelcad::GuessUnit(size), unit) << size;
  EXPECT_EQ(kernelcad::ParseUnit("in"), LengthUnit::Inch);
  EXPECT_FALSE(kernelcad::ParseUnit("ft"));
}
