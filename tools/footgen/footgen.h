#pragma once

// Synthetic foot scans: a deterministic, anatomically plausible plantar scan in millimetres, so
// that the viewer, the benchmarks and the tests have scans of known shape and known landmarks.
// Like the lab's scanners, it holds only what is seen from below: the sole, the lower sides of
// the foot and the toes' undersides with the clefts between them, open at the top along a rim at
// kRimHeight.
//
// Frame: X runs from the back of the heel (x = 0) to the tip of the hallux (x = 260), Z is up with
// the sole resting on z = 0, Y is across the foot, a right-handed frame. As on a real foot seen
// from above with the toes ahead, a left foot's big toe and arch are on the right: its medial side
// is -Y, a right foot's +Y.

#include <Eigen/Core>
#include <Eigen/Geometry>
#include <cstdint>
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

// Plantar surface within this height of the support plane counts as the contact region (the
// footprint): the unloaded scan's soft tissue flattens by a few millimetres under body weight, and
// at 3 mm the band joins the forefoot and heel as a loaded footprint does while the toes and the
// raised arch stay apart. The measurements use the same band. The footprint's toes are its parts
// wholly in front of the ball and adjacent points; neither index counts them.
inline constexpr double kContactBand = 3.0;

enum class Arch { Flat, Normal, High };

// A foot of known truth as scanners deliver them: any length, side and arch, a plantar scan or a
// closed full-foot mesh, with the defects of real scans, anywhere in space. Every choice made at
// random is drawn from `seed`, so the same variant gives the same mesh on every platform.
struct Variant {
  Side side = Side::Left;
  double length = 260;       // mm, heel to hallux tip; the foot scales with it (220-300)
  Arch arch = Arch::Normal;  // shapes whose arch indices lie well inside their classes
  bool closed = false;       // a closed full-foot mesh: the plantar surface and a dorsum
  double noise = 0;          // mm, standard deviation of each vertex along its normal
  int holes = 0;             // patches of missing triangles, 4-16 mm across
  int fragments = 0;         // stray blobs of scanner debris 15-45 mm off the foot
  bool cutRim = false;       // the rim cut by a tilted plane, lower on one side
  bool randomPose = false;   // any orientation, moved up to 500 mm
  double leg = 0;            // mm: a closed mesh's leg stub, cut this high above the floor
  double toeSpring = 0;      // mm: the hallux tip off the floor, the toes lifted with it
  double heelRocker = 0;     // mm: the heel's back off the floor, the sole rounded up to it
  bool flatWall = false;     // the medial side a long, nearly flat wall, sole to dorsum
  std::uint32_t seed = 1;
  int resolution = kDefaultResolution;  // vertex budget of the plantar surface, in thousands
};

// The foot's measurements from the generator's own geometry. Points are in the mesh's frame;
// lengths in millimetres along the support plane, the axis running from the heel point to the
// midpoint of the ball and adjacent points.
struct Truth {
  Landmarks landmarks;
  // From the frame described above, the foot scaled to its length (and mirrored for a left
  // foot), to the mesh's.
  Eigen::Isometry3d pose = Eigen::Isometry3d::Identity();
  double footLength = 0;          // extent of the surface along the axis
  double ballWidth = 0;           // ball to adjacent in the support plane
  double ballWidthAcross = 0;     // its component across the axis
  double heelWidth = 0;           // outline across the axis, 1/6 of the length from the heel
  double archIndex = 0;           // middle third of the toe-less footprint over all of it
  Arch archClass = Arch::Normal;  // High <= 0.21 < Normal < 0.26 <= Flat
  // Narrowest breadth of the footprint in its middle third over the widest in its front third;
  // a breadth runs from the outermost point on one side to the other's.
  double chippauxSmirak = 0;
};

struct GeneratedFoot {
  kernelcad::Mesh mesh;
  Truth truth;
};

GeneratedFoot Generate(const Variant& variant);

// Writes the mesh as a VRML 2.0 IndexedFaceSet in the layout 3D foot scanners use.
// `comment` goes on the line after the header (line breaks in it become spaces).
void WriteVrml2(const kernelcad::Mesh& mesh, std::ostream& out, const std::string& comment);

// Lowest point of the mesh surface on the vertical line through (x, y); false when the line
// misses the mesh.
bool LowestSurfacePoint(const kernelcad::Mesh& mesh, double x, double y, Eigen::Vector3d* hit);

}  // namespace footgen
