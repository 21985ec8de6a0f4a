#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <cmath>
#include <filesystem>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "kernelcad/core/vrml_reader.h"

using kernelcad::ReadVrmlBuffer;
using kernelcad::ReadVrmlFile;
using kernelcad::VrmlError;

namespace {

const std::string kData = QUARNEL_TEST_DATA;

// Returns the VrmlError message, or "" when the read succeeded.
std::string ErrorOf(const std::string& text, const std::string& name = "scan.wrl") {
  try {
    ReadVrmlBuffer(text, name);
  } catch (const VrmlError& e) {
    return e.what();
  }
  return "";
}

std::string Gzip(const std::string& text) {
  z_stream zs{};
  EXPECT_EQ(deflateInit2(&zs, 9, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
  std::string out(deflateBound(&zs, text.size()) + 64, '\0');
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  zs.avail_in = static_cast<uInt>(text.size());
  zs.next_out = reinterpret_cast<Bytef*>(out.data());
  zs.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&zs, Z_FINISH), Z_STREAM_END);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  return out;
}

void ExpectPoint(const kernelcad::Mesh& m, std::size_t i, double x, double y, double z) {
  ASSERT_LT(i, m.pointCount());
  EXPECT_NEAR(m.points[3 * i], x, 1e-9) << "point " << i;
  EXPECT_NEAR(m.points[3 * i + 1], y, 1e-9) << "point " << i;
  EXPECT_NEAR(m.points[3 * i + 2], z, 1e-9) << "point " << i;
}

// ---------------------------------------------------------------------------------------------
// The shared test files: what each must give.

struct Expect {
  const char* file;
  const char* version;
  bool gzip;
  long triangles;                     // -1: refused
  std::array<double, 6> bbox;         // world bounds when loaded
  const char* error = nullptr;        // part of the message when refused
};

constexpr const char* kNoSurface = "holds no surface geometry";

// Triangle counts and bounds are the reference reader's unless a comment says otherwise.
const Expect kFiles[] = {
    {"castle-demo-models/vrml_2/cones.wrl", "2.0", false, -1, {}, kNoSurface},
    {"castle-demo-models/vrml_2/cones.wrl.gz", "2.0", true, -1, {}, kNoSurface},
    {"castle-demo-models/vrml_2/cones_gzipped_but_with_normal_extension.wrl", "2.0", true, -1, {}, kNoSurface},
    {"castle-demo-models/vrml_2/empty.wrl", "2.0", false, -1, {}, kNoSurface},
    {"castle-demo-models/vrml_2/empty_no_coords.wrl", "2.0", false, -1, {}, "line 7: IndexedFaceSet (line 7) has no coordinates"},
    {"castle-demo-models/vrml_2/empty_really.wrl", "2.0", false, -1, {}, kNoSurface},
    {"castle-demo-models/vrml_2/indexed_line_set.wrl", "2.0", false, -1, {}, kNoSurface},
    {"castle-demo-models/vrml_2/inline_test.wrl", "2.0", false, -1, {}, kNoSurface},
    {"castle-demo-models/vrml_2/kings_head.wrl", "2.0", false, -1, {}, kNoSurface},
    {"castle-demo-models/vrml_2/normals.wrl", "2.0", false, 8, {0, -20, 0, 50, 5, 0}},
    {"castle-demo-models/vrml_2/points.wrl", "2.0", false, -1, {}, kNoSurface},
    // The reference follows the Inline to subdir1/subdir2/texture_test.wrl (3 triangles);
    // a scan reader never opens other files.
    {"castle-demo-models/vrml_2/relative_names.wrl", "2.0", false, -1, {}, kNoSurface},
    {"castle-demo-models/vrml_2/smoothing_independent_of_faces_order.wrl", "2.0", false, 112,
     {-6.2136, -6.1177, -6.4856, 6.2136, 6.1177, 6.4856}},
    {"castle-demo-models/vrml_2/teapot.wrl", "2.0", false, 3014, {-2.6368, 0.0071, -1.3289, 3.0115, 2.7725, 2.1827}},
    {"castle-demo-models/vrml_2/warnings/normal_index_wrong.wrl", "2.0", false, 2,
     {-60.6, 68.6328, 45.3125, -60.3059, 68.7744, 45.8789}},
    {"castle-demo-models/vrml_2/warnings/not_allowed_children.wrl", "2.0", false, -1, {}, kNoSurface},
    {"castle-demo-models/vrml_2/warnings/not_enough_coords.wrl", "2.0", false, -1, {},
     "line 44: index 23 is outside the point list of IndexedFaceSet (line 39) (1 points)"},
    {"castle-demo-models/vrml_2/warnings/pointset_not_enough_coord.wrl", "2.0", false, -1, {}, kNoSurface},
    {"castle-demo-models/vrml_2/warnings/test_invalid_hierarchy.wrl", "2.0", false, -1, {}, kNoSurface},
    // Inline again (the reference counts the inlined file).
    {"castle-demo-models/vrml_2/subdir1/relative_inline2.wrl", "2.0", false, -1, {}, kNoSurface},
    {"castle-demo-models/vrml_2/subdir1/subdir2/texture_test.wrl", "2.0", false, 3, {8, -1, 0, 11, 3, 0}},
    {"castle-demo-models/vrml_engine_doc_simple_examples/reuse_coordinate.wrl", "2.0", false, 448,
     {-11.1721, -11.1721, -1, 11.1721, 11.1721, 64}},
    {"castle-demo-models/vrml_engine_doc_simple_examples/simplest_sphere_1.wrl", "1.0", false, -1, {}, kNoSurface},
    {"castle-demo-models/vrml_engine_doc_simple_examples/transform_accum_1.wrl", "2.0", false, -1, {}, kNoSurface},
    {"castle-demo-models/prototypes/proto_nested.wrl", "2.0", false, -1, {}, kNoSurface},
    {"castle-demo-models/prototypes/proto_ultra_simple.wrl", "2.0", false, -1, {}, kNoSurface},
    {"castle-demo-models/lights_materials/cubes_mesh.wrl", "2.0", false, 6144, {-36, -36, -36, 36, 36, 36}},
    {"castle-demo-models/lights_materials/vrml_1/material_per_face_vertex.wrl", "1.0", false, 12, {0, 0, 0, 20, 2.5, 0}},
    {"castle-demo-models/lights_materials/vrml_1/normals.wrl", "1.0", false, 8, {0, -40, 0, 50, 5, 0}},
    {"castle-demo-models/lights_materials/vrml_1/forest-fog/forest-final.wrl", "1.0", false, -1, {}, kNoSurface},
    // No reference. Counted by hand: DEF Mesh (1535 triangles) USEd 20 times, Plane 10098,
    // Plane_003 2; Cube sits under a Switch without whichChild and is not drawn.
    {"castle-demo-models/lights_materials/vrml_1/forest-fog/forest.wrl", "1.0", false, 40800,
     {-7.46075, -7.7694, -1.84684, 28.7492, 28.0706, 2.48924}},
    {"castle-demo-models/castle/old/vrml_2/castle.wrl", "2.0", false, 1066,
     {-127.795, -98.4478, -1.9804, 128.362, 104.928, 64}},
    {"castle-demo-models/castle/old/vrml_1/castle.wrl", "1.0", false, 1066,
     {-127.795, -98.4478, -1.9804, 128.362, 104.928, 64}},
    {"castle-demo-models/vrml_1/concave.wrl", "1.0", false, 8, {0, 0.15, 0, 2.85, 1.85, 0}},
    {"castle-demo-models/vrml_1/cones.wrl", "1.0", false, -1, {}, kNoSurface},
    {"castle-demo-models/vrml_1/cones_gzip_compressed.wrl.gz", "1.0", true, -1, {}, kNoSurface},
    {"castle-demo-models/vrml_1/empty.wrl", "1.0", false, -1, {}, kNoSurface},
    // No reference. One IndexedFaceSet of 134 triangles (all polygons are triangles), one
    // plane at z = -0.001325; bounds taken from the point list by hand.
    {"castle-demo-models/vrml_1/flat_triangles_octree_test.wrl", "1.0", false, 134,
     {-16.9254, -17.0185, -0.001325, 17.1346, 17.0415, -0.001325}},
    {"castle-demo-models/vrml_1/inline_test.wrl", "1.0", false, -1, {}, kNoSurface},
    {"castle-demo-models/vrml_1/kings_head.wrl", "1.0", false, -1, {}, kNoSurface},
    {"castle-demo-models/vrml_1/points.wrl", "1.0", false, -1, {}, kNoSurface},
    {"castle-demo-models/vrml_1/relative_names.wrl", "1.0", false, -1, {}, kNoSurface},
    {"castle-demo-models/vrml_1/shape_hints.wrl", "1.0", false, 48, {-4, -4, -1, 4, 4, 1}},
    {"castle-demo-models/vrml_1/subdir1/relative_inline2.wrl", "1.0", false, -1, {}, kNoSurface},
    {"castle-demo-models/vrml_1/subdir1/subdir2/texture_test.wrl", "1.0", false, 3, {8, -1, 0, 11, 3, 0}},
    {"assimp/HelloWorld.wrl", "2.0", false, -1, {}, kNoSurface},
    {"assimp/MotionCaptureROM.WRL", "2.0", false, 2000,
     {-31.5796, 0.9022, -26.8277, 32.4775, 68.4953, -12.5177}},
    {"assimp/Wuson.wrl", "2.0", false, 3732, {-0.46, -1.6222, -1.5153, 0.46, 1.6222, 0.0006}},
    {"threejs/meshWithLines.wrl", "2.0", false, 12, {-1.2, -1.35, -0.18, 11, 1.35, 0}},
    {"threejs/multilineString.wrl", "2.0", false, -1, {}, kNoSurface},
    {"threejs/points.wrl", "2.0", false, -1, {}, kNoSurface},
    {"threejs/simple.wrl", "2.0", false, -1, {}, kNoSurface},
};

TEST(VrmlSharedFiles, EveryFileBehavesAsListed) {
  for (const Expect& e : kFiles) {
    SCOPED_TRACE(e.file);
    const std::string path = kData + "/" + e.file;
    if (e.triangles < 0) {
      try {
        ReadVrmlFile(path);
        ADD_FAILURE() << "was read, should be refused";
      } catch (const VrmlError& err) {
        EXPECT_NE(std::string(err.what()).find(e.error), std::string::npos) << err.what();
        EXPECT_EQ(std::string(err.what()).rfind(path, 0), 0u) << "message must name the file";
      }
      continue;
    }
    kernelcad::VrmlScan scan;
    ASSERT_NO_THROW(scan = ReadVrmlFile(path));
    EXPECT_EQ(scan.version, e.version);
    EXPECT_EQ(scan.gzip, e.gzip);
    EXPECT_EQ(static_cast<long>(scan.mesh.triangleCount()), e.triangles);
    const auto b = scan.mesh.bounds();
    double extent = 0;
    for (int a = 0; a < 3; ++a) extent = std::max(extent, e.bbox[a + 3] - e.bbox[a]);
    for (std::size_t a = 0; a < 6; ++a) {
      // 1e-3 relative to the model size; the reference prints 4-6 significant digits.
      EXPECT_NEAR(b[a], e.bbox[a], 1e-3 * extent) << "bound " << a;
    }
    for (const std::int32_t t : scan.mesh.triangles) {
      ASSERT_GE(t, 0);
      ASSERT_LT(static_cast<std::size_t>(t), scan.mesh.pointCount());
    }
  }
}

TEST(VrmlSharedFiles, TableCoversTheFolder) {
  std::set<std::string> listed;
  for (const Expect& e : kFiles) listed.insert(e.file);
  for (const auto& entry : std::filesystem::recursive_directory_iterator(kData)) {
    const std::string ext = entry.path().extension().string();
    if (ext != ".wrl" && ext != ".WRL" && ext != ".gz") continue;
    const std::string rel = std::filesystem::relative(entry.path(), kData).string();
    EXPECT_TRUE(listed.count(rel)) << rel << " has no expectation in the table";
  }
}

// ---------------------------------------------------------------------------------------------
// Refused input: each message names the file, the line and the reason.

const std::string kV2 = "#VRML V2.0 utf8\n";
const std::string kV1 = "#VRML V1.0 ascii\n";
const std::string kTriangle =
    "Shape { geometry IndexedFaceSet { coord Coordinate { point [0 0 0, 1 0 0, 0 1 0] }\n"
    "coordIndex [0 1 2 -1] } }\n";

TEST(VrmlRefused, BrokenTextNamesLineAndReason) {
  struct Case {
    std::string text;
    std::string message;
  } cases[] = {
      {"", "scan.wrl: empty file"},
      {"  \n\n", "scan.wrl: empty file"},
      {"solid cube\nfacet normal 0 0 1\n", "scan.wrl, line 1: not a VRML file"},
      {"#VRML V3.0 utf8\n", "not a VRML file"},
      {kV2 + "Shape { geometry IndexedFaceSet { coord Coordinate { point [0 0 0, 1 0 0,\n0 1",
       "line 3: unexpected end of file inside the point list started on line 2"},
      {kV2 + "Transform {\n children [\n", "line 4: unexpected end of file inside a node list started on line 3"},
      {kV2 + "Group { }\n}\n", "line 3: unbalanced '}' at top level"},
      {kV2 + "Group { children [ Shape { } } }\n", "line 2: expected a node, found '}'"},
      {kV2 + "Shape { geometry IndexedFaceSet { coord Coordinate { point [0 0 0, 1 0 0, 0 1 0] }\n"
             "coordIndex [0 1 2 -1\n 0 2 57 -1] } }\n",
       "line 4: index 57 is outside the point list of IndexedFaceSet (line 2) (3 points)"},
      {kV2 + "Shape { geometry DEF Sole IndexedFaceSet { coord Coordinate { point [0 0 0, 1 0 0, 0 1 0] }\n"
             "coordIndex [0 1 -7] } }\n",
       "line 3: index -7 is outside the point list of IndexedFaceSet 'Sole'"},
      {kV2 + "Shape { geometry IndexedFaceSet { coord Coordinate { point [0 0 0,\n 1 nan 0, 0 1 0] }\n"
             "coordIndex [0 1 2] } }\n",
       "line 3: NaN or infinite value 'nan' in point"},
      {kV2 + "Shape { geometry IndexedFaceSet { coord Coordinate { point [0 0 0, 1 1e999 0, 0 1 0] }\n"
             "coordIndex [0 1 2] } }\n",
       "line 2: NaN or infinite value '1e999' in point"},
      {kV2 + "Shape { geometry IndexedFaceSet { coord Coordinate { point [0 0 0, 1 1.5.5 0, 0 1 0] }\n"
             "coordIndex [0 1 2] } }\n",
       "line 2: expected point, found '1.5.5'"},
      {kV2 + "Shape { geometry IndexedFaceSet { coordIndex [0 1 2] } }\n",
       "line 2: IndexedFaceSet (line 2) has no coordinates"},
      {kV1 + "Separator { IndexedFaceSet { coordIndex [0 1 2] } }\n",
       "line 2: IndexedFaceSet (line 2) has no coordinates (no Coordinate3 before it)"},
      {kV2 + "Shape { geometry Sphere { radius 2 } }\nInline { url \"foot.wrl\" }\n", "scan.wrl: the file holds no surface geometry"},
      {kV2 + "Shape {\n" + std::string("\x01\x02\xff\x00junk", 8), "line 3: binary data (byte 0x01)"},
      {std::string("\x7f" "ELF\x02\x01\x01\0\0\0", 10), "line 1: not a VRML file (binary data)"},
      {kV2 + "Group { children USE Missing }\n", "line 2: USE of undefined name 'Missing'"},
      {kV2 + "Shape { geometry IndexedFaceSet { coord Coordinate { point [0 0 0 1 0] } } }\n",
       "line 2: the point list holds 5 numbers, not a multiple of 3"},
      {kV2 + "Shape { geometry IndexedFaceSet { colorPerVertex maybe } }\n",
       "line 2: expected TRUE or FALSE for colorPerVertex, found 'maybe'"},
      {kV2 + "Group { children \"text\" }\n", "line 2: expected a node, found '\"'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const std::string msg = ErrorOf(c.text);
    EXPECT_NE(msg.find(c.message), std::string::npos) << "got: " << msg;
  }
}

TEST(VrmlRefused, DeepNestingIsAnErrorNotACrash) {
  std::string deep = kV2;
  for (int i = 0; i < 5000; ++i) deep += "Group { children [\n";
  EXPECT_NE(ErrorOf(deep).find("nested deeper than 200 levels"), std::string::npos);

  std::string fine = kV2;
  for (int i = 0; i < 190; ++i) fine += "Transform { translation 1 0 0 children [\n";
  fine += kTriangle;
  for (int i = 0; i < 190; ++i) fine += "] }\n";
  const auto scan = ReadVrmlBuffer(fine, "deep.wrl");
  ExpectPoint(scan.mesh, 1, 191, 0, 0);

  // A chain of DEF/USE redefinitions nests without any textual nesting.
  std::string chain = kV2 + "DEF X Group { }\n";
  for (int i = 0; i < 400; ++i) chain += "DEF X Group { children USE X }\n";
  EXPECT_NE(ErrorOf(chain).find("nested deeper than 200 levels"), std::string::npos);
}

TEST(VrmlRefused, InstancingExplosionIsRefusedBeforeAllocating) {
  // 2^40 instances of one triangle from a few hundred bytes.
  std::string bomb = kV2 + "DEF L0 Group { children [" + kTriangle + "] }\n";
  for (int i = 1; i <= 40; ++i) {
    bomb += "DEF L" + std::to_string(i) + " Group { children [ USE L" + std::to_string(i - 1) +
            " USE L" + std::to_string(i - 1) + " ] }\n";
  }
  EXPECT_NE(ErrorOf(bomb).find("beyond a sane size"), std::string::npos);
}

TEST(VrmlRefused, DamagedGzip) {
  const std::string gz = Gzip(kV2 + kTriangle + kTriangle);
  EXPECT_NE(ErrorOf(gz.substr(0, gz.size() - 12)).find("scan.wrl: gzip stream is cut off"), std::string::npos);
  std::string corrupt = gz;
  corrupt[12] = static_cast<char>(corrupt[12] ^ 0x55);
  corrupt[13] = static_cast<char>(corrupt[13] ^ 0x55);
  EXPECT_NE(ErrorOf(corrupt).find("gzip"), std::string::npos);
  EXPECT_NE(ErrorOf(Gzip("")).find("empty file"), std::string::npos);
}

// ---------------------------------------------------------------------------------------------
// Accepted input.

TEST(VrmlRead, GzipMatchesPlainText) {
  const std::string text = kV2 + kTriangle;
  const auto plain = ReadVrmlBuffer(text, "a.wrl");
  const auto packed = ReadVrmlBuffer(Gzip(text), "a.wrl");
  EXPECT_FALSE(plain.gzip);
  EXPECT_TRUE(packed.gzip);
  EXPECT_EQ(packed.version, "2.0");
  EXPECT_EQ(packed.mesh.points, plain.mesh.points);
  EXPECT_EQ(packed.mesh.triangles, plain.mesh.triangles);
}

TEST(VrmlRead, Vrml2NestedTransformsAndDefUse) {
  // Outer: translate (10,0,0), rotate 90 deg about z. Inner: scale 2 about centre (1,0,0).
  // Point p: inner gives C + S(p - C); outer gives T + R(inner).
  const std::string text = kV2 +
      "Transform { translation 10 0 0 rotation 0 0 1 1.5707963267948966 children [\n"
      "  Transform { scale 2 2 2 center 1 0 0 children [\n"
      "    DEF Tri Shape { geometry IndexedFaceSet { coord DEF Pts Coordinate { point [0 0 0, 1 0 0, 0 1 0] }\n"
      "      coordIndex [0 1 2 -1] } }\n"
      "  ] }\n"
      "] }\n"
      "Transform { translation 0 0 5 children USE Tri }\n"
      "Transform { translation 0 0 -5 children Shape { geometry IndexedFaceSet { coord USE Pts coordIndex [2 1 0] } } }\n";
  const auto scan = ReadVrmlBuffer(text, "t.wrl");
  ASSERT_EQ(scan.mesh.pointCount(), 9u);
  ASSERT_EQ(scan.mesh.triangleCount(), 3u);
  // (0,0,0) -> inner (-1,0,0) -> rotated (0,-1,0) -> (10,-1,0)
  ExpectPoint(scan.mesh, 0, 10, -1, 0);
  // (1,0,0) -> inner (1,0,0) -> (0,1,0) -> (10,1,0)
  ExpectPoint(scan.mesh, 1, 10, 1, 0);
  // (0,1,0) -> inner (-1,2,0) -> (-2,-1,0) -> (8,-1,0)
  ExpectPoint(scan.mesh, 2, 8, -1, 0);
  ExpectPoint(scan.mesh, 3, 0, 0, 5);  // USE of the Shape under its own transform
  ExpectPoint(scan.mesh, 5, 0, 1, 5);
  ExpectPoint(scan.mesh, 6, 0, 0, -5);  // USE of the Coordinate alone
  ExpectPoint(scan.mesh, 8, 0, 1, -5);
  const std::vector<std::int32_t> tris{0, 1, 2, 3, 4, 5, 8, 7, 6};
  EXPECT_EQ(scan.mesh.triangles, tris);
}

TEST(VrmlRead, Vrml1TransformsAccumulateAndSeparatorsRestore) {
  const std::string text = kV1 +
      "Separator {\n"
      "  Coordinate3 { point [0 0 0, 1 0 0, 0 1 0] }\n"
      "  Translation { translation 5 0 0 }\n"
      "  Separator {\n"
      "    Scale { scaleFactor 2 3 1 }\n"
      "    Translation { translation 1 1 0 }\n"        // in scaled space: +2, +3
      "    DEF Tri IndexedFaceSet { coordIndex [0, 1, 2] }\n"
      "    Coordinate3 { point [9 9 9, 9 9 9, 9 9 9] }\n"  // gone after the Separator
      "  }\n"
      "  USE Tri\n"                                     // only the Translation 5 0 0 applies
      "  TransformSeparator { Rotation { rotation 0 0 1 3.141592653589793 } USE Tri }\n"
      "  MatrixTransform { matrix 1 0 0 0  0 1 0 0  0 0 1 0  0 0 7 1 }\n"
      "  Group { Translation { translation 0 1 0 } }\n"  // a Group does not restore
      "  USE Tri\n"
      "  Switch { IndexedFaceSet { coordIndex [0 1 2] } }\n"  // whichChild -1: not drawn
      "}\n";
  const auto scan = ReadVrmlBuffer(text, "v1.wrl");
  EXPECT_EQ(scan.version, "1.0");
  ASSERT_EQ(scan.mesh.pointCount(), 12u);
  ExpectPoint(scan.mesh, 0, 7, 3, 0);
  ExpectPoint(scan.mesh, 1, 9, 3, 0);
  ExpectPoint(scan.mesh, 2, 7, 6, 0);
  ExpectPoint(scan.mesh, 3, 5, 0, 0);
  ExpectPoint(scan.mesh, 5, 5, 1, 0);
  ExpectPoint(scan.mesh, 7, 4, 0, 0);   // rotated by pi, then restored
  ExpectPoint(scan.mesh, 9, 5, 1, 7);
  ExpectPoint(scan.mesh, 11, 5, 2, 7);
}

TEST(VrmlRead, PolygonsAndSyntaxVariants) {
  const std::string text = kV2 +
      "# comment { [ \"\n"
      "PROTO Foot [ field SFVec3f size 1 1 1 field MFNode parts [ Shape { } ] ] { Group { children IS parts } }\n"
      "EXTERNPROTO Ext [ field SFFloat a ] [ \"urn:x\" \"http://x/y.wrl#Ext\" ]\n"
      "Foot { size 2 2 2 }\n"
      "Ext { a 1 }\n"
      "WorldInfo { info [\"a } tricky ] string\", \"esc \\\" quote\"] title \"t\" }\n"
      "Script { url \"javascript: function f() { }\" field SFBool on TRUE eventIn SFTime touch }\n"
      "DEF T TimeSensor { } ROUTE T.fraction_changed TO I.set_fraction\n"
      "Shape { appearance Appearance { texture PixelTexture { image 2 1 3 0xFF0000 0x00FF00 } }\n"
      "  geometry IndexedFaceSet {\n"
      "    coord Coordinate { point [ 0 0 0, 1 0 0, 1 1 0, 0 1 0, +2 .5 -1.e0, 3e0 0 0 ] }\n"
      "    coordIndex [ 0, 1, 2, 3, -1, 4, 5, -1, 3, 2 -1 ,, 0 1 4 5 ]\n"  // quad, 2 short, pentagon-less tail
      "    solid FALSE creaseAngle 0.5 ccw TRUE\n"
      "  }\n"
      "}\n"
      "Anchor { children Collision { children [ Billboard { children [] } ] proxy NULL } }\n";
  const auto scan = ReadVrmlBuffer(text, "syntax.wrl");
  // Quad -> 2 triangles, the two short polygons are skipped, the last (no -1) -> 2 triangles.
  const std::vector<std::int32_t> tris{0, 1, 2, 0, 2, 3, 0, 1, 4, 0, 4, 5};
  EXPECT_EQ(scan.mesh.triangles, tris);
  ExpectPoint(scan.mesh, 4, 2, 0.5, -1);
  EXPECT_FALSE(scan.mesh.hasColors());
}

TEST(VrmlRead, ColoursKeptOnlyWhenEveryPartHasThem) {
  const std::string colored =
      "Shape { geometry IndexedFaceSet { coord Coordinate { point [0 0 0, 1 0 0, 0 1 0] }\n"
      " color Color { color [1 0 0, 0 1 0, 0 0 1] } coordIndex [0 1 2] } }\n";
  const std::string indexed =
      "Shape { geometry IndexedFaceSet { coord Coordinate { point [0 0 0, 1 0 0, 0 1 0] }\n"
      " color Color { color [0.5 0.5 0.5, 1 1 1] } colorIndex [1 0 1] coordIndex [0 1 2] } }\n";
  auto scan = ReadVrmlBuffer(kV2 + colored + indexed, "c.wrl");
  const std::vector<std::uint8_t> expected{255, 0, 0, 0, 255, 0, 0, 0, 255,
                                           255, 255, 255, 128, 128, 128, 255, 255, 255};
  EXPECT_EQ(scan.mesh.colors, expected);

  EXPECT_FALSE(ReadVrmlBuffer(kV2 + colored + kTriangle, "c.wrl").mesh.hasColors());
  const std::string perFace =
      "Shape { geometry IndexedFaceSet { coord Coordinate { point [0 0 0, 1 0 0, 0 1 0] }\n"
      " color Color { color [1 0 0] } colorPerVertex FALSE coordIndex [0 1 2] } }\n";
  EXPECT_FALSE(ReadVrmlBuffer(kV2 + colored + perFace, "c.wrl").mesh.hasColors());
}

// Comments may sit anywhere in a list, right before its ']' and holding ']' themselves.
TEST(VrmlRead, CommentsInsideLists) {
  const std::string text = kV2 +
      "Shape { geometry IndexedFaceSet { coord Coordinate { point [ # first ] point\n"
      "  0 0 0, 1 0 0, # ] [\n"
      "  0 1 0 # last\n"
      "  ] }\n"
      "  coordIndex [ 0 1 2 # ] one\n"
      "  -1 # end ]\n"
      "  ] } }\n";
  const auto scan = ReadVrmlBuffer(text, "comments.wrl");
  ExpectPoint(scan.mesh, 2, 0, 1, 0);
  EXPECT_EQ(scan.mesh.triangles, (std::vector<std::int32_t>{0, 1, 2}));
  EXPECT_NE(ErrorOf(kV2 + "Shape { geometry IndexedFaceSet { coord Coordinate { point [ 0 0 0 # ]").find(
                "line 2: unexpected end of file inside the point list started on line 2"),
            std::string::npos);
}

// Plain decimals take a short path; whatever path a number takes, its double must be the one
// the general parser gives: bit for bit, sign of zero included.
TEST(VrmlRead, NumbersMatchTheGeneralParserBitForBit) {
  std::mt19937_64 rng(20240611);
  auto digits = [&](int n) {
    std::string d;
    for (int i = 0; i < n; ++i) d += static_cast<char>('0' + rng() % 10);
    return d;
  };
  std::vector<std::string> numbers = {
      "0", "-0", "-0.0", "+0.5", ".5", "-.25", "5.", "26.0036", "-123.4567", "0.1", "0.3",
      "9007199254740991", "9007199254740992", "9007199254740993", "0.9007199254740993",
      "1234567890123456789", "12345678901234567890", "0.0000000000000000000001",
      "0.00000000000000000000001", "123456789.0123456789", "00000000000000000000000012.5",
      "1e3", "-2.5E-3", "1.7976931348623157e308", "4.9e-324", "2.2250738585072011e-308"};
  for (int i = 0; i < 20000; ++i) {
    const int whole = static_cast<int>(rng() % 12);
    const int frac = static_cast<int>(rng() % 24);
    std::string n;
    if (rng() % 2) n += '-';
    n += digits(whole);
    if (frac > 0 || whole == 0) {
      n += '.';
      n += digits(std::max(frac, 1));
    }
    if (rng() % 16 == 0) {
      n += 'e';
      n += std::to_string(static_cast<int>(rng() % 40) - 20);
    }
    numbers.push_back(n);
  }
  std::string list;
  for (std::size_t i = 0; i < numbers.size(); ++i) list += numbers[i] + (i % 3 == 2 ? ",\n" : " ");
  while (numbers.size() % 3 != 0) {
    numbers.push_back("1");
    list += "1 ";
  }
  const auto scan = ReadVrmlBuffer(kV2 + "Shape { geometry IndexedFaceSet { coord Coordinate { point [\n" + list +
                                       "] } coordIndex [0 1 2] } }\n",
                                   "n.wrl");
  ASSERT_EQ(scan.mesh.points.size(), numbers.size());
  for (std::size_t i = 0; i < numbers.size(); ++i) {
    const std::string& t = numbers[i];
    double want = 0;
    const char* b = t.data() + (t[0] == '+' ? 1 : 0);
    ASSERT_EQ(std::from_chars(b, t.data() + t.size(), want).ec, std::errc()) << t;
    std::uint64_t got = 0, exp = 0;
    std::memcpy(&got, &scan.mesh.points[i], sizeof got);
    std::memcpy(&exp, &want, sizeof exp);
    EXPECT_EQ(got, exp) << t << " read as " << scan.mesh.points[i];
  }
}

// A mesh made only of triangles takes the index list over in place; these pin that path
// against the general one: a last face without -1, points of an earlier part before it,
// colours indexed by position in coordIndex.
TEST(VrmlRead, TriangleListsTakenOverInPlace) {
  const std::string quad = "coord Coordinate { point [0 0 0, 1 0 0, 1 1 0, 0 1 0] }\n";
  auto scan = ReadVrmlBuffer(kV2 + "Shape { geometry IndexedFaceSet { " + quad +
                                 "coordIndex [0 1 2 -1 0 2 3 -1 3 2 1] } }\n",
                             "a.wrl");
  EXPECT_EQ(scan.mesh.triangles, (std::vector<std::int32_t>{0, 1, 2, 0, 2, 3, 3, 2, 1}));

  // The first part brings points but no triangles: the second's indices shift by its 3 points.
  const std::string flat = "Shape { geometry IndexedFaceSet { coord Coordinate { point [5 5 5, 6 6 6, 7 7 7] }"
                           " coordIndex [0 1 -1 2] } }\n";
  const std::string tris = "Shape { geometry IndexedFaceSet { " + quad + "coordIndex [0 1 2 -1 0 2 3 -1] } }\n";
  scan = ReadVrmlBuffer(kV2 + flat + tris, "b.wrl");
  EXPECT_EQ(scan.mesh.triangles, (std::vector<std::int32_t>{3, 4, 5, 3, 5, 6}));
  scan = ReadVrmlBuffer(kV2 + tris + flat, "c.wrl");
  EXPECT_EQ(scan.mesh.triangles, (std::vector<std::int32_t>{0, 1, 2, 0, 2, 3}));
  EXPECT_EQ(scan.mesh.pointCount(), 7u);

  scan = ReadVrmlBuffer(kV2 + "Shape { geometry IndexedFaceSet { " + quad +
                            "color Color { color [1 0 0, 0 1 0, 0 0 1, 1 1 1] }\n"
                            "coordIndex [0 1 2 -1 0 2 3 -1] colorIndex [0 1 2 -1 3 3 3 -1] } }\n",
                        "d.wrl");
  EXPECT_EQ(scan.mesh.triangles, (std::vector<std::int32_t>{0, 1, 2, 0, 2, 3}));
  EXPECT_EQ(scan.mesh.colors, (std::vector<std::uint8_t>{255, 255, 255, 0, 255, 0, 255, 255, 255, 255, 255, 255}));
}

TEST(VrmlRead, MirroringTransformKeepsFacesOutward) {
  const auto scan =
      ReadVrmlBuffer(kV2 + "Transform { scale -1 1 1 children [" + kTriangle + "] }", "m.wrl");
  const std::vector<std::int32_t> tris{0, 2, 1};
  EXPECT_EQ(scan.mesh.triangles, tris);
}

}  // namespace
