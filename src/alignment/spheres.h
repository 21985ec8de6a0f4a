#pragma once

#include <cstdint>
#include <string>

namespace kernelcad {
class Model;
}

// The reference spheres as model items, without windows: the foot view and quarnel-scan both
// place them through these.
namespace alignment {

inline constexpr double kSphereRadius = 2.0;
inline constexpr float kSphereShininess = 70.0f;

// A reference sphere centred on (Xc, Yc, Zc), appended to the model; the caller redraws.
void Draw_Sphere(kernelcad::Model& model, const double& Xc, const double& Yc, const double& Zc,
                 const std::string& SphereName);
// Moves sphere item 1, 2 or 3 by the displacement (Xc, Yc, Zc); other numbers do nothing.
void Move_Sphere(kernelcad::Model& model, const std::int16_t& SphereNum, const double& Xc,
                 const double& Yc, const double& Zc);

}  // namespace alignment
