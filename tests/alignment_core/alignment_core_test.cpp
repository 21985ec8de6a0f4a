// The alignment on the scene model alone: where every variant puts the foot, and the alignments
// that cannot go on.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "alignment/align.h"
#include "alignment/spheres.h"
#include "kernelcad/core/scene.h"

using alignment::Axis;
using alignment::ReferencePoints;
using alignment::Side;
using kernelcad::Vec3;

namespace {

// Picked points of a left and a right foot in scanner coordinates, the heel away from the
// origin; on the turned foot the ball lies behind the heel.
const ReferencePoints kLeftFoot{{31.2, 0.02, 0.42}, {187.2, -32.9, 0.55}, {169.0, 35.5, 1.01}};
const ReferencePoints kRightFoot{{31.2, -0.02, 0.42}, {187.2, 32.9, 0.55}, {169.0, -35.5, 1.01}};
const ReferencePoints kTurnedFoot{{210.0, 5.0, 3.0}, {60.0, -25.0, 1.5}, {70.0, 40.0, 2.0}};

// A tetrahedron as item 0 and the first `spheres` of the heel, ball and adjacent spheres.
struct Foot {
  explicit Foot(const ReferencePoints& at, int spheres = 3) : points(at) {
    auto mesh = std::make_shared<kernelcad::Mesh>();
    mesh->points = {0, 0, 0, 250, 0, 0, 0, 100, 0, 0, 0, 60};
    mesh->triangles = {0, 1, 2, 0, 1, 3, 0, 2, 3, 1, 2, 3};
    model->setScan(mesh);
    const char* names[] = {"HeelRef", "BallRef", "AdjRef"};
    for (int i = 0; i < spheres; ++i)
      alignment::Draw_Sphere(*model, picked(i).x(), picked(i).y(), picked(i).z(), names[i]);
  }

  const Vec3& picked(int i) const {
    return i == 0 ? points.heel : i == 1 ? points.ball : points.adjacent;
  }
  Vec3 centre(long item) const { return model->GetItem(item)->GetPosition(); }
  void align(Axis axis, Side side, double typedRoll) {
    ReferencePoints working = points;
    alignment::Align_And_Roll(scene, axis, side, typedRoll, working, items);
  }

  ReferencePoints points;
  std::shared_ptr<kernelcad::Model> model = std::make_shared<kernelcad::Model>();
  std::shared_ptr<kernelcad::View> view = std::make_shared<kernelcad::View>(model);
  int redraws = 0;
  alignment::Scene scene{model, view, [this] { ++redraws; }};
  alignment::FootItems items;
};

}  // namespace

// Where the standard position puts the foot: heel at the origin, the axis point on the X axis
// ahead of it, the third point in the XY plane on the side the variant names and then rolled
// about X by the typed angle; the mesh moves rigidly with the spheres.
TEST(Alignment, EveryVariantEndsInTheStandardPosition) {
  const struct {
    Axis axis;
    Side side;
    double rollSign;
  } variants[] = {{Axis::Lateral, Side::Left, 1},
                  {Axis::Lateral, Side::Right, -1},
                  {Axis::Medial, Side::Left, -1},
                  {Axis::Medial, Side::Right, 1}};
  // Each foot with the side of +Y its adjacent point ends on when the ball is the axis point.
  const std::pair<ReferencePoints, double> feet[] = {
      {kLeftFoot, -1}, {kRightFoot, 1}, {kTurnedFoot, 1}};
  for (const auto& v : variants) {
    for (const auto& [at, adjacentY] : feet) {
      SCOPED_TRACE(testing::Message() << int(v.axis) << int(v.side) << at.heel.transpose());
      Foot flat(at), rolled(at);
      flat.align(v.axis, v.side, 0.0);
      rolled.align(v.axis, v.side, 5.0);
      const long axisItem = v.axis == Axis::Lateral ? 2 : 3, third = 5 - axisItem;
      EXPECT_LT(flat.centre(1).norm(), 1e-6);
      EXPECT_LT(flat.centre(axisItem).tail<2>().norm(), 1e-6);
      EXPECT_GT(flat.centre(2).x(), 0) << "ball ahead of the heel";
      EXPECT_NEAR(flat.centre(third).z(), 0, 1e-4);
      EXPECT_GT(flat.centre(third).y() * adjacentY * (v.axis == Axis::Lateral ? 1 : -1), 0);
      const Eigen::Affine3d roll(Eigen::AngleAxisd(v.rollSign * 5 * EIGEN_PI / 180, Vec3::UnitX()));
      for (long i = 1; i <= 3; ++i) {
        EXPECT_LT((rolled.centre(i) - roll * flat.centre(i)).norm(), 1e-6) << "sphere " << i;
        EXPECT_LT((rolled.model->GetItem(0)->transform() * rolled.picked(i - 1) - rolled.centre(i))
                      .norm(),
                  1e-6);
        EXPECT_NEAR((flat.centre(i) - flat.centre(i % 3 + 1)).norm(),
                    (flat.picked(i - 1) - flat.picked(i % 3)).norm(), 1e-9);
      }
      EXPECT_TRUE(rolled.model->GetItem(0)->transform().linear().isUnitary(1e-9));
      EXPECT_NEAR(rolled.model->GetItem(0)->transform().linear().determinant(), 1, 1e-9);
      EXPECT_EQ(rolled.items.adjacent, rolled.model->GetItem(3));
      EXPECT_EQ(rolled.redraws, 3);
      // The camera looks at the sole from below, +X to the right.
      EXPECT_TRUE(rolled.view->FindObject("EyeFrame")
                      ->orientation()
                      .isApprox(Vec3(1, -1, -1).asDiagonal().toDenseMatrix(), 1e-12));
    }
  }
}

// Worked by hand: the ball 100 mm from the heel along (0.6, 0.8), the adjacent point 80 mm along
// that line and 30 mm to its right; a left foot on the lateral axis, rolled 10 degrees. The ball
// lands on (100, 0, 0); the adjacent point 80 mm along X and 30 mm out at +Y, turned up by 10.
TEST(Alignment, WorkedExample) {
  const Vec3 heel(10, 20, 5);
  Foot foot({heel, heel + Vec3(60, 80, 0), heel + Vec3(72, 46, 0)});
  foot.align(Axis::Lateral, Side::Left, 10.0);
  const double roll = 10 * EIGEN_PI / 180;
  EXPECT_LT(foot.centre(1).norm(), 1e-6);
  EXPECT_LT((foot.centre(2) - Vec3(100, 0, 0)).norm(), 1e-6);
  EXPECT_LT((foot.centre(3) - Vec3(80, 30 * std::cos(roll), 30 * std::sin(roll))).norm(), 1e-6);
}

TEST(Alignment, RefusedAlignmentsSayWhyAndTheSnapshotPutsEveryItemBack) {
  // The axis point straight across from the heel stops the first quotient; the other point
  // above the heel-to-axis line the last one, after two turns.
  const struct Stop {
    Axis axis;
    ReferencePoints at;
    int spheres;
    const char* says;
  } stops[] = {
      {Axis::Lateral, {{40, 0, 0}, {40, 30, 2}, {160, -20, 1}}, 3, "same X"},
      {Axis::Medial, {{40, 0, 0}, {190, 30, 2}, {40, -20, 1}}, 3, "same X"},
      {Axis::Lateral, {{10, 0, 0}, {110, 0, 0}, {60, 0, 10}}, 3, "straight above"},
      {Axis::Lateral, kLeftFoot, 1, "Place the heel, ball and adjacent points first"},
  };
  for (const Stop& stop : stops) {
    SCOPED_TRACE(stop.says);
    Foot foot(stop.at, stop.spheres);
    foot.model->GetItem(0)->Translate(1, 2, 3);
    std::vector<Eigen::Affine3d> before;
    for (long i = 0; i <= stop.spheres; ++i) before.push_back(foot.model->GetItem(i)->transform());
    const alignment::PlacementSnapshot snapshot(*foot.model);
    try {
      foot.align(stop.axis, stop.axis == Axis::Lateral ? Side::Left : Side::Right, 5.0);
      ADD_FAILURE() << "aligned";
    } catch (const alignment::AlignmentError& e) {
      EXPECT_NE(std::string(e.what()).find(stop.says), std::string::npos) << e.what();
      EXPECT_EQ(dynamic_cast<const alignment::ArithmeticError*>(&e) != nullptr, stop.spheres == 3);
    }
    EXPECT_EQ(foot.redraws, 0);
    // A division stops after the heel was brought to the origin; without spheres nothing moves.
    EXPECT_EQ(foot.centre(1).norm() < 1e-12, stop.spheres == 3);
    snapshot.restore();
    for (long i = 0; i <= stop.spheres; ++i)
      EXPECT_TRUE(foot.model->GetItem(i)->transform().isApprox(before[i], 0)) << "item " << i;
  }
}
