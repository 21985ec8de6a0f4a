#include "measure/support_plane.h"

#include <Eigen/Eigenvalues>
#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <numbers>
#include <tuple>
#include <utility>

#include "measure/foot_measure.h"
#include "measure/plausibility.h"

namespace measure {
namespace {

using Eigen::Vector3d;

// Evenly spread directions over the sphere (a Fibonacci lattice).
std::vector<Vector3d> Directions(int count) {
  std::vector<Vector3d> dirs;
  const double golden = std::numbers::pi * (3.0 - std::sqrt(5.0));
  for (int i = 0; i < count; ++i) {
    const double z = 1.0 - 2.0 * (i + 0.5) / count, r = std::sqrt(1.0 - z * z);
    dirs.emplace_back(r * std::cos(golden * i), r * std::sin(golden * i), z);
  }
  return dirs;
}

// Area of the patches within `band` of the extreme along `down`, and how far that area spreads
// along the longest direction across `down` as a share of the whole surface's spread there: a
// sole reaches from heel to toes, an ankle's cut or a flat side does not.
struct Support {
  double area = 0, spread = 0;
  double Score() const { return area * std::min(1.0, spread / 0.6); }
};

// The search's patches a coordinate at a time, so that their heights along a direction come in
// a few vector operations: the search takes thousands of directions.
struct Cloud {
  explicit Cloud(const std::vector<Patch>& patches) {
    const auto n = static_cast<Eigen::Index>(patches.size());
    for (Eigen::ArrayXf* a : {&x, &y, &z, &area}) a->resize(n);
    for (Eigen::Index i = 0; i < n; ++i) {
      const Patch& p = patches[static_cast<std::size_t>(i)];
      x[i] = p.at.x(), y[i] = p.at.y(), z[i] = p.at.z(), area[i] = p.size;
    }
  }
  Eigen::ArrayXf Along(const Vector3d& d) const {
    return static_cast<float>(d.x()) * x + static_cast<float>(d.y()) * y +
           static_cast<float>(d.z()) * z;
  }
  Eigen::ArrayXf x, y, z, area;
};

Support SupportAlong(const Cloud& cloud, const Vector3d& down, double band,
                     const Vector3d& longest) {
  constexpr float kFar = std::numeric_limits<float>::infinity();
  const Eigen::ArrayXf height = cloud.Along(down);
  const Eigen::ArrayXf x = cloud.Along((longest - longest.dot(down) * down).normalized());
  const auto in = height >= height.maxCoeff() - static_cast<float>(band);
  Support s;
  s.area = in.select(cloud.area, 0.0f).cast<double>().sum();
  const double lo = in.select(x, kFar).minCoeff(), hi = in.select(x, -kFar).maxCoeff();
  const double allLo = x.minCoeff(), allHi = x.maxCoeff();
  s.spread = allHi > allLo && hi >= lo ? (hi - lo) / (allHi - allLo) : 0.0;
  return s;
}

}  // namespace

Eigen::Matrix3d PrincipalAxes(const std::vector<Patch>& patches) {
  Vector3d mean = Vector3d::Zero();
  double total = 0;
  for (const Patch& p : patches) mean += p.area() * p.centre(), total += p.area();
  mean /= total;
  Eigen::Matrix3d cov = Eigen::Matrix3d::Zero();
  for (const Patch& p : patches)
    cov += p.area() * (p.centre() - mean) * (p.centre() - mean).transpose();
  const Eigen::SelfAdjointEigenSolver<Eigen::Matrix3d> eig(cov);
  return eig.eigenvectors().rowwise().reverse();
}

namespace {

// Least-squares plane through the patches within `band` of `plane`, its normal kept on the side
// of the old one.
Plane FitPlane(const std::vector<Patch>& patches, const Plane& plane, double band) {
  Vector3d mean = Vector3d::Zero();
  double total = 0;
  for (const Patch& p : patches)
    if (std::abs(plane.Height(p.centre())) <= band)
      mean += p.area() * p.centre(), total += p.area();
  if (total <= 0) return plane;
  mean /= total;
  Eigen::Matrix3d cov = Eigen::Matrix3d::Zero();
  for (const Patch& p : patches)
    if (std::abs(plane.Height(p.centre())) <= band)
      cov += p.area() * (p.centre() - mean) * (p.centre() - mean).transpose();
  Vector3d up = Eigen::SelfAdjointEigenSolver<Eigen::Matrix3d>(cov).eigenvectors().col(0);
  if (up.dot(plane.up) < 0) up = -up;
  return {up, up.dot(mean)};
}

// Whether the surface seen along `down` has a foot's outline: its breadth across its longest
// direction at the heel, 1/6 of the way from its narrower end, and the greatest over the
// metatarsal heads, 0.6-0.84 of the way, are breadths feet have for their length. A foot on its
// side shows its profile, as high at the ankle as it is wide at the ball and low at the toes;
// with its leg lying along the floor, an L.
bool FootOutlineAlong(const std::vector<Patch>& patches, const Vector3d& down) {
  using Eigen::Vector2d;
  const Vector3d u = down.unitOrthogonal(), v = down.cross(u);
  std::vector<Vector2d> flat;
  flat.reserve(patches.size());
  Vector2d mean = Vector2d::Zero();
  for (const Patch& p : patches) {
    flat.emplace_back(p.centre().dot(u), p.centre().dot(v));
    mean += flat.back();
  }
  mean /= static_cast<double>(flat.size());
  Eigen::Matrix2d cov = Eigen::Matrix2d::Zero();
  for (const Vector2d& q : flat) cov += (q - mean) * (q - mean).transpose();
  const Eigen::SelfAdjointEigenSolver<Eigen::Matrix2d> eig(cov);
  const Vector2d along = eig.eigenvectors().col(1), across = eig.eigenvectors().col(0);
  double lo = std::numeric_limits<double>::infinity(), hi = -lo;
  for (const Vector2d& q : flat) lo = std::min(lo, q.dot(along)), hi = std::max(hi, q.dot(along));
  const double length = hi - lo;
  if (!(length > 0)) return false;
  constexpr int kSlices = 50;
  std::vector<double> from(kSlices, std::numeric_limits<double>::infinity()), to(kSlices, -from[0]);
  for (const Vector2d& q : flat) {
    const int i =
        std::clamp(static_cast<int>((q.dot(along) - lo) / length * kSlices), 0, kSlices - 1);
    from[i] = std::min(from[i], q.dot(across)), to[i] = std::max(to[i], q.dot(across));
  }
  const auto breadth = [&](int i) { return std::max(0.0, to[i] - from[i]); };
  const auto widest = [&](int first, int last) {
    double w = 0;
    for (int i = first; i < last; ++i) w = std::max(w, breadth(i));
    return w;
  };
  const bool heelFirst = widest(0, 20) < widest(30, 50);
  const double heel = breadth(heelFirst ? 8 : kSlices - 9);
  const double ball = heelFirst ? widest(30, 42) : widest(8, 20);
  return FootOutline(heel / length, ball / length);
}

}  // namespace

std::optional<Plane> FindSupportPlane(const std::vector<Patch>& patches, std::string& reason) {
  const Vector3d longest = PrincipalAxes(patches).col(0);
  // The search runs on a few thousand patches; the plane is then fitted to all of them.
  std::vector<Patch> sample;
  const std::size_t stride = std::max<std::size_t>(1, patches.size() / 6000);
  for (std::size_t i = 0; i < patches.size(); i += stride) sample.push_back(patches[i]);

  // The lattice is about 5 degrees apart, a tilt that lifts one end of a foot 10 mm: a wide band
  // finds the sole's side, narrower ones then settle on its plane. On a closed mesh a tall flat
  // side may hold as much in the wide band, so the best few sides, 30 degrees apart at least,
  // are each settled. The wide band only ranks the sides: a quarter of the sample does.
  std::vector<Patch> coarse;
  for (std::size_t i = 0; i < sample.size(); i += sample.size() < 6000 ? 1 : 4)
    coarse.push_back(sample[i]);
  const Cloud cloud(sample), coarseCloud(coarse);
  std::vector<std::pair<double, Vector3d>> wide;
  for (const Vector3d& d : Directions(1500))
    wide.emplace_back(SupportAlong(coarseCloud, d, 4 * kContactBand, longest).Score(), d);
  std::sort(wide.begin(), wide.end(),
            [](const auto& p, const auto& q) { return p.first > q.first; });
  std::vector<Vector3d> starts;
  for (const auto& [score, d] : wide) {
    if (starts.size() == 6) break;
    if (std::all_of(starts.begin(), starts.end(),
                    [&](const Vector3d& s) { return s.dot(d) < 0.87; }))
      starts.push_back(d);
  }
  // Each start settles on grids of directions around it, ever finer in ever narrower bands.
  const auto settle = [&](const Vector3d& at, double band, double reach, int steps) {
    const Vector3d u = at.unitOrthogonal(), v = at.cross(u);
    Support best = SupportAlong(cloud, at, band, longest);
    Vector3d bestAt = at;
    for (int i = -steps; i <= steps; ++i)
      for (int j = -steps; j <= steps; ++j) {
        const Vector3d d = (at + reach * (i * u + j * v) / steps).normalized();
        const Support sup = SupportAlong(cloud, d, band, longest);
        if (sup.Score() > best.Score()) best = sup, bestAt = d;
      }
    return std::pair{bestAt, best};
  };
  // A long flat side, or one with the leg lying along the floor beside it, may hold more in the
  // narrow band than the sole of a foot whose toes and heel are lifted: the side holding most
  // wins among those from which the scan shows a foot's outline, as a standing foot's sole does.
  // The outline changes little as a start settles, so only those that show it are settled.
  std::vector<Vector3d> standing;
  std::copy_if(starts.begin(), starts.end(), std::back_inserter(standing),
               [&](const Vector3d& d) { return FootOutlineAlong(sample, d); });
  std::vector<std::pair<Vector3d, Support>> settled;
  for (Vector3d at : standing.empty() ? starts : standing) {
    Support support;
    std::tie(at, support) = settle(at, 4 * kContactBand, 0.1, 6);
    std::tie(at, support) = settle(at, 2 * kContactBand, 0.02, 4);
    std::tie(at, support) = settle(at, kContactBand, 0.006, 3);
    settled.emplace_back(at, support);
  }
  const auto& [best, bestSupport] = *std::max_element(
      settled.begin(), settled.end(),
      [](const auto& p, const auto& q) { return p.second.Score() < q.second.Score(); });
  double total = 0;
  for (const Patch& p : sample) total += p.area();
  if (bestSupport.spread < 0.5 || bestSupport.area < 0.05 * total) {
    reason = "No sole found: the scan has no flat region it could stand on.";
    return std::nullopt;
  }
  double top = -std::numeric_limits<double>::infinity();
  for (const Patch& p : patches) top = std::max(top, p.centre().dot(best));
  // Start at the middle of the lowest band, then close in on the flat of the sole.
  Plane plane{-best, -top + 0.5 * kContactBand};
  for (const double band : {1.5, 1.0, 1.0}) plane = FitPlane(patches, plane, band);
  return plane;
}

}  // namespace measure
