#include "footgen/footgen.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <initializer_list>
#include <numbers>
#include <stdexcept>
#include <utility>
#include <vector>

namespace footgen {
namespace {

using Eigen::Vector2d;
using Eigen::Vector3d;
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

// sign(v) * |v|^e: superellipse coordinate.
double SignedPow(double v, double e) { return std::copysign(std::pow(std::abs(v), e), v); }

int RoundToMultipleOf4(double v) { return std::max(8, 4 * static_cast<int>(std::lround(v / 4))); }

// Everything below is a left foot (medial = +Y); the right foot is its mirror image.
constexpr double kLength = 260.0;
constexpr double kHeelCap = 38.0;   // x extent of the rounded heel
constexpr double kBodyEnd = 224.0;  // front of the body shell, hidden among the toes
constexpr double kFrontCap = 34.0;
constexpr double kBodyPerimeter = 240.0;  // typical girth, sets the segments per ring

// Body cross-section at x: a superellipse between the sole and the dorsum, from the lateral to
// the medial border. Lower half squarer than the upper so the sole is flat with rounded edges.
struct Body {
  Profile medial{{0, 33}, {30, 33}, {60, 33}, {90, 34}, {120, 36},
                 {150, 42}, {175, 48}, {190, 50}, {224, 48}};
  Profile lateral{{0, -33}, {30, -33}, {60, -35}, {90, -39}, {120, -43},
                  {150, -46}, {175, -49}, {190, -48}, {224, -44}};
  Profile top{{0, 56}, {20, 68}, {50, 74}, {80, 73}, {110, 63},
              {140, 50}, {170, 39}, {190, 32}, {224, 24}};
  Profile side{{0, 26}, {40, 26}, {80, 24}, {120, 20}, {160, 14}, {190, 11}, {224, 10}};

  double CentreY(double x) const { return 0.5 * (medial(x) + lateral(x)); }
  double HalfWidth(double x) const { return 0.5 * (medial(x) - lateral(x)); }

  // t: -1 at the lateral border, +1 at the medial border.
  double Dorsum(double x, double t) const { return top(x) + 4.0 * t * Bump(x, 40, 190); }
  double Sole(double x, double t) const {
    const double medialWeight = SmoothStep((t + 0.3) / 1.3);
    const double lateralColumn = 1.2 * Bump(x, 60, 150);  // the lateral midfoot barely lifts
    const double arch = 16.0 * Bump(x, 45, 170);
    return lateralColumn * (1 - medialWeight) + arch * medialWeight;
  }

  Vector3d Point(double x, double f, double theta) const {
    const double c = std::cos(theta), s = std::sin(theta);
    const double hw = HalfWidth(x), zm = side(x);
    if (s >= 0) {
      const double t = f * SignedPow(c, 2 / 2.4);
      return {x, CentreY(x) + hw * t, zm + (Dorsum(x, t) - zm) * f * std::pow(s, 2 / 2.4)};
    }
    const double t = f * SignedPow(c, 0.5);
    return {x, CentreY(x) + hw * t, zm - (zm - Sole(x, t)) * f * std::pow(-s, 0.5)};
  }
};

struct Toe {
  Vector2d base, tip;  // axis in the ground plane, base hidden inside the body
  double width, height;

  double Length() const { return (tip - base).norm(); }
  double Girth() const { return kPi * 0.5 * (width + height); }

  // s: 0 at the base, 1 at the tip.
  Vector3d Point(double s, double theta) const {
    const double p = 2.2;
    const double f = std::pow(std::max(0.0, 1 - std::pow(std::abs(2 * s - 1), p)), 1 / p);
    const Vector2d d = (tip - base).normalized();
    const Vector2d across(-d.y(), d.x());  // toward +Y (medial) for a toe pointing along +X
    const double c = std::cos(theta), sn = std::sin(theta);
    const double hz = 0.5 * height;
    const double zc = 0.8 + hz + 6.0 * (1 - s) * (1 - s);  // pad near the ground, base lifted
    const double ly = SignedPow(c, sn >= 0 ? 0.8 : 0.6);
    const double lz = SignedPow(sn, sn >= 0 ? 0.8 : 0.6);
    const Vector2d xy = base + s * (tip - base) + 0.5 * width * f * ly * across;
    return {xy.x(), xy.y(), zc + hz * f * lz};
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

// Appends a closed tube: the start pole, `rings` of `segs` points each, the end pole. Rings run
// from start to end; within a ring the angle turns from the +Y side over the top, so that with
// the tube running toward +X the triangles below face outward.
void AppendTube(kernelcad::Mesh& mesh, const Vector3d& startPole, const std::vector<Vector3d>& rings,
                int segs, const Vector3d& endPole) {
  const auto first = static_cast<std::int32_t>(mesh.pointCount());
  auto push = [&mesh](const Vector3d& p) { mesh.points.insert(mesh.points.end(), {p.x(), p.y(), p.z()}); };
  push(startPole);
  for (const Vector3d& p : rings) push(p);
  push(endPole);

  const int ringCount = static_cast<int>(rings.size()) / segs;
  const std::int32_t start = first, end = first + 1 + ringCount * segs;
  auto at = [&](int r, int j) { return first + 1 + r * segs + (j % segs); };
  auto& tri = mesh.triangles;
  for (int j = 0; j < segs; ++j) {
    tri.insert(tri.end(), {at(0, j), start, at(0, j + 1)});
    for (int r = 0; r + 1 < ringCount; ++r) {
      tri.insert(tri.end(), {at(r, j), at(r, j + 1), at(r + 1, j)});
      tri.insert(tri.end(), {at(r + 1, j), at(r, j + 1), at(r + 1, j + 1)});
    }
    tri.insert(tri.end(), {at(ringCount - 1, j), at(ringCount - 1, j + 1), end});
  }
}

// Sampling density (samples per mm) is chosen so that rings * segments over all shells meets the
// vertex budget; the body's length counts its rounded ends by arc length.
double BodyArcLength() {
  return kPi / 2 * kHeelCap + (kBodyEnd - kHeelCap - kFrontCap) + kPi / 2 * kFrontCap;
}

double Density(long long vertices) {
  double areaLike = BodyArcLength() * kBodyPerimeter;
  for (const Toe& toe : kToes) areaLike += toe.Length() * toe.Girth();
  return std::sqrt(static_cast<double>(vertices) / areaLike);
}

void AppendBody(kernelcad::Mesh& mesh, double density) {
  const Body body;
  const int segs = RoundToMultipleOf4(density * kBodyPerimeter);
  const int heelRings = std::max(2, static_cast<int>(std::lround(density * kPi / 2 * kHeelCap)));
  const int frontRings = std::max(2, static_cast<int>(std::lround(density * kPi / 2 * kFrontCap)));
  const double midLength = kBodyEnd - kHeelCap - kFrontCap;
  const int midRings = std::max(2, static_cast<int>(std::lround(density * midLength)));

  // (x, cap factor) per ring; the caps follow quarter circles so their rings are evenly spaced.
  std::vector<std::pair<double, double>> stations;
  for (int k = 1; k <= heelRings; ++k) {
    const double a = kPi / 2 * k / heelRings;
    stations.emplace_back(kHeelCap * (1 - std::cos(a)), std::sin(a));
  }
  for (int k = 1; k < midRings; ++k) stations.emplace_back(kHeelCap + midLength * k / midRings, 1.0);
  for (int k = frontRings; k >= 1; --k) {
    const double a = kPi / 2 * k / frontRings;
    stations.emplace_back(kBodyEnd - kFrontCap * (1 - std::cos(a)), std::sin(a));
  }

  std::vector<Vector3d> rings;
  rings.reserve(stations.size() * segs);
  for (const auto& [x, f] : stations)
    for (int j = 0; j < segs; ++j) rings.push_back(body.Point(x, f, 2 * kPi * j / segs));
  AppendTube(mesh, body.Point(0, 0, 0), rings, segs, body.Point(kBodyEnd, 0, 0));
}

void AppendToe(kernelcad::Mesh& mesh, const Toe& toe, double density) {
  const int segs = RoundToMultipleOf4(density * toe.Girth());
  const int n = std::max(4, static_cast<int>(std::lround(density * toe.Length())));
  std::vector<Vector3d> rings;
  rings.reserve(static_cast<std::size_t>((n - 1) * segs));
  for (int k = 1; k < n; ++k) {
    const double s = 0.5 * (1 - std::cos(kPi * k / n));  // denser toward the rounded ends
    for (int j = 0; j < segs; ++j) rings.push_back(toe.Point(s, 2 * kPi * j / segs));
  }
  AppendTube(mesh, toe.Point(0, 0), rings, segs, toe.Point(1, 0));
}

Vector3d PlantarPoint(const kernelcad::Mesh& mesh, double x, double y) {
  Vector3d p;
  if (!LowestSurfacePoint(mesh, x, y, &p)) throw std::logic_error("landmark off the foot outline");
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
  const double density = Density(1000LL * std::max(1, resolution));
  Foot foot;
  AppendBody(foot.mesh, density);
  for (const Toe& toe : kToes) AppendToe(foot.mesh, toe, density);

  const Body body;
  const double heelX = 0.12 * kLength, ballX = 0.72 * kLength, adjacentX = 0.65 * kLength;
  foot.landmarks.heel = PlantarPoint(foot.mesh, heelX, body.CentreY(heelX));
  // Metatarsal heads sit a finger's width inside the borders of the forefoot.
  foot.landmarks.ball = PlantarPoint(foot.mesh, ballX, body.medial(ballX) - 17.0);
  foot.landmarks.adjacent = PlantarPoint(foot.mesh, adjacentX, body.lateral(adjacentX) + 13.0);

  if (side == Side::Right) {
    for (std::size_t i = 1; i < foot.mesh.points.size(); i += 3) foot.mesh.points[i] = -foot.mesh.points[i];
    // Mirroring turns the surface inside out; swapping two corners restores outward winding.
    for (std::size_t t = 0; t + 2 < foot.mesh.triangles.size(); t += 3)
      std::swap(foot.mesh.triangles[t + 1], foot.mesh.triangles[t + 2]);
    for (Eigen::Vector3d* p : {&foot.landmarks.heel, &foot.landmarks.ball, &foot.landmarks.adjacent})
      p->y() = -p->y();
  }
  return foot;
}

}  // namespace footgen
