#pragma once

namespace printing {

// Straight-line distance between (X1, Y1, Z1) and (X2, Y2, Z2).
double Calc_Distance(const double& X1, const double& Y1, const double& Z1, const double& X2,
                     const double& Y2, const double& Z2);

// Reads the centres of the heel, ball and adjacent spheres (model items 1, 2, 3) into the shared
// state with the three distances between them. A sphere that cannot be read is reported to the
// operator and ends the reading; fields not reached keep their values.
void Collect_Geometry();

}  // namespace printing
