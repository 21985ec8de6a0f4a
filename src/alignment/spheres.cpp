#include "alignment/spheres.h"

#include "kernelcad/core/scene.h"

namespace alignment {

void Draw_Sphere(kernelcad::Model& model, const double& Xc, const double& Yc, const double& Zc,
                 const std::string& SphereName) {
  const std::shared_ptr<kernelcad::Item> sphere = model.AddSphere(kSphereRadius);
  sphere->SetName(SphereName);
  sphere->Translate(Xc, Yc, Zc);
  sphere->SetColour(0, 0.6f, 0.1f, 0.1f);
  sphere->SetColour(1, 0.6f, 0.1f, 0.1f);
  sphere->SetColour(2, 0.7f, 0.7f, 0.1f);
  sphere->SetShininess(kSphereShininess);
}

void Move_Sphere(kernelcad::Model& model, const std::int16_t& SphereNum, const double& Xc,
                 const double& Yc, const double& Zc) {
  if (SphereNum < 1 || SphereNum > 3) return;
  model.GetItem(SphereNum)->Translate(Xc, Yc, Zc);
}

}  // namespace alignment
