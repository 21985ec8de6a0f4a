#pragma once

#include <array>
#include <optional>

#include "kernelcad/core/scene.h"

// The distances between the reference spheres and the scale correction of the model, without
// windows: the Distances window and quarnel-scan print share them.
namespace printing {

// Straight-line distance between (X1, Y1, Z1) and (X2, Y2, Z2).
double Calc_Distance(const double& X1, const double& Y1, const double& Z1, const double& X2,
                     const double& Y2, const double& Z2);

// The centres of the heel, ball and adjacent spheres (model items 1, 2, 3) and the distances
// between them.
struct SphereGeometry {
  kernelcad::Vec3 heel = kernelcad::Vec3::Zero();
  kernelcad::Vec3 ball = kernelcad::Vec3::Zero();
  kernelcad::Vec3 adjacent = kernelcad::Vec3::Zero();
  double heelBall = 0, heelAdj = 0, ballAdj = 0;
};

// Throws KernelCADError when a sphere is missing.
SphereGeometry Measure_Spheres(const kernelcad::Model& model);

// The pairs whose true distance the operator may give, in the order they are looked at.
enum class DistancePair { HeelBall = 0, HeelAdjacent = 1, BallAdjacent = 2 };

struct ScaleChoice {
  // The pair whose entry counts: the first positive one. Empty when none is positive.
  std::optional<DistancePair> pair;
  // True over measured distance of that pair; 1 when no entry counts; empty when the measured
  // distance is 0 (two spheres on one spot give no length to compare with).
  std::optional<double> factor;
};

// Entries and measured distances in the order heel-ball, heel-adjacent, ball-adjacent.
ScaleChoice Choose_Scale(const std::array<double, 3>& entered,
                         const std::array<double, 3>& measured);

// A scan differs from the foot it was taken of by a few percent (calibration, soft tissue,
// the scanner's distance); a factor beyond a quarter either way is a mistyped entry or the
// wrong pair, and the operator is asked before the foot changes size.
bool Usual_Scale(double s);

// "Apply": scales the foot mesh (item 0) by `s` about the model origin and moves the three
// spheres to their scaled centres without changing their size. A factor of exactly 1 changes
// nothing and returns false.
bool Apply_Scale(kernelcad::Model& model, double s);

// The scale the foot mesh carries as placed now: 1 for a scan as read, multiplied by every
// Apply_Scale since.
double Applied_Scale(const kernelcad::Model& model);

}  // namespace printing
