#pragma once

#include <initializer_list>
#include <utility>

namespace kernelcad {
class View;
}

namespace footview {

// The six standard views of the View menu.
enum class StandardView { Right, Bottom, Left, Top, Front, Back };

// A turn of the camera: degrees about axis 0 (X), 1 (Y) or 2 (Z).
using CameraTurn = std::pair<double, long>;

// The camera frame reset to its start orientation at the origin, then turned in order: the
// same turns always give the same picture whatever was done before. Nothing is redrawn.
void turnCamera(kernelcad::View& view, std::initializer_list<CameraTurn> turns);
void turnCamera(kernelcad::View& view, StandardView standard);

}  // namespace footview
