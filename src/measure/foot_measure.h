#pragma once

// Reference points suggested on a scan and the foot's measurements, from the mesh as it lies:
// any position and orientation, a plantar (open) scan or a closed full-foot mesh. Window-free:
// the foot view runs it off the user-interface thread, quarnel-scan runs it directly.

#include <Eigen/Core>
#include <string>

#include "alignment/align.h"
#include "kernelcad/core/mesh.h"

namespace measure {

// Points on the scan as it lies (the file's frame, millimetres).
struct Suggestion {
  bool found = false;
  // When !found: one sentence for the operator saying why no points are suggested.
  std::string reason;
  Eigen::Vector3d heel{0, 0, 0}, ball{0, 0, 0}, adjacent{0, 0, 0};
};

// The centre of the heel pad, the point under the first metatarsal head (ball) and under the
// fifth (adjacent) of a `side` foot.
Suggestion SuggestReferencePoints(const kernelcad::Mesh& mesh, alignment::Side side);

// Cavanagh-Rodgers arch classes.
enum class ArchClass { High, Normal, Low };

struct Measurements {
  bool valid = false;
  std::string reason;          // when !valid: one sentence for the operator
  double footLength = 0;       // mm
  double ballWidth = 0;        // mm, |ball - adjacent| projected into the support plane
  double ballWidthAcross = 0;  // mm, its component across the foot axis
  double heelWidth = 0;        // mm
  double archHeight = 0;       // mm
  double archIndex = 0;        // Cavanagh-Rodgers, 0..1
  ArchClass archClass = ArchClass::Normal;
  double chippauxSmirak = 0;  // ratio 0..1 (shown as percent)
};

// Measures the foot on `mesh` as it lies, given its three reference points (suggested or placed
// by the operator), every length multiplied by `scale` (the print scale factor).
Measurements Measure(const kernelcad::Mesh& mesh, const Eigen::Vector3d& heel,
                     const Eigen::Vector3d& ball, const Eigen::Vector3d& adjacent,
                     alignment::Side side, double scale = 1.0);

}  // namespace measure
