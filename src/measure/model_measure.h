#pragma once

// The foot's measurements as a model holds the foot: the scan (item 0) as placed and scaled, and
// the heel, ball and adjacent spheres (items 1 to 3) wherever the operator or the suggestion put
// them. The Measurements window and the true-size page both read them from here, so they give the
// same numbers.

#include <string>
#include <vector>

#include "footview/foot_side.h"
#include "kernelcad/core/scene.h"
#include "measure/foot_measure.h"

namespace measure {

// The spheres are taken back into the scan's own frame through the scan's placement, and every
// length is multiplied by the scale that placement carries (the print's scale factor): turning or
// shifting the foot changes nothing. Not valid, with the reason, while a sphere is missing.
Measurements measureModel(const kernelcad::Model& model, footview::Side side);

// Where a point of the foot's frame (x along the axis, y across, in the scaled millimetres of
// `m`) lies in the model now, on the support plane.
kernelcad::Vec3 modelPoint(const kernelcad::Model& model, const Measurements& m, double x,
                           double y);

// One measurement as people read it: lengths in millimetres with one decimal. `brief` is the
// label where room is short (the page's header).
struct Reading {
  std::string key, label, brief, value;
};
// Every measurement of a valid `m`, in the order the window lists them.
std::vector<Reading> readings(const Measurements& m);

}  // namespace measure
