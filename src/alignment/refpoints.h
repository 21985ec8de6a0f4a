#pragma once

#include <QString>
#include <cstdint>

#include "kernelcad/core/scene.h"

class QAction;
class QToolBar;

namespace kernelcad {
class KernelCAD;
}
namespace view {
class Form1;
}

// Reference points on the scan: the heel, ball and adjacent spheres (model items 1, 2 and 3),
// the tools of Toolbar1 that arm their placing and moving, and the view click that does it.
// Form1 exposes these under the same names.
namespace alignment {

inline constexpr double kSphereRadius = 2.0;
inline constexpr float kSphereShininess = 70.0f;

// Fills Toolbar1 with its ten text buttons, in toolbar order.
void buildToolbar1(QToolBar& toolbar);
// The caption without its leading and trailing blanks, which is how buttons are told apart.
QString buttonKey(const QAction& button);

// Removes every model item but the mesh (item 0), after telling how many items there were.
void Clean_Up_Mesh(kernelcad::KernelCAD& control);
// A reference sphere centred on (Xc, Yc, Zc), appended to the model; the caller redraws.
void Draw_Sphere(kernelcad::Model& model, const double& Xc, const double& Yc, const double& Zc,
                 const QString& SphereName);
// Moves sphere item 1, 2 or 3 by the displacement (Xc, Yc, Zc); other numbers do nothing.
void Move_Sphere(kernelcad::Model& model, const std::int16_t& SphereNum, const double& Xc,
                 const double& Yc, const double& Zc);

// "Align Foot": the model back to the bare mesh and Toolbar1 shown.
void mnuAlign_Click(view::Form1& form);
void Toolbar1_ButtonClick(view::Form1& form, const QAction& button);
// A click in the view, at (X, Y) twips from its top-left corner: acts on the first armed flag.
void KernelCAD1_MouseEvent(kernelcad::KernelCAD& control, short Button, short Shift, float X,
                           float Y);

}  // namespace alignment
