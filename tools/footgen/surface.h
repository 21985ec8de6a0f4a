#pragma once

// The generator's surface in its own frame (a right foot 260 mm long, see footgen.h), shared by
// the sample scans and the variants of known truth.

#include <Eigen/Core>
#include <array>
#include <limits>

#include "footgen/footgen.h"

namespace footgen {

inline constexpr double kLength = 260.0;

// How the sole meets the ground: the medial arch's height (mm), how far lateral of the midline
// its rise begins (in half-widths) and the lift of the lateral column (mm); where the skin
// between the toes starts to rise and over what length (mm), and how far the toes' bases are
// lifted into the forefoot (mm). With `flatMedialWall` the medial side stands as a nearly flat
// wall from the sole to the dorsum instead of rounding into both; with `closed` a dorsum closes
// the scan, meeting the sole lower along the toes' sides than a plantar scan's rim.
struct SoleShape {
  double archLift, medialFrom, lateralLift, websFrom, websRise, toeCurl;
  bool flatMedialWall = false, closed = false;
};

// The sample scans' sole: an arch index of about 0.29, a low arch, and toe pads
// that touch the forefoot's contact region.
inline constexpr SoleShape kSampleSole{16.0, 0.3, 1.2, 198, 26, 6.0};

// Arch indices 0.30, 0.234 and 0.169, well inside their classes, and toe pads apart from the
// forefoot as in a loaded footprint, so that the toe-less footprint has one clear front.
inline SoleShape ShapeOf(Arch arch) {
  constexpr double kWebsFrom = 190, kWebsRise = 20, kToeCurl = 10;
  switch (arch) {
    case Arch::Flat:
      return {6.0, -0.2, 0.4, kWebsFrom, kWebsRise, kToeCurl};
    case Arch::High:
      return {17.0, 0.55, 1.6, kWebsFrom, kWebsRise, kToeCurl};
    case Arch::Normal:
      break;
  }
  return {15.0, 0.15, 1.0, kWebsFrom, kWebsRise, kToeCurl};
}

// One cross-section: x, its lateral and medial borders, and how deep below the rim it may reach
// (1 along most of the foot, falling to 0 where the heel and the hallux round up to the rim).
struct Station {
  double x, lateral, medial, depth;
};
Station StationAt(double x);

inline constexpr double kOffTheFoot = std::numeric_limits<double>::infinity();

// Height of the plantar surface above (x, y), kOffTheFoot outside the outline. Every vertical
// line through the outline meets the plantar surface once.
double PlantarHeight(const SoleShape& shape, double x, double y);

// Heel, ball and adjacent points in plan.
std::array<Eigen::Vector2d, 3> LandmarksInPlan();

// How the foot stands when scanned: the hallux tip's height off the floor (toe spring, mm) and
// how far the back of the heel rises off it (a rocking sole, mm). The toes lift from just in front
// of the first metatarsal head, the heel from its pad's centre back, so the floor still touches
// the heel pad and the metatarsal heads. Scans of unloaded feet show the hallux tip about 10-35 mm
// up (an estimate from unloaded scans, not a survey); a last's toe spring, the height of its toe
// tip off the ground, is about 5 mm for a casual shoe and 15 mm or more for a stiff-soled boot
// (shoemakers' glossaries).
struct Posture {
  double toeSpring = 0, heelRocker = 0;
};
// The rise of the sole at x (mm along the 260 mm foot) for a posture.
double Lift(const Posture& posture, double x);

// The plantar scan up to the rim, and for a closed shape the dorsum closing it; with `leg` (mm
// above the floor, closed only) the leg stub rising over the ankle, cut flat at that height.
void AppendSurface(kernelcad::Mesh& mesh, int resolution, const SoleShape& shape, double leg = 0);

}  // namespace footgen
