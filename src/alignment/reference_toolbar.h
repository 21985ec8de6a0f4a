#pragma once

#include <QString>
#include <cstdint>

#include "alignment/spheres.h"
#include "kernelcad/core/scene.h"

class QAction;
class QToolBar;

namespace kernelcad {
class KernelCAD;
}
namespace footview {
class FootView;
}

// Reference points on the scan: the heel, ball and adjacent spheres (model items 1, 2 and 3),
// the tools of Toolbar1 that arm their placing and moving, and the view click that does it.
// The foot window exposes these under the same names.
namespace alignment {

// Fills Toolbar1 with its ten text buttons, in toolbar order.
void buildToolbar1(QToolBar& toolbar);
// The caption without its leading and trailing blanks, which is how buttons are told apart.
QString buttonKey(const QAction& button);

// Removes every model item but the mesh (item 0), after telling how many items there were.
void Clean_Up_Mesh(footview::FootView& foot);

// "Align Foot": the model back to the bare mesh and Toolbar1 shown.
void mnuAlign_Click(footview::FootView& foot);
// Arms a place or move tool, starts "Place Points", aligns ("Align Lateral", "Align Medial")
// or closes the toolbar ("Quit").
void Toolbar1_ButtonClick(footview::FootView& foot, const QAction& button);
// A click in the view, at (X, Y) twips from its top-left corner: acts on the first armed flag.
void KernelCAD1_MouseEvent(kernelcad::KernelCAD& control, short Button, short Shift, float X,
                           float Y);

}  // namespace alignment
