#include "measure/model_measure.h"

#include <cmath>
#include <cstdio>

namespace measure {

namespace {

// The placement of the scan: turns, shifts and one uniform scale, whose size any column of the
// linear part gives.
double scaleOf(const Eigen::Affine3d& placement) { return placement.linear().col(0).norm(); }

std::string fixed(double v, int decimals, const char* unit = "") {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f%s", decimals, v, unit);
  return text;
}

// Half sizes keep their half, whole sizes show none.
std::string size(double v) { return fixed(v, v == std::floor(v) ? 0 : 1); }

const char* className(ArchClass c) {
  switch (c) {
    case ArchClass::High:
      return "High arch";
    case ArchClass::Low:
      return "Low arch";
    case ArchClass::Normal:
      break;
  }
  return "Normal arch";
}

}  // namespace

Measurements measureModel(const kernelcad::Model& model, footview::Side side) {
  Measurements m;
  if (model.GetItemCount() == 0 || !model.GetItem(0)->mesh()) {
    m.reason = "No foot is loaded.";
    return m;
  }
  bool spheres = model.GetItemCount() >= 4;
  for (long item = 1; spheres && item <= 3; ++item)
    spheres = model.GetItem(item)->kind() == kernelcad::ItemKind::Sphere;
  if (!spheres) {
    m.reason = "Place the heel, ball and adjacent points (or press Suggest) to measure the foot.";
    return m;
  }
  const auto scan = model.GetItem(0);
  const Eigen::Affine3d back = scan->transform().inverse();
  const auto at = [&](long item) -> Eigen::Vector3d {
    return back * model.GetItem(item)->GetPosition();
  };
  return Measure(*scan->mesh(), at(1), at(2), at(3), side, scaleOf(scan->transform()));
}

kernelcad::Vec3 modelPoint(const kernelcad::Model& model, const Measurements& m, double x,
                           double y) {
  const Eigen::Affine3d& placement = model.GetItem(0)->transform();
  const double s = scaleOf(placement);
  return placement * (m.origin + (x / s) * m.axis + (y / s) * m.across);
}

std::vector<Reading> readings(const Measurements& m) {
  return {
      {"footLength", "Foot length", "Foot length", fixed(m.footLength, 1, " mm")},
      {"ballWidth", "Ball width", "Ball",
       fixed(m.ballWidth, 1, " mm (") + fixed(m.ballWidthAcross, 1, " mm across)")},
      {"heelWidth", "Heel width", "Heel", fixed(m.heelWidth, 1, " mm")},
      {"archHeight", "Arch height", "Arch height", fixed(m.archHeight, 1, " mm")},
      {"archIndex", "Arch index", "Arch index",
       fixed(m.archIndex, 3) + " (" + className(m.archClass) + ")"},
      {"chippauxSmirak", "Chippaux-Smirak index", "Chippaux-Smirak",
       fixed(100 * m.chippauxSmirak, 1, " %")},
      {"size", "Size", "Size",
       "Mondopoint " + std::to_string(m.size.mondopointLength) + "/" +
           std::to_string(m.size.mondopointWidth) + ", EU " + size(m.size.eu) + ", UK " +
           size(m.size.uk) + " (" + fixed(kToeAllowance, 0, " mm toe allowance)")},
  };
}

}  // namespace measure
