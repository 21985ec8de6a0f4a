// Feet of known truth: the sample surface at other lengths and arches, closed or as a plantar
// scan, with the defects of real scans, anywhere in space; and their measurements taken on the
// generator's own surface function, never on the mesh.

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <numbers>
#include <random>
#include <utility>
#include <vector>

#include "footgen/footgen.h"
#include "footgen/surface.h"

namespace footgen {
namespace {

using Eigen::Vector2d;
using Eigen::Vector3d;
constexpr double kPi = std::numbers::pi;

// The standard fixes the engine's and the seed sequence's output exactly; its distributions are
// left to each library, so numbers are made from the engine by hand.
class Random {
 public:
  // Each defect draws from its own stream, so adding holes leaves the noise as it was.
  enum Stream : std::uint32_t { kCut = 1, kHoles, kNoise, kFragments, kPose };
  Random(std::uint32_t seed, Stream stream) {
    std::seed_seq seq{seed, static_cast<std::uint32_t>(stream)};
    engine_.seed(seq);
  }
  double Uniform(double a, double b) { return a + (b - a) * (engine_() / 4294967296.0); }
  std::size_t Below(std::size_t n) { return engine_() % n; }
  double Gaussian() {
    const double r = std::sqrt(-2 * std::log(1 - engine_() / 4294967296.0));
    return r * std::cos(2 * kPi * Uniform(0, 1));
  }

 private:
  std::mt19937 engine_;
};

Vector3d PointOf(const kernelcad::Mesh& m, std::size_t i) {
  return {m.points[3 * i], m.points[3 * i + 1], m.points[3 * i + 2]};
}
void Push(kernelcad::Mesh& m, const Vector3d& p) {
  const Eigen::Vector3f q = p.cast<float>();
  m.points.insert(m.points.end(), q.data(), q.data() + 3);
}

// The scaled right foot as a function of position in plan, with the plane its scan was cut at:
// points above z = cutBase + cutSlope . (x, y) are gone. The cut follows the foot as it was
// before its posture lifted the toes and the heel, as a scanner's rim follows the foot.
struct Plan {
  SoleShape shape;
  double scale;
  Posture posture;
  bool cutsSole = false;
  double cutBase = 0;
  Vector2d cutSlope{0, 0};

  double Height(const Vector2d& p) const { return Flat(p) + Lift(posture, p.x() / scale); }
  double Flat(const Vector2d& p) const {
    return PlantarHeight(shape, p.x() / scale, p.y() / scale);
  }
  bool Present(const Vector2d& p) const {
    const double z = Flat(p);
    return z < kOffTheFoot && (!cutsSole || z <= cutBase + cutSlope.dot(p));
  }
  // The foot's extent at x across it, false where nothing of it is left.
  bool Across(double x, double* lo, double* hi) const {
    const Station st = StationAt(x / scale);
    *lo = st.lateral * scale, *hi = st.medial * scale;
    if (!cutsSole) return x > 0 && x < kLength * scale;
    // The tilted cut leaves the lowest part of the section, which need not be its middle: the
    // sole sags from the rim towards it (golden-section search).
    const auto above = [&](double y) {
      const Vector2d p(x, y);
      return Flat(p) - cutBase - cutSlope.dot(p);
    };
    constexpr double kGolden = 0.6180339887498949;
    double a = *lo, b = *hi, c = b - kGolden * (b - a), d = a + kGolden * (b - a);
    double fc = above(c), fd = above(d);
    for (int i = 0; i < 40; ++i) {
      if (fc < fd) {
        b = d, d = c, fd = fc, c = b - kGolden * (b - a), fc = above(c);
      } else {
        a = c, c = d, fc = fd, d = a + kGolden * (b - a), fd = above(d);
      }
    }
    const double low = 0.5 * (a + b);
    if (!Present({x, low})) return false;
    *lo = Edge({x, low}, {x, *lo}).y(), *hi = Edge({x, low}, {x, *hi}).y();
    return true;
  }
  // Where the foot ends on the way from `in` (on it) to `out` (off it).
  Vector2d Edge(Vector2d in, Vector2d out) const {
    for (int i = 0; i < 30; ++i) {
      const Vector2d m = 0.5 * (in + out);
      (Present(m) ? in : out) = m;
    }
    return 0.5 * (in + out);
  }
};

// Largest g(x) over [x0, x1]: a millimetre scan, then a fine one around the best (g is smooth
// there, so the fine steps miss it by far less than a micrometre).
template <class G>
double Maximum(double x0, double x1, const G& g) {
  double best = std::max(g(x0 + 1e-9), g(x1 - 1e-9)), at = x0;
  for (double x = x0; x <= x1; x += 1.0)
    if (const double v = g(x); v > best) best = v, at = x;
  for (double x = std::max(x0, at - 1.5); x <= std::min(x1, at + 1.5); x += 0.05)
    best = std::max(best, g(x));
  return best;
}

// The contact region, scanned in rows across the axis: intervals where the plantar surface is
// within the band, joined into components where they overlap from row to row.
struct Footprint {
  static constexpr double kStep = 1.0;  // mm between rows and samples
  struct Run {
    int row;
    double from, to;
    std::size_t part;
  };
  std::vector<Run> runs;
  std::vector<std::size_t> parent;

  std::size_t Root(std::size_t i) {
    while (parent[i] != i) i = parent[i] = parent[parent[i]];
    return i;
  }

  Footprint(const Plan& plan, const Vector2d& a, double u0, double u1, double v0, double v1) {
    const Vector2d b(-a.y(), a.x());
    const int rows = static_cast<int>((u1 - u0) / kStep) + 1;
    const int cols = static_cast<int>((v1 - v0) / kStep) + 1;
    std::size_t previous = 0;
    for (int r = 0; r < rows; ++r) {
      const std::size_t first = runs.size();
      double fLast = kOffTheFoot, start = 0;
      for (int c = 0; c <= cols; ++c) {
        const double v = v0 + c * kStep;
        const double f =
            c == cols ? kOffTheFoot : plan.Height((u0 + r * kStep) * a + v * b) - kContactBand;
        // Crossings between samples by linear interpolation; the rim never lies in the band.
        const auto crossing = [&] {
          return std::isfinite(f) && std::isfinite(fLast) ? v - kStep * f / (f - fLast)
                                                          : v - 0.5 * kStep;
        };
        if (f <= 0 && !(fLast <= 0)) start = crossing();
        if (!(f <= 0) && fLast <= 0) {
          runs.push_back({r, start, crossing(), runs.size()});
          parent.push_back(runs.back().part);
        }
        fLast = f;
      }
      for (std::size_t i = previous; i < first; ++i)
        for (std::size_t j = first; j < runs.size(); ++j)
          if (runs[i].from < runs[j].to && runs[j].from < runs[i].to) parent[Root(j)] = Root(i);
      previous = first;
    }
  }
};

// Truth in the scaled right foot's frame, from its landmarks in that frame.
Truth Measure(const Plan& plan, const Landmarks& lm) {
  Truth truth;
  truth.landmarks = lm;
  const Vector2d heel = lm.heel.head<2>(), ball = lm.ball.head<2>(),
                 adjacent = lm.adjacent.head<2>();
  const Vector2d a = (0.5 * (ball + adjacent) - heel).normalized(), b(-a.y(), a.x());
  truth.ballWidth = (ball - adjacent).norm();
  truth.ballWidthAcross = std::abs(b.dot(ball - adjacent));

  const double length = kLength * plan.scale;
  const auto reach = [&](const Vector2d& dir, double x) {
    double lo, hi;
    if (!plan.Across(x, &lo, &hi)) return -kOffTheFoot;
    return std::max(dir.dot(Vector2d(x, lo)), dir.dot(Vector2d(x, hi)));
  };
  // The ends lie within the heel's and the hallux's rounding, whatever the cut.
  const double back = -Maximum(0, 0.12 * length, [&](double x) { return reach(-a, x); });
  const double front = Maximum(0.88 * length, length, [&](double x) { return reach(a, x); });
  truth.footLength = front - back;

  const double across = 0.3 * length;  // wider than half of any foot
  const Vector2d section = (back + truth.footLength / 6) * a + b.dot(heel) * b;
  truth.heelWidth =
      (plan.Edge(section, section + across * b) - plan.Edge(section, section - across * b)).norm();

  // Rows on a grid of their own, so that a cut rim changes nothing of the footprint.
  const double first = std::floor(back / Footprint::kStep) * Footprint::kStep;
  Footprint print(plan, a, first, front, b.dot(heel) - across, b.dot(heel) + across);
  std::vector<double> partStart(print.runs.size(), kOffTheFoot);
  for (Footprint::Run& run : print.runs) {
    run.part = print.Root(run.part);
    partStart[run.part] = std::min(partStart[run.part], first + run.row * Footprint::kStep);
  }
  // Toes: parts wholly in front of both metatarsal heads.
  const double heads = std::max(a.dot(ball), a.dot(adjacent));
  std::vector<Footprint::Run> sole;
  for (const Footprint::Run& run : print.runs)
    if (partStart[run.part] <= heads) sole.push_back(run);
  const auto rowU = [&](int row) { return first + row * Footprint::kStep; };
  const double h = 0.5 * Footprint::kStep;
  // Per row: the footprint's width, and its breadth from the outermost point on one side to the
  // other's.
  struct Row {
    double width = 0, from = kOffTheFoot, to = -kOffTheFoot;
  };
  std::map<int, Row> rows;
  for (const Footprint::Run& run : sole) {
    Row& row = rows[run.row];
    row.width += run.to - run.from;
    row.from = std::min(row.from, run.from), row.to = std::max(row.to, run.to);
  }
  // The footprint's ends are round: its width squared grows linearly from each end, which
  // places the ends between the rows.
  const auto end = [&](auto row, double toward) {
    const double w0 = row->second.width, w1 = std::next(row)->second.width;
    return rowU(row->first) +
           toward * std::clamp(w0 * w0 / std::max(w1 * w1 - w0 * w0, 1e-9), 0.0, 1.0) * 2 * h;
  };
  const double u0 = end(rows.begin(), -1), u1 = end(rows.rbegin(), 1);
  const double third = (u1 - u0) / 3;
  double total = 0, middle = 0, narrowest = kOffTheFoot, widest = 0;
  for (const auto& [index, row] : rows) {
    const double u = rowU(index), breadth = row.to - row.from;
    total += row.width * 2 * h;
    middle +=
        row.width * std::max(0.0, std::min(u + h, u0 + 2 * third) - std::max(u - h, u0 + third));
    if (u >= u0 + third && u < u0 + 2 * third) narrowest = std::min(narrowest, breadth);
    if (u >= u0 + 2 * third) widest = std::max(widest, breadth);
  }
  truth.archIndex = middle / total;
  truth.archClass = truth.archIndex <= 0.21  ? Arch::High
                    : truth.archIndex < 0.26 ? Arch::Normal
                                             : Arch::Flat;
  truth.chippauxSmirak = narrowest / widest;
  return truth;
}

// Cuts the mesh along the plane n . p = d, keeping the side below it; the cut edges get new
// vertices exactly on the plane.
void KeepBelow(kernelcad::Mesh& m, const Vector3d& n, double d) {
  std::vector<double> f(m.pointCount());
  for (std::size_t i = 0; i < f.size(); ++i) f[i] = n.dot(PointOf(m, i)) - d;
  std::map<std::pair<std::int32_t, std::int32_t>, std::int32_t> cuts;
  const auto cut = [&](std::int32_t in, std::int32_t out) {
    const auto [at, fresh] = cuts.try_emplace({in, out}, static_cast<std::int32_t>(m.pointCount()));
    if (fresh) {
      const double w = f[in] / (f[in] - f[out]);
      Push(m, PointOf(m, in) + w * (PointOf(m, out) - PointOf(m, in)));
    }
    return at->second;
  };
  std::vector<std::int32_t> kept;
  for (std::size_t t = 0; t < m.triangles.size(); t += 3) {
    std::array<std::int32_t, 3> v{m.triangles[t], m.triangles[t + 1], m.triangles[t + 2]};
    const int above = (f[v[0]] > 0) + (f[v[1]] > 0) + (f[v[2]] > 0);
    if (above == 3) continue;
    if (above == 0) {
      kept.insert(kept.end(), v.begin(), v.end());
      continue;
    }
    // Turn the corners (keeping the winding) until the odd one out comes first.
    while ((f[v[0]] > 0) != (above == 1)) std::rotate(v.begin(), v.begin() + 1, v.end());
    if (above == 1) {
      const std::int32_t p = cut(v[1], v[0]), q = cut(v[2], v[0]);
      kept.insert(kept.end(), {p, v[1], v[2], p, v[2], q});
    } else {
      kept.insert(kept.end(), {v[0], cut(v[0], v[1]), cut(v[0], v[2])});
    }
  }
  m.triangles = std::move(kept);
}

// Patches 4-16 mm across anywhere on the surface, each leaving the landmarks on the surface.
void CutHoles(kernelcad::Mesh& m, int holes, Random& random, const Landmarks& lm) {
  for (int hole = 0; hole < holes; ++hole) {
    for (int attempt = 0; attempt < 100 && !m.triangles.empty(); ++attempt) {
      const Vector3d centre = PointOf(m, m.triangles[random.Below(m.triangles.size())]);
      const double radius = random.Uniform(2, 8);
      if ((centre - lm.heel).norm() < radius + 2 || (centre - lm.ball).norm() < radius + 2 ||
          (centre - lm.adjacent).norm() < radius + 2)
        continue;
      std::vector<std::int32_t> kept;
      for (std::size_t t = 0; t < m.triangles.size(); t += 3) {
        bool inside = false;
        for (int k = 0; k < 3; ++k)
          inside |= (PointOf(m, m.triangles[t + k]) - centre).norm() < radius;
        if (!inside) kept.insert(kept.end(), &m.triangles[t], &m.triangles[t] + 3);
      }
      m.triangles = std::move(kept);
      break;
    }
  }
}

// Drops the vertices no triangle uses, as a scanner's file would not hold them.
void DropUnused(kernelcad::Mesh& m) {
  std::vector<std::int32_t> index(m.pointCount(), -1);
  for (const std::int32_t v : m.triangles) index[v] = 0;
  std::vector<float> points;
  for (std::size_t i = 0; i < index.size(); ++i)
    if (index[i] == 0) {
      index[i] = static_cast<std::int32_t>(points.size() / 3);
      points.insert(points.end(), &m.points[3 * i], &m.points[3 * i] + 3);
    }
  for (std::int32_t& v : m.triangles) v = index[v];
  m.points = std::move(points);
}

// Moves every vertex along its normal, three standard deviations at most.
void AddNoise(kernelcad::Mesh& m, double sigma, Random& random) {
  std::vector<Vector3d> normal(m.pointCount(), Vector3d::Zero());
  for (std::size_t t = 0; t < m.triangles.size(); t += 3) {
    const Vector3d a = PointOf(m, m.triangles[t]);
    const Vector3d n =
        (PointOf(m, m.triangles[t + 1]) - a).cross(PointOf(m, m.triangles[t + 2]) - a);
    for (int k = 0; k < 3; ++k) normal[m.triangles[t + k]] += n;
  }
  for (std::size_t i = 0; i < normal.size(); ++i) {
    const Vector3d p =
        PointOf(m, i) + sigma * std::clamp(random.Gaussian(), -3.0, 3.0) * normal[i].normalized();
    std::copy(p.data(), p.data() + 3, &m.points[3 * i]);
  }
}

// Small closed blobs beside, behind or ahead of the foot, from the glass plate up to 20 mm.
void AddFragments(kernelcad::Mesh& m, int count, const Plan& plan, Random& random) {
  constexpr int kRings = 6, kSegments = 10;
  const double length = kLength * plan.scale;
  for (int f = 0; f < count; ++f) {
    const double off = random.Uniform(15, 45);
    Vector3d centre(0, random.Uniform(-30, 30) * plan.scale, random.Uniform(0, 20));
    switch (random.Below(4)) {
      case 0:
        centre.x() = -off;
        break;
      case 1:
        centre.x() = length + off;
        break;
      default: {
        centre.x() = random.Uniform(0.1, 0.9) * length;
        const Station st = StationAt(centre.x() / plan.scale);
        centre.y() = random.Below(2) ? st.medial * plan.scale + off : st.lateral * plan.scale - off;
      }
    }
    const Vector3d radii(random.Uniform(1.5, 5), random.Uniform(1.5, 5), random.Uniform(1, 3));
    const auto first = static_cast<std::int32_t>(m.pointCount());
    Push(m, centre + Vector3d(0, 0, radii.z()));
    for (int r = 1; r < kRings; ++r)
      for (int s = 0; s < kSegments; ++s) {
        const double polar = kPi * r / kRings, around = 2 * kPi * s / kSegments;
        Push(m, centre + radii.cwiseProduct(Vector3d(std::sin(polar) * std::cos(around),
                                                     std::sin(polar) * std::sin(around),
                                                     std::cos(polar))));
      }
    Push(m, centre - Vector3d(0, 0, radii.z()));
    const std::int32_t last = static_cast<std::int32_t>(m.pointCount()) - 1;
    const auto at = [&](int r, int s) { return first + 1 + (r - 1) * kSegments + s % kSegments; };
    auto& tri = m.triangles;
    for (int s = 0; s < kSegments; ++s) {
      tri.insert(tri.end(), {first, at(1, s), at(1, s + 1)});
      for (int r = 1; r + 1 < kRings; ++r)
        tri.insert(tri.end(), {at(r, s), at(r + 1, s), at(r + 1, s + 1), at(r, s), at(r + 1, s + 1),
                               at(r, s + 1)});
      tri.insert(tri.end(), {last, at(kRings - 1, s + 1), at(kRings - 1, s)});
    }
  }
}

Eigen::Isometry3d RandomPose(Random& random) {
  // A uniformly distributed rotation from three uniform numbers.
  const double u = random.Uniform(0, 1), p = random.Uniform(0, 2 * kPi),
               q = random.Uniform(0, 2 * kPi);
  const Eigen::Quaterniond rotation(std::sqrt(u) * std::cos(q), std::sqrt(1 - u) * std::sin(p),
                                    std::sqrt(1 - u) * std::cos(p), std::sqrt(u) * std::sin(q));
  Vector3d direction(random.Gaussian(), random.Gaussian(), random.Gaussian());
  Eigen::Isometry3d pose = Eigen::Isometry3d::Identity();
  pose.linear() = rotation.normalized().toRotationMatrix();
  pose.translation() = random.Uniform(0, 500) * direction.normalized();
  return pose;
}

}  // namespace

GeneratedFoot Generate(const Variant& variant) {
  Plan plan{
      ShapeOf(variant.arch), variant.length / kLength, {variant.toeSpring, variant.heelRocker}};
  plan.shape.flatMedialWall = variant.flatWall, plan.shape.closed = variant.closed;
  GeneratedFoot out;
  kernelcad::Mesh& mesh = out.mesh;
  AppendSurface(mesh, variant.resolution, plan.shape, variant.closed ? variant.leg : 0.0);
  for (std::size_t i = 0; i < mesh.points.size(); i += 3) {
    mesh.points[i] *= plan.scale;
    mesh.points[i + 1] *= plan.scale;
  }
  Landmarks lm;
  const auto inPlan = LandmarksInPlan();
  for (auto [point, i] : {std::pair{&lm.heel, 0}, {&lm.ball, 1}, {&lm.adjacent, 2}}) {
    const Vector2d p = plan.scale * inPlan[i];
    *point = Vector3d(p.x(), p.y(), plan.Height(p));
  }

  if (variant.cutRim) {
    // A scan of the sole is cut 16-31 mm up, a whole foot at the ankle, 50-90 mm up; lower on one
    // side, chosen at random, and sloping a little along the foot.
    Random random(variant.seed, Random::kCut);
    const double low = variant.closed ? random.Uniform(50, 60) : random.Uniform(16, 22);
    const double high = variant.closed ? random.Uniform(75, 90) : random.Uniform(26, 31);
    const double width = 100 * plan.scale, sign = random.Below(2) ? 1.0 : -1.0;
    plan.cutSlope = {random.Uniform(-0.02, 0.02), sign * (high - low) / width};
    plan.cutBase = 0.5 * (low + high) - plan.cutSlope.x() * 0.5 * kLength * plan.scale;
    plan.cutsSole = !variant.closed;
    KeepBelow(mesh, Vector3d(-plan.cutSlope.x(), -plan.cutSlope.y(), 1), plan.cutBase);
  }
  for (std::size_t i = 0; i < mesh.points.size(); i += 3)
    mesh.points[i + 2] += static_cast<float>(Lift(plan.posture, mesh.points[i] / plan.scale));
  if (variant.holes > 0) {
    Random random(variant.seed, Random::kHoles);
    CutHoles(mesh, variant.holes, random, lm);
  }
  DropUnused(mesh);
  if (variant.noise > 0) {
    Random random(variant.seed, Random::kNoise);
    AddNoise(mesh, variant.noise, random);
  }
  if (variant.fragments > 0) {
    Random random(variant.seed, Random::kFragments);
    AddFragments(mesh, variant.fragments, plan, random);
  }
  out.truth = Measure(plan, lm);

  Eigen::Isometry3d pose = Eigen::Isometry3d::Identity();
  if (variant.side == Side::Left) {
    // Mirroring turns the surface inside out; swapping two corners restores outward winding.
    pose.linear().diagonal() << 1, -1, 1;
    for (std::size_t t = 0; t + 2 < mesh.triangles.size(); t += 3)
      std::swap(mesh.triangles[t + 1], mesh.triangles[t + 2]);
  }
  if (variant.randomPose) {
    Random random(variant.seed, Random::kPose);
    pose = RandomPose(random) * pose;
  }
  for (std::size_t i = 0; i < mesh.pointCount(); ++i) {
    const Vector3d p = pose * PointOf(mesh, i);
    std::copy(p.data(), p.data() + 3, &mesh.points[3 * i]);
  }
  for (Vector3d* p :
       {&out.truth.landmarks.heel, &out.truth.landmarks.ball, &out.truth.landmarks.adjacent})
    *p = pose * *p;
  out.truth.pose = pose;
  return out;
}

}  // namespace footgen
