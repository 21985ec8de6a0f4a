#pragma once

#include <memory>
#include <string>

namespace kernelcad {
class Item;
class Model;
}  // namespace kernelcad

namespace footview {
class FootView;
}

namespace printing {

// Adds a four-corner polygon to the model, named `polyName`, with all three material components
// in the colour (r, g, b) and shininess 50. Nothing is redrawn: the caller's next view change
// repaints.
std::shared_ptr<kernelcad::Item> Draw_Polygon(kernelcad::Model& model, double x1, double y1,
                                              double z1, double x2, double y2, double z2, double x3,
                                              double y3, double z3, double x4, double y4, double z4,
                                              float r, float g, float b,
                                              const std::string& polyName);

// Adds the white A4 landscape sheet (297 x 210 mm, "A4_Sheet") at Z = 50, behind the sole as
// seen from below, and turns the foot view to the Bottom view.
void Create_Sheet(footview::FootView& foot);

}  // namespace printing
