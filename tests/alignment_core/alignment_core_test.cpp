// The alignment on the scene model: the four variants against the formulas worked out in
// alignment_reference.h, the half turn, the roll's sign, and the alignments that cannot go on.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "alignment/align.h"
#include "alignment/spheres.h"
#include "alignment_reference.h"
#include "kernelcad/core/scene.h"

using alignment::Axis;
using alignment::Side;
using kernelcad::Vec3;

namespace {

struct Points {
  Vec3 heel, ball, adjacent;
};

// A small scan (a tetrahedron) as item 0 and the three spheres as the windows place them.
struct Foot {
  explicit Foot(const Points& at, bool spheres = true) : points(at) {
    auto mesh = std::make_shared<kernelcad::Mesh>();
    mesh->points = {0, 0, 0, 250, 0, 0, 0, 100, 0, 0, 0, 60};
    mesh->triangles = {0, 1, 2, 0, 1, 3, 0, 2, 3, 1, 2, 3};
    model->setScan(mesh);
    if (!spheres) return;
    alignment::Draw_Sphere(*model, at.heel.x(), at.heel.y(), at.heel.z(), "HeelRef");
    alignment::Draw_Sphere(*model, at.ball.x(), at.ball.y(), at.ball.z(), "BallRef");
    alignment::Draw_Sphere(*model, at.adjacent.x(), at.adjacent.y(), at.adjacent.z(), "AdjRef");
  }

  Vec3 centre(long item) const { return model->GetItem(item)->GetPosition(); }

  Points points;
  std::shared_ptr<kernelcad::Model> model = std::make_shared<kernelcad::Model>();
  std::shared_ptr<kernelcad::View> view = std::make_shared<kernelcad::View>(model);
  int redraws = 0;
  alignment::Scene scene{model, view, [this] { ++redraws; }};
};

alignment::ReferencePoints referencePoints(const Points& p) { return {p.heel, p.ball, p.adjacent}; }

struct Case {
  const char* name;
  Axis axis;
  Side side;
  int rollSign;
  Points points;
};

// Picked points of a left and a right foot in scanner coordinates, with the heel away from the
// origin; the last two have the ball behind the heel.
const Points kLeftFoot{{31.2, -0.02, 0.42}, {187.2, 32.9, 0.55}, {169.0, -35.5, 1.01}};
const Points kRightFoot{{31.2, 0.02, 0.42}, {187.2, -32.9, 0.55}, {169.0, 35.5, 1.01}};
const Points kTurnedFoot{{210.0, 5.0, 3.0}, {60.0, -25.0, 1.5}, {70.0, 40.0, 2.0}};

class Variants : public testing::TestWithParam<Case> {};

}  // namespace

TEST_P(Variants, EndWhereTheFormulasPutThem) {
  const Case& c = GetParam();
  Foot foot(c.points);
  const bool lateral = c.axis == Axis::Lateral;
  const bool left = c.side == Side::Left;
  auto points = referencePoints(c.points);
  alignment::FootItems items;

  alignment::Align_To_Axis(foot.scene, c.axis, c.side, points, items);
  EXPECT_EQ(items.ball, foot.model->GetItem(2));
  EXPECT_EQ(foot.redraws, 1);
  // The heel at the origin, the axis point on the X axis, the other point in the XY plane, as
  // far as the rounded radians-per-degree constant lets them get there.
  const Vec3 axisPoint = foot.centre(lateral ? 2 : 3);
  const Vec3 other = foot.centre(lateral ? 3 : 2);
  EXPECT_LT(foot.centre(1).norm(), 1e-9);
  EXPECT_LT(Vec3(0, axisPoint.y(), axisPoint.z()).norm(), 1e-4);
  EXPECT_LT(std::abs(other.z()), 1e-4);
  // The axis point's working coordinates follow its sphere (turned half round for a right foot,
  // which stores -x', -y'); the X step leaves the axis point where it is.
  const Vec3& working = lateral ? points.ball : points.adjacent;
  const Vec3 sphere = left ? axisPoint : Vec3(-axisPoint.x(), -axisPoint.y(), axisPoint.z());
  EXPECT_LT((working - sphere).norm(), 1e-4);
  EXPECT_EQ(points.heel, c.points.heel);
  // The camera looks at the sole from below, +X to the right.
  const Eigen::Matrix3d eye = foot.view->FindObject("EyeFrame")->orientation();
  EXPECT_TRUE(eye.col(2).isApprox(Vec3(0, 0, -1), 1e-12));
  EXPECT_TRUE(eye.col(0).isApprox(Vec3(1, 0, 0), 1e-12));

  alignment::Check_Rotation(foot.scene);
  EXPECT_GT(foot.centre(2).x(), foot.centre(1).x());
  const double typed = 5.0;
  const double roll = alignment::Roll_For(c.axis, c.side, typed);
  EXPECT_EQ(roll, c.rollSign * typed);
  alignment::Roll_Foot(foot.scene, roll, items);
  EXPECT_EQ(foot.redraws, 3);
  EXPECT_EQ(items.adjacent, foot.model->GetItem(3));

  const Eigen::Affine3d expected = reference::alignedMotion(
      c.points.heel, c.points.ball, c.points.adjacent, {lateral, left, c.rollSign}, typed);
  const Vec3 picked[] = {c.points.heel, c.points.ball, c.points.adjacent};
  for (long i = 1; i <= 3; ++i)
    EXPECT_LT((foot.centre(i) - expected * picked[i - 1]).norm(), 1e-6) << "sphere " << i;
  EXPECT_TRUE(foot.model->GetItem(0)->transform().matrix().isApprox(expected.matrix(), 1e-9));
}

INSTANTIATE_TEST_SUITE_P(
    FourVariants, Variants,
    testing::Values(Case{"LateralLeft", Axis::Lateral, Side::Left, +1, kLeftFoot},
                    Case{"LateralRight", Axis::Lateral, Side::Right, -1, kRightFoot},
                    Case{"MedialLeft", Axis::Medial, Side::Left, -1, kLeftFoot},
                    Case{"MedialRight", Axis::Medial, Side::Right, +1, kRightFoot},
                    Case{"LateralLeftBallBehind", Axis::Lateral, Side::Left, +1, kTurnedFoot},
                    Case{"MedialRightBallBehind", Axis::Medial, Side::Right, +1, kTurnedFoot},
                    Case{"LateralRightOnLeftFoot", Axis::Lateral, Side::Right, -1, kLeftFoot}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

TEST(HalfTurn, ComesFromTheSideWhenTheBallIsAheadOfTheHeel) {
  // Ball at a larger X than the heel: the left variant leaves it ahead, the right one behind,
  // so only the right foot is turned round.
  for (const Side side : {Side::Left, Side::Right}) {
    Foot foot(kLeftFoot);
    auto points = referencePoints(kLeftFoot);
    alignment::FootItems items;
    alignment::Align_To_Axis(foot.scene, Axis::Lateral, side, points, items);
    const Vec3 aligned = foot.centre(2);
    EXPECT_EQ(aligned.x() > 0, side == Side::Left);
    alignment::Check_Rotation(foot.scene);
    const Vec3 checked = foot.centre(2);
    if (side == Side::Left) {
      EXPECT_EQ(checked, aligned);
    } else {
      EXPECT_LT((checked - Vec3(-aligned.x(), -aligned.y(), aligned.z())).norm(), 1e-9);
    }
  }
}

TEST(Roll, ZeroStillRedrawsAndKeepsThePlacement) {
  Foot foot(kLeftFoot);
  const Eigen::Affine3d before = foot.model->GetItem(3)->transform();
  alignment::FootItems items;
  alignment::Roll_Foot(foot.scene, 0.0, items);
  EXPECT_EQ(foot.redraws, 1);
  EXPECT_TRUE(foot.model->GetItem(3)->transform().isApprox(before, 1e-15));
  alignment::Roll_Foot(foot.scene, 90.0, items);
  // About the X axis through the origin: (y, z) -> (-z, y).
  const Vec3 a = kLeftFoot.adjacent;
  EXPECT_LT((foot.centre(3) - Vec3(a.x(), -a.z(), a.y())).norm(), 1e-9);
}

TEST(Refused, ZeroDenominatorsStopAtTheirDivisionAndTheSnapshotPutsItemsBack) {
  struct Stop {
    const char* what;
    Axis axis;
    Side side;
    Points points;
    const char* says;
  };
  const Stop stops[] = {
      // The axis point straight across from the heel: the first quotient.
      {"ball level with heel", Axis::Lateral, Side::Left,
       {{40, 0, 0}, {40, 30, 2}, {160, -20, 1}}, "same X"},
      {"adjacent level with heel", Axis::Medial, Side::Right,
       {{40, 0, 0}, {190, 30, 2}, {40, -20, 1}}, "same X"},
      // The other point above the heel-to-axis line: the last quotient, after two turns.
      {"adjacent above the axis", Axis::Lateral, Side::Left,
       {{10, 0, 0}, {110, 0, 0}, {60, 0, 10}}, "straight above"},
      {"adjacent above the axis, right foot", Axis::Lateral, Side::Right,
       {{10, 0, 0}, {110, 0, 0}, {60, 0, 10}}, "straight above"},
  };
  for (const Stop& stop : stops) {
    SCOPED_TRACE(stop.what);
    Foot foot(stop.points);
    foot.model->GetItem(0)->Translate(1, 2, 3);
    const Eigen::Affine3d mesh = foot.model->GetItem(0)->transform();
    const alignment::PlacementSnapshot snapshot(*foot.model);
    auto points = referencePoints(stop.points);
    alignment::FootItems items;
    try {
      alignment::Align_To_Axis(foot.scene, stop.axis, stop.side, points, items);
      ADD_FAILURE() << "aligned";
    } catch (const alignment::ArithmeticError& e) {
      EXPECT_NE(std::string(e.what()).find(stop.says), std::string::npos) << e.what();
    }
    EXPECT_EQ(foot.redraws, 0);
    // Stopped after the heel was brought to the origin, before any turn could go wrong.
    EXPECT_LT(foot.centre(1).norm(), 1e-12);
    snapshot.restore();
    EXPECT_TRUE(foot.model->GetItem(0)->transform().isApprox(mesh, 0));
    const Vec3 picked[] = {stop.points.heel, stop.points.ball, stop.points.adjacent};
    for (long i = 1; i <= 3; ++i) EXPECT_EQ(foot.centre(i), picked[i - 1]);
  }
}

TEST(Refused, WithoutTheThreeSpheresNothingMoves) {
  Foot foot(kLeftFoot, false);
  alignment::Draw_Sphere(*foot.model, 1, 2, 3, "HeelRef");
  alignment::FootItems items;
  auto points = referencePoints(kLeftFoot);
  const auto says = [](const alignment::AlignmentError& e) {
    return std::string(e.what()).find("Place the heel, ball and adjacent points first") !=
           std::string::npos;
  };
  try {
    alignment::Align_To_Axis(foot.scene, Axis::Lateral, Side::Left, points, items);
    ADD_FAILURE();
  } catch (const alignment::AlignmentError& e) {
    EXPECT_TRUE(says(e)) << e.what();
  }
  EXPECT_THROW(alignment::Check_Rotation(foot.scene), alignment::AlignmentError);
  EXPECT_THROW(alignment::Roll_Foot(foot.scene, 5.0, items), alignment::AlignmentError);
  EXPECT_EQ(foot.centre(1), Vec3(1, 2, 3));
  EXPECT_TRUE(foot.model->GetItem(0)->transform().isApprox(Eigen::Affine3d::Identity(), 0));
  EXPECT_EQ(points.ball, kLeftFoot.ball);
}

TEST(Spheres, DrawnAtTheirCentreAndMovedByADisplacement) {
  Foot foot(kLeftFoot);
  const auto heel = foot.model->GetItem(1);
  EXPECT_EQ(heel->name(), "HeelRef");
  EXPECT_EQ(heel->kind(), kernelcad::ItemKind::Sphere);
  EXPECT_EQ(heel->radius(), 2.0);
  EXPECT_EQ(heel->material().shininess, 70.0f);
  EXPECT_EQ(heel->material().colour[0][0], 0.6f);
  EXPECT_EQ(heel->material().colour[2][1], 0.7f);
  alignment::Move_Sphere(*foot.model, 3, 1.0, -2.0, 0.5);
  EXPECT_LT((foot.centre(3) - (kLeftFoot.adjacent + Vec3(1, -2, 0.5))).norm(), 1e-12);
  // Only spheres 1 to 3 move; the mesh never does.
  alignment::Move_Sphere(*foot.model, 0, 5.0, 5.0, 5.0);
  alignment::Move_Sphere(*foot.model, 4, 5.0, 5.0, 5.0);
  EXPECT_EQ(foot.model->GetItem(0)->GetPosition(), Vec3::Zero());
}
