#pragma once

// The plane a foot stands on, found on the scan's triangles in any position and orientation.
// Shared by the suggestion and the measurements.

#include <Eigen/Core>
#include <optional>
#include <string>
#include <vector>

namespace measure {

// The plane the foot stands on: the lowest flat region. `up` points into the foot; a point's
// height above the plane is up.dot(p) - level.
struct Plane {
  Eigen::Vector3d up;
  double level;
  double Height(const Eigen::Vector3d& p) const { return up.dot(p) - level; }
};

// A triangle as its centre and area, in single precision: a large scan has millions of them,
// and the sums over them are taken in double.
struct Patch {
  Eigen::Vector3f at;
  float size;
  Eigen::Vector3d centre() const { return at.cast<double>(); }
  double area() const { return size; }
};

// Principal directions of area-weighted points, largest spread first.
Eigen::Matrix3d PrincipalAxes(const std::vector<Patch>& patches);

// Where the foot would stand on the floor, whatever else the scan holds; nullopt with the reason
// when nothing on it could be a sole.
std::optional<Plane> FindSupportPlane(const std::vector<Patch>& patches, std::string& reason);

}  // namespace measure
