#include "measure/foot_measure.h"

#include <Eigen/Cholesky>
#include <Eigen/Geometry>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numeric>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "measure/plausibility.h"
#include "measure/support_plane.h"

namespace measure {
namespace {

using Eigen::Vector2d;
using Eigen::Vector3d;

constexpr double kMinLength = 150.0, kMaxLength = 400.0;  // mm: children's to the largest adults'
constexpr double kMaxWidth = 250.0;

// Where the reference points lie on a foot whose sole is kSoleLength long (mm from its rear end,
// see SoleExtent): the heel pad's centre midway across the sole, the surface up to kSoleLevel
// above the support plane; the first and fifth metatarsal heads a finger's width inside the
// foot's outline, which does not depend on how the sides round into the sole. Feet of other
// lengths scale. These are the places the sample scans mark.
constexpr double kSoleLevel = 12.0;
constexpr double kSoleLength = 247.0;
// No medial arch rises higher off the floor than this (mm): the navicular stands 35-50 mm up in
// adults (Williams & McClay 2000), the skin under the arch well below it. Higher is a hole in the
// sole showing a closed mesh's top.
constexpr double kArchAtMost = 30.0;
// How far inside the foot's ends in plan (heel's back, hallux tip) the sole's ends lie there.
constexpr double kSoleBehind = 8.26, kSoleAhead = 4.74;
constexpr double kHeelAt = 23.3, kBallAt = 179.3, kAdjacentAt = 161.1;
constexpr double kBallIn = 17.0, kAdjacentIn = 13.0;
constexpr double kCell = 0.5;  // mm: footprint raster, fine against the 1.5 mm width bounds

// Corners kept in single precision and worked with in double: 0.02 micrometres at 300 mm, far
// below any scan's noise, and half the memory of a dense scan's copies, which the suggestion
// works out beside the view of the scan.
class Corners {
 public:
  std::size_t size() const { return p_.size(); }
  void reserve(std::size_t n) { p_.reserve(n); }
  void resize(std::size_t n) { p_.resize(n); }
  void push_back(const Vector3d& v) { p_.push_back(v.cast<float>()); }
  Vector3d operator[](std::size_t i) const { return p_[i].cast<double>(); }
  void set(std::size_t i, const Vector3d& v) { p_[i] = v.cast<float>(); }

 private:
  std::vector<Eigen::Vector3f> p_;
};

// The foot's triangles: the scan's own, read in place, when all of the scan is foot, or else a
// copy with the corners numbered anew.
class Triangles {
 public:
  class Iterator {
   public:
    explicit Iterator(const std::int32_t* at) : at_(at) {}
    std::array<std::int32_t, 3> operator*() const { return {at_[0], at_[1], at_[2]}; }
    Iterator& operator++() { return at_ += 3, *this; }
    bool operator!=(const Iterator& other) const { return at_ != other.at_; }

   private:
    const std::int32_t* at_;
  };

  Triangles() = default;
  // The scan's own triangles, which must outlive these.
  explicit Triangles(const std::vector<std::int32_t>& scan) : scan_(&scan) {}

  void reserve(std::size_t count) { own_.reserve(3 * count); }
  void push_back(const std::array<std::int32_t, 3>& t) {
    own_.insert(own_.end(), t.begin(), t.end());
  }
  std::size_t size() const { return corners().size() / 3; }
  Iterator begin() const { return Iterator(corners().data()); }
  Iterator end() const { return Iterator(corners().data() + corners().size()); }

 private:
  const std::vector<std::int32_t>& corners() const { return scan_ ? *scan_ : own_; }
  const std::vector<std::int32_t>* scan_ = nullptr;  // or else own_
  std::vector<std::int32_t> own_;
};

// The scan's triangles that belong to the foot, with their corners in the file's frame.
struct Surface {
  Corners points;
  Triangles triangles;
};

class DisjointSets {
 public:
  explicit DisjointSets(std::size_t n) : parent_(n) {
    std::iota(parent_.begin(), parent_.end(), std::int32_t{0});
  }
  std::int32_t Find(std::int32_t i) {
    while (parent_[i] != i) i = parent_[i] = parent_[parent_[i]];
    return i;
  }
  void Join(std::int32_t a, std::int32_t b) { parent_[Find(a)] = Find(b); }

 private:
  std::vector<std::int32_t> parent_;  // a mesh's indices are 32-bit
};

double TriangleArea(const Vector3d& a, const Vector3d& b, const Vector3d& c) {
  return 0.5 * (b - a).cross(c - a).norm();
}

// Cells of a grid by their packed integer coordinates, with open addressing: a dense scan has
// tens of thousands of them, each looked up 27 times.
class CellTable {
 public:
  // The cell's index, given the next one if it is new.
  std::int32_t Insert(std::uint64_t key, std::int32_t next) {
    if (2 * (used_ + 1) > slots_.size()) Grow();
    std::size_t i = Slot(key);
    while (slots_[i].first != kEmpty && slots_[i].first != key) i = (i + 1) & (slots_.size() - 1);
    if (slots_[i].first == kEmpty) slots_[i] = {key, next}, ++used_;
    return slots_[i].second;
  }
  std::int32_t Find(std::uint64_t key) const {
    for (std::size_t i = Slot(key);; i = (i + 1) & (slots_.size() - 1))
      if (slots_[i].first == key || slots_[i].first == kEmpty) return slots_[i].second;
  }

 private:
  static constexpr std::uint64_t kEmpty = ~std::uint64_t{0};  // no packed key has the top bit
  std::size_t Slot(std::uint64_t key) const {
    return (key * 0x9E3779B97F4A7C15ull >> 24) & (slots_.size() - 1);
  }
  void Grow() {
    std::vector<std::pair<std::uint64_t, std::int32_t>> old(
        std::max<std::size_t>(1024, 2 * slots_.size()), {kEmpty, -1});
    old.swap(slots_);
    used_ = 0;
    for (const auto& [key, index] : old)
      if (key != kEmpty) Insert(key, index);
  }
  std::vector<std::pair<std::uint64_t, std::int32_t>> slots_;
  std::size_t used_ = 0;
};

// The surface around a dense scan's corners: per cell of a grid a third of the cube of kCubeReach
// either side, the mean of the corners and their summed face normals in the cube of cells around
// it, and how many corners that is; with each corner's cell.
struct Neighbourhoods {
  using Cell = Eigen::Matrix<std::int64_t, 3, 1>;
  double perCell;
  CellTable cells;
  std::vector<Cell> at;
  std::vector<std::int32_t> cellOf;
  std::vector<Vector3d> mean, normal;
  std::vector<int> count;

  static std::uint64_t Key(const Cell& c) {
    constexpr std::uint64_t kMask = 0x1fffff;
    return (static_cast<std::uint64_t>(c.x()) & kMask) << 42 |
           (static_cast<std::uint64_t>(c.y()) & kMask) << 21 |
           (static_cast<std::uint64_t>(c.z()) & kMask);
  }
  // The mean and summed normal around `p`, blended from the cubes of the eight cells whose
  // centres surround it. A corner's own cell's cube follows the grid, off centre by up to half a
  // cell: where the foot's end folds over sharply that cube takes in more or less of the fold
  // with the pose, and a dense noisy foot measured up to 1 mm long, differently in each pose.
  std::pair<Vector3d, Vector3d> Around(const Vector3d& p) const {
    const Eigen::Array3d u = p.array() * perCell - 0.5, base = u.floor(), t = u - base;
    Vector3d m = Vector3d::Zero(), nsum = Vector3d::Zero();
    double weights = 0;
    for (int k = 0; k < 8; ++k) {
      const Eigen::Array3d corner(k & 1, k >> 1 & 1, k >> 2 & 1);
      const std::int32_t c = cells.Find(Key((base + corner).cast<std::int64_t>().matrix()));
      if (c < 0) continue;
      const double w = (corner * t + (1 - corner) * (1 - t)).prod();
      m += w * mean[c], nsum += w * normal[c], weights += w;
    }
    return {m / weights, nsum};
  }
};

Neighbourhoods CubeNeighbourhoods(const Corners& points,
                                  const std::vector<Eigen::Vector3f>& normals, double reach) {
  using Cell = Neighbourhoods::Cell;
  Neighbourhoods out;
  out.perCell = 3 / (2 * reach);
  out.cellOf.resize(points.size());
  std::vector<Vector3d> sum, normal;
  std::vector<int> count;
  for (std::size_t i = 0; i < points.size(); ++i) {
    const Cell c = (points[i] * out.perCell).array().floor().cast<std::int64_t>();
    const std::int32_t index =
        out.cells.Insert(Neighbourhoods::Key(c), static_cast<std::int32_t>(sum.size()));
    if (index == static_cast<std::int32_t>(sum.size()))
      sum.emplace_back(Vector3d::Zero()), normal.emplace_back(Vector3d::Zero()), count.push_back(0),
          out.at.push_back(c);
    out.cellOf[i] = index;
    sum[index] += points[i], normal[index] += normals[i].cast<double>(), ++count[index];
  }
  out.mean.assign(sum.size(), Vector3d::Zero()), out.normal.assign(sum.size(), Vector3d::Zero());
  out.count.assign(sum.size(), 0);
  for (std::size_t c = 0; c < sum.size(); ++c) {
    for (int dx = -1; dx <= 1; ++dx)
      for (int dy = -1; dy <= 1; ++dy)
        for (int dz = -1; dz <= 1; ++dz)
          if (const std::int32_t o =
                  out.cells.Find(Neighbourhoods::Key(out.at[c] + Cell(dx, dy, dz)));
              o >= 0)
            out.mean[c] += sum[o], out.normal[c] += normal[o], out.count[c] += count[o];
    out.mean[c] /= out.count[c];
  }
  return out;
}

// Takes most of a scanner's noise out of the extremes (the heel's back, the hallux tip, the
// outline). An inner corner moves along its normal towards its neighbours' mean, but no further
// than a few times the typical such move: noise moves every corner, while the curvature of a
// clean mesh's rounded tips, which would shrink the foot, moves only a few. Corners on the scan's
// border average along it only, or the smoothing would pull the rim in. Around an inner corner
// of a consistently wound surface every neighbour comes once after it and once before it; on the
// border, the two along it come once.
// On a coarse scan the neighbours are one ring of them, and the corner moves halfway. On a dense
// one a ring is too close to even out noise: the extreme of the foot, the outermost of ever more
// noisy corners, would grow with the density, and the noise of the corners in a ring, closer
// together than it is deep, turns their normals. There the neighbours are those within
// kCubeReach (a fixed reach in millimetres, so tens to hundreds of corners), the normal is their
// summed face normals, and the corner moves all the way, up to 4.5 times the typical distance
// from its ring's mean (the noise's three standard deviations). That distance, unlike the one
// from the wider mean, stays near zero on a clean dense mesh, curved or not.
void Smooth(Surface& s) {
  constexpr double kCubeReach = 1.5;    // mm
  constexpr int kDenseCount = 24;       // corners in a typical cube that make a scan dense
  constexpr double kBorderReach = 3.0;  // mm
  const std::size_t n = s.points.size();
  std::vector<Eigen::Vector3f> normal(n, Eigen::Vector3f::Zero());
  std::vector<int> count(n, 0);
  std::vector<std::int64_t> turn(n, 0);
  for (const auto& t : s.triangles) {
    const Vector3d face = (s.points[t[1]] - s.points[t[0]]).cross(s.points[t[2]] - s.points[t[0]]);
    for (int k = 0; k < 3; ++k) {
      normal[t[k]] += face.cast<float>();
      const std::int32_t next = t[(k + 1) % 3], previous = t[(k + 2) % 3];
      count[t[k]] += 2;
      turn[t[k]] +=
          (next + 1) * std::int64_t{next + 1} - (previous + 1) * std::int64_t{previous + 1};
    }
  }
  // A border corner's neighbours along the border: those that come only after it or only before.
  // Kept for border corners only, a few thousand of a large scan's million.
  std::unordered_map<std::int32_t, std::vector<std::int32_t>> along;
  for (const auto& t : s.triangles)
    for (int k = 0; k < 3; ++k)
      if (turn[t[k]] != 0) {
        for (const std::int32_t w : {t[(k + 1) % 3], t[(k + 2) % 3]}) {
          auto& list = along[t[k]];
          const auto it = std::find(list.begin(), list.end(), w);
          if (it == list.end())
            list.push_back(w);
          else
            list.erase(it);
        }
      }
  const auto alongOf = [&along](std::int32_t i) -> const std::vector<std::int32_t>* {
    const auto it = along.find(i);
    return it != along.end() && it->second.size() == 2 ? &it->second : nullptr;
  };
  // Along the border, the mean of the corners within kBorderReach of arc either side: a cut
  // through the scan leaves clusters of corners close together, too many for the nearest
  // neighbours to even out, while a coarse corner (its neighbours far off) stays put.
  const auto walk = [&](std::int32_t from, std::int32_t to, Vector3d& sum, int& count) {
    double length = 0;
    for (int step = 0; step < 256; ++step) {
      length += (s.points[to] - s.points[from]).norm();
      const std::vector<std::int32_t>* next = alongOf(to);
      if (length > kBorderReach || !next) return;
      sum += s.points[to], ++count;
      from = std::exchange(to, (*next)[0] == from ? (*next)[1] : (*next)[0]);
    }
  };
  // The border corners' new places, worked out from the old ones before any corner moves.
  std::vector<std::pair<std::int32_t, Vector3d>> border;
  for (const auto& [i, neighbours] : along)
    if (neighbours.size() == 2) {
      Vector3d total = s.points[i];
      int corners = 1;
      walk(i, neighbours[0], total, corners);
      walk(i, neighbours[1], total, corners);
      border.emplace_back(i, total / corners);
    }
  along = {};
  // From here on a corner is only on the border or not.
  std::vector<bool> inner(n);
  for (std::size_t i = 0; i < n; ++i) inner[i] = turn[i] == 0;
  turn = {};

  const Neighbourhoods cube = CubeNeighbourhoods(s.points, normal, kCubeReach);
  bool dense = false;
  {
    std::vector<int> counts(n);
    for (std::size_t i = 0; i < n; ++i) counts[i] = cube.count[cube.cellOf[i]];
    std::nth_element(counts.begin(), counts.begin() + n / 2, counts.end());
    dense = counts[n / 2] >= kDenseCount;
  }
  // A dense scan's corners: how far along the normal their neighbours' mean lies.
  std::vector<float> toMean(dense ? n : 0);
  for (std::size_t i = 0; i < n; ++i) {
    if (!dense) {
      normal[i] = normal[i].cast<double>().normalized().cast<float>();
      continue;
    }
    const auto [mean, sum] = cube.Around(s.points[i]);
    normal[i] = sum.normalized().cast<float>();
    toMean[i] = static_cast<float>(normal[i].cast<double>().dot(mean - s.points[i]));
  }
  const auto unit = [&normal](std::size_t i) -> Vector3d { return normal[i].cast<double>(); };
  // An inner corner's ring: the distance along its normal from the corner to the mean of its
  // neighbours, each counted once for every triangle they share.
  std::vector<double> ring(n, 0.0);
  for (const auto& t : s.triangles)
    for (int k = 0; k < 3; ++k)
      ring[t[k]] += unit(t[k]).dot(s.points[t[(k + 1) % 3]] + s.points[t[(k + 2) % 3]]);
  // Each inner corner's move replaces its ring in the same array.
  std::vector<double>& move = ring;
  std::vector<float> size;  // only its median counts
  size.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    if (!inner[i] || count[i] == 0) {
      move[i] = 0;
      continue;
    }
    const double r = ring[i] / count[i] - unit(i).dot(s.points[i]);
    move[i] = dense ? toMean[i] : 0.5 * r;
    size.push_back(static_cast<float>(std::abs(dense ? r : move[i])));
  }
  double most = 0;
  if (!size.empty()) {
    std::nth_element(size.begin(), size.begin() + size.size() / 2, size.end());
    most = (dense ? 4.5 : 2.0) * size[size.size() / 2];
  }
  for (std::size_t i = 0; i < n; ++i)
    if (inner[i]) s.points.set(i, s.points[i] + std::clamp(move[i], -most, most) * unit(i));
  for (const auto& [i, place] : border) s.points.set(i, place);
}

// The foot without stray fragments: connected pieces of the surface smaller than a fifth of the
// largest are dust, the scanner's plate or a hand, not foot; a foot that holes split in two
// keeps both halves. The scan's triangles are read in place rather than copied, and kept in place
// when all of the scan is foot: on a large scan the suggestion runs beside the view and every
// copy of the mesh counts.
std::optional<Surface> FootSurface(const kernelcad::Mesh& mesh, std::string& reason) {
  const std::size_t n = mesh.pointCount();
  if (!std::all_of(mesh.points.begin(), mesh.points.end(),
                   [](double v) { return std::isfinite(v); })) {
    reason = "The scan has points that are not finite numbers.";
    return std::nullopt;
  }
  const auto point = [&mesh](std::int32_t i) -> Vector3d {
    return Eigen::Vector3f(&mesh.points[3 * i]).cast<double>();
  };
  const auto triangle = [&mesh, n](std::size_t t) -> std::optional<std::array<std::int32_t, 3>> {
    const std::array<std::int32_t, 3> tri{mesh.triangles[3 * t], mesh.triangles[3 * t + 1],
                                          mesh.triangles[3 * t + 2]};
    if (std::any_of(tri.begin(), tri.end(),
                    [n](std::int32_t i) { return i < 0 || static_cast<std::size_t>(i) >= n; }))
      return std::nullopt;
    return tri;
  };
  Surface s;
  double largest = 0;
  {
    DisjointSets sets(n);
    for (std::size_t t = 0; t < mesh.triangleCount(); ++t)
      if (const auto tri = triangle(t))
        sets.Join((*tri)[0], (*tri)[1]), sets.Join((*tri)[0], (*tri)[2]);
    std::vector<double> pieceArea(n, 0.0);
    for (std::size_t t = 0; t < mesh.triangleCount(); ++t)
      if (const auto tri = triangle(t))
        pieceArea[sets.Find((*tri)[0])] +=
            TriangleArea(point((*tri)[0]), point((*tri)[1]), point((*tri)[2]));
    largest = n ? *std::max_element(pieceArea.begin(), pieceArea.end()) : 0.0;
    const auto kept = [&](const std::optional<std::array<std::int32_t, 3>>& tri) {
      return tri && pieceArea[sets.Find((*tri)[0])] >= 0.2 * largest;
    };
    // A scan that is all foot, as most are, keeps its own triangles and corner numbers.
    std::vector<std::int32_t> index(n, -1);
    bool whole = true;
    for (std::size_t t = 0; t < mesh.triangleCount() && whole; ++t) {
      const auto tri = triangle(t);
      whole = kept(tri);
      if (whole)
        for (const std::int32_t i : *tri) index[i] = i;
    }
    s.points.reserve(n);
    if (whole && std::find(index.begin(), index.end(), -1) == index.end()) {
      for (std::size_t i = 0; i < n; ++i) s.points.push_back(point(static_cast<std::int32_t>(i)));
      s.triangles = Triangles(mesh.triangles);
    } else {
      // Only the corners of the kept triangles stay, numbered anew. The room reserved for all
      // of them costs memory only where it is filled.
      std::fill(index.begin(), index.end(), -1);
      s.triangles.reserve(mesh.triangleCount());
      for (std::size_t t = 0; t < mesh.triangleCount(); ++t) {
        const auto tri = triangle(t);
        if (!kept(tri)) continue;
        std::array<std::int32_t, 3> corners;
        for (int k = 0; k < 3; ++k) {
          const std::int32_t i = (*tri)[k];
          if (index[i] < 0) {
            index[i] = static_cast<std::int32_t>(s.points.size());
            s.points.push_back(point(i));
          }
          corners[k] = index[i];
        }
        s.triangles.push_back(corners);
      }
    }
  }
  if (s.triangles.size() < 200 || largest <= 0) {
    reason = "The scan has too few triangles to be a foot.";
    return std::nullopt;
  }
  Smooth(s);
  return s;
}

std::vector<Patch> Patches(const Surface& s) {
  std::vector<Patch> patches;
  patches.reserve(s.triangles.size());
  for (const auto& t : s.triangles) {
    const Vector3d &a = s.points[t[0]], &b = s.points[t[1]], &c = s.points[t[2]];
    patches.push_back(
        {((a + b + c) / 3.0).cast<float>(), static_cast<float>(TriangleArea(a, b, c))});
  }
  return patches;
}

// The foot's frame: origin on the support plane, x along the foot from heel to toes, y across
// (lateral for a left foot, medial for a right one: y = up x x), h up.
struct Frame {
  Vector3d origin, x, y, up;
  Vector3d Local(const Vector3d& p) const {
    const Vector3d d = p - origin;
    return {d.dot(x), d.dot(y), d.dot(up)};
  }
  Vector3d Global(const Vector3d& l) const { return origin + l.x() * x + l.y() * y + l.z() * up; }
};

// The scan in a frame: corners in local coordinates and the extent along x.
struct Local {
  Corners points;
  const Triangles* triangles;
  double rear, front;
};

// Puts the surface's corners into `l` in frame `f`, in place: a large scan's corners are tens of
// megabytes.
void Relocate(Local& l, const Surface& s, const Frame& f) {
  l.points.resize(s.points.size());
  l.rear = std::numeric_limits<double>::infinity(), l.front = -l.rear;
  for (std::size_t i = 0; i < s.points.size(); ++i) {
    l.points.set(i, f.Local(s.points[i]));
    l.rear = std::min(l.rear, l.points[i].x()), l.front = std::max(l.front, l.points[i].x());
  }
}

Local ToLocal(const Surface& s, const Frame& f) {
  Local l{{}, &s.triangles, 0, 0};
  Relocate(l, s, f);
  return l;
}

// Where the outline (the surface seen from above) crosses the line across the foot at `x`:
// its lowest and highest y, exact from the triangles' edges. With `level`, the outline of the
// surface up to that height above the support plane.
std::optional<Vector2d> Section(const Local& l, double x,
                                double level = std::numeric_limits<double>::infinity()) {
  double lo = std::numeric_limits<double>::infinity(), hi = -lo;
  for (const auto& t : *l.triangles) {
    std::array<Vector3d, 2> cut;
    int n = 0;
    for (int e = 0; e < 3 && n < 2; ++e) {
      const Vector3d &a = l.points[t[e]], &b = l.points[t[(e + 1) % 3]];
      if ((a.x() - x) * (b.x() - x) > 0 || a.x() == b.x()) continue;
      cut[n++] = a + (b - a) * (x - a.x()) / (b.x() - a.x());
    }
    if (n < 2) continue;
    // The triangle's piece of the line, clipped to the level.
    if (cut[0].z() > cut[1].z()) std::swap(cut[0], cut[1]);
    if (cut[0].z() > level) continue;
    if (cut[1].z() > level)
      cut[1] = cut[0] + (cut[1] - cut[0]) * (level - cut[0].z()) / (cut[1].z() - cut[0].z());
    lo = std::min({lo, cut[0].y(), cut[1].y()}), hi = std::max({hi, cut[0].y(), cut[1].y()});
  }
  if (hi < lo) return std::nullopt;
  return Vector2d(lo, hi);
}

// The outline's borders across the foot at `x`, each from a line fitted to the border over the
// 8 mm either side: a hole in the scan dents the border inwards, so stations lying inside the
// line by more than noise are dropped and the line fitted again.
std::optional<Vector2d> OutlineAcross(const Local& l, double x) {
  constexpr int kReach = 8;
  std::vector<Vector2d> border[2];  // (x offset, outward position) on each side
  for (int k = -kReach; k <= kReach; ++k)
    if (const auto s = Section(l, x + k)) {
      border[0].emplace_back(k, -s->x());
      border[1].emplace_back(k, s->y());
    }
  if (border[0].empty()) return std::nullopt;
  std::array<double, 2> at{};
  for (int side = 0; side < 2; ++side) {
    std::vector<Vector2d>& b = border[side];
    for (int round = 0; round < 3; ++round) {
      Eigen::Matrix2d normal = Eigen::Matrix2d::Zero();
      Vector2d rhs = Vector2d::Zero();
      for (const Vector2d& p : b) {
        normal += Vector2d(1, p.x()) * Vector2d(1, p.x()).transpose();
        rhs += Vector2d(1, p.x()) * p.y();
      }
      const Vector2d line = normal.ldlt().solve(rhs);
      at[side] = line.x();
      if (!line.allFinite() || b.size() < 3) {
        at[side] = std::max_element(b.begin(), b.end(), [](const Vector2d& p, const Vector2d& q) {
                     return p.y() < q.y();
                   })->y();
        break;
      }
      std::erase_if(b,
                    [&](const Vector2d& p) { return p.y() < line.x() + line.y() * p.x() - 0.5; });
    }
  }
  return Vector2d(-at[0], at[1]);
}

// The rearmost point of the surface up to `level` above the support plane, exact from the
// triangles' edges.
double RearBelow(const Local& l, double level) {
  double rear = std::numeric_limits<double>::infinity();
  for (const auto& t : *l.triangles)
    for (int e = 0; e < 3; ++e) {
      const Vector3d &a = l.points[t[e]], &b = l.points[t[(e + 1) % 3]];
      if (a.z() <= level) rear = std::min(rear, a.x());
      if ((a.z() - level) * (b.z() - level) < 0)
        rear = std::min(rear, a.x() + (b.x() - a.x()) * (level - a.z()) / (b.z() - a.z()));
    }
  return rear;
}

// Where the reference points lie along the foot is taken from its ends in plan: toes lifted off
// the floor or resting on it leave the front where it is, while the surface's extent up to any
// height above the floor moves with them. The heel's back always curls up from its pad: a scan
// cut off low loses some of it but still holds the sole's rear end up to kSoleLevel, so the rear
// is the one of the two that reaches further back (a heel rounded up behind its pad takes its
// sole's end in instead).
Vector2d SoleExtent(const Local& l) {
  const double unit = (l.front - l.rear) / (kSoleLength + kSoleBehind + kSoleAhead);
  return {std::min(RearBelow(l, kSoleLevel), l.rear + unit * kSoleBehind),
          l.front - unit * kSoleAhead};
}

// Height of the lowest surface point above (x, y); nullopt over a hole or off the foot.
std::optional<double> LowestHeight(const Local& l, double x, double y) {
  std::optional<double> low;
  for (const auto& t : *l.triangles) {
    const Vector3d &a = l.points[t[0]], &b = l.points[t[1]], &c = l.points[t[2]];
    const double d = (b.x() - a.x()) * (c.y() - a.y()) - (c.x() - a.x()) * (b.y() - a.y());
    if (std::abs(d) < 1e-12) continue;
    const double u = ((x - a.x()) * (c.y() - a.y()) - (c.x() - a.x()) * (y - a.y())) / d;
    const double v = ((b.x() - a.x()) * (y - a.y()) - (x - a.x()) * (b.y() - a.y())) / d;
    if (u < 0 || v < 0 || u + v > 1) continue;
    const double h = a.z() + u * (b.z() - a.z()) + v * (c.z() - a.z());
    if (!low || h < *low) low = h;
  }
  return low;
}

// The point on the sole at (x, y): the lowest surface point there, on the support plane over a
// hole.
Vector3d SolePoint(const Local& l, const Frame& f, double x, double y) {
  return f.Global({x, y, LowestHeight(l, x, y).value_or(0.0)});
}

Frame FrameFrom(const Plane& plane, const Vector3d& along) {
  Frame f;
  f.up = plane.up;
  f.x = (along - along.dot(f.up) * f.up).normalized();
  f.y = f.up.cross(f.x);
  f.origin = plane.level * f.up;
  return f;
}

// The widest part of the outline in the back and in the front 40 % of the foot, in 2 mm slices
// each spanned by the triangles reaching into it: a coarse scan's rings of corners lie further
// apart than that, and askew to the slices.
std::pair<double, double> EndWidths(const Local& l) {
  const double length = l.front - l.rear;
  const int slices = static_cast<int>(length / 2.0) + 1;
  std::vector<double> lo(slices, std::numeric_limits<double>::infinity()), hi(slices, -lo[0]);
  for (const auto& t : *l.triangles) {
    const Vector3d a = l.points[t[0]], b = l.points[t[1]], c = l.points[t[2]];
    const auto slice = [&](double x) {
      return std::clamp(static_cast<int>((x - l.rear) / 2.0), 0, slices - 1);
    };
    const double yLow = std::min({a.y(), b.y(), c.y()}), yHigh = std::max({a.y(), b.y(), c.y()});
    for (int i = slice(std::min({a.x(), b.x(), c.x()}));
         i <= slice(std::max({a.x(), b.x(), c.x()})); ++i)
      lo[i] = std::min(lo[i], yLow), hi[i] = std::max(hi[i], yHigh);
  }
  double back = 0, front = 0;
  for (int i = 0; i < slices; ++i) {
    const double share = (i + 0.5) / slices, w = hi[i] - lo[i];
    if (share > 0.05 && share < 0.4) back = std::max(back, w);
    if (share > 0.6 && share < 0.95) front = std::max(front, w);
  }
  return {back, front};
}

// The lowest surface height over a raster of kCell squares in a frame shifted by `shift`: NaN
// off the foot; holes in the scan take the mean height around them.
struct Footprint {
  double x0, y0;
  int columns, rows;
  std::vector<double> low;
  double& At(int c, int r) { return low[static_cast<std::size_t>(r) * columns + c]; }
  double At(int c, int r) const { return low[static_cast<std::size_t>(r) * columns + c]; }
};

std::optional<Footprint> Rasterize(const Local& l, const Vector3d& shift) {
  double minX = std::numeric_limits<double>::infinity(), minY = minX, maxX = -minX, maxY = -minX;
  for (const auto& t : *l.triangles)
    for (const std::int32_t i : t) {
      const Vector3d p = l.points[i] - shift;
      minX = std::min(minX, p.x()), maxX = std::max(maxX, p.x());
      minY = std::min(minY, p.y()), maxY = std::max(maxY, p.y());
    }
  if (maxY - minY > kMaxWidth) return std::nullopt;
  Footprint fp;
  fp.x0 = (std::floor(minX / kCell) - 1) * kCell, fp.y0 = (std::floor(minY / kCell) - 1) * kCell;
  fp.columns = static_cast<int>((maxX - fp.x0) / kCell) + 2;
  fp.rows = static_cast<int>((maxY - fp.y0) / kCell) + 2;
  constexpr double kNone = std::numeric_limits<double>::infinity();
  fp.low.assign(static_cast<std::size_t>(fp.columns) * fp.rows, kNone);
  for (const auto& t : *l.triangles) {
    const Vector3d a = l.points[t[0]] - shift, b = l.points[t[1]] - shift,
                   c = l.points[t[2]] - shift;
    const double d = (b.x() - a.x()) * (c.y() - a.y()) - (c.x() - a.x()) * (b.y() - a.y());
    if (std::abs(d) < 1e-12) continue;
    const auto range = [&](double lo, double hi, double origin, int count) {
      return std::pair{
          std::max(0, static_cast<int>(std::ceil((lo - origin) / kCell - 0.5))),
          std::min(count - 1, static_cast<int>(std::floor((hi - origin) / kCell - 0.5)))};
    };
    const auto [c0, c1] =
        range(std::min({a.x(), b.x(), c.x()}), std::max({a.x(), b.x(), c.x()}), fp.x0, fp.columns);
    const auto [r0, r1] =
        range(std::min({a.y(), b.y(), c.y()}), std::max({a.y(), b.y(), c.y()}), fp.y0, fp.rows);
    for (int r = r0; r <= r1; ++r)
      for (int col = c0; col <= c1; ++col) {
        const double x = fp.x0 + (col + 0.5) * kCell, y = fp.y0 + (r + 0.5) * kCell;
        const double u = ((x - a.x()) * (c.y() - a.y()) - (c.x() - a.x()) * (y - a.y())) / d;
        const double v = ((b.x() - a.x()) * (y - a.y()) - (x - a.x()) * (b.y() - a.y())) / d;
        if (u < -1e-9 || v < -1e-9 || u + v > 1 + 1e-9) continue;
        double& low = fp.At(col, r);
        low = std::min(low, a.z() + u * (b.z() - a.z()) + v * (c.z() - a.z()));
      }
  }
  // Uncovered cells that reach the raster's edge are off the foot; the others are holes.
  std::vector<std::uint8_t> seen(fp.low.size(), 0);
  std::vector<std::pair<int, int>> stack, piece;
  const auto index = [&fp](int c, int r) { return static_cast<std::size_t>(r) * fp.columns + c; };
  const auto flood = [&](int c, int r) {
    piece.clear();
    stack.assign(1, {c, r});
    seen[index(c, r)] = 1;
    double sum = 0;
    int count = 0;
    while (!stack.empty()) {
      const auto [x, y] = stack.back();
      stack.pop_back();
      piece.push_back({x, y});
      for (const auto& [dx, dy] : {std::pair{1, 0}, {-1, 0}, {0, 1}, {0, -1}}) {
        const int nx = x + dx, ny = y + dy;
        if (nx < 0 || ny < 0 || nx >= fp.columns || ny >= fp.rows) continue;
        if (fp.At(nx, ny) != kNone) {
          sum += fp.At(nx, ny), ++count;
        } else if (!seen[index(nx, ny)]) {
          seen[index(nx, ny)] = 1;
          stack.push_back({nx, ny});
        }
      }
    }
    return count ? sum / count : kNone;
  };
  for (int c = 0; c < fp.columns; ++c) flood(c, 0);
  for (int r = 0; r < fp.rows; ++r)
    for (int c = 0; c < fp.columns; ++c)
      if (fp.At(c, r) == kNone && !seen[index(c, r)]) {
        const double fill = flood(c, r);
        for (const auto& [x, y] : piece) fp.At(x, y) = fill;
      }
  for (double& low : fp.low)
    if (low == kNone) low = std::numeric_limits<double>::quiet_NaN();
  return fp;
}

// The contact region's indices, toes left out: components of the region lying wholly in front
// of `toesFrom` along the axis.
struct Indices {
  bool valid = false;
  double archIndex = 0, chippauxSmirak = 0, archHeight = 0;
  std::array<double, 4> thirds{};
  std::vector<std::uint8_t> contact;
};

Indices ContactIndices(const Footprint& fp, double toesFrom, const Vector3d& heel,
                       const Vector3d& ball) {
  Indices ix;
  ix.contact.assign(fp.low.size(), 0);
  for (std::size_t i = 0; i < fp.low.size(); ++i) ix.contact[i] = fp.low[i] <= kContactBand;
  // Pieces of the region, corner to corner neighbours joined as a footprint's ink would be.
  std::vector<std::uint8_t> seen(fp.low.size(), 0);
  std::vector<std::size_t> stack, piece;
  for (std::size_t start = 0; start < fp.low.size(); ++start) {
    if (!ix.contact[start] || seen[start]) continue;
    piece.clear();
    stack.assign(1, start);
    seen[start] = 1;
    int minColumn = fp.columns;
    while (!stack.empty()) {
      const std::size_t i = stack.back();
      stack.pop_back();
      piece.push_back(i);
      const int c = static_cast<int>(i % fp.columns), r = static_cast<int>(i / fp.columns);
      minColumn = std::min(minColumn, c);
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
          const int nx = c + dx, ny = r + dy;
          if (nx < 0 || ny < 0 || nx >= fp.columns || ny >= fp.rows) continue;
          const std::size_t n = static_cast<std::size_t>(ny) * fp.columns + nx;
          if (ix.contact[n] && !seen[n]) seen[n] = 1, stack.push_back(n);
        }
    }
    if (fp.x0 + minColumn * kCell > toesFrom)
      for (const std::size_t i : piece) ix.contact[i] = 2;
  }
  int first = fp.columns, last = -1;
  for (std::size_t i = 0; i < fp.low.size(); ++i)
    if (ix.contact[i] == 1) {
      const int c = static_cast<int>(i % fp.columns);
      first = std::min(first, c), last = std::max(last, c);
    }
  if (last < first) return ix;
  const double from = fp.x0 + first * kCell, to = fp.x0 + (last + 1) * kCell;
  const double third = (to - from) / 3.0;
  ix.thirds = {from, from + third, from + 2 * third, to};
  const auto thirdOf = [&](int c) {
    return std::clamp(static_cast<int>((fp.x0 + (c + 0.5) * kCell - from) / third), 0, 2);
  };
  std::array<double, 3> area{};
  double narrowMiddle = std::numeric_limits<double>::infinity(), wideFront = 0;
  for (int c = first; c <= last; ++c) {
    int lo = fp.rows, hi = -1;
    for (int r = 0; r < fp.rows; ++r)
      if (ix.contact[static_cast<std::size_t>(r) * fp.columns + c] == 1) {
        area[thirdOf(c)] += kCell * kCell;
        lo = std::min(lo, r), hi = std::max(hi, r);
      }
    const double breadth = hi < lo ? 0.0 : (hi - lo + 1) * kCell;
    if (thirdOf(c) == 1) narrowMiddle = std::min(narrowMiddle, breadth);
    if (thirdOf(c) == 2) wideFront = std::max(wideFront, breadth);
  }
  const double total = area[0] + area[1] + area[2];
  if (total <= 0 || wideFront <= 0) return ix;
  ix.archIndex = area[1] / total;
  ix.chippauxSmirak = std::isfinite(narrowMiddle) ? narrowMiddle / wideFront : 0.0;
  // The medial arch's height: the sole's highest point under the line from the heel pad to the
  // first metatarsal head, within the middle third.
  const Vector2d h = heel.head<2>(), b = ball.head<2>();
  const int steps = static_cast<int>((b - h).norm() / (0.5 * kCell)) + 1;
  for (int k = 0; k <= steps; ++k) {
    const Vector2d p = h + (b - h) * k / steps;
    if (p.x() < ix.thirds[1] || p.x() > ix.thirds[2]) continue;
    const int c = static_cast<int>((p.x() - fp.x0) / kCell),
              r = static_cast<int>((p.y() - fp.y0) / kCell);
    if (c < 0 || r < 0 || c >= fp.columns || r >= fp.rows) continue;
    const double low = fp.At(c, r);
    if (std::isfinite(low)) ix.archHeight = std::max(ix.archHeight, low);
  }
  ix.valid = true;
  return ix;
}

std::string LengthReason(double length) {
  return "The scan is " + std::to_string(static_cast<int>(std::lround(length))) +
         " mm long along the foot, not between " + std::to_string(int(kMinLength)) + " and " +
         std::to_string(int(kMaxLength)) + " mm: it does not look like a foot.";
}

// The measurements of the foot on `s` standing on `plane`, at the given points, every length
// multiplied by `scale`; invalid with `advice` after the reason when a figure is one no foot has.
Measurements MeasureOn(const Surface& s, const Plane& plane, const std::array<Vector3d, 3>& points,
                       footview::Side side, double scale, const std::string& advice) {
  Measurements m;
  const auto& [heel, ball, adjacent] = points;
  const Vector3d toward = 0.5 * (ball + adjacent) - heel;
  if ((toward - toward.dot(plane.up) * plane.up).norm() < 20.0) {
    m.reason = "The heel point lies too close to the metatarsal heads to give the foot's axis.";
    return m;
  }
  Frame f = FrameFrom(plane, toward);
  const Local l = ToLocal(s, f);
  const double length = l.front - l.rear;
  if (length < kMinLength || length > kMaxLength) {
    m.reason = LengthReason(length);
    return m;
  }
  const std::optional<Vector2d> heelSection = OutlineAcross(l, l.rear + length / 6.0);
  // The frame starts on the plane under the rearmost heel point, on the heel point's line.
  const Vector3d shift(l.rear, f.Local(heel).y(), 0);
  f.origin = f.Global(shift);
  const Vector3d b = f.Local(ball), a = f.Local(adjacent);
  if ((b.y() - a.y()) * (side == footview::Side::Left ? -1 : 1) < 0) {
    m.reason = "The ball point lies lateral of the adjacent point: check the foot's side.";
    return m;
  }
  const std::optional<Footprint> print = Rasterize(l, shift);
  if (!heelSection || !print) {
    m.reason = print ? "The scan has no surface across the heel."
                     : "The scan is wider than a foot: it does not look like one.";
    return m;
  }
  const Indices ix = ContactIndices(*print, std::max(b.x(), a.x()), f.Local(heel), b);
  if (!ix.valid) {
    m.reason = "No contact region found on the sole.";
    return m;
  }
  // The outline's breadth over the heads, from the fifth's station to the first's.
  double ballBreadth = 0;
  for (double x = std::min(a.x(), b.x()); x <= std::max(a.x(), b.x()) + 1.0; x += 2.0)
    if (const auto across = Section(l, x + shift.x()))
      ballBreadth = std::max(ballBreadth, across->y() - across->x());
  Proportions p;
  p.ballBreadth = ballBreadth / length;
  p.heelWidth = (heelSection->y() - heelSection->x()) / length;
  p.pointsApart = (b - a).head<2>().norm() / std::max(ballBreadth, 1e-9);
  p.heelAt = f.Local(heel).x() / length, p.ballAt = b.x() / length, p.adjacentAt = a.x() / length;
  p.archIndex = ix.archIndex;
  for (const Vector3d& point : points)
    p.offFloor = std::max(p.offFloor, std::abs(plane.Height(point)) / length);
  if (m.reason = Implausible(p, advice); !m.reason.empty()) return m;
  m.valid = true;
  m.footLength = scale * length;
  m.ballWidth = scale * (b - a).head<2>().norm();
  m.ballWidthAcross = scale * std::abs(b.y() - a.y());
  m.heelWidth = scale * (heelSection->y() - heelSection->x());
  m.archIndex = ix.archIndex;
  m.archClass = ix.archIndex <= 0.21   ? ArchClass::High
                : ix.archIndex >= 0.26 ? ArchClass::Low
                                       : ArchClass::Normal;
  m.chippauxSmirak = ix.chippauxSmirak;
  m.archHeight = scale * ix.archHeight;
  m.size = Sizes(m.footLength, m.ballWidth);
  m.origin = f.origin, m.axis = f.x, m.across = f.y, m.up = f.up;
  m.cell = scale * kCell, m.x0 = scale * print->x0, m.y0 = scale * print->y0;
  m.columns = print->columns, m.rows = print->rows;
  m.contact = ix.contact;
  for (std::size_t i = 0; i < ix.thirds.size(); ++i) m.thirds[i] = scale * ix.thirds[i];
  return m;
}

}  // namespace

Suggestion SuggestReferencePoints(const kernelcad::Mesh& mesh, footview::Side side) {
  Suggestion out;
  const std::optional<Surface> surface = FootSurface(mesh, out.reason);
  if (!surface) return out;
  std::vector<Patch> patches = Patches(*surface);
  const std::optional<Plane> plane = FindSupportPlane(patches, out.reason);
  if (!plane) return out;

  // First guess of the long axis: the principal direction of the outline.
  for (Patch& p : patches)
    p.at = (p.centre() - plane->Height(p.centre()) * plane->up).cast<float>();
  Frame f = FrameFrom(*plane, PrincipalAxes(patches).col(0));
  patches = {};
  Local l = ToLocal(*surface, f);
  const double length = l.front - l.rear;
  if (length < kMinLength || length > kMaxLength) {
    out.reason = LengthReason(length);
    return out;
  }
  // The forefoot is wider than the heel: the end whose widest part is narrower is the heel.
  const auto [backWidth, frontWidth] = EndWidths(l);
  if (std::abs(frontWidth - backWidth) < 0.05 * std::max(frontWidth, backWidth)) {
    out.reason = "Heel and toes cannot be told apart: both ends of the scan are as wide.";
    return out;
  }
  if (backWidth > frontWidth) f = FrameFrom(*plane, -f.x);
  // y = up x axis: with the toes ahead a left foot's medial side is on the right, -y.
  const double medial = side == footview::Side::Left ? -1.0 : 1.0;

  // The principal direction leans a few degrees towards the wide forefoot; the foot axis (heel
  // to the middle of the metatarsal heads) does not, and settles in two rounds.
  Vector2d sole;  // of the last round, which the side's check below looks along too
  for (int round = 0; round < 3; ++round) {
    Relocate(l, *surface, f);
    sole = SoleExtent(l);
    const double unit = (sole.y() - sole.x()) / kSoleLength;
    const auto at = [&](double x) { return sole.x() + unit * x; };
    const auto heelSection = Section(l, at(kHeelAt), kSoleLevel);
    const auto ballSection = Section(l, at(kBallAt));
    const auto adjacentSection = Section(l, at(kAdjacentAt));
    if (!heelSection || !ballSection || !adjacentSection) {
      out.reason = "The scan has gaps where the heel and the metatarsal heads should be.";
      return out;
    }
    const auto border = [medial](const Vector2d& s, bool medialSide) {
      return (medial > 0) == medialSide ? s.y() : s.x();
    };
    out.heel = SolePoint(l, f, at(kHeelAt), 0.5 * (heelSection->x() + heelSection->y()));
    out.ball = SolePoint(l, f, at(kBallAt), border(*ballSection, true) - medial * unit * kBallIn);
    out.adjacent = SolePoint(l, f, at(kAdjacentAt),
                             border(*adjacentSection, false) + medial * unit * kAdjacentIn);
    f = FrameFrom(*plane, 0.5 * (out.ball + out.adjacent) - out.heel);
  }
  // The medial arch rises off the ground, the lateral midfoot barely does: a foot whose arch is
  // on the other side is the other foot, and its points would be mirrored. Midfoot stations vote,
  // so that a hole in the sole, through which a closed mesh shows its top, outvotes nothing. They
  // look halfway out from the middle of the outline to each side: under a high arch the sole's
  // part near the floor is the lateral column alone, whose middle and rounded edge would be asked.
  int votes = 0;
  for (double share = 0.35; share < 0.56; share += 0.025) {
    const double mid = sole.x() + share * (sole.y() - sole.x());
    const auto across = Section(l, mid);
    if (!across) continue;
    const double centre = 0.5 * (across->x() + across->y()),
                 half = 0.5 * (across->y() - across->x());
    const auto inner = LowestHeight(l, mid, centre + medial * 0.5 * half);
    const auto outer = LowestHeight(l, mid, centre - medial * 0.5 * half);
    if (!inner || !outer || std::max(*inner, *outer) > kArchAtMost) continue;
    votes += (*inner > *outer + 1.0) - (*outer > *inner + 1.0);
  }
  if (votes < 0) {
    out.reason = std::string("The arch is on the side a ") + (medial > 0 ? "left" : "right") +
                 " foot has it: check the foot's side.";
    return out;
  }
  // Points are shown only where the foot they give is one that could be.
  out.measurements = MeasureOn(*surface, *plane, {out.heel, out.ball, out.adjacent}, side, 1.0,
                               "place the points by hand.");
  out.found = out.measurements.valid;
  out.reason = out.measurements.reason;
  return out;
}

Measurements Measure(const kernelcad::Mesh& mesh, const Eigen::Vector3d& heel,
                     const Eigen::Vector3d& ball, const Eigen::Vector3d& adjacent,
                     footview::Side side, double scale) {
  Measurements m;
  if (!(scale > 0) || !std::isfinite(scale)) {
    m.reason = "The scale factor must be a positive number.";
    return m;
  }
  if (!heel.allFinite() || !ball.allFinite() || !adjacent.allFinite()) {
    m.reason = "The reference points must be finite numbers.";
    return m;
  }
  const std::optional<Surface> surface = FootSurface(mesh, m.reason);
  if (!surface) return m;
  const std::optional<Plane> plane = FindSupportPlane(Patches(*surface), m.reason);
  if (!plane) return m;
  return MeasureOn(*surface, *plane, {heel, ball, adjacent}, side, scale,
                   "check the points and that the scan holds the sole.");
}

SizeLine Sizes(double footLength, double ballWidth) {
  SizeLine s;
  s.mondopointLength = 5 * static_cast<int>(std::lround(footLength / 5.0));
  s.mondopointWidth = static_cast<int>(std::lround(ballWidth));
  const double last = footLength + kToeAllowance;
  // A Paris point is 2/3 cm; the UK scale counts barleycorns (1/3 inch) from 25 for size 0.
  s.eu = 0.5 * std::round(2.0 * last / (20.0 / 3.0));
  s.uk = 0.5 * std::round(2.0 * (3.0 * last / 25.4 - 25.0));
  return s;
}

}  // namespace measure
