#pragma once

#include <optional>
#include <string_view>

#include "kernelcad/core/mesh.h"

namespace kernelcad {

// The length unit a scan's coordinates are written in. The program works in millimetres.
enum class LengthUnit { Millimetre, Centimetre, Metre, Inch, Micrometre };

// Millimetres per unit: multiply a scan's coordinates by this to get millimetres.
double MillimetresPer(LengthUnit unit);

// "mm", "cm", "m", "in", "um": the names the command line and messages use.
std::string_view UnitName(LengthUnit unit);
std::optional<LengthUnit> ParseUnit(std::string_view name);

// An adult or child foot, with the scanner's margin around it, has its longest side within
// these bounds when measured in millimetres; outside them the file is almost surely in another
// unit (a 270 mm foot reads 0.27 in metres, 27 in centimetres, 10.6 in inches, 270000 in µm).
constexpr double kPlausibleFootMinMm = 30.0;
constexpr double kPlausibleFootMaxMm = 600.0;

bool PlausibleFootSize(double longestSideMm);

// The longest side of the mesh's bounding box, in the mesh's own units.
double LongestSide(const Mesh& mesh);

// The unit that makes a scan whose longest side is `longestSide` (in its own units) look most
// like a foot: millimetres whenever that is plausible, else the plausible conversion closest to
// a typical scan length; millimetres when none is plausible (or the size is not finite).
LengthUnit GuessUnit(double longestSide);

// Rewrites the mesh's coordinates from `unit` into millimetres.
void ConvertToMillimetres(Mesh& mesh, LengthUnit unit);

}  // namespace kernelcad
