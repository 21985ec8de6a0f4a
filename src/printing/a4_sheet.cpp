#include "printing/a4_sheet.h"

#include "footview/foot_view.h"
#include "kernelcad/core/scene.h"
#include "state/app_state.h"

namespace printing {

std::shared_ptr<kernelcad::Item> Draw_Polygon(kernelcad::Model& model, double x1, double y1,
                                              double z1, double x2, double y2, double z2, double x3,
                                              double y3, double z3, double x4, double y4, double z4,
                                              float r, float g, float b,
                                              const std::string& polyName) {
  std::shared_ptr<kernelcad::Item> item =
      model.AddPolygon(x1, y1, z1, x2, y2, z2, x3, y3, z3, x4, y4, z4);
  item->SetName(polyName);
  for (int component = 0; component < 3; ++component) item->SetColour(component, r, g, b);
  item->SetShininess(50.0f);
  return item;
}

void Create_Sheet(footview::FootView& foot) {
  const std::shared_ptr<kernelcad::Model> model = app::state().ModelRef;
  if (!model) throw kernelcad::KernelCADError("No foot is loaded: the A4 sheet has no model.");
  // Landscape A4 from X = -50 to 247 and Y = -105 to 105, so the aligned heel (at the origin)
  // sits 50 mm in from the sheet's edge.
  Draw_Polygon(*model, -50, -105, 50, 247, -105, 50, 247, 105, 50, -50, 105, 50, 1.0f, 1.0f, 1.0f,
               "A4_Sheet");
  foot.turnTo(footview::StandardView::Bottom);
}

}  // namespace printing
