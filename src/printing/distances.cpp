#include "printing/distances.h"

#include <array>
#include <cmath>
#include <exception>

#include "app/appstate.h"
#include "kernelcad/core/scene.h"
#include "platform/msgbox.h"

namespace printing {

double Calc_Distance(const double& X1, const double& Y1, const double& Z1, const double& X2,
                     const double& Y2, const double& Z2) {
  const double dx = X2 - X1;
  const double dy = Y2 - Y1;
  const double dz = Z2 - Z1;
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

void Collect_Geometry() {
  app::AppState& s = app::state();
  std::array<kernelcad::Vec3, 3> centre;
  try {
    if (!s.ModelRef) throw kernelcad::KernelCADError("No model is loaded.");
    for (long item = 1; item <= 3; ++item) centre[item - 1] = s.ModelRef->GetItem(item)->GetPosition();
  } catch (const std::exception&) {
    // The operator can still read the window and quit; the distances stay as they were.
    platform::MsgBox(QStringLiteral("Error Collecting Geometry"));
    return;
  }
  const auto& [heel, ball, adj] = centre;
  s.HeelBallDist = Calc_Distance(heel.x(), heel.y(), heel.z(), ball.x(), ball.y(), ball.z());
  s.HeelAdjDist = Calc_Distance(heel.x(), heel.y(), heel.z(), adj.x(), adj.y(), adj.z());
  s.BallAdjDist = Calc_Distance(ball.x(), ball.y(), ball.z(), adj.x(), adj.y(), adj.z());
  s.HeelX = heel.x();
  s.HeelY = heel.y();
  s.HeelZ = heel.z();
  s.BallX = ball.x();
  s.BallY = ball.y();
  s.BallZ = ball.z();
  s.AdjX = adj.x();
  s.AdjY = adj.y();
  s.AdjZ = adj.z();
}

}  // namespace printing
