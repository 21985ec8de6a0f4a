#pragma once

#include "printing/scaling.h"

namespace printing {

// Reads the centres of the heel, ball and adjacent spheres (model items 1, 2, 3) into the shared
// state with the three distances between them. A sphere that cannot be read is reported to the
// operator and ends the reading; fields not reached keep their values.
void Collect_Geometry();

}  // namespace printing
