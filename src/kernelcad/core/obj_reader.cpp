#include "kernelcad/core/obj_reader.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "kernelcad/core/mesh_input.h"
#include "kernelcad/core/vrml_messages.h"

namespace kernelcad {
namespace {

// Statements that carry nothing a scan's surface needs: grouping, smoothing, materials, lines,
// points and free-form geometry. Anything else is refused, so a file that is not OBJ at all is
// not taken for an empty one.
bool Ignored(std::string_view w) {
  static constexpr std::string_view kWords[] = {
      "g",      "o",          "s",         "mtllib",   "usemtl",   "l",    "p",
      "vp",     "cstype",     "deg",       "bmat",     "step",     "curv", "curv2",
      "surf",   "parm",       "trim",      "hole",     "scrv",     "sp",   "end",
      "con",    "mg",         "bevel",     "c_interp", "d_interp", "lod",  "maplib",
      "usemap", "shadow_obj", "trace_obj", "ctech",    "stech"};
  return std::find(std::begin(kWords), std::end(kWords), w) != std::end(kWords);
}

// One kind of index (points, texture coordinates or normals): how many are defined so far, and
// the largest positive index used, with its line, checked once the file is read (a face may
// name a point defined after it).
struct IndexKind {
  const char* name;
  std::int64_t defined = 0;
  std::int64_t largest = 0;
  int largestLine = 0;

  // The 0-based index of a 1-based or negative (counted back) OBJ index.
  std::int64_t Resolve(std::int64_t i, mesh_input::TextCursor& in) {
    if (i == 0) in.Fail(std::string("a face names ") + name + " 0; OBJ counts from 1");
    if (i < 0) {
      if (-i > defined)
        in.Fail(std::string("a face names ") + name + " " + std::to_string(i) + ", but only " +
                std::to_string(defined) + " are defined before it");
      return defined + i;
    }
    if (i > largest) {
      largest = i;
      largestLine = in.line();
    }
    return i - 1;
  }

  void CheckAtEnd(const std::string& file) const {
    if (largest > defined)
      mesh_input::Fail(file, "line " + std::to_string(largestLine),
                       std::string("a face names ") + name + " " + std::to_string(largest) +
                           ", but the file defines only " + std::to_string(defined));
  }
};

// Room for the points and triangles, counted by their lines' first words: the lists are then
// allocated once, never copied while they grow (a polygon of more than three corners may still
// ask for more).
void Reserve(std::string_view text, Mesh& mesh) {
  std::size_t points = 0, faces = 0;
  for (std::size_t at = 0; at + 1 < text.size();) {
    const char c = text[at], next = text[at + 1];
    if (next == ' ' || next == '\t') {
      points += c == 'v';
      faces += c == 'f';
    }
    at = text.find('\n', at);
    if (at == std::string_view::npos) break;
    ++at;
  }
  mesh.points.reserve(points * 3);
  mesh.triangles.reserve(faces * 3);
}

}  // namespace

ScanFile ReadObj(std::string_view bytes, const std::string& fileName, Meter& meter, bool owned) {
  meter.Step(kReadShare, 1.0, bytes.size());
  ScanFile scan;
  scan.format = ScanFormat::Obj;
  Mesh& mesh = scan.mesh;
  Reserve(bytes, mesh);
  mesh_input::TextCursor in(bytes, fileName, meter, owned);
  std::vector<std::uint8_t>& colors = mesh.colors;  // while every point so far has them
  IndexKind points{"point"}, uvs{"texture coordinate"}, normals{"normal"};
  std::vector<std::int32_t> face;
  for (; !in.AtEnd(); in.NextLine()) {
    const std::string_view w = in.Word();
    if (w.empty() || w.starts_with('#')) continue;
    if (w == "v") {
      if (points.defined == std::numeric_limits<std::int32_t>::max()) in.Fail("too many points");
      for (int i = 0; i < 3; ++i) mesh.points.push_back(in.Coordinate("a point coordinate"));
      // x y z [w], or x y z r g b as colour-scanning programs write it.
      const std::string_view rest = in.Rest();
      std::size_t words = 0;
      for (std::size_t i = 0; i < rest.size(); ++i)
        words += rest[i] != ' ' && rest[i] != '\t' &&
                 (i == 0 || rest[i - 1] == ' ' || rest[i - 1] == '\t');
      if (words == 3 && colors.size() == mesh.points.size() - 3) {
        for (int i = 0; i < 3; ++i) {
          const double c = std::clamp(in.Number("a colour"), 0.0, 1.0);  // 0 to 1
          colors.push_back(static_cast<std::uint8_t>(std::lround(c * 255)));
        }
      }
      ++points.defined;
    } else if (w == "vt") {
      ++uvs.defined;
    } else if (w == "vn") {
      ++normals.defined;
    } else if (w == "f") {
      face.clear();
      for (std::string_view c = in.Word(); !c.empty(); c = in.Word()) {
        // v, v/vt, v//vn or v/vt/vn
        const std::size_t s1 = c.find('/');
        const std::size_t s2 = s1 == std::string_view::npos ? s1 : c.find('/', s1 + 1);
        std::int64_t v = 0, t = 0, n = 0;
        const bool ok =
            mesh_input::ParseInteger(c.substr(0, s1), v) &&
            (s1 == std::string_view::npos ||
             (s2 == s1 + 1 || mesh_input::ParseInteger(c.substr(s1 + 1, s2 - s1 - 1), t))) &&
            (s2 == std::string_view::npos || mesh_input::ParseInteger(c.substr(s2 + 1), n));
        if (!ok)
          in.Fail("expected a face corner (v, v/vt, v//vn or v/vt/vn), found " + vrml::Quoted(c));
        face.push_back(static_cast<std::int32_t>(points.Resolve(v, in)));
        if (s1 != std::string_view::npos && s2 != s1 + 1) uvs.Resolve(t, in);
        if (s2 != std::string_view::npos) normals.Resolve(n, in);
      }
      mesh_input::AppendFan(mesh.triangles, face.data(), face.size());
    } else if (!Ignored(w)) {
      in.Fail("expected an OBJ statement (v, vt, vn, f, g, o, ...), found " + vrml::Quoted(w));
    }
  }
  points.CheckAtEnd(fileName);
  uvs.CheckAtEnd(fileName);
  normals.CheckAtEnd(fileName);
  if (colors.size() != mesh.points.size()) std::vector<std::uint8_t>().swap(colors);
  mesh_input::RequireSurface(mesh, fileName, "OBJ");
  mesh_input::DropUnusedPoints(mesh);
  meter.Finish();
  return scan;
}

}  // namespace kernelcad
