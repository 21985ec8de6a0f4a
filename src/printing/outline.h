#pragma once

#include <QPolygonF>
#include <vector>

namespace kernelcad {
class Model;
}

namespace printing {

// The plantar outline: the silhouette of the foot mesh (item 0, as placed now) projected on the
// model's XY plane, as closed polylines in model millimetres. Only outer boundaries are kept; gaps
// enclosed by the foot are not outlined.
struct PlantarOutline {
  std::vector<QPolygonF> loops;
  double minX = 0, maxX = 0, minY = 0, maxY = 0;

  double length() const { return maxX - minX; }
  double width() const { return maxY - minY; }
};

// Throws KernelCADError when the model has no scan or the scan covers no area seen from below.
// The outline lies within half a raster cell (0.05 mm unless the scan is very large) plus
// 0.02 mm of simplification from the true silhouette.
PlantarOutline Plantar_Outline(const kernelcad::Model& model);

}  // namespace printing
