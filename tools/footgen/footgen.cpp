#include "footgen/footgen.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <initializer_list>
#include <numbers>
#include <stdexcept>
#include <utility>
#include <vector>

#include "footgen/surface.h"

namespace footgen {

using Eigen::Vector2d;
using Eigen::Vector3d;

namespace {

constexpr double kPi = std::numbers::pi;

// Smooth curve through (x, value) knots: cubic Hermite with central-difference tangents, flat at
// the end knots and constant beyond them.
class Profile {
 public:
  Profile(std::initializer_list<std::pair<double, double>> knots) : knots_(knots) {}

  double operator()(double x) const {
    if (x <= knots_.front().first) return knots_.front().second;
    if (x >= knots_.back().first) return knots_.back().second;
    std::size_t i = 0;
    while (knots_[i + 1].first < x) ++i;
    const double x0 = knots_[i].first, h = knots_[i + 1].first - x0;
    const double t = (x - x0) / h, t2 = t * t, t3 = t2 * t;
    return (2 * t3 - 3 * t2 + 1) * knots_[i].second + (t3 - 2 * t2 + t) * h * Slope(i) +
           (-2 * t3 + 3 * t2) * knots_[i + 1].second + (t3 - t2) * h * Slope(i + 1);
  }

 private:
  double Slope(std::size_t i) const {
    if (i == 0 || i + 1 == knots_.size()) return 0.0;
    return (knots_[i + 1].second - knots_[i - 1].second) /
           (knots_[i + 1].first - knots_[i - 1].first);
  }
  std::vector<std::pair<double, double>> knots_;
};

// sin^2 hump over [a, b], zero outside.
double Bump(double x, double a, double b) {
  if (x <= a || x >= b) return 0.0;
  const double s = std::sin(kPi * (x - a) / (b - a));
  return s * s;
}

double SmoothStep(double t) {
  t = std::clamp(t, 0.0, 1.0);
  return t * t * (3 - 2 * t);
}

// Everything below is a right foot (medial = +Y); the left foot is its mirror image.
//
// The scanners capture the plantar side only, so the sample is an open surface: the sole, the
// lower sides of the foot and the toes' undersides, rising to a rim at kRimHeight where the scan
// ends. Every cross-section across the foot runs from the lateral rim down under the foot and back
// up to the medial rim, so each vertical line meets the surface once: the toes are pads with
// clefts rising between them rather than shells of their own, and on a closed foot a thin web
// still joins them at the clefts' roof. The rim stays well below the sheet the alignment places
// 50 mm behind the sole.
constexpr double kHeelCap = 38.0;   // x extent of the rounded heel
constexpr double kToeLine = 222.0;  // tip of the little toe: the outline turns along the toe line
constexpr double kTipY = 29.0;      // tip of the hallux at x = kLength
constexpr double kTipRound = 14.0;  // x over which the hallux tip curls up to the rim
constexpr double kSectionLength =
    150.0;  // samples across per mm of density, calibrated to the budget

struct Outline {
  Profile medial{{0, 33},   {30, 33},  {60, 33},  {90, 34},      {120, 36},
                 {150, 42}, {175, 48}, {190, 50}, {kToeLine, 46}};
  Profile lateral{
      {0, -33},   {30, -33},  {60, -35},  {90, -39},       {120, -43},  {150, -46},
      {175, -49}, {190, -48}, {205, -46}, {kToeLine, -41}, {232, -21.2}};  // only sets the slope at
                                                                           // the little toe to that
                                                                           // of the toe line

  // Borders along the toe line, u = 0 at the little toe's tip to 1 at the hallux's. The lateral
  // border follows the oblique line of the toe tips and both meet round at the hallux.
  double ToeLineMedial(double u) const {
    return kTipY + (medial(kToeLine) - kTipY) * std::sqrt(std::max(0.0, 1 - u * u));
  }
  double ToeLineLateral(double u) const {
    return kTipY - (kTipY - lateral(kToeLine)) * std::sqrt(std::max(0.0, 1 - u));
  }
};

const Outline& TheOutline() {
  static const Outline outline;
  return outline;
}

// Height of the plantar skin where the foot would touch a flat plate, before the sides curl up
// to the rim. t: -1 at the lateral border, +1 at the medial border.
double SoleHeight(const SoleShape& shape, double x, double t) {
  const double medialWeight = SmoothStep((t + shape.medialFrom) / (1 + shape.medialFrom));
  // The lateral midfoot barely lifts.
  const double lateralColumn = shape.lateralLift * Bump(x, 60, 150);
  const double arch = shape.archLift * Bump(x, 45, 170);
  // Skin between the toes sits high.
  const double toeWebs = 11.0 * SmoothStep((x - shape.websFrom) / shape.websRise);
  return lateralColumn * (1 - medialWeight) + arch * medialWeight + toeWebs;
}

struct Toe {
  Vector2d base, tip;  // axis in the ground plane, base under the forefoot
  double width, height;

  // Underside of the toe at (x, y): a rounded pad over a superellipse footprint, resting just
  // above the ground, its base lifted into the forefoot. Off the footprint it keeps rising, so
  // blending it with the sole leaves no step at the toe's edge.
  double Underside(double x, double y, double curl) const {
    const Vector2d d = tip - base, p = Vector2d(x, y) - base;
    const double s = p.dot(d) / d.squaredNorm();
    const double across = (p.x() * d.y() - p.y() * d.x()) / d.norm();
    const double e = 2.2;
    const double rho = std::pow(
        std::pow(std::abs(2 * s - 1), e) + std::pow(std::abs(2 * across / width), e), 1 / e);
    const double hz = 0.5 * height, sc = std::clamp(s, 0.0, 1.0);
    const double rim = 0.8 + hz + curl * (1 - sc) * (1 - sc);
    // Cubic fall-off: a flattish pad with sides steep but not vertical, smooth into the outside.
    if (rho >= 1) return rim + 3 * hz * (rho - 1);
    return rim - hz * (1 - rho * rho * rho);
  }
};

// Hallux to little toe: decreasing in length and girth, tips along the oblique toe line.
const std::array<Toe, 5> kToes{{
    {{194, 28}, {kLength, 29}, 27, 23},
    {{201, 9}, {253, 7}, 18, 16},
    {{198, -7}, {244, -9}, 17, 15},
    {{194, -21}, {234, -24}, 16, 14},
    {{188, -33}, {222, -37}, 15, 13},
}};

// The toes stand apart from the webs forward: the clefts between them reach up to kCleftRoof from
// below (on a closed foot to just under the seam), and on a closed foot the dorsum comes down
// into them to a web kWebSkin thick. The webs lie about a third of the way from the toes' bases
// to their tips; the clefts are 2 * kCleftHalfWidth wide at the skin. Estimates from the look of
// feet, not figures from a survey.
constexpr double kCleftRoof = 16, kWebSkin = 2, kCleftHalfWidth = 3, kWebsAt = 0.35;

// Where the plantar surface meets the dorsum (or where a plantar scan ends): kRimHeight, but on a
// closed foot coming down over the toes to kToeSeam, about halfway up their sides.
constexpr double kToeSeam = 12;
double Seam(const SoleShape& shape, double x) {
  if (!shape.closed) return kRimHeight;
  return kRimHeight - (kRimHeight - kToeSeam) * SmoothStep((x - 195) / 25);
}
double CleftRoof(const SoleShape& shape, double x) {
  return std::min(kCleftRoof, Seam(shape, x) - 0.5 * kWebSkin);
}

// 1 on the line midway between two neighbouring toes' axes from their webs forward, falling to 0
// a cleft's half-width either side of it.
double Cleft(double x, double y) {
  double cleft = 0;
  for (std::size_t i = 0; i + 1 < kToes.size(); ++i) {
    const Vector2d base = 0.5 * (kToes[i].base + kToes[i + 1].base);
    const Vector2d d = 0.5 * (kToes[i].tip + kToes[i + 1].tip) - base, p = Vector2d(x, y) - base;
    const double s = p.dot(d) / d.squaredNorm();
    const double across = std::abs(p.x() * d.y() - p.y() * d.x()) / d.norm();
    cleft = std::max(cleft,
                     SmoothStep((s - kWebsAt) / 0.15) * (1 - SmoothStep(across / kCleftHalfWidth)));
  }
  return cleft;
}

// Lowest of the sole and the toe pads, blended over about a millimetre so the creases where the
// toes leave the forefoot and each other are rounded like skin; the clefts rise from it.
double Bottom(const SoleShape& shape, double x, double y, double t) {
  std::array<double, kToes.size() + 1> z;
  z[0] = SoleHeight(shape, x, t);
  for (std::size_t i = 0; i < kToes.size(); ++i) z[i + 1] = kToes[i].Underside(x, y, shape.toeCurl);
  const double low = *std::min_element(z.begin(), z.end());
  constexpr double kBlend = 1.2;
  double sum = 0;
  for (const double zi : z) sum += std::exp(-(zi - low) / kBlend);
  const double skin = low - kBlend * std::log(sum);
  return skin + Cleft(x, y) * std::max(0.0, CleftRoof(shape, x) - skin);
}

// The walls bulge: each rounds into the sole as a quarter ellipse kSideRound wide and kSideRise
// high, stands upright from there to the rim (the last kUpright mm of it, steep but not
// vertical, so that seen from below it is a band along the outline rather than a fold on it)
// and on a closed foot rounds over into the dorsum across kDorsalRound. The foot is widest
// from just above the sole to the rim, as a foot is over its metatarsal heads. A flat medial
// wall turns into the sole and the dorsum within a few millimetres. These sizes are the
// generator's estimates from the look of feet, not figures from a survey.
constexpr double kSideRound = 12, kSideRise = 14, kDorsalRound = 20, kUpright = 0.5;
constexpr double kWallRound = 2, kWallRise = 3, kWallDorsalRound = 5;

// Quarter ellipse: 0 at the outline, 1 once `round` mm inside it.
double Rounded(double inside, double round) {
  const double s = std::max(0.0, 1 - inside / round);
  return std::sqrt(1 - s * s);
}
// Share of the depth `depth` below the rim reached at t across a station of the given half-width.
double SectionDown(const SoleShape& shape, double t, double halfWidth, double depth) {
  const bool wall = t > 0 && shape.flatMedialWall;
  const double round = wall ? kWallRound : kSideRound, rise = wall ? kWallRise : kSideRise;
  const double inside = halfWidth * (1 - std::abs(t));
  if (depth <= rise) return Rounded(inside, round);
  if (inside < kUpright) return inside / kUpright * (1 - rise / depth);
  return 1 - rise / depth * (1 - Rounded(inside - kUpright, round));
}
double SectionUp(const SoleShape& shape, double t, double halfWidth) {
  const double round = t > 0 && shape.flatMedialWall ? kWallDorsalRound : kDorsalRound;
  return Rounded(halfWidth * (1 - std::abs(t)), round);
}

// Samples across a station, from the lateral rim (0) under the foot to the medial rim (segs):
// t from -1 to 1 and how far down from the rim (0 to 1) at a typical half-width. They are spaced
// evenly along that curve with the depth halved: a scanner looking up at the sole samples the
// steep sides more sparsely than the sole.
std::vector<Vector2d> SectionSamples(const SoleShape& shape, int segs) {
  constexpr double kHalfWidth = 45.0, kDepth = 0.5 * 31.0;
  constexpr int kFine = 4096;
  const auto curve = [&](double t) {
    return Vector2d(t, SectionDown(shape, t, kHalfWidth, 2 * kDepth));
  };
  std::vector<double> arc{0.0};
  for (int i = 1; i <= kFine; ++i) {
    const Vector2d d = curve(-1 + 2.0 * i / kFine) - curve(-1 + 2.0 * (i - 1) / kFine);
    arc.push_back(arc.back() + std::hypot(kHalfWidth * d.x(), kDepth * d.y()));
  }
  std::vector<Vector2d> samples{{-1.0, 0.0}};
  for (int j = 1, i = 1; j < segs; ++j) {
    const double target = arc.back() * j / segs;
    while (arc[i] < target) ++i;
    const double w = (target - arc[i - 1]) / (arc[i] - arc[i - 1]);
    samples.push_back(curve(-1 + 2.0 * (i - 1 + w) / kFine));
  }
  samples.emplace_back(1.0, 0.0);
  return samples;
}

// Height of the plantar surface at (st.x, y), t across the station. Where the skin between the
// toes lies higher than a closed foot's seam, it stays just under it.
double Plantar(const SoleShape& shape, const Station& st, double y, double t) {
  const double seam = Seam(shape, st.x);
  const double depth = std::max(0.5 * kWebSkin, seam - Bottom(shape, st.x, y, t));
  return seam - depth * st.depth * SectionDown(shape, t, 0.5 * (st.medial - st.lateral), depth);
}

Vector3d SectionPoint(const SoleShape& shape, const Station& st, const Vector2d& sample) {
  const double t = sample.x();
  const double y = st.lateral + 0.5 * (t + 1) * (st.medial - st.lateral);
  if (std::abs(t) == 1 || st.depth == 0) return {st.x, y, Seam(shape, st.x)};  // on the seam
  return {st.x, y, Plantar(shape, st, y, t)};
}

// The closed foot's top along its crest: from the seam over the instep, highest at the ankle,
// where a scan of the whole foot is cut off, down to the hallux. Its outline is the plantar one,
// so in plan the dorsum adds nothing to the foot's length and widths.
const Profile kDorsum{{0, 40},   {20, 78},  {45, 92},  {80, 86},     {120, 66},
                      {160, 50}, {200, 41}, {225, 28}, {kLength, 20}};

// Share of the crest's height above the seam at t across: the instep is highest over the medial
// column and falls away laterally, the toes more steeply, from the hallux to the little toe.
double Dome(double x, double t) {
  constexpr double kCrest = 0.3;
  const double fall = 0.35 + 0.25 * SmoothStep((x - 190) / 30);
  const double u = (t - kCrest) / (1 + kCrest);
  return 1 - fall * u * u;
}

// The leg stands on the talus, over the back third of the foot: from the Achilles tendon, just
// in front of the heel's back, to the front of the ankle over the instep. Its breadth is the
// foot's there, 66-70 mm, near the breadth across the malleoli (means of about 63 mm in women and
// 72 mm in men, as remembered from the 2012 survey of US Army personnel, Gordon et al. 2014,
// Natick TR-15/007; the figures not checked).
double LegWindow(double x) { return SmoothStep((x - 4) / 14) * SmoothStep((88 - x) / 28); }

Vector3d DorsalPoint(const SoleShape& shape, const Station& st, const Vector2d& sample,
                     double leg) {
  const double t = sample.x();
  const double y = st.lateral + 0.5 * (t + 1) * (st.medial - st.lateral);
  const double up = st.depth * SectionUp(shape, t, 0.5 * (st.medial - st.lateral));
  const double seam = Seam(shape, st.x);
  const double foot = seam + (kDorsum(st.x) - seam) * Dome(st.x, t);
  const double web = CleftRoof(shape, st.x) + kWebSkin;
  const double top = foot - Cleft(st.x, y) * std::max(0.0, foot - web);
  return {st.x, y, seam + (top + std::max(0.0, leg - top) * LegWindow(st.x) - seam) * up};
}

// Sampling density (samples per mm) is chosen so that stations * samples across meet the vertex
// budget. Stations are evenly spaced in x, as a scanner looking up at the sole samples it, so the
// rounded heel and hallux tip are not crowded with nearly coincident rings.
double Density(long long vertices) {
  return std::sqrt(static_cast<double>(vertices) / (kLength * kSectionLength));
}

// The round heel's back and hallux tip grow as the root of the distance from their ends, so the
// first step holds two more rings, at a ninth and four ninths of it: the ends are sampled as
// evenly along the surface as the rest, not as one corner at the tip of a blunt cone.
std::vector<Station> Stations(double density) {
  const int rings = std::max(8, static_cast<int>(std::lround(density * kLength)));
  const double step = kLength / rings;
  std::vector<double> at{step / 9, 4 * step / 9};
  for (int k = 1; k < rings; ++k) at.push_back(step * k);
  at.insert(at.end(), {kLength - 4 * step / 9, kLength - step / 9});
  std::vector<Station> stations;
  for (const double x : at) stations.push_back(StationAt(x));
  return stations;
}

}  // namespace

Station StationAt(double x) {
  const Outline& outline = TheOutline();
  if (x < kHeelCap) {
    // The heel is a quarter ellipse in plan and seen from the side: a dome, round at its back as
    // the calcaneus is, with no edge where a closed foot's top meets its sole.
    const double c = 1 - x / kHeelCap, f = std::sqrt(1 - c * c);
    const double mid = 0.5 * (outline.medial(x) + outline.lateral(x));
    const double half = 0.5 * (outline.medial(x) - outline.lateral(x));
    return {x, mid - half * f, mid + half * f, f};
  }
  if (x <= kToeLine) return {x, outline.lateral(x), outline.medial(x), 1.0};
  // Along the toe line, closing in on the hallux tip, which curls up to the rim round as the
  // toe's pulp is.
  const double u = (x - kToeLine) / (kLength - kToeLine);
  const double r = std::clamp((x - (kLength - kTipRound)) / kTipRound, 0.0, 1.0);
  return {x, outline.ToeLineLateral(u), outline.ToeLineMedial(u), std::sqrt(1 - r * r)};
}

double PlantarHeight(const SoleShape& shape, double x, double y) {
  if (!(x > 0 && x < kLength)) return kOffTheFoot;
  const Station st = StationAt(x);
  const double t = 2 * (y - st.lateral) / (st.medial - st.lateral) - 1;
  if (!(std::abs(t) <= 1)) return kOffTheFoot;
  return Plantar(shape, st, y, t);
}

std::array<Vector2d, 3> LandmarksInPlan() {
  const Outline& outline = TheOutline();
  const double heelX = 0.12 * kLength, ballX = 0.72 * kLength, adjacentX = 0.65 * kLength;
  // Metatarsal heads sit a finger's width inside the borders of the forefoot.
  return {Vector2d(heelX, 0.5 * (outline.medial(heelX) + outline.lateral(heelX))),
          Vector2d(ballX, outline.medial(ballX) - 17.0),
          Vector2d(adjacentX, outline.lateral(adjacentX) + 13.0)};
}

double Lift(const Posture& posture, double x) {
  constexpr double kToesFrom = 192, kHeelPad = 31;  // just in front of the ball; the heel point
  const double toes = std::clamp((x - kToesFrom) / (kLength - kToesFrom), 0.0, 1.0);
  const double heel = std::clamp(1 - x / kHeelPad, 0.0, 1.0);
  return posture.toeSpring * std::pow(toes, 1.5) + posture.heelRocker * heel * heel;
}

void AppendSurface(kernelcad::Mesh& mesh, int resolution, const SoleShape& shape, double leg) {
  const bool closed = shape.closed;
  const Outline& outline = TheOutline();
  const double density = Density(1000LL * std::max(1, resolution));
  const std::vector<Station> stations = Stations(density);
  const int segs = std::max(8, 2 * static_cast<int>(std::lround(density * kSectionLength / 2)));
  const int across = segs + 1;
  const int ringCount = static_cast<int>(stations.size());

  auto push = [&mesh](const Vector3d& p) {
    const Eigen::Vector3f q = p.cast<float>();
    mesh.points.insert(mesh.points.end(), q.data(), q.data() + 3);
  };
  mesh.points.reserve(3 * (static_cast<std::size_t>(ringCount) * across + 2));
  push({0, 0.5 * (outline.medial(0) + outline.lateral(0)), kRimHeight});  // back of the heel
  const std::vector<Vector2d> samples = SectionSamples(shape, segs);
  for (const Station& st : stations)
    for (const Vector2d& sample : samples) push(SectionPoint(shape, st, sample));
  push({kLength, kTipY, Seam(shape, kLength)});  // tip of the hallux
  const std::int32_t dorsum = static_cast<std::int32_t>(mesh.pointCount());
  if (closed)
    for (const Station& st : stations)
      for (int j = 1; j < segs; ++j) push(DorsalPoint(shape, st, samples[j], leg));

  // Stations run toward +X and each one from -Y to +Y, so these orders face down and out.
  const std::int32_t heel = 0, tip = 1 + ringCount * across;
  auto at = [across](int r, int j) { return 1 + r * across + j; };
  auto& tri = mesh.triangles;
  for (int j = 0; j < segs; ++j) {
    tri.insert(tri.end(), {at(0, j), heel, at(0, j + 1)});
    for (int r = 0; r + 1 < ringCount; ++r) {
      tri.insert(tri.end(), {at(r, j), at(r, j + 1), at(r + 1, j)});
      tri.insert(tri.end(), {at(r + 1, j), at(r, j + 1), at(r + 1, j + 1)});
    }
    tri.insert(tri.end(), {at(ringCount - 1, j), at(ringCount - 1, j + 1), tip});
  }
  if (!closed) return;
  // The dorsum shares the rim with the sole; its triangles are wound the other way round, facing
  // up and out.
  auto top = [&](int r, int j) {
    return j == 0 || j == segs ? at(r, j) : dorsum + r * (segs - 1) + j - 1;
  };
  for (int j = 0; j < segs; ++j) {
    tri.insert(tri.end(), {top(0, j), top(0, j + 1), heel});
    for (int r = 0; r + 1 < ringCount; ++r) {
      tri.insert(tri.end(), {top(r, j), top(r + 1, j), top(r, j + 1)});
      tri.insert(tri.end(), {top(r + 1, j), top(r + 1, j + 1), top(r, j + 1)});
    }
    tri.insert(tri.end(), {top(ringCount - 1, j), tip, top(ringCount - 1, j + 1)});
  }
}

namespace {

Vector3d PlantarPoint(const kernelcad::Mesh& mesh, const Vector2d& at) {
  Vector3d p;
  if (!LowestSurfacePoint(mesh, at.x(), at.y(), &p))
    throw std::logic_error("landmark off the foot outline");
  return p;
}

}  // namespace

int ResolutionForVertices(long long vertices) {
  return static_cast<int>(std::max(1LL, (vertices + 500) / 1000));
}

bool LowestSurfacePoint(const kernelcad::Mesh& mesh, double x, double y, Eigen::Vector3d* hit) {
  const auto& P = mesh.points;
  bool found = false;
  double best = 0;
  for (std::size_t t = 0; t + 2 < mesh.triangles.size(); t += 3) {
    const std::size_t a = 3 * static_cast<std::size_t>(mesh.triangles[t]);
    const std::size_t b = 3 * static_cast<std::size_t>(mesh.triangles[t + 1]);
    const std::size_t c = 3 * static_cast<std::size_t>(mesh.triangles[t + 2]);
    // Barycentric coordinates of (x, y) in the triangle's ground-plane projection.
    const double d = (P[b] - P[a]) * (P[c + 1] - P[a + 1]) - (P[c] - P[a]) * (P[b + 1] - P[a + 1]);
    if (std::abs(d) < 1e-12) continue;  // vertical triangle: a vertical line only grazes it
    const double u = ((x - P[a]) * (P[c + 1] - P[a + 1]) - (P[c] - P[a]) * (y - P[a + 1])) / d;
    const double v = ((P[b] - P[a]) * (y - P[a + 1]) - (x - P[a]) * (P[b + 1] - P[a + 1])) / d;
    if (u < 0 || v < 0 || u + v > 1) continue;
    const double z = P[a + 2] + u * (P[b + 2] - P[a + 2]) + v * (P[c + 2] - P[a + 2]);
    if (!found || z < best) best = z, found = true;
  }
  if (found) *hit = {x, y, best};
  return found;
}

Foot GenerateFoot(Side side, int resolution) {
  Foot foot;
  AppendSurface(foot.mesh, resolution, kSampleSole);
  const auto plan = LandmarksInPlan();
  foot.landmarks = {PlantarPoint(foot.mesh, plan[0]), PlantarPoint(foot.mesh, plan[1]),
                    PlantarPoint(foot.mesh, plan[2])};

  if (side == Side::Left) {
    for (std::size_t i = 1; i < foot.mesh.points.size(); i += 3)
      foot.mesh.points[i] = -foot.mesh.points[i];
    // Mirroring turns the surface inside out; swapping two corners restores outward winding.
    for (std::size_t t = 0; t + 2 < foot.mesh.triangles.size(); t += 3)
      std::swap(foot.mesh.triangles[t + 1], foot.mesh.triangles[t + 2]);
    for (Eigen::Vector3d* p :
         {&foot.landmarks.heel, &foot.landmarks.ball, &foot.landmarks.adjacent})
      p->y() = -p->y();
  }
  return foot;
}

}  // namespace footgen
