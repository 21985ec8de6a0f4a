// PROTO instances and Script nodes: geometry inside instances is read like any other.

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "kernelcad/core/scan_reader.h"
#include "reader_text.h"

using reader_text::ErrorOf;
using reader_text::kTriangle;
using reader_text::kV2;

namespace {

// One triangle per instance unless its points and indices are given; `set_at` is an event.
const std::string kTri = kV2 + R"(PROTO Tri [
  exposedField SFVec3f at 0 0 0
  field MFVec3f pts [0 0 0, 1 0 0, 0 1 0]
  field MFInt32 idx [0 1 2 -1]
  eventIn SFVec3f set_at
] {
  Transform { translation IS set_at children Transform { translation IS at children Shape {
    geometry IndexedFaceSet { coord Coordinate { point IS pts } coordIndex IS idx } } } }
}
)";

TEST(VrmlProto, InstancesDrawTheirBodyWithTheirFieldValues) {
  struct Case {
    std::string text;
    std::size_t triangles;
    std::array<double, 6> bbox;
  } cases[] = {
      {"Tri { } Tri { at 10 0 0 }\n"
       "Tri { pts [0 0 0, 2 0 0, 2 2 0, 0 2 0] idx [0 1 2 3 -1] at 0 0 5 }\n",
       4,
       {0, 0, 0, 11, 2, 5}},
      // Node fields and defaults; a DEF in an instance's value is usable after it; USE of one.
      {"PROTO Holder [ field SFNode geo NULL field MFNode kids Transform { translation 0 0 -1\n"
       "  children Shape { geometry IndexedFaceSet {\n"
       "    coord Coordinate { point [0 0 0, 1 0 0, 0 1 0] } coordIndex [0 1 2] } } } ] {\n"
       "  Group { children [ Shape { geometry IS geo } Group { children IS kids } ] } }\n"
       "DEF H Holder { geo IndexedFaceSet { coord DEF P Coordinate { point [0 0 0, 1 0 0, 0 1 0] }"
       " coordIndex [0 1 2] }\n"
       "  kids Transform { translation 0 0 1 children Shape { geometry IndexedFaceSet {"
       " coord USE P coordIndex [0 1 2] } } } }\n"
       "Transform { translation 0 0 2 children USE H }\n"
       "Shape { geometry IndexedFaceSet { coord USE P coordIndex [0 2 1] } } Holder { }\n",
       6,
       {0, 0, -1, 1, 1, 3}},
      // A PROTO declared in a body, one declared outside used in it, IS passed on, DEF/USE
      // inside a body; only a body's first node is drawn.
      {"PROTO Table [ field SFVec3f legAt 0 0 0 ] {\n"
       "  PROTO Leg [ field SFVec3f at 0 0 0 ] {\n"
       "    Transform { translation IS at children Tri { } } }\n"
       "  Group { children [ Leg { at IS legAt } Leg { at 5 0 0 }\n"
       "    Shape { geometry IndexedFaceSet {\n"
       "      coord DEF C Coordinate { point [0 0 9, 1 0 9, 0 1 9] } coordIndex [0 1 2] } }\n"
       "    Shape { geometry IndexedFaceSet { coord USE C coordIndex [2 1 0] } } ] }\n"
       "  Shape { geometry IndexedFaceSet { coord Coordinate { point [0 0 0, 99 0 0, 0 99 0] }"
       " coordIndex [0 1 2] } }\n"
       "}\n"
       "Table { legAt 0 0 -3 } Transform { translation 20 0 0 children Table { } }\n",
       8,
       {0, 0, -3, 26, 1, 9}},
      // An external PROTO is not fetched; it hides the PROTO of its name.
      {"EXTERNPROTO Tri [ exposedField SFVec3f at ] \"tri.wrl\"\nTri { at 5 5 5 }\n" + kTriangle,
       1,
       {0, 0, 0, 1, 1, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    kernelcad::ScanFile scan;
    ASSERT_NO_THROW(scan = kernelcad::ReadScanBuffer(kTri + c.text, "p.wrl"));
    EXPECT_EQ(scan.mesh.triangleCount(), c.triangles);
    const auto b = scan.mesh.bounds();
    for (std::size_t a = 0; a < 6; ++a) EXPECT_NEAR(b[a], c.bbox[a], 1e-12) << "bound " << a;
  }
}

TEST(VrmlProto, BadPrototypesAndInstancesAreRefused) {
  // PROTOs each instantiating the one before `copies` times: copies^levels instances of P0.
  const auto nested = [](int levels, int copies) {
    std::string text = kV2 + "PROTO P0 [ ] { " + kTriangle + "}\n";
    for (int i = 1; i <= levels; ++i) {
      text += "PROTO P" + std::to_string(i) + " [ ] { Group { children [";
      for (int k = 0; k < copies; ++k) text += " P" + std::to_string(i - 1) + " { }";
      text += " ] } }\n";
    }
    return text + "P" + std::to_string(levels) + " { }\n";
  };
  const struct {
    std::string text;
    std::string message;
  } cases[] = {
      {kTri + "Tri { size 1 }", "line 11: PROTO Tri has no field 'size'"},
      {kTri + "Tri { set_at 1 0 0 }", "line 11: 'set_at' of PROTO Tri is an event"},
      {kTri + "Tri {\n at 1 2 3 4 }",
       "line 12: the value of 'at' does not fit field translation of Transform (found '4')"},
      {kTri + "PROTO B [ field SFNode n NULL ] { Tri { pts IS n } }\nB { }",
       "line 11: field 'pts' of PROTO Tri and IS 'n' differ in type"},
      {kV2 + "PROTO A [ ] { Group {\n children IS kids } }\nA { }",
       "line 3: IS names 'kids', which PROTO A does not declare"},
      {kV2 + "Group { children IS kids }", "line 2: IS outside a PROTO body"},
      {kV2 + "PROTO A [ ] { Group { children A { } } }\nA { }",
       "line 2: PROTO A contains an instance of itself"},
      {kV2 + "PROTO A [ field SFVec3f p ] { Group { } }", "field 'p' of PROTO A has no default"},
      {kV2 + "PROTO A [ ] {\n Group }\nA { }",
       "line 3: unexpected end of the body of PROTO A, expected '{' after node type Group"},
      // A body has its own DEF names.
      {kV2 + "DEF P Coordinate { point [0 0 0] }\nPROTO A [ ] { Shape { geometry IndexedFaceSet {"
             " coord USE P coordIndex [0 0 0] } } }\nA { }",
       "line 3: USE of undefined name 'P'"},
      {kV2 + "EXTERNPROTO B [ ] \"b.wrl\"\nB { }", "holds no surface geometry"},
      {nested(40, 2), "PROTO instances expand beyond a sane size for this file"},
      // Instances inside instances nest like any nodes.
      {nested(150, 1), "nested deeper than 200 levels"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const std::string msg = ErrorOf(c.text);
    EXPECT_NE(msg.find(c.message), std::string::npos) << "got: " << msg;
  }
}

}  // namespace
