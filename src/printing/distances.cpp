#include "printing/distances.h"

#include <exception>

#include "kernelcad/core/scene.h"
#include "platform/msgbox.h"
#include "state/app_state.h"

namespace printing {

void Collect_Geometry() {
  app::AppState& s = app::state();
  SphereGeometry g;
  try {
    if (!s.ModelRef) throw kernelcad::KernelCADError("No model is loaded.");
    g = Measure_Spheres(*s.ModelRef);
  } catch (const std::exception&) {
    // The operator can still read the window and quit; the distances stay as they were.
    platform::MsgBox(QStringLiteral("Error Collecting Geometry"));
    return;
  }
  s.HeelBallDist = g.heelBall;
  s.HeelAdjDist = g.heelAdj;
  s.BallAdjDist = g.ballAdj;
  app::setPoint(s.HeelX, s.HeelY, s.HeelZ, g.heel);
  app::setPoint(s.BallX, s.BallY, s.BallZ, g.ball);
  app::setPoint(s.AdjX, s.AdjY, s.AdjZ, g.adjacent);
}

}  // namespace printing
