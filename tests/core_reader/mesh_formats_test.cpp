// STL, OBJ and PLY: every form each format comes in, what the writers write reads back as it
// was, and hostile files refused with the file, the place and the reason.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <string>

#include "kernelcad/core/mesh_writers.h"
#include "kernelcad/core/scan_reader.h"
#include "reader_text.h"

using kernelcad::Mesh;
using kernelcad::ReadScanBuffer;
using kernelcad::ScanFormat;

namespace {

// A 4 x 3 grid of points in two triangles per cell, coloured, with awkward coordinates.
Mesh Grid() {
  Mesh m;
  for (int i = 0; i < 12; ++i) {
    m.points.insert(m.points.end(), {i % 4 * 0.1f - 0.0f, i / 4 * 1e-3f, i * 1234.5678f - 3e4f});
    m.colors.insert(m.colors.end(), {std::uint8_t(i * 20), std::uint8_t(255 - i), 7});
  }
  for (int a = 0; a < 7; ++a) {
    if (a % 4 == 3) continue;
    m.triangles.insert(m.triangles.end(), {a, a + 1, a + 5, a, a + 5, a + 4});
  }
  return m;
}

// The triangles as corner coordinates, which welding and renumbering leave as they are.
std::multiset<std::array<float, 9>> Corners(const Mesh& m) {
  std::multiset<std::array<float, 9>> out;
  for (std::size_t t = 0; t < m.triangleCount(); ++t) {
    std::array<float, 9> c;
    for (int k = 0; k < 9; ++k)
      c[k] = m.points[3 * std::size_t(m.triangles[3 * t + k / 3]) + k % 3];
    out.insert(c);
  }
  return out;
}

const std::map<ScanFormat, std::string> kNames = {{ScanFormat::StlBinary, "grid.stl"},
                                                  {ScanFormat::StlAscii, "grid.stl"},
                                                  {ScanFormat::Obj, "grid.obj"},
                                                  {ScanFormat::PlyAscii, "grid.ply"},
                                                  {ScanFormat::PlyLittleEndian, "grid.ply"},
                                                  {ScanFormat::PlyBigEndian, "grid.ply"}};

std::string Le32(std::uint32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[i] = char(v >> 8 * i);
  return s;
}

std::string StlHeader(std::uint32_t count) { return std::string(80, 'x') + Le32(count); }

std::string StlTriangle(float bad = 0) {
  std::string s(12, '\0');
  const float c[9] = {0, 0, 0, 1, 0, 0, 0, 1, bad};
  s.append(reinterpret_cast<const char*>(c), sizeof c);
  return s + std::string(2, '\0');
}

const std::string kPlyTriangle =
    "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
    "property float z\nelement face 1\nproperty list uchar int vertex_indices\nend_header\n"
    "0 0 0\n1 0 0\n0 1 0\n";

std::string Ply(const std::string& format, const std::string& body) {
  return "ply\nformat " + format +
         " 1.0\nelement vertex 3\nproperty double x\nproperty double y\nproperty double z\n"
         "element face 1\nproperty list uchar uint vertex_indices\nend_header\n" +
         body;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// What is written in any form reads back as the same surface, to the last bit.

TEST(MeshFormats, EveryFormWrittenReadsBackAsTheSameSurface) {
  const Mesh grid = Grid();
  for (const auto& [format, name] : kNames) {
    SCOPED_TRACE(std::string(kernelcad::FormatName(format)));
    const auto scan = ReadScanBuffer(kernelcad::MeshFileBytes(grid, format), name);
    EXPECT_EQ(scan.format, format);
    EXPECT_EQ(Corners(scan.mesh), Corners(grid));
    EXPECT_EQ(scan.mesh.pointCount(), grid.pointCount());  // STL's corners welded
    const bool stl = format == ScanFormat::StlBinary || format == ScanFormat::StlAscii;
    if (!stl) {
      EXPECT_EQ(scan.mesh.points, grid.points);
    }
    EXPECT_EQ(scan.mesh.colors, stl ? std::vector<std::uint8_t>{} : grid.colors);
  }
  // The content decides over a misleading name where it can.
  EXPECT_EQ(ReadScanBuffer(kernelcad::MeshFileBytes(grid, ScanFormat::StlBinary), "g.wrl").format,
            ScanFormat::StlBinary);
  EXPECT_EQ(ReadScanBuffer(kPlyTriangle + "3 0 1 2\n", "g.obj").format, ScanFormat::PlyAscii);
  // A binary STL whose header begins with "solid", as some exporters write it, a byte too long.
  std::string solid = kernelcad::MeshFileBytes(grid, ScanFormat::StlBinary) + '\0';
  solid.replace(0, 5, "solid");
  EXPECT_EQ(ReadScanBuffer(solid, "s.stl").mesh.pointCount(), grid.pointCount());
}

TEST(MeshFormats, ObjIndexFormsNegativeIndicesPolygonsAndGroups) {
  const std::string obj =
      "mtllib missing.mtl\no foot\ng sole\nv 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n"
      "vt 0 0\nvt 1 0\nvt 1 1\nvn 0 0 1\nusemtl skin\ns 1\n"
      "f 1 2 3\n"
      "f 1/1 3/3 4/2\n"
      "g top\r\nf 1//1 2//1 3//1\n"
      "f -4/-3/-1 -3/-2/-1 -2/-1/-1 -1/1/1\n"  // a quad, counted back from the last point
      "# a comment\n\n";
  const auto scan = ReadScanBuffer(obj, "foot.obj");
  EXPECT_EQ(scan.mesh.pointCount(), 4u);
  EXPECT_EQ(scan.mesh.triangles,
            (std::vector<std::int32_t>{0, 1, 2, 0, 2, 3, 0, 1, 2, 0, 1, 2, 0, 2, 3}));
  // Colours only when every point has them.
  EXPECT_TRUE(ReadScanBuffer("v 0 0 0 1 0 0\nv 1 0 0\nv 0 1 0 0 0 1\nf 1 2 3\n", "c.obj")
                  .mesh.colors.empty());
}

TEST(MeshFormats, StlCornersWeldIntoOneVertexPerPoint) {
  // One triangle repeated welds to its three corners, and is refused where the repeats begin.
  std::string stl = StlHeader(200'000);
  for (int i = 0; i < 200'000; ++i) stl += StlTriangle();
  EXPECT_NE(reader_text::ErrorOf(stl, "same.stl")
                .find("same.stl: its first 10025 triangles have only 3 corners"),
            std::string::npos);
  // -0 and +0 are one point; ASCII with a name after solid and endsolid, several solids.
  const auto ascii = ReadScanBuffer(
      "solid a b\n facet normal 0 0 1\n  outer loop\n   vertex 0 0 0\n   vertex 1 0 0\n"
      "   vertex 0 1 0\n  endloop\n endfacet\nendsolid a b\nsolid\nfacet normal 0 0 0\nouter loop\n"
      "vertex -0 0 0\nvertex 0 1 0\nvertex -1 0 -0\nendloop\nendfacet\nendsolid\n",
      "t.stl");
  EXPECT_EQ(ascii.mesh.pointCount(), 4u);
  EXPECT_EQ(ascii.mesh.triangles, (std::vector<std::int32_t>{0, 1, 2, 0, 2, 3}));
}

TEST(MeshFormats, PlyElementsPropertiesAndByteOrders) {
  // Other elements and properties stepped over, doubles and float colours, an edge element.
  const std::string ply =
      "ply\r\nformat ascii 1.0\r\ncomment made by hand\r\nobj_info x\r\nelement vertex 3\r\n"
      "property double x\r\nproperty float confidence\r\nproperty double y\r\nproperty double z\r\n"
      "property float red\r\nproperty float green\r\nproperty float blue\r\nelement face 1\r\n"
      "property uchar flags\r\nproperty list uchar int vertex_index\r\nelement edge 1\r\n"
      "property int vertex1\r\nproperty int vertex2\r\nend_header\r\n"
      "0 9 0 0 1 0 0\r\n1 9 0 0 0 1 0\r\n0 9 1 0 0 0 0.5\r\n7 3 2 1 0\r\n0 1\r\n";
  const auto scan = ReadScanBuffer(ply, "t.ply");
  EXPECT_EQ(scan.mesh.points, (std::vector<float>{0, 0, 0, 1, 0, 0, 0, 1, 0}));
  EXPECT_EQ(scan.mesh.triangles, (std::vector<std::int32_t>{2, 1, 0}));
  EXPECT_EQ(scan.mesh.colors, (std::vector<std::uint8_t>{255, 0, 0, 0, 255, 0, 0, 0, 128}));
}

// What other programs write beside the common forms: a byte order mark, capitals, a binary
// STL's count left 0, OBJ's comments after a statement, continued lines, statements of a
// writer's own, an empty last slot and colours from 0 to 255, PLY's triangle strips and blank
// lines.
TEST(MeshFormats, OtherWritersDialectsRead) {
  const std::string facet =
      " FACET NORMAL 0 0 1\r\n  OUTER LOOP\r\n   VERTEX 0 0 0\r\n   VERTEX 1 0 0\r\n"
      "   Vertex 0 1 0\r\n  ENDLOOP\r\n ENDFACET\r\n";
  const auto upper = ReadScanBuffer("\xEF\xBB\xBF SOLID T\r\n" + facet + "ENDSOLID T\r\n", "u.stl");
  EXPECT_EQ(upper.format, ScanFormat::StlAscii);
  EXPECT_EQ(upper.mesh.points, (std::vector<float>{0, 0, 0, 1, 0, 0, 0, 1, 0}));
  const auto streamed = ReadScanBuffer(StlHeader(0) + StlTriangle() + StlTriangle(2), "z.stl");
  EXPECT_EQ(streamed.mesh.triangleCount(), 2u);

  const auto obj = ReadScanBuffer(
      "\xEF\xBB\xBFv 0 0 0 255 0 0 # red\nv 1 0 0 0 255 0\nv 0 1 0 0 0 128\nv 1 1 0 0 0 0\n"
      "vt 0 0\nvc 1 2 3\nf 1/1/ 2/1/ \\\n 3/1/ # a comment\nf 2 4 3\n",
      "w.obj");
  EXPECT_EQ(obj.mesh.triangles, (std::vector<std::int32_t>{0, 1, 2, 1, 3, 2}));
  EXPECT_EQ(obj.mesh.colors, (std::vector<std::uint8_t>{255, 0, 0, 0, 255, 0, 0, 0, 128, 0, 0, 0}));

  const auto strips = ReadScanBuffer(
      "ply\nformat ascii 1.0\nelement vertex 5\nproperty float x\nproperty float y\n"
      "property float z\nelement tristrips 1\nproperty list int int vertex_indices\n"
      "end_header\n\n0 0 0\n1 0 0\n \r\n0 1 0\n1 1 0\n2 2 0\n8 0 1 2 3 3 -1 3 4\n",
      "s.ply");
  EXPECT_EQ(strips.mesh.triangles, (std::vector<std::int32_t>{0, 1, 2, 2, 1, 3}));
}

// ---------------------------------------------------------------------------------------------
// Hostile files: each refused with the file, the place and the reason, nothing allocated for
// what a header promises but the file does not hold.

TEST(MeshFormats, HostileFilesNameTheFileThePlaceAndTheReason) {
  const std::string tri = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";
  const std::string stlFacet =
      "solid s\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\nvertex 0 1 ";
  double big[9] = {0, 0, 0, 1, 0, 0, 0, 1, 0};
  const std::string binaryBody(reinterpret_cast<const char*>(big), sizeof big);
  double nan[9] = {0, 0, 0, 1, 0, 0, 0, 1, std::numeric_limits<double>::quiet_NaN()};
  const struct {
    std::string name, bytes, message;
  } cases[] = {
      {"s.stl", StlHeader(1'000'000) + StlTriangle(),
       "s.stl, byte 80: the header promises 1000000 triangles (50.0 MB) but the file holds 134 "
       "bytes"},
      {"s.stl", StlHeader(4'000'000'000u), "promises 4000000000 triangles"},
      {"s.stl", std::string(60, 'x'), "s.stl, byte 60: the file ends inside the 84-byte"},
      {"s.stl", StlHeader(2) + StlTriangle() + StlTriangle(std::numeric_limits<float>::infinity()),
       "s.stl, triangle 2 (byte 134): a corner has a NaN or infinite coordinate"},
      {"s.stl", StlHeader(0), "s.stl: the file holds no surface geometry"},
      {"s.stl", stlFacet + "0\n", "s.stl, line 7: the file ends inside a solid; cut short?"},
      {"s.stl", stlFacet + "nan\n", "s.stl, line 6: NaN, infinite or out of range value 'nan'"},
      {"s.stl", stlFacet + "1e39\n", "s.stl, line 6: a vertex coordinate value"},
      {"s.stl", stlFacet + "\n", "line 6: expected a vertex coordinate, found the end of the line"},
      {"s.obj", tri + "f 1 2 5\n",
       "s.obj, line 4: a face names point 5, but the file defines only 3"},
      {"s.obj", tri + "f 1 2 -4\n", "s.obj, line 4: a face names point -4, but only 3 are defined"},
      {"s.obj", tri + "f 0 1 2\n", "s.obj, line 4: a face names point 0; OBJ counts from 1"},
      {"s.obj", tri + "f 1/1 2/1 3/1\n",
       "line 4: a face names texture coordinate 1, but the file "},
      {"s.obj", tri + "f 1/x 2 3\n", "line 4: expected a face corner (v, v/vt, v//vn or v/vt/vn)"},
      {"s.obj", tri + "f 1 2 99999999999\n", "line 4: expected a face corner"},
      {"s.obj", "v 0 inf 0\n", "s.obj, line 1: NaN, infinite or out of range value 'inf'"},
      {"s.obj", tri + "f 1 2\n", "s.obj: the file holds no surface geometry"},
      {"s.obj",
       "\x7f"
       "ELF\x02\x01",
       "s.obj, line 1: expected an OBJ statement"},
      {"s.ply", "ply\nformat ascii 1.0\nelement vertex 1000000\nproperty float x\nend_header\n",
       "s.ply, line 3: the header promises 1000000 vertex records, at least 2.0 MB, but only 0 "
       "bytes follow"},
      {"s.ply", Ply("binary_little_endian", binaryBody + "\3" + Le32(0) + Le32(1)),
       "s.ply, byte 254: the file ends early; cut short?, face 1 of 1"},
      {"s.ply", Ply("binary_little_endian", binaryBody + "\3" + Le32(0) + Le32(1) + Le32(3)),
       "s.ply, byte 254: a face names vertex 3, but the file has 3, face 1 of 1"},
      {"s.ply",
       Ply("binary_little_endian", std::string(reinterpret_cast<const char*>(nan), sizeof nan) +
                                       "\3" + Le32(0) + Le32(1) + Le32(2)),
       "s.ply, byte 237: a NaN or infinite value in z, vertex 3 of 3"},
      {"s.ply", kPlyTriangle + "4 0 1 2\n", "s.ply, line 13: expected vertex_indices, found the "},
      {"s.ply", kPlyTriangle + "3 0 1 -1\n", "s.ply, line 13: a face names vertex -1"},
      {"s.ply", "ply\nformat ascii 1.0\nelement vertex 4294967296\n",
       "line 3: expected an element"},
      {"s.ply", "ply\nformat ascii 1.0\nelement vertex 3\n",
       "s.ply, line 4: the file ends inside the PLY header"},
      {"s.ply", "ply\nformat binary_middle_endian 1.0\n", "line 2: unknown PLY format"},
      {"s.ply", "PLY\n", "s.ply, line 1: not a PLY file"},
  };
  for (const auto& c : cases) {
    const std::string message = reader_text::ErrorOf(c.bytes, c.name);
    EXPECT_NE(message.find(c.message), std::string::npos) << "got: " << message;
  }
}

// Points no face uses are dropped, as the VRML reader drops them, colours with them.
TEST(MeshFormats, PointsNoFaceUsesAreDropped) {
  const auto obj = ReadScanBuffer(
      "v 9 9 9 1 1 1\nv 0 0 0 1 0 0\nv 1 0 0 0 1 0\nv 7 7 7 1 1 1\nv 0 1 0 0 0 1\nf 2 3 5\n",
      "c.obj");
  EXPECT_EQ(obj.mesh.points, (std::vector<float>{0, 0, 0, 1, 0, 0, 0, 1, 0}));
  EXPECT_EQ(obj.mesh.colors, (std::vector<std::uint8_t>{255, 0, 0, 0, 255, 0, 0, 0, 255}));
  EXPECT_EQ(obj.mesh.triangles, (std::vector<std::int32_t>{0, 1, 2}));
  Mesh spare = Grid();
  spare.points.insert(spare.points.begin(), {5, 5, 5});
  spare.colors.insert(spare.colors.begin(), {1, 2, 3});
  for (std::int32_t& t : spare.triangles) ++t;
  const auto ply =
      ReadScanBuffer(kernelcad::MeshFileBytes(spare, ScanFormat::PlyBigEndian), "s.ply");
  EXPECT_EQ(ply.mesh.points, Grid().points);
  EXPECT_EQ(ply.mesh.colors, Grid().colors);
  EXPECT_EQ(ply.mesh.triangles, Grid().triangles);
}
