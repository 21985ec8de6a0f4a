#include "measure/plausibility.h"

#include <cstdio>

namespace measure {

namespace {

struct Range {
  const char* what;
  double Proportions::*value;
  double low, high;
  const char* of;  // what the figure is a share of
};

// Adults: breadth across the metatarsal heads about 0.36-0.42 of foot length, heel breadth about
// 0.24-0.28. These rest on the mean widths and heel widths per 5 mm length class, by region and
// sex, of Jurca et al. 2019 (Scientific Reports 9:19155, 1.2 million scans from North America,
// Europe and Asia), and on Hawes & Sovak 1994 (Ergonomics, foot morphology of a North American
// population; its sample and ratios are as remembered, not checked). Children's feet are
// relatively wider, ball breadth up to about 0.43 and heel up to about 0.30: an estimate; Mauch et
// al. 2008 (International Journal of Obesity 32:1068, 3D scans of 2,887 children aged 2-14) sort
// children's feet into five types, flat and robust ones commoner in the overweight, without ratios.
// The ranges below take those and about 0.04 either side for the extremes. The first and fifth
// metatarsal heads lie at about 0.72 and 0.64 of foot length, the heel pad's centre at about
// 0.10-0.18 (proportions used in last making, as in Luximon (ed.) 2013, Handbook of Footwear
// Design and Manufacture; remembered, not checked), and the two heads' contact points a finger's
// width inside the outline, about 0.7 of the ball breadth apart. Cavanagh & Rodgers (1987,
// Journal of Biomechanics 20:547) defined the arch index on the toe-less footprint; adults' lie
// at about 0.23 +- 0.05 (their figures as remembered, not checked), children's higher, to about
// 0.30 (as remembered from Mueller et al. 2012, children aged 1-13; not checked): 0.42 is flatter
// than any foot that stands on its sole.
constexpr Range kBallBreadth{"width across the ball", &Proportions::ballBreadth, 0.31, 0.48,
                             "foot length"};
constexpr Range kHeelWidth{"heel width", &Proportions::heelWidth, 0.20, 0.34, "foot length"};
constexpr Range kRanges[] = {
    kBallBreadth,
    kHeelWidth,
    {"distance from the ball to the adjacent point", &Proportions::pointsApart, 0.40, 1.05,
     "width across the ball"},
    {"heel point's distance from the back of the heel", &Proportions::heelAt, 0.02, 0.32,
     "foot length"},
    {"ball point's distance from the back of the heel", &Proportions::ballAt, 0.55, 0.88,
     "foot length"},
    {"adjacent point's distance from the back of the heel", &Proportions::adjacentAt, 0.48, 0.82,
     "foot length"},
    {"arch index", &Proportions::archIndex, 0.0, 0.42, nullptr},
    // The heel pad and the metatarsal heads bear the weight: points well off the plane found under
    // them, 8 mm on a 260 mm foot, say that plane is not the sole's.
    {"height of a reference point off the floor", &Proportions::offFloor, 0.0, 0.03, "foot length"},
};

bool Within(const Range& r, double v) { return v >= r.low && v <= r.high; }

}  // namespace

bool FootOutline(double heelWidth, double ballBreadth) {
  return Within(kHeelWidth, heelWidth) && Within(kBallBreadth, ballBreadth);
}

std::string Implausible(const Proportions& p, const std::string& advice) {
  for (const Range& r : kRanges) {
    const double v = p.*r.value;
    if (Within(r, v)) continue;
    char text[240];
    if (r.of)
      std::snprintf(text, sizeof text,
                    "The %s found is %.2f of the %s, which no foot has: ", r.what, v, r.of);
    else
      std::snprintf(text, sizeof text, "The %s found is %.2f, which no foot has: ", r.what, v);
    return text + advice;
  }
  return {};
}

}  // namespace measure
