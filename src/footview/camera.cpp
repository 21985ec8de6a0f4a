#include "footview/camera.h"

#include "kernelcad/core/scene.h"

namespace footview {

namespace {
constexpr long kAxisX = 0;
constexpr long kAxisY = 1;
constexpr long kAxisZ = 2;
}  // namespace

void turnCamera(kernelcad::View& view, std::initializer_list<CameraTurn> turns) {
  const std::shared_ptr<kernelcad::Frame> frame = view.FindObject("EyeFrame");
  if (!frame) throw kernelcad::KernelCADError("The view has no camera frame \"EyeFrame\".");
  frame->ResetOrientation();
  frame->SetPosition(0.0, 0.0, 0.0);
  for (const auto& [angle, axis] : turns) frame->RotateAboutAxis(angle, axis);
}

void turnCamera(kernelcad::View& view, StandardView standard) {
  switch (standard) {
    case StandardView::Right:
      return turnCamera(view, {{90, kAxisX}});
    case StandardView::Bottom:
      return turnCamera(view, {{180, kAxisY}, {180, kAxisZ}});
    case StandardView::Left:
      return turnCamera(view, {{270, kAxisX}, {180, kAxisY}});
    case StandardView::Top:
      return turnCamera(view, {{0, kAxisY}});
    case StandardView::Front:
      return turnCamera(view, {{90, kAxisY}, {90, kAxisX}});
    case StandardView::Back:
      return turnCamera(view, {{270, kAxisY}, {90, kAxisX}});
  }
}

}  // namespace footview
