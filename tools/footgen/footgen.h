#pragma once

// Synthetic foot scans: a deterministic, anatomically plausible plantar scan in millimetres, so
// that the viewer, the benchmarks and the tests have scans of known shape and known landmarks.
// Like the lab's scanners, it holds only what is seen from below: the sole, the lower sides of
// the foot and the toe pads, open at the top along a rim at kRimHeight.
//
// Frame: X runs from the back of the heel (x = 0) to the tip of the hallux (x = 260), Z is up with
// the sole resting on z = 0, Y is across the foot. For a left foot the medial side (big toe) is +Y,
// for a right foot -Y.

#include <Eigen/Core>
#include <ostream>
#include <string>

#include "kernelcad/core/mesh.h"

namespace footgen {

enum class Side { Left, Right };

// Points on the plantar surface, each the lowest point of the mesh at its (x, y).
struct Landmarks {
  Eigen::Vector3d heel;      // centre of the heel pad
  Eigen::Vector3d ball;      // under the first metatarsal head (medial)
  Eigen::Vector3d adjacent;  // under the fifth metatarsal head (lateral)
};

struct Foot {
  kernelcad::Mesh mesh;
  Landmarks landmarks;
};

// `resolution` is the vertex budget in thousands: the mesh has about 1000 * resolution vertices
// (within a few percent above a few thousand). The default gives a typical scanner-sized mesh.
inline constexpr int kDefaultResolution = 150;

// Resolution whose mesh has about `vertices` vertices (at least 1).
int ResolutionForVertices(long long vertices);

// Height of the rim where the scanned surface ends.
inline constexpr double kRimHeight = 32.0;

// One connected open surface whose only border is the rim, every rim vertex at z = kRimHeight;
// triangles are wound counter-clockwise seen from below and outside. The result depends only on
// the arguments.
Foot GenerateFoot(Side side, int resolution = kDefaultResolution);

// Writes the mesh as a VRML 2.0 IndexedFaceSet in the layout 3D foot scanners use.
// `comment` goes on the line after the header (line breaks in it become spaces).
void WriteVrml2(const kernelcad::Mesh& mesh, std::ostream& out, const std::string& comment);

// Lowest point of the mesh surface on the vertical line through (x, y); false when the line
// misses the mesh.
bool LowestSurfacePoint(const kernelcad::Mesh& mesh, double x, double y, Eigen::Vector3d* hit);

}  // namespace footgen
