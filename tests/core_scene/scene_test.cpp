// The scene model's placement and camera rules, without any rendering.
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

std::shared_ptr<const Mesh> boxMesh(const Vec3& lo, const Vec3& hi) {
  auto mesh = std::make_shared<Mesh>();
  for (int i = 0; i < 8; ++i) {
    mesh->points.insert(mesh->points.end(), {(i & 1) ? hi.x() : lo.x(), (i & 2) ? hi.y() : lo.y(),
                                             (i & 4) ? hi.z() : lo.z()});
  }
  mesh->triangles = {0, 1, 2, 1, 3, 2};
  return mesh;
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

// The camera's axes in world coordinates after a standard view's turns.
struct StandardView {
  const char* name;
  std::vector<std::pair<double, long>> turns;
  Vec3 right, up, towardViewer;
};

TEST(Camera, StandardViewsLookFromWhereTheyAreNamed) {
  const std::vector<StandardView> views = {
      {"Top", {{0, 1}}, Vec3(1, 0, 0), Vec3(0, 1, 0), Vec3(0, 0, 1)},
      {"Bottom", {{180, 1}, {180, 2}}, Vec3(1, 0, 0), Vec3(0, -1, 0), Vec3(0, 0, -1)},
      {"Left", {{270, 0}, {180, 1}}, Vec3(-1, 0, 0), Vec3(0, 0, 1), Vec3(0, 1, 0)},
      {"Right", {{90, 0}}, Vec3(1, 0, 0), Vec3(0, 0, 1), Vec3(0, -1, 0)},
      {"Front", {{90, 1}, {90, 0}}, Vec3(0, 1, 0), Vec3(0, 0, 1), Vec3(1, 0, 0)},
      {"Back", {{270, 1}, {90, 0}}, Vec3(0, -1, 0), Vec3(0, 0, 1), Vec3(-1, 0, 0)},
  };
  auto model = std::make_shared<Model>();
  View view(model);
  auto frame = view.FindObject("EyeFrame");
  EXPECT_THROW(view.FindObject("Eyeframe"), KernelCADError);
  for (const auto& v : views) {
    SCOPED_TRACE(v.name);
    frame->RotateAboutAxis(33.0, 2);  // whatever came before, the reset clears it
    frame->ResetOrientation();
    frame->SetPosition(0, 0, 0);
    for (const auto& [angle, axis] : v.turns) frame->RotateAboutAxis(angle, axis);
    const Eigen::Matrix3d m = frame->orientation();
    expectNear(m.col(0), v.right, 1e-12);
    expectNear(m.col(1), v.up, 1e-12);
    expectNear(m.col(2), v.towardViewer, 1e-12);
  }
  EXPECT_THROW(frame->RotateAboutAxis(90, 3), KernelCADError);
}

TEST(View, FitShowsTheWholeModelInParallelProjection) {
  auto model = std::make_shared<Model>();
  model->setScan(boxMesh(Vec3(0, -50, 0), Vec3(260, 50, 60)));
  View view(model);
  view.setViewportSize(400, 300);
  auto frame = view.FindObject("EyeFrame");
  frame->ResetOrientation();
  frame->RotateAboutAxis(180, 0);  // from below

  // Every corner of the model falls inside the viewport, whatever the frame's turn.
  for (int i = 0; i < 8; ++i) {
    const Vec3 corner((i & 1) ? 260 : 0, (i & 2) ? 50 : -50, (i & 4) ? 60 : 0);
    const Eigen::Vector2d px = view.worldToPixel(corner);
    EXPECT_GT(px.x(), 0);
    EXPECT_LT(px.x(), 400);
    EXPECT_GT(px.y(), 0);
    EXPECT_LT(px.y(), 300);
  }
  // From below, +X is to the right and +Y is down on the screen.
  const auto centre = view.worldToPixel(Vec3(130, 0, 30));
  EXPECT_NEAR(centre.x(), 200, 1e-9);
  EXPECT_NEAR(centre.y(), 150, 1e-9);
  EXPECT_GT(view.worldToPixel(Vec3(200, 0, 30)).x(), 200);
  EXPECT_GT(view.worldToPixel(Vec3(130, 40, 30)).y(), 150);
  // Parallel projection: depth does not move a point on the screen, and scale is uniform.
  EXPECT_NEAR((view.worldToPixel(Vec3(10, 10, 0)) - view.worldToPixel(Vec3(10, 10, 60))).norm(), 0,
              1e-9);
  const double sx = (view.worldToPixel(Vec3(100, 0, 0)) - view.worldToPixel(Vec3(0, 0, 0))).norm();
  const double sy = (view.worldToPixel(Vec3(0, 100, 0)) - view.worldToPixel(Vec3(0, 0, 0))).norm();
  EXPECT_NEAR(sx, sy, 1e-9);

  // The extents describe the same window: 400 pixels across are the width GetExtent gives.
  const auto [x0, x1] = view.GetExtent(0);
  EXPECT_NEAR((x1 - x0) / 400.0 * 100.0, 100.0 * 100.0 / sx, 1e-9);
  const auto [y0, y1] = view.GetExtent(1);
  EXPECT_NEAR((x1 - x0) / (y1 - y0), 400.0 / 300.0, 1e-12);
  const auto [z0, z1] = view.GetExtent(2);
  EXPECT_NEAR(z1 - z0, 60.0, 1e-9);
  EXPECT_THROW(view.GetExtent(3), KernelCADError);

  // Zoom by 2 halves the extent, about the same centre, and never refits by itself.
  view.SetZoom(2.0, 297.0, 0.0, 0.0);
  const auto [zx0, zx1] = view.GetExtent(0);
  EXPECT_NEAR(zx1 - zx0, (x1 - x0) / 2.0, 1e-9);
  EXPECT_NEAR(zx1 + zx0, x1 + x0, 1e-9);
  EXPECT_THROW(view.SetZoom(0.0, 297.0, 0.0, 0.0), KernelCADError);
  // The frame's position pans the view; a reset brings it back and refits.
  frame->SetPosition(10, 0, 0);
  EXPECT_NEAR(view.worldToPixel(Vec3(140, 0, 30)).x(), 200, 1e-9);
  frame->ResetOrientation();
  EXPECT_NEAR(view.GetExtent(0).second - view.GetExtent(0).first, x1 - x0, 1e-9);
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
