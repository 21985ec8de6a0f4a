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

// Statements that carry nothing a scan's surface needs (groups, smoothing, materials, lines,
// free-form geometry, and whatever a writer adds of its own) are stepped over. A first word that
// is not a word at all is refused, so a file that is not OBJ is not taken for an empty one.
bool Statement(std::string_view w) {
  return std::all_of(w.begin(), w.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
  });
}

// One face corner: v, v/vt, v//vn or v/vt/vn; a writer may leave the last slot empty ("v/vt/").
bool ParseCorner(std::string_view c, std::int64_t& v, std::int64_t& t, std::int64_t& n) {
  const std::size_t s1 = c.find('/');
  const std::size_t s2 = s1 == std::string_view::npos ? s1 : c.find('/', s1 + 1);
  const auto slot = [](std::string_view w, std::int64_t& out) {
    return w.empty() || mesh_input::ParseInteger(w, out);
  };
  return mesh_input::ParseInteger(c.substr(0, s1), v) &&
         (s1 == std::string_view::npos || slot(c.substr(s1 + 1, s2 - s1 - 1), t)) &&
         (s2 == std::string_view::npos || slot(c.substr(s2 + 1), n));
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
  mesh_input::TextCursor in(mesh_input::WithoutByteOrderMark(bytes), fileName, meter, owned);
  std::vector<std::uint8_t>& colors = mesh.colors;  // while every point so far has them
  IndexKind points{"point"}, uvs{"texture coordinate"}, normals{"normal"};
  std::vector<std::int32_t> face;
  for (; !in.AtEnd(); in.NextLine()) {
    const std::string_view w = in.Word();
    if (w.empty() || w.starts_with('#')) continue;
    if (w == "v") {
      if (points.defined == std::numeric_limits<std::int32_t>::max()) in.Fail("too many points");
      for (int i = 0; i < 3; ++i) mesh.points.push_back(in.Coordinate("a point coordinate"));
      // x y z [w], or x y z r g b as colour-scanning programs write it: from 0 to 1 mostly,
      // from 0 to 255 in some.
      const std::string_view line = in.Rest(), rest = line.substr(0, line.find('#'));
      std::size_t words = 0;
      for (std::size_t i = 0; i < rest.size(); ++i)
        words += rest[i] != ' ' && rest[i] != '\t' &&
                 (i == 0 || rest[i - 1] == ' ' || rest[i - 1] == '\t');
      if (words == 3 && colors.size() == mesh.points.size() - 3) {
        double rgb[3];
        for (double& c : rgb) c = in.Number("a colour");
        const double scale = std::max({rgb[0], rgb[1], rgb[2]}) > 1 ? 1.0 : 255.0;
        for (const double c : rgb)
          colors.push_back(
              static_cast<std::uint8_t>(std::lround(std::clamp(c * scale, 0.0, 255.0))));
      }
      ++points.defined;
    } else if (w == "vt") {
      ++uvs.defined;
    } else if (w == "vn") {
      ++normals.defined;
    } else if (w == "f") {
      face.clear();
      for (std::string_view c = in.Word(); !c.empty() && !c.starts_with('#'); c = in.Word()) {
        if (c == "\\" && in.Rest().empty()) {  // the face goes on on the next line
          in.NextLine();
          continue;
        }
        std::int64_t v = 0, t = 0, n = 0;
        if (!ParseCorner(c, v, t, n))
          in.Fail("expected a face corner (v, v/vt, v//vn or v/vt/vn), found " + vrml::Quoted(c));
        face.push_back(static_cast<std::int32_t>(points.Resolve(v, in)));
        if (t != 0) uvs.Resolve(t, in);
        if (n != 0) normals.Resolve(n, in);
      }
      mesh_input::AppendFan(mesh.triangles, face.data(), face.size());
    } else if (!Statement(w)) {
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
