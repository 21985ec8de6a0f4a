#include "printing/outline.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <unordered_map>

#include "kernelcad/core/scene.h"

namespace printing {

namespace {

constexpr double kFinestCell = 0.05;      // mm: the outline lies within half a cell of the truth
constexpr double kSimplifyMm = 0.02;      // well under a printer dot
constexpr double kMaxCells = 40e6;        // one byte each: a bounded mask for any scan
constexpr double kSmallestLoopMm2 = 0.5;  // specks of stray scan points are not outlined
constexpr int kPad = 2;                   // empty samples around the foot close every contour

// Samples of the projected foot: (i, j) stands at (x0 + i h, y0 + j h); 1 inside the shadow.
struct Mask {
  int nx = 0, ny = 0;
  double x0 = 0, y0 = 0, h = kFinestCell;
  std::vector<std::uint8_t> inside;

  std::uint8_t at(int i, int j) const { return inside[std::size_t(j) * nx + i]; }
};

// Fills every sample on or inside the triangle. Samples on an edge count for both triangles
// that share it, so the shadow of a closed mesh has no cracks.
void fillTriangle(Mask& m, const QPointF (&t)[3]) {
  const double cross =
      (t[1].x() - t[0].x()) * (t[2].y() - t[0].y()) - (t[2].x() - t[0].x()) * (t[1].y() - t[0].y());
  if (cross == 0) return;
  constexpr double eps = 1e-9;
  const double ymin = std::min({t[0].y(), t[1].y(), t[2].y()});
  const double ymax = std::max({t[0].y(), t[1].y(), t[2].y()});
  const int j0 = std::max(0, int(std::ceil((ymin - m.y0) / m.h - eps)));
  const int j1 = std::min(m.ny - 1, int(std::floor((ymax - m.y0) / m.h + eps)));
  for (int j = j0; j <= j1; ++j) {
    const double y = m.y0 + j * m.h;
    double xl = std::numeric_limits<double>::infinity();
    double xr = -xl;
    for (int e = 0; e < 3; ++e) {
      const QPointF& p = t[e];
      const QPointF& q = t[(e + 1) % 3];
      if ((p.y() > y && q.y() > y) || (p.y() < y && q.y() < y)) continue;
      if (p.y() == q.y()) {
        xl = std::min({xl, p.x(), q.x()});
        xr = std::max({xr, p.x(), q.x()});
      } else {
        const double x = p.x() + (y - p.y()) * (q.x() - p.x()) / (q.y() - p.y());
        xl = std::min(xl, x);
        xr = std::max(xr, x);
      }
    }
    if (xl > xr) continue;
    const int i0 = std::max(0, int(std::ceil((xl - m.x0) / m.h - eps)));
    const int i1 = std::min(m.nx - 1, int(std::floor((xr - m.x0) / m.h + eps)));
    if (i0 <= i1) std::fill_n(m.inside.begin() + std::ptrdiff_t(j) * m.nx + i0, i1 - i0 + 1, 1);
  }
}

Mask rasterize(const kernelcad::Item& foot) {
  const kernelcad::Mesh& mesh = *foot.mesh();
  const Eigen::Affine3d& placed = foot.transform();
  std::vector<QPointF> xy(mesh.pointCount());
  double minX = std::numeric_limits<double>::infinity(), minY = minX;
  double maxX = -minX, maxY = -minX;
  for (std::size_t k = 0; k < xy.size(); ++k) {
    const kernelcad::Vec3 p = placed * kernelcad::Vec3(mesh.points[3 * k], mesh.points[3 * k + 1],
                                                       mesh.points[3 * k + 2]);
    xy[k] = QPointF(p.x(), p.y());
    minX = std::min(minX, p.x());
    maxX = std::max(maxX, p.x());
    minY = std::min(minY, p.y());
    maxY = std::max(maxY, p.y());
  }
  if (mesh.triangleCount() == 0 || !(maxX > minX) || !(maxY > minY))
    throw kernelcad::KernelCADError(
        "The scan covers no area seen from below: there is no outline to print.");

  Mask m;
  const auto samples = [&](double h) {
    return ((maxX - minX) / h + 2 * kPad + 2) * ((maxY - minY) / h + 2 * kPad + 2);
  };
  while (samples(m.h) > kMaxCells) m.h *= 1.25;
  m.x0 = minX - kPad * m.h;
  m.y0 = minY - kPad * m.h;
  m.nx = int(std::ceil((maxX - minX) / m.h)) + 2 * kPad + 1;
  m.ny = int(std::ceil((maxY - minY) / m.h)) + 2 * kPad + 1;
  m.inside.assign(std::size_t(m.nx) * m.ny, 0);

  const auto& tri = mesh.triangles;
  for (std::size_t k = 0; k + 2 < tri.size(); k += 3) {
    const QPointF t[3] = {xy[std::size_t(tri[k])], xy[std::size_t(tri[k + 1])],
                          xy[std::size_t(tri[k + 2])]};
    fillTriangle(m, t);
  }
  return m;
}

// Marching squares: contour points sit halfway between an inside and an outside sample. Each
// crossing of a grid edge is named by the edge; within a square, a crossing that enters the
// shadow (walking the square's corners in order) joins the next one that leaves it, so every
// loop keeps the shadow on the same side and saddles split the same way everywhere.
std::vector<QPolygonF> traceLoops(const Mask& m) {
  const auto horizontal = [&](int i, int j) { return 2 * (std::int64_t(j) * m.nx + i); };
  const auto vertical = [&](int i, int j) { return 2 * (std::int64_t(j) * m.nx + i) + 1; };
  std::unordered_map<std::int64_t, std::int64_t> next;
  for (int j = 0; j + 1 < m.ny; ++j) {
    for (int i = 0; i + 1 < m.nx; ++i) {
      const std::uint8_t v[4] = {m.at(i, j), m.at(i + 1, j), m.at(i + 1, j + 1), m.at(i, j + 1)};
      if (v[0] == v[1] && v[1] == v[2] && v[2] == v[3]) continue;
      const std::int64_t edge[4] = {horizontal(i, j), vertical(i + 1, j), horizontal(i, j + 1),
                                    vertical(i, j)};
      for (int k = 0; k < 4; ++k) {
        if (v[k] || !v[(k + 1) % 4]) continue;
        for (int s = k + 1; s < k + 4; ++s) {
          if (v[s % 4] && !v[(s + 1) % 4]) {
            next[edge[k]] = edge[s % 4];
            break;
          }
        }
      }
    }
  }
  const auto point = [&](std::int64_t id) {
    const std::int64_t cell = id / 2;
    // NOLINTNEXTLINE(bugprone-integer-division): the whole row number is meant
    const double i = double(cell % m.nx), j = double(cell / m.nx);
    return id % 2 == 0 ? QPointF(m.x0 + (i + 0.5) * m.h, m.y0 + j * m.h)
                       : QPointF(m.x0 + i * m.h, m.y0 + (j + 0.5) * m.h);
  };
  std::vector<QPolygonF> loops;
  while (!next.empty()) {
    const std::int64_t start = next.begin()->first;
    QPolygonF loop;
    for (std::int64_t at = start;;) {
      loop << point(at);
      const auto it = next.find(at);
      if (it == next.end()) break;
      at = it->second;
      next.erase(it);
      if (at == start) break;
    }
    loops.push_back(std::move(loop));
  }
  return loops;
}

double signedArea(const QPolygonF& loop) {
  double twice = 0;
  for (int k = 0; k < loop.size(); ++k) {
    const QPointF& a = loop[k];
    const QPointF& b = loop[(k + 1) % loop.size()];
    twice += a.x() * b.y() - b.x() * a.y();
  }
  return twice / 2;
}

double distanceToSegment(const QPointF& p, const QPointF& a, const QPointF& b) {
  const QPointF ab = b - a;
  const double len2 = QPointF::dotProduct(ab, ab);
  const double t = len2 > 0 ? std::clamp(QPointF::dotProduct(p - a, ab) / len2, 0.0, 1.0) : 0.0;
  const QPointF d = p - (a + t * ab);
  return std::hypot(d.x(), d.y());
}

// Douglas-Peucker on points[first..last], marking the points to keep.
void simplifyRun(const QPolygonF& points, int first, int last, std::vector<bool>& keep) {
  std::vector<std::pair<int, int>> runs{{first, last}};
  while (!runs.empty()) {
    const auto [a, b] = runs.back();
    runs.pop_back();
    int worst = -1;
    double worstDistance = kSimplifyMm;
    for (int k = a + 1; k < b; ++k) {
      const double d = distanceToSegment(points[k], points[a], points[b % points.size()]);
      if (d > worstDistance) {
        worst = k;
        worstDistance = d;
      }
    }
    if (worst < 0) continue;
    keep[std::size_t(worst)] = true;
    runs.push_back({a, worst});
    runs.push_back({worst, b});
  }
}

QPolygonF simplifyLoop(const QPolygonF& loop) {
  if (loop.size() < 4) return loop;
  // Split the loop at its first point and the point farthest from it.
  int far = 0;
  double farDistance = -1;
  for (int k = 1; k < loop.size(); ++k) {
    const QPointF d = loop[k] - loop[0];
    if (const double dd = QPointF::dotProduct(d, d); dd > farDistance) {
      far = k;
      farDistance = dd;
    }
  }
  std::vector<bool> keep(std::size_t(loop.size()), false);
  keep[0] = keep[std::size_t(far)] = true;
  simplifyRun(loop, 0, far, keep);
  simplifyRun(loop, far, int(loop.size()), keep);  // index size() stands for point 0 again
  QPolygonF out;
  for (int k = 0; k < loop.size(); ++k)
    if (keep[std::size_t(k)]) out << loop[k];
  return out;
}

}  // namespace

PlantarOutline Plantar_Outline(const kernelcad::Model& model) {
  if (model.GetItemCount() < 1 || model.GetItem(0)->kind() != kernelcad::ItemKind::Mesh)
    throw kernelcad::KernelCADError("No scan is loaded: there is no outline to print.");
  const Mask mask = rasterize(*model.GetItem(0));
  std::vector<QPolygonF> loops = traceLoops(mask);

  double largest = 0;
  for (const QPolygonF& loop : loops)
    if (const double a = signedArea(loop); std::abs(a) > std::abs(largest)) largest = a;
  PlantarOutline outline;
  outline.minX = outline.minY = std::numeric_limits<double>::infinity();
  outline.maxX = outline.maxY = -outline.minX;
  for (const QPolygonF& loop : loops) {
    // Outer boundaries turn the way the largest one does; holes turn the other way.
    const double a = signedArea(loop);
    if ((a > 0) != (largest > 0) || std::abs(a) < kSmallestLoopMm2) continue;
    QPolygonF kept = simplifyLoop(loop);
    for (const QPointF& p : kept) {
      outline.minX = std::min(outline.minX, p.x());
      outline.maxX = std::max(outline.maxX, p.x());
      outline.minY = std::min(outline.minY, p.y());
      outline.maxY = std::max(outline.maxY, p.y());
    }
    outline.loops.push_back(std::move(kept));
  }
  if (outline.loops.empty())
    throw kernelcad::KernelCADError(
        "The scan covers no area seen from below: there is no outline to print.");
  return outline;
}

}  // namespace printing
