#pragma once

#include "alignment/align.h"

namespace footview {
class FootView;
}

namespace alignment {

// "Align Lateral" and "Align Medial": the roll angle asked in AlignForm, the foot turned into
// the standard position and rolled, the distances window, the A4 sheet and the navigation
// toolbar in place of Toolbar1. An alignment that cannot go on (points not placed, a zero
// denominator) says what to do and puts the mesh and spheres back where they were.
void Align_Foot(footview::FootView& foot, Axis axis);

}  // namespace alignment
