#pragma once

// Reference points suggested on a scan and the foot's measurements, from the mesh as it lies:
// any position and orientation, a plantar (open) scan or a closed full-foot mesh. Window-free:
// the foot view runs it off the user-interface thread, quarnel-scan runs it directly.

#include <Eigen/Core>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "footview/foot_side.h"
#include "kernelcad/core/mesh.h"

namespace measure {

// The plantar contact region is the surface within this height (mm) of the support plane. The
// scan is taken unloaded; under body weight the soft tissue of the sole flattens by a few
// millimetres, so the loaded footprint covers what lies this close to the plane. Much more and
// the band would join the toes to the forefoot and fill the arch where a standing footprint
// leaves them apart.
inline constexpr double kContactBand = 3.0;

// The length of the last, sized from the foot: foot length plus this toe allowance (mm). The
// foot lengthens under load and walking shoves it forward in the shoe; 15 mm is the usual room
// size charts allow between the longest toe and the inside of the toe cap.
inline constexpr double kToeAllowance = 15.0;

// Shoe sizes for a foot. Mondopoint (ISO 9407) names the foot itself, length and width in mm;
// the EU and UK scales size the last, foot length plus kToeAllowance.
struct SizeLine {
  int mondopointLength = 0;  // mm, foot length to the nearest 5 mm step
  int mondopointWidth = 0;   // mm, ball width to the nearest mm
  double eu = 0;             // Paris points (2/3 cm) of the last, to the nearest half size
  double uk = 0;  // adult UK: barleycorns (1/3 inch) of the last less 25, to the nearest half
};
SizeLine Sizes(double footLength, double ballWidth);

// Cavanagh-Rodgers arch classes: high AI <= 0.21 < normal < 0.26 <= low (flat).
enum class ArchClass { High, Normal, Low };

// The foot axis runs in the support plane from the heel point towards the midpoint of the ball
// and adjacent points. The contact region is the sole within kContactBand of the support plane,
// seen from above; its pieces lying wholly in front of the ball and adjacent points are toes and
// count in neither index.
struct Measurements {
  bool valid = false;
  std::string reason;  // when !valid: one sentence for the operator
  // Rearmost heel point to the tip of the longest toe along the axis (ISO 7250-1): the
  // surface's extent along it.
  double footLength = 0;
  double ballWidth = 0;        // |ball - adjacent| in the support plane
  double ballWidthAcross = 0;  // its component across the axis
  // Breadth of the outline across the axis, 1/6 of the foot length in front of the heel's back.
  double heelWidth = 0;
  // Highest point of the sole above the support plane under the line from the heel point to
  // the ball point, within the middle third of the contact region.
  double archHeight = 0;
  // Cavanagh & Rodgers (1987): the contact region cut across the axis into three equal lengths;
  // the middle third's area over the whole area.
  double archIndex = 0;
  ArchClass archClass = ArchClass::Normal;
  // Chippaux-Smirak: the contact region's least breadth across the axis in the middle third
  // over its greatest in the front third (breadth: from its outermost cell on one side to the
  // other's, at one position along the axis).
  double chippauxSmirak = 0;
  SizeLine size;  // from the (scaled) foot length and ball width

  // The foot's frame in the file: origin on the support plane, level along the axis with the
  // heel's back and on the heel point's line; axis from heel to toes, across = up x axis
  // (lateral for a left foot), up away from the plane.
  Eigen::Vector3d origin{0, 0, 0}, axis{1, 0, 0}, across{0, 1, 0}, up{0, 0, 1};
  // The contact region on a raster of square cells in that frame (every length scaled): cell
  // (c, r) spans x from x0 + c * cell and y from y0 + r * cell.
  double cell = 0, x0 = 0, y0 = 0;
  int columns = 0, rows = 0;
  std::vector<std::uint8_t> contact;  // row-major: 0 none, 1 contact, 2 toe (left out)
  // Along the axis: where the contact region without toes starts, its thirds' two boundaries,
  // and where it ends.
  std::array<double, 4> thirds{0, 0, 0, 0};
};

// Points on the scan as it lies (the file's frame, millimetres).
struct Suggestion {
  bool found = false;
  // When !found: one sentence for the operator saying why no points are suggested.
  std::string reason;
  Eigen::Vector3d heel{0, 0, 0}, ball{0, 0, 0}, adjacent{0, 0, 0};
  // Of the points found, at the scan's own scale: they are checked before they are offered.
  Measurements measurements;
};

// The centre of the heel pad, the point under the first metatarsal head (ball) and under the
// fifth (adjacent) of a `side` foot.
Suggestion SuggestReferencePoints(const kernelcad::Mesh& mesh, footview::Side side);

// Measures the foot on `mesh` as it lies, given its three reference points (suggested or placed
// by the operator), every length multiplied by `scale` (the print scale factor).
Measurements Measure(const kernelcad::Mesh& mesh, const Eigen::Vector3d& heel,
                     const Eigen::Vector3d& ball, const Eigen::Vector3d& adjacent,
                     footview::Side side, double scale = 1.0);

}  // namespace measure
