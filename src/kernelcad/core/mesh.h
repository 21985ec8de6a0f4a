#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace kernelcad {

// A triangle mesh as the scan reader delivers it: flat arrays so the render layer can hand
// them to VTK without copying vertex by vertex. Points are kept in single precision, as graphics
// draw them: a millionth of a millimetre at 10 cm, a hundredth at 100 m from the origin, where
// no scanner puts a foot; computations on them are done in double. Half the memory of double
// coordinates, and no copy for the graphics (a million points: 24 MB less).
struct Mesh {
  std::vector<float> points;            // x0 y0 z0 x1 y1 z1 ... in millimetres, as in the file
  std::vector<std::int32_t> triangles;  // three point indices per triangle
  std::vector<std::uint8_t> colors;     // r g b per point, empty when the file has none
  // Unit normal per point (VertexNormals), for shading; empty until a loader fills it on its
  // own thread, so the first picture need not wait for them.
  std::vector<float> normals;

  std::size_t pointCount() const { return points.size() / 3; }
  std::size_t triangleCount() const { return triangles.size() / 3; }
  bool hasColors() const { return !colors.empty(); }
  // Axis-aligned bounds of the points: {xmin, ymin, zmin, xmax, ymax, zmax}; all zero when empty.
  std::array<double, 6> bounds() const;
};

// Area-weighted unit normals of the mesh's points, x y z per point; (0, 0, 0) for a point on
// no triangle.
std::vector<float> VertexNormals(const Mesh& mesh);
// The same into `normals`, which allocates nothing when it has room for them (NormalsRoom).
void VertexNormals(const Mesh& mesh, std::vector<float>& normals);
// An empty vector with room for the mesh's normals, in large pages where the system has them.
std::vector<float> NormalsRoom(const Mesh& mesh);

// The mesh's triangles in the order of their lowest corner, each as it was. Scanners number
// their points along rows or strips, so triangles in that order share corners with the ones just
// before them, and software OpenGL shades a corner once for a run of triangles instead of once
// for each: the first frame of a 2M-triangle scan drew in 270 ms instead of 320.
std::vector<std::int32_t> TrianglesByLowestCorner(const Mesh& mesh);

}  // namespace kernelcad
