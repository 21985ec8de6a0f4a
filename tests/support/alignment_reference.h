#pragma once

// The standard position worked out afresh for the tests, from the alignment's formulas written
// as matrices: the motion every item (mesh and spheres) must have undergone, including the half
// turn when the ball lies behind the heel and the roll.

#include <Eigen/Geometry>
#include <cmath>
#include <numbers>
#include <string>

namespace reference {

struct Variant {
  bool lateral;
  bool left;
  int rollSign;  // the roll applied for a typed angle, +1 or -1

  std::string name() const {
    return std::string(lateral ? "Lateral" : "Medial") + (left ? "Left" : "Right");
  }
};

inline constexpr Variant kVariants[] = {
    {true, true, +1}, {true, false, -1}, {false, true, -1}, {false, false, +1}};

inline Eigen::Affine3d turn(double degrees, const Eigen::Vector3d& axis) {
  return Eigen::Affine3d(Eigen::AngleAxisd(degrees * std::numbers::pi / 180.0, axis));
}

inline Eigen::Affine3d alignedMotion(const Eigen::Vector3d& heel, const Eigen::Vector3d& ball,
                                     const Eigen::Vector3d& adjacent, const Variant& v,
                                     double typedRoll) {
  constexpr double kDeg = 57.29577951;
  constexpr double kRad = 0.017453292;
  const Eigen::Vector3d X = Eigen::Vector3d::UnitX(), Y = Eigen::Vector3d::UnitY(),
                        Z = Eigen::Vector3d::UnitZ();
  Eigen::Vector3d p = (v.lateral ? ball : adjacent) - heel;
  Eigen::Vector3d q = (v.lateral ? adjacent : ball) - heel;

  const double thetaZ = std::atan(p.y() / p.x()) * -kDeg + (v.lateral ? 0.0 : 180.0);
  Eigen::Matrix3d working = Eigen::AngleAxisd(thetaZ * kRad, Z).toRotationMatrix();
  if (!v.left) working = Eigen::Vector3d(-1, -1, 1).asDiagonal() * working;
  p = working * p;
  q = working * q;

  const double beta = std::atan(p.z() / p.x()) * kDeg;
  const double thetaY = v.left ? beta : 180.0 - beta;
  working = Eigen::AngleAxisd((v.left ? thetaY : -thetaY) * kRad, Y).toRotationMatrix();
  q = working * q;

  const double gamma = std::atan(q.z() / q.y()) * kDeg;
  const double thetaX = v.left ? 180.0 - gamma : gamma;

  Eigen::Affine3d motion =
      turn(thetaX, X) * turn(thetaY, Y) * turn(thetaZ, Z) * Eigen::Translation3d(-heel);
  if ((motion * ball).x() < (motion * heel).x()) motion = turn(180.0, Z) * motion;
  return turn(v.rollSign * typedRoll, X) * motion;
}

}  // namespace reference
