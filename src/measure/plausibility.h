#pragma once

// Whether what was found on a scan looks like a foot: proportions every foot has, adult's or
// child's, checked before any point or figure is shown.

#include <string>

namespace measure {

// Shares of the foot length, and where the points lie along the foot from the heel's back.
struct Proportions {
  double ballBreadth = 0;  // the outline's greatest breadth across the axis at the heads
  double heelWidth = 0;
  double pointsApart = 0;  // ball to adjacent point, as a share of ballBreadth
  double heelAt = 0, ballAt = 0, adjacentAt = 0;
  double archIndex = 0;
  double offFloor = 0;  // the reference points' greatest height off the support plane
};

// Empty when every figure is one feet have; else one sentence saying which is not and how far
// off, ending in `advice` ("place the points by hand").
std::string Implausible(const Proportions& p, const std::string& advice);

// Whether an outline whose breadths at the heel and across the ball are these shares of its
// length is a foot's.
bool FootOutline(double heelWidth, double ballBreadth);

}  // namespace measure
