#include "printing/scaling.h"

#include <cmath>

namespace printing {

double Calc_Distance(const double& X1, const double& Y1, const double& Z1, const double& X2,
                     const double& Y2, const double& Z2) {
  const double dx = X2 - X1;
  const double dy = Y2 - Y1;
  const double dz = Z2 - Z1;
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

SphereGeometry Measure_Spheres(const kernelcad::Model& model) {
  SphereGeometry g;
  g.heel = model.GetItem(1)->GetPosition();
  g.ball = model.GetItem(2)->GetPosition();
  g.adjacent = model.GetItem(3)->GetPosition();
  const auto distance = [](const kernelcad::Vec3& a, const kernelcad::Vec3& b) {
    return Calc_Distance(a.x(), a.y(), a.z(), b.x(), b.y(), b.z());
  };
  g.heelBall = distance(g.heel, g.ball);
  g.heelAdj = distance(g.heel, g.adjacent);
  g.ballAdj = distance(g.ball, g.adjacent);
  return g;
}

ScaleChoice Choose_Scale(const std::array<double, 3>& entered,
                         const std::array<double, 3>& measured) {
  for (int i = 0; i < 3; ++i) {
    // Zero, negative and unreadable entries count as not entered.
    if (!(entered[i] > 0)) continue;
    ScaleChoice choice{static_cast<DistancePair>(i), std::nullopt};
    if (measured[i] != 0) choice.factor = entered[i] / measured[i];
    return choice;
  }
  return {std::nullopt, 1.0};
}

bool Usual_Scale(double s) { return s >= 0.8 && s <= 1.25; }

bool Apply_Scale(kernelcad::Model& model, double s) {
  if (s == 1.0) return false;
  const auto mesh = model.GetItem(0);
  const kernelcad::Vec3 at = mesh->GetPosition();
  mesh->SetPosition(0, 0, 0);
  mesh->Scale(s, s, s, true);
  mesh->Translate(at.x() * s, at.y() * s, at.z() * s);
  // The spheres only move: they keep the size they were drawn with.
  for (long item = 1; item <= 3; ++item) {
    const auto sphere = model.GetItem(item);
    const kernelcad::Vec3 centre = sphere->GetPosition();
    sphere->SetPosition(0, 0, 0);
    sphere->Translate(centre.x() * s, centre.y() * s, centre.z() * s);
  }
  return true;
}

double Applied_Scale(const kernelcad::Model& model) {
  // Placements are turns and uniform scales, so any column of the linear part has the scale as
  // its length.
  return model.GetItem(0)->transform().linear().col(0).norm();
}

}  // namespace printing
