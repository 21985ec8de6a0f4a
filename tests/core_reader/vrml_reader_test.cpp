#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "kernelcad/core/scan_reader.h"
#include "reader_text.h"

using kernelcad::ReadScanBuffer;
using kernelcad::ReadScanFile;
using kernelcad::ScanError;
using reader_text::ErrorOf;
using reader_text::Gzip;
using reader_text::kTriangle;
using reader_text::kV1;
using reader_text::kV2;

namespace {

const std::string kData = QUARNEL_TEST_DATA;

void ExpectPoint(const kernelcad::Mesh& m, std::size_t i, double x, double y, double z) {
  ASSERT_LT(i, m.pointCount());
  EXPECT_NEAR(m.points[3 * i], x, 1e-9) << "point " << i;
  EXPECT_NEAR(m.points[3 * i + 1], y, 1e-9) << "point " << i;
  EXPECT_NEAR(m.points[3 * i + 2], z, 1e-9) << "point " << i;
}

// The shared test files, those under castle-demo-models/ named without it: what each must give
// (the VRML 1.0 files are those under a vrml_1 folder). Triangle counts and bounds are the
// reference reader's unless a comment says otherwise.

struct Loaded {
  const char* file;
  long triangles;
  std::array<double, 6> bbox;
};

const Loaded kLoaded[] = {
    {"vrml_2/normals.wrl", 8, {0, -20, 0, 50, 5, 0}},
    {"vrml_2/smoothing_independent_of_faces_order.wrl",
     112,
     {-6.2136, -6.1177, -6.4856, 6.2136, 6.1177, 6.4856}},
    {"vrml_2/teapot.wrl", 3014, {-2.6368, 0.0071, -1.3289, 3.0115, 2.7725, 2.1827}},
    {"vrml_2/warnings/normal_index_wrong.wrl",
     2,
     {-60.6, 68.6328, 45.3125, -60.3059, 68.7744, 45.8789}},
    {"vrml_2/subdir1/subdir2/texture_test.wrl", 3, {8, -1, 0, 11, 3, 0}},
    {"vrml_engine_doc_simple_examples/reuse_coordinate.wrl",
     448,
     {-11.1721, -11.1721, -1, 11.1721, 11.1721, 64}},
    {"lights_materials/cubes_mesh.wrl", 6144, {-36, -36, -36, 36, 36, 36}},
    {"lights_materials/vrml_1/material_per_face_vertex.wrl", 12, {0, 0, 0, 20, 2.5, 0}},
    {"lights_materials/vrml_1/normals.wrl", 8, {0, -40, 0, 50, 5, 0}},
    // No reference. Counted by hand: DEF Mesh (1535 triangles) USEd 20 times, Plane 10098,
    // Plane_003 2; Cube sits under a Switch without whichChild and is not drawn.
    {"lights_materials/vrml_1/forest-fog/forest.wrl",
     40800,
     {-7.46075, -7.7694, -1.84684, 28.7492, 28.0706, 2.48924}},
    {"castle/old/vrml_2/castle.wrl", 1066, {-127.795, -98.4478, -1.9804, 128.362, 104.928, 64}},
    {"castle/old/vrml_1/castle.wrl", 1066, {-127.795, -98.4478, -1.9804, 128.362, 104.928, 64}},
    {"vrml_1/concave.wrl", 8, {0, 0.15, 0, 2.85, 1.85, 0}},
    // No reference. One IndexedFaceSet of 134 triangles (all polygons are triangles), one
    // plane at z = -0.001325; bounds taken from the point list by hand.
    {"vrml_1/flat_triangles_octree_test.wrl",
     134,
     {-16.9254, -17.0185, -0.001325, 17.1346, 17.0415, -0.001325}},
    {"vrml_1/shape_hints.wrl", 48, {-4, -4, -1, 4, 4, 1}},
    {"vrml_1/subdir1/subdir2/texture_test.wrl", 3, {8, -1, 0, 11, 3, 0}},
    {"assimp/MotionCaptureROM.WRL", 2000, {-31.5796, 0.9022, -26.8277, 32.4775, 68.4953, -12.5177}},
    {"assimp/Wuson.wrl", 3732, {-0.46, -1.6222, -1.5153, 0.46, 1.6222, 0.0006}},
    {"threejs/meshWithLines.wrl", 12, {-1.2, -1.35, -0.18, 11, 1.35, 0}},
};

// Every other shared file is refused: these with their own reason, the rest (Inline only,
// points, lines, primitives, empty) as holding no surface geometry.
const std::map<std::string, std::string> kRefusedFor = {
    {"vrml_2/empty_no_coords.wrl", "line 7: IndexedFaceSet (line 7) has no coordinates"},
    {"vrml_2/warnings/not_enough_coords.wrl",
     "line 44: index 23 is outside the point list of IndexedFaceSet (line 39) (1 points)"}};

TEST(VrmlSharedFiles, EveryFileIsReadAsListedOrRefused) {
  std::map<std::string, const Loaded*> loaded;
  for (const Loaded& e : kLoaded) loaded[e.file] = &e;
  int refused = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(kData)) {
    const std::string ext = entry.path().extension().string();
    if (ext != ".wrl" && ext != ".WRL" && ext != ".gz") continue;
    // Forward slashes on every platform, as the table lists the files.
    std::string rel = std::filesystem::relative(entry.path(), kData).generic_string();
    if (rel.starts_with("castle-demo-models/")) rel.erase(0, 19);
    SCOPED_TRACE(rel);
    const auto found = loaded.find(rel);
    if (found == loaded.end()) {
      ++refused;
      const auto reason = kRefusedFor.find(rel);
      std::string message = "was read, should be refused";
      try {
        ReadScanFile(entry.path().string());
      } catch (const ScanError& err) {
        message = err.what();
      }
      EXPECT_NE(
          message.find(reason == kRefusedFor.end() ? "holds no surface geometry" : reason->second),
          std::string::npos)
          << message;
      EXPECT_EQ(message.rfind(entry.path().string(), 0), 0u) << "message must name the file";
      continue;
    }
    const Loaded& e = *found->second;
    loaded.erase(found);
    kernelcad::ScanFile scan;
    ASSERT_NO_THROW(scan = ReadScanFile(entry.path().string()));
    EXPECT_EQ(scan.version, rel.find("vrml_1") == std::string::npos ? "2.0" : "1.0");
    EXPECT_FALSE(scan.gzip);
    EXPECT_EQ(static_cast<long>(scan.mesh.triangleCount()), e.triangles);
    const auto b = scan.mesh.bounds();
    double extent = 0;
    for (int a = 0; a < 3; ++a) extent = std::max(extent, e.bbox[a + 3] - e.bbox[a]);
    // 1e-3 relative to the model size; the reference prints 4-6 significant digits.
    for (std::size_t a = 0; a < 6; ++a)
      EXPECT_NEAR(b[a], e.bbox[a], 1e-3 * extent) << "bound " << a;
    for (const std::int32_t t : scan.mesh.triangles)
      ASSERT_TRUE(t >= 0 && std::size_t(t) < scan.mesh.pointCount());
  }
  for (const auto& [file, e] : loaded) ADD_FAILURE() << file << " is listed but missing";
  EXPECT_EQ(refused, 33);
}

// ---------------------------------------------------------------------------------------------
// Refused input: each message names the file, the line and the reason.

const std::string kPoints = kV2 + "Shape { geometry IndexedFaceSet { coord Coordinate { point [";

TEST(VrmlRefused, BrokenInputNamesLineAndReason) {
  const std::string gz = Gzip(kV2 + kTriangle + kTriangle);
  std::string corrupt = gz;
  corrupt[12] = static_cast<char>(corrupt[12] ^ 0x55);
  corrupt[13] = static_cast<char>(corrupt[13] ^ 0x55);
  struct Case {
    std::string text;
    std::string message;
  } cases[] = {
      {"", "scan.wrl: empty file"},
      {"OFF\n3 1 0\n", "scan.wrl, line 1: not a VRML file"},
      {kPoints + "0 0 0, 1 0 0,\n0 1",
       "line 3: unexpected end of file inside the point list started on line 2"},
      {kV2 + "Transform {\n children [\n",
       "line 4: unexpected end of file inside a node list started on line 3"},
      {kV2 + "Group { children [ Shape { } } }\n", "line 2: expected a node, found '}'"},
      {kPoints + "0 0 0, 1 0 0, 0 1 0] }\ncoordIndex [0 1 2 -1\n 0 2 3 -1] } }\n",
       "line 4: index 3 is outside the point list of IndexedFaceSet (line 2) (3 points)"},
      {kPoints + "0 0 0,\n 1 nan 0, 0 1 0] }\ncoordIndex [0 1 2] } }\n",
       "line 3: NaN or infinite value 'nan' in point"},
      {kPoints + "0 0 0, 1 1.5.5 0, 0 1 0] }\ncoordIndex [0 1 2] } }\n",
       "line 2: expected point, found '1.5.5'"},
      {kPoints + "0 0 0, 1 -4e38 0, 0 1 0] }\ncoordIndex [0 1 2] } }\n",
       "line 2: point value -4e+38 is out of range"},
      {kV2 + "Shape { geometry IndexedFaceSet { coordIndex [0 1 2] } }\n",
       "line 2: IndexedFaceSet (line 2) has no coordinates"},
      {kV1 + "Separator { IndexedFaceSet { coordIndex [0 1 2] } }\n",
       "line 2: IndexedFaceSet (line 2) has no coordinates (no Coordinate3 before it)"},
      {kV2 + "Shape { geometry Sphere { radius 2 } }\nInline { url \"foot.wrl\" }\n",
       "scan.wrl: the file holds no surface geometry"},
      {kV2 + "Shape {\n" + std::string("\x01\x02\xff\x00junk", 8),
       "line 3: binary data (byte 0x01)"},
      {std::string("\x7f"
                   "ELF\x02\x01\x01\0\0\0",
                   10),
       "line 1: not a VRML file (binary data)"},
      {kV2 + "Group { children USE Missing }\n", "line 2: USE of undefined name 'Missing'"},
      {kV2 + "Shape { geometry IndexedFaceSet { colorPerVertex maybe } }\n",
       "line 2: expected TRUE or FALSE for colorPerVertex, found 'maybe'"},
      {gz.substr(0, gz.size() - 12), "scan.wrl: gzip stream is cut off"},
      {corrupt, "gzip"},
      // Quoted file text is escaped where it is not UTF-8, and cut short when long.
      {kV2 + "Shape { geometry IndexedFaceSet { colorPerVertex \xff\xc3\xa9\xe2\x82 } }\n",
       "found '\\xff\xc3\xa9\\xe2\\x82'"},
      {kV2 + "Shape { geometry IndexedFaceSet { colorPerVertex " + std::string(100, 'y') + " } }",
       "found '" + std::string(40, 'y') + "...'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const std::string msg = ErrorOf(c.text);
    EXPECT_NE(msg.find(c.message), std::string::npos) << "got: " << msg;
  }
  EXPECT_EQ(ErrorOf("", "sole\xff.wrl"), "sole\\xff.wrl: empty file");
}

TEST(VrmlRefused, NestingAndInstancingAreBounded) {
  std::string deep = kV2;
  for (int i = 0; i < 5000; ++i) deep += "Group { children [\n";
  EXPECT_NE(ErrorOf(deep).find("nested deeper than 200 levels"), std::string::npos);

  std::string fine = kV2;
  for (int i = 0; i < 190; ++i) fine += "Transform { translation 1 0 0 children [\n";
  fine += kTriangle;
  for (int i = 0; i < 190; ++i) fine += "] }\n";
  const auto scan = ReadScanBuffer(fine, "deep.wrl");
  ExpectPoint(scan.mesh, 1, 191, 0, 0);

  // A chain of DEF/USE redefinitions nests without any textual nesting.
  std::string chain = kV2 + "DEF X Group { children [" + kTriangle + "] }\n";
  for (int i = 0; i < 400; ++i) chain += "DEF X Group { children USE X }\n";
  EXPECT_NE(ErrorOf(chain).find("nested deeper than 200 levels"), std::string::npos);

  // 2^40 instances of one triangle from a few hundred bytes, refused before allocating.
  std::string bomb = kV2 + "DEF L0 Group { children [" + kTriangle + "] }\n";
  for (int i = 1; i <= 40; ++i)
    bomb += "DEF L" + std::to_string(i) + " Group { children [ USE L" + std::to_string(i - 1) +
            " USE L" + std::to_string(i - 1) + " ] }\n";
  EXPECT_NE(ErrorOf(bomb).find("loading would take more than 67.1 MB of memory"),
            std::string::npos);
}

// ---------------------------------------------------------------------------------------------
// Accepted input.

TEST(VrmlRead, Vrml2NestedTransformsAndDefUse) {
  // Outer: translate (10,0,0), rotate 90 deg about z. Inner: scale 2 about centre (1,0,0).
  // Point p: inner gives C + S(p - C); outer gives T + R(inner).
  const std::string text =
      kV2 +
      "Transform { translation 10 0 0 rotation 0 0 1 1.5707963267948966 children [\n"
      "  Transform { scale 2 2 2 center 1 0 0 children [\n"
      "    DEF Tri Shape { geometry IndexedFaceSet { coord DEF Pts Coordinate { point [0 0 0, 1 0 "
      "0, 0 1 0] }\n"
      "      coordIndex [0 1 2 -1] } }\n"
      "  ] }\n"
      "] }\n"
      "Transform { translation 0 0 5 children USE Tri }\n"
      "Transform { translation 0 0 -5 children Shape { geometry IndexedFaceSet { coord USE Pts "
      "coordIndex [2 1 0] } } }\n";
  const auto scan = ReadScanBuffer(text, "t.wrl");
  ASSERT_EQ(scan.mesh.pointCount(), 9u);
  // (0,0,0) -> inner (-1,0,0) -> rotated (0,-1,0) -> (10,-1,0); (0,1,0) -> (-1,2,0) -> (8,-1,0).
  // Points 3-5: USE of the Shape under its own transform; 6-8: USE of the Coordinate alone.
  const double want[][4] = {{0, 10, -1, 0}, {1, 10, 1, 0}, {2, 8, -1, 0}, {3, 0, 0, 5},
                            {5, 0, 1, 5},   {6, 0, 0, -5}, {8, 0, 1, -5}};
  for (const auto& w : want) ExpectPoint(scan.mesh, std::size_t(w[0]), w[1], w[2], w[3]);
  EXPECT_EQ(scan.mesh.triangles, (std::vector<std::int32_t>{0, 1, 2, 3, 4, 5, 8, 7, 6}));
}

TEST(VrmlRead, Vrml1TransformsAccumulateAndSeparatorsRestore) {
  const std::string text =
      kV1 +
      "Separator {\n"
      "  Coordinate3 { point [0 0 0, 1 0 0, 0 1 0] }\n"
      "  Translation { translation 5 0 0 }\n"
      "  Separator {\n"
      "    Scale { scaleFactor 2 3 1 }\n"
      "    Translation { translation 1 1 0 }\n"  // in scaled space: +2, +3
      "    DEF Tri IndexedFaceSet { coordIndex [0, 1, 2] }\n"
      "    Coordinate3 { point [9 9 9, 9 9 9, 9 9 9] }\n"  // gone after the Separator
      "  }\n"
      "  USE Tri\n"  // only the Translation 5 0 0 applies
      "  TransformSeparator { Rotation { rotation 0 0 1 3.141592653589793 } USE Tri }\n"
      "  MatrixTransform { matrix 1 0 0 0  0 1 0 0  0 0 1 0  0 0 7 1 }\n"
      "  Group { Translation { translation 0 1 0 } }\n"  // a Group does not restore
      "  USE Tri\n"
      "  Switch { IndexedFaceSet { coordIndex [0 1 2] } }\n"  // whichChild -1: not drawn
      "}\n";
  const auto scan = ReadScanBuffer(text, "v1.wrl");
  EXPECT_EQ(scan.version, "1.0");
  ASSERT_EQ(scan.mesh.pointCount(), 12u);
  // Point 7: rotated by pi, then restored.
  const double want[][4] = {{0, 7, 3, 0}, {1, 9, 3, 0}, {2, 7, 6, 0}, {3, 5, 0, 0},
                            {5, 5, 1, 0}, {7, 4, 0, 0}, {9, 5, 1, 7}, {11, 5, 2, 7}};
  for (const auto& w : want) ExpectPoint(scan.mesh, std::size_t(w[0]), w[1], w[2], w[3]);
}

// Accepted text and the triangles, colours (r g b per point) and point count it must give.
TEST(VrmlRead, PolygonsColoursAndSyntaxVariants) {
  const std::string quad = "coord Coordinate { point [0 0 0, 1 0 0, 1 1 0, 0 1 0] }\n";
  const std::string flat =
      "Shape { geometry IndexedFaceSet { coord Coordinate { point [5 5 5, 6 6 6, 7 7 7] }"
      " coordIndex [0 1 -1 2] } }\n";
  const std::string tris =
      "Shape { geometry IndexedFaceSet { " + quad + "coordIndex [0 1 2 -1 0 2 3 -1] } }\n";
  const std::string colored =
      "Shape { geometry IndexedFaceSet { coord Coordinate { point [0 0 0, 1 0 0, 0 1 0] }\n"
      " color Color { color [1 0 0, 0 1 0, 0 0 1] } coordIndex [0 1 2] } }\n";
  const std::string tri =
      "Shape { geometry IndexedFaceSet { coord Coordinate { point [0 0 0, 1 0 0, 0 1 0] }\n";
  struct Case {
    std::string text;
    std::vector<std::int32_t> tris;
    std::vector<std::uint8_t> colors;
    std::size_t points;
  } cases[] = {
      // Quad -> 2 triangles, the two short polygons skipped, the last (no -1) -> 2 triangles;
      // PROTO, EXTERNPROTO, Script, ROUTE, strings and the grouping nodes passed over.
      {"# comment { [ \"\n"
       "PROTO Foot [ field SFVec3f size 1 1 1 field MFNode parts [ Shape { } ] ] { Group { "
       "children IS parts } }\n"
       "EXTERNPROTO Ext [ field SFFloat a ] [ \"urn:x\" \"http://x/y.wrl#Ext\" ]\n"
       "Foot { size 2 2 2 }\nExt { a 1 }\n"
       "WorldInfo { info [\"a } tricky ] string\", \"esc \\\" quote\"] title \"t\" }\n"
       "Script { url \"javascript: function f() { }\" field SFBool on TRUE eventIn SFTime touch }\n"
       "DEF T TimeSensor { } ROUTE T.fraction_changed TO I.set_fraction\n"
       "Shape { appearance Appearance { texture PixelTexture { image 2 1 3 0xFF0000 0x00FF00 } }\n"
       "  geometry IndexedFaceSet {\n"
       "    coord Coordinate { point [ 0 0 0, 1 0 0, 1 1 0, 0 1 0, +2 .5 -1.e0, 3e0 0 0 ] }\n"
       "    coordIndex [ 0, 1, 2, 3, -1, 4, 5, -1, 3, 2 -1 ,, 0 1 4 5 ]\n"
       "    solid FALSE creaseAngle 0.5 ccw TRUE } }\n"
       "Anchor { children Collision { children [ Billboard { children [] } ] proxy NULL } }\n",
       {0, 1, 2, 0, 2, 3, 0, 1, 4, 0, 4, 5},
       {},
       6},
      // Colours are kept only when every part has them per vertex; colorIndex picks by position.
      {colored + tri +
           " color Color { color [0.5 0.5 0.5, 1 1 1] } colorIndex [1 0 1] coordIndex [0 1 2] } "
           "}\n",
       {0, 1, 2, 3, 4, 5},
       {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255, 128, 128, 128, 255, 255, 255},
       6},
      {colored + kTriangle, {0, 1, 2, 3, 4, 5}, {}, 6},
      {colored + tri +
           " color Color { color [1 0 0] } colorPerVertex FALSE coordIndex [0 1 2] } }\n",
       {0, 1, 2, 3, 4, 5},
       {},
       6},
      // Only triangles: the index list is taken over in place. Pinned against the general path:
      // a last face without -1, points of an earlier part before it, colours by position.
      {"Shape { geometry IndexedFaceSet { " + quad + "coordIndex [0 1 2 -1 0 2 3 -1 3 2 1] } }\n",
       {0, 1, 2, 0, 2, 3, 3, 2, 1},
       {},
       4},
      // Points no triangle uses are dropped.
      {flat + tris, {0, 1, 2, 0, 2, 3}, {}, 4},
      // A mirroring transform keeps faces outward.
      {"Transform { scale -1 1 1 children [" + kTriangle + "] }", {0, 2, 1}, {}, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const auto scan = ReadScanBuffer(kV2 + c.text, "t.wrl");
    EXPECT_EQ(scan.mesh.triangles, c.tris);
    EXPECT_EQ(scan.mesh.colors, c.colors);
    EXPECT_EQ(scan.mesh.pointCount(), c.points);
  }
}

// Plain decimals take a short path; whatever path a number takes, its point must be the general
// parser's double rounded to single precision: bit for bit, sign of zero included, at the edges
// of either path.
// Repeated into a list long enough to be read in two parts at once, with a comment in the
// first and only plain numbers in the second: every number as the general parser reads it, and
// bad values named on their lines.
TEST(VrmlRead, NumbersMatchTheGeneralParserBitForBit) {
  std::vector<std::string> numbers;
  constexpr std::size_t kPlain = 10;  // the first ten
  std::istringstream fixed(
      "0 -0 -0.0 +0.5 .5 -.25 5. 26.0036 0.1 0.3 -1.e0 9007199254740993 0.9007199254740993 "
      "12345678901234567890 0.00000000000000000000001 123456789.0123456789 "
      "00000000000000000000000012.5 -2.5E-3 3.4028234e38 4.9e-324 2.2250738585072011e-308 "
      "16777217 -16777219 0.100000001490116119384765625");
  for (std::string n; fixed >> n;) numbers.push_back(n);
  constexpr std::size_t kLines = 600'000;  // three numbers each; all plain after an eighth
  const auto number = [&numbers](std::size_t i) -> const std::string& {
    return numbers[i % (i < 3 * kLines / 8 ? numbers.size() : kPlain)];
  };
  std::vector<std::string> lines;
  for (std::size_t i = 0; i < 3 * kLines; i += 3)
    lines.push_back(number(i) + " " + number(i + 1) + " " + number(i + 2) + ",");
  lines[lines.size() / 16] += " # first part";
  const auto text = [&lines](std::size_t bad, const std::string& lastIndex) {
    std::string t = kV2 + "Shape { geometry IndexedFaceSet { coord Coordinate { point [\n";
    for (std::size_t i = 0; i < lines.size(); ++i) t += (i == bad ? "1 2 x3," : lines[i]) + "\n";
    // One face through all points: none is dropped as unused.
    t += "] } coordIndex [";
    for (std::size_t i = 0; i < lines.size(); ++i) t += std::to_string(i) + " ";
    return t + lastIndex + "] } }\n";
  };
  const auto scan = ReadScanBuffer(text(lines.size(), ""), "n.wrl");
  ASSERT_EQ(scan.mesh.points.size(), 3 * lines.size());
  for (std::size_t i = 0; i < scan.mesh.points.size(); ++i) {
    const std::string& t = number(i);
    double want = 0;
    ASSERT_EQ(std::from_chars(t.data() + (t[0] == '+'), t.data() + t.size(), want).ec, std::errc())
        << t;
    const auto single = static_cast<float>(want);
    ASSERT_EQ(std::memcmp(&single, &scan.mesh.points[i], sizeof single), 0)
        << t << " read as " << scan.mesh.points[i];
  }
  for (const std::size_t bad : {3 * lines.size() / 8, 7 * lines.size() / 8}) {
    const std::string msg = ErrorOf(text(bad, ""));
    EXPECT_NE(msg.find("line " + std::to_string(bad + 3) + ": expected point"), std::string::npos)
        << msg;
  }
  const std::string msg = ErrorOf(text(lines.size(), "9999999"));
  EXPECT_NE(msg.find("line " + std::to_string(lines.size() + 3) + ": "), std::string::npos) << msg;
}

// A coordIndex long enough to be read in two parts at once gives the mesh and the messages of
// one reading: faces that run from one part into the other, a comment or a long number that
// only the general reading takes, and bad indices named on their lines in either part.
TEST(VrmlRead, LongIndexListsReadAsOne) {
  constexpr int kPoints = 100'000;  // a scan's share of triangles to points
  std::string head = kV2 + "Shape { geometry IndexedFaceSet { coord Coordinate { point [\n";
  for (int i = 0; i < kPoints; ++i)
    head += std::to_string(i) + " " + std::to_string(i % 7) + " 0,\n";
  head += "] }\ncoordIndex [\n";
  const auto firstLine = static_cast<int>(std::count(head.begin(), head.end(), '\n')) + 1;
  // Seven indices a line, so faces run across lines; the last face has no end mark.
  struct Faces {
    std::vector<std::string> lines;
    std::size_t triangles = 1;
  };
  const auto faces = [](int quadEvery) {
    Faces f;
    std::size_t bytes = 0;
    for (int face = 0, corner = 0, k = 0; bytes < (12u << 20) || corner != 0; ++k) {
      const int size = quadEvery && face % quadEvery == 0 ? 4 : 3;
      std::string item = corner == size ? "-1" : std::to_string((face * 7 + corner * 13) % kPoints);
      f.triangles += corner == size ? static_cast<std::size_t>(size - 2) : 0;
      corner = corner == size ? 0 : corner + 1;
      face += corner == 0;
      if (k % 7 == 0) f.lines.emplace_back("  ");
      f.lines.back() += item + ", ";
      bytes += item.size() + 2;
    }
    f.lines.emplace_back("  1, 2, 3");
    return f;
  };
  const auto text = [&head](const Faces& f, const std::map<std::size_t, std::string>& changed) {
    std::string t = head;
    for (std::size_t i = 0; i < f.lines.size(); ++i) {
      const auto c = changed.find(i);
      t += (c == changed.end() ? f.lines[i] : c->second) + "\n";
    }
    return t + "] } }\n";
  };
  const auto read = [&](const Faces& f, const std::map<std::size_t, std::string>& changed) {
    return ReadScanBuffer(text(f, changed), "scan.wrl").mesh.triangles;
  };
  const Faces mixed = faces(5), triangles = faces(0);
  const std::vector<std::string>& lines = mixed.lines;
  const std::size_t n = lines.size();
  const auto plain = read(mixed, {});
  ASSERT_EQ(plain.size(), 3 * mixed.triangles);
  const auto plainTriangles = read(triangles, {});
  ASSERT_EQ(plainTriangles.size(), 3 * triangles.triangles);
  // An empty face late in a list of triangles: the triangles are no longer taken as they lie.
  const std::size_t late = 7 * triangles.lines.size() / 8;
  std::string empty = triangles.lines[late];
  empty.insert(empty.find("-1, ") + 4, "-1, ");
  EXPECT_TRUE(read(triangles, {{late, empty}}) == plainTriangles);
  // A number of ten digits, the same number: the fast rules take nine at most.
  std::string padded = lines[7 * n / 8];
  const std::size_t digits = padded.find_first_of("0123456789");
  const std::size_t length = padded.find(',', digits) - digits;
  padded.insert(digits, 10 - length, '0');
  const std::map<std::size_t, std::string> slower[] = {
      {{3 * n / 4, lines[3 * n / 4] + "# a note"}},
      {{13 * n / 16, lines[13 * n / 16] + "# see [1]"}},
      {{7 * n / 8, padded}},
  };
  for (const auto& changed : slower) {
    SCOPED_TRACE(changed.begin()->second);
    EXPECT_TRUE(read(mixed, changed) == plain);
  }
  // The largest bad index is named where it first comes, the most negative likewise.
  const auto lineOf = [&](std::size_t i) { return "line " + std::to_string(firstLine + i) + ": "; };
  const std::string big = std::to_string(kPoints + 20), bigger = std::to_string(kPoints + 50);
  const std::map<std::size_t, std::string> bad[] = {
      {{n / 8, "  " + big + ", "}, {7 * n / 8, "  " + bigger + ", 7, "}},
      {{n / 8, "  " + bigger + ", "}, {7 * n / 8, "  " + bigger + ", 7, "}},
      {{n / 8, "  -3, "}, {7 * n / 8, "  -7, "}},
  };
  const std::string named[] = {lineOf(7 * n / 8) + "index " + bigger + " is outside",
                               lineOf(n / 8) + "index " + bigger + " is outside",
                               lineOf(7 * n / 8) + "index -7 is outside"};
  for (int i = 0; i < 3; ++i) {
    const std::string msg = ErrorOf(text(mixed, bad[i]));
    EXPECT_NE(msg.find(named[i]), std::string::npos) << "got: " << msg;
  }
  // A long list cut off: no ']' follows to end it.
  const std::string cut = text(mixed, {});
  const std::string cutMsg = ErrorOf(cut.substr(0, cut.rfind(']')));
  EXPECT_NE(cutMsg.find("line " + std::to_string(firstLine + n) +
                        ": unexpected end of file inside the coordIndex list started on line " +
                        std::to_string(firstLine - 1)),
            std::string::npos)
      << cutMsg;
  // Lines go on being counted after the list.
  const std::string after = ErrorOf(text(mixed, {}) +
                                    "Shape { geometry IndexedFaceSet {\n"
                                    "colorPerVertex maybe } }\n");
  EXPECT_NE(after.find(lineOf(n + 2) + "expected TRUE or FALSE"), std::string::npos) << after;
}

}  // namespace
