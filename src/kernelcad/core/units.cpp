#include "kernelcad/core/units.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace kernelcad {

namespace {

struct UnitInfo {
  LengthUnit unit;
  std::string_view name;
  double millimetres;
};

constexpr std::array<UnitInfo, 5> kUnits{{
    {LengthUnit::Millimetre, "mm", 1.0},
    {LengthUnit::Centimetre, "cm", 10.0},
    {LengthUnit::Metre, "m", 1000.0},
    {LengthUnit::Inch, "in", 25.4},
    {LengthUnit::Micrometre, "um", 0.001},
}};

// A typical adult foot scan, rim and margin included.
constexpr double kTypicalScanMm = 260.0;

const UnitInfo& Info(LengthUnit unit) {
  for (const auto& u : kUnits)
    if (u.unit == unit) return u;
  return kUnits[0];
}

}  // namespace

double MillimetresPer(LengthUnit unit) { return Info(unit).millimetres; }

std::string_view UnitName(LengthUnit unit) { return Info(unit).name; }

std::optional<LengthUnit> ParseUnit(std::string_view name) {
  for (const auto& u : kUnits)
    if (u.name == name) return u.unit;
  return std::nullopt;
}

bool PlausibleFootSize(double longestSideMm) {
  return longestSideMm >= kPlausibleFootMinMm && longestSideMm <= kPlausibleFootMaxMm;
}

double LongestSide(const Mesh& mesh) {
  const auto b = mesh.bounds();
  return std::max({b[3] - b[0], b[4] - b[1], b[5] - b[2]});
}

LengthUnit GuessUnit(double longestSide) {
  if (!std::isfinite(longestSide) || PlausibleFootSize(longestSide)) return LengthUnit::Millimetre;
  LengthUnit best = LengthUnit::Millimetre;
  double bestDistance = INFINITY;
  for (const auto& u : kUnits) {
    const double mm = longestSide * u.millimetres;
    if (!PlausibleFootSize(mm)) continue;
    // Sizes compare by ratio: 130 mm and 520 mm are equally far from 260 mm.
    const double distance = std::abs(std::log(mm / kTypicalScanMm));
    if (distance < bestDistance) {
      bestDistance = distance;
      best = u.unit;
    }
  }
  return best;
}

void ConvertToMillimetres(Mesh& mesh, LengthUnit unit) {
  const double factor = MillimetresPer(unit);
  if (factor == 1.0) return;
  for (float& c : mesh.points) c = static_cast<float>(c * factor);
}

}  // namespace kernelcad
