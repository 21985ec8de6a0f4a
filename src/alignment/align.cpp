#include "alignment/align.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "alignment/spheres.h"
#include "footview/camera.h"

namespace alignment {

namespace {

// The values the alignment has always used, not full-precision pi: printouts of the same scan
// must come out the same to the last digit.
constexpr double kDegreesPerRadian = 57.29577951;
constexpr double kRadiansPerDegree = 0.017453292;

// A checked division: the alignment stops here rather than turning the foot by a made-up angle.
double quotient(double numerator, double denominator, const std::string& advice) {
  if (denominator == 0.0) throw ArithmeticError(advice);
  const double q = numerator / denominator;
  if (!std::isfinite(q)) throw ArithmeticError(advice);
  return q;
}

// The one-argument arctangent of a quotient, in degrees: -90 to +90.
double atnDegrees(double q) { return std::atan(q) * kDegreesPerRadian; }

void rotateItems(const FootItems& items, double angle, double dx, double dy, double dz) {
  for (const auto& item : {items.foot, items.heel, items.ball, items.adjacent})
    item->Rotate(angle, 0.0, 0.0, 0.0, dx, dy, dz);
}

void redraw(const Scene& scene) {
  if (scene.redraw) scene.redraw();
}

// Working coordinates turned by t radians in the XY plane (Z step) or the XZ plane (Y step).
void turnXY(kernelcad::Vec3& v, double t) {
  const double x = std::cos(t) * v.x() - std::sin(t) * v.y();
  const double y = std::cos(t) * v.y() + std::sin(t) * v.x();
  v.x() = x;
  v.y() = y;
}

void turnXZ(kernelcad::Vec3& v, double t) {
  const double x = std::cos(t) * v.x() - std::sin(t) * v.z();
  const double z = std::cos(t) * v.z() + std::sin(t) * v.x();
  v.x() = x;
  v.z() = z;
}

}  // namespace

FootItems Take_Foot_Items(const kernelcad::Model& model) {
  if (model.GetItemCount() < 4) {
    throw AlignmentError(
        "Place the heel, ball and adjacent points first (Place Points on the toolbar), then "
        "align the foot.");
  }
  return {model.GetItem(0), model.GetItem(1), model.GetItem(2), model.GetItem(3)};
}

void Align_To_Axis(const Scene& scene, Axis axis, Side side, ReferencePoints& points,
                   FootItems& items) {
  const bool left = side == Side::Left;
  const bool lateral = axis == Axis::Lateral;
  const std::string axisName = lateral ? "ball" : "adjacent";
  const std::string otherName = lateral ? "adjacent" : "ball";

  items = Take_Foot_Items(*scene.model);
  const kernelcad::Vec3 heel = points.heel;
  for (const auto& item : {items.foot, items.heel, items.ball, items.adjacent})
    item->Translate(-heel.x(), -heel.y(), -heel.z());
  points.ball -= heel;
  points.adjacent -= heel;
  // P is the axis point, Q the other one; both follow the working coordinates as they change.
  kernelcad::Vec3& p = lateral ? points.ball : points.adjacent;
  const kernelcad::Vec3& q = lateral ? points.adjacent : points.ball;

  const std::string sameX = "The heel and the " + axisName +
                            " point have the same X, so the foot cannot be turned onto their "
                            "axis. Move the " +
                            axisName +
                            " sphere (or the heel sphere) and align "
                            "again.";
  // Z step: the axis point into the XZ plane.
  const double thetaZ =
      std::atan(quotient(p.y(), p.x(), sameX)) * -kDegreesPerRadian + (lateral ? 0.0 : 180.0);
  rotateItems(items, thetaZ, 0.0, 0.0, 1.0);
  for (kernelcad::Vec3* v : {&points.ball, &points.adjacent}) {
    turnXY(*v, thetaZ * kRadiansPerDegree);
    if (!left) {
      v->x() = -v->x();
      v->y() = -v->y();
    }
  }

  // Y step: the axis point onto the X axis.
  const double beta = atnDegrees(quotient(p.z(), p.x(), sameX));
  const double thetaY = left ? beta : 180.0 - beta;
  rotateItems(items, thetaY, 0.0, 1.0, 0.0);
  for (kernelcad::Vec3* v : {&points.ball, &points.adjacent})
    turnXZ(*v, (left ? -thetaY : thetaY) * kRadiansPerDegree);

  // X step: the other point into the XY plane.
  const double gamma = atnDegrees(quotient(
      q.z(), q.y(),
      "The " + otherName + " point lies straight above or below the line from the heel to the " +
          axisName + " point, so the foot cannot be rolled level. Move the " + otherName +
          " sphere to the side of that line and align again."));
  const double thetaX = left ? 180.0 - gamma : gamma;
  rotateItems(items, thetaX, 1.0, 0.0, 0.0);

  footview::turnCamera(*scene.view, footview::StandardView::Bottom);
  redraw(scene);
}

void Check_Rotation(const Scene& scene) {
  footview::turnCamera(*scene.view, {{180.0, 0}});
  const FootItems items = Take_Foot_Items(*scene.model);
  // The ball sphere decides for both axes.
  if (items.ball->GetPosition().x() < items.heel->GetPosition().x())
    rotateItems(items, 180.0, 0.0, 0.0, 1.0);
  redraw(scene);
}

void Roll_Foot(const Scene& scene, const double& angle, FootItems& items) {
  items = Take_Foot_Items(*scene.model);
  rotateItems(items, angle, 1.0, 0.0, 0.0);
  redraw(scene);
}

double Roll_For(Axis axis, Side side, double typedAngle) {
  const bool sameSign = (axis == Axis::Lateral) == (side == Side::Left);
  return sameSign ? typedAngle : -typedAngle;
}

void Align_And_Roll(const Scene& scene, Axis axis, Side side, double typedRoll,
                    ReferencePoints& points, FootItems& items) {
  Align_To_Axis(scene, axis, side, points, items);
  Check_Rotation(scene);
  Roll_Foot(scene, Roll_For(axis, side, typedRoll), items);
}

std::shared_ptr<kernelcad::Model> Align_Scan(kernelcad::Mesh mesh, const ReferencePoints& at,
                                             Axis axis, Side side, double typedRoll) {
  auto model = std::make_shared<kernelcad::Model>();
  model->setScan(std::make_shared<const kernelcad::Mesh>(std::move(mesh)));
  Draw_Sphere(*model, at.heel.x(), at.heel.y(), at.heel.z(), "HeelRef");
  Draw_Sphere(*model, at.ball.x(), at.ball.y(), at.ball.z(), "BallRef");
  Draw_Sphere(*model, at.adjacent.x(), at.adjacent.y(), at.adjacent.z(), "AdjRef");
  const Scene scene{model, std::make_shared<kernelcad::View>(model), {}};
  ReferencePoints points = at;
  FootItems items;
  Align_And_Roll(scene, axis, side, typedRoll, points, items);
  return model;
}

PlacementSnapshot::PlacementSnapshot(const kernelcad::Model& model) {
  for (long i = 0; i < std::min(4L, model.GetItemCount()); ++i) {
    auto item = model.GetItem(i);
    saved_.emplace_back(item, item->transform());
  }
}

void PlacementSnapshot::restore() const {
  for (const auto& [item, transform] : saved_) item->restoreTransform(transform);
}

}  // namespace alignment
