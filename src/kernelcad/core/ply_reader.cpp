#include "kernelcad/core/ply_reader.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <vector>

#include "kernelcad/core/mesh_input.h"
#include "kernelcad/core/vrml_messages.h"

namespace kernelcad {
namespace {

enum class Type : std::uint8_t { Int8, Uint8, Int16, Uint16, Int32, Uint32, Float32, Float64 };

std::optional<Type> ParseType(std::string_view w) {
  static constexpr std::pair<std::string_view, Type> kNames[] = {
      {"char", Type::Int8},      {"int8", Type::Int8},       {"uchar", Type::Uint8},
      {"uint8", Type::Uint8},    {"short", Type::Int16},     {"int16", Type::Int16},
      {"ushort", Type::Uint16},  {"uint16", Type::Uint16},   {"int", Type::Int32},
      {"int32", Type::Int32},    {"uint", Type::Uint32},     {"uint32", Type::Uint32},
      {"float", Type::Float32},  {"float32", Type::Float32}, {"double", Type::Float64},
      {"float64", Type::Float64}};
  for (const auto& [name, type] : kNames) {
    if (w == name) return type;
  }
  return std::nullopt;
}

std::size_t SizeOf(Type t) {
  switch (t) {
    case Type::Int8:
    case Type::Uint8:
      return 1;
    case Type::Int16:
    case Type::Uint16:
      return 2;
    case Type::Float64:
      return 8;
    default:
      return 4;
  }
}

bool IsInteger(Type t) { return t != Type::Float32 && t != Type::Float64; }

struct Property {
  std::string name;
  Type type = Type::Float32;
  std::optional<Type> count;  // a list: the type of its length
};

struct Element {
  std::string name;
  std::uint64_t count = 0;
  int line = 0;  // of the header
  std::vector<Property> properties;
  // The least bytes one record takes: each value's size in binary, a digit and a blank in text.
  std::uint64_t MinRecord(bool ascii) const {
    std::uint64_t n = 0;
    for (const Property& p : properties) n += ascii ? 2 : SizeOf(p.count.value_or(p.type));
    return n;
  }
};

struct Header {
  ScanFormat format = ScanFormat::PlyAscii;
  std::vector<Element> elements;
};

Header ReadHeader(mesh_input::TextCursor& in) {
  if (in.Word() != "ply") in.Fail("not a PLY file (no 'ply' line first)");
  Header h;
  bool format = false;
  for (in.NextLine();; in.NextLine()) {
    if (in.AtEnd()) in.Fail("the file ends inside the PLY header (no 'end_header')");
    const std::string_view w = in.Word();
    if (w == "end_header") break;
    if (w == "format") {
      const std::string_view f = in.Word();
      if (f == "ascii")
        h.format = ScanFormat::PlyAscii;
      else if (f == "binary_little_endian")
        h.format = ScanFormat::PlyLittleEndian;
      else if (f == "binary_big_endian")
        h.format = ScanFormat::PlyBigEndian;
      else
        in.Fail("unknown PLY format " + vrml::Quoted(f));
      format = true;
    } else if (w == "element") {
      Element e;
      e.name = in.Word();
      e.line = in.line();
      const std::int64_t n = in.Integer("an element count");
      if (n < 0) in.Fail("a negative element count");
      e.count = static_cast<std::uint64_t>(n);
      h.elements.push_back(std::move(e));
    } else if (w == "property") {
      if (h.elements.empty()) in.Fail("a property before any element");
      Property p;
      std::string_view t = in.Word();
      if (t == "list") {
        const std::string_view c = in.Word();
        p.count = ParseType(c);
        if (!p.count || !IsInteger(*p.count)) in.Fail("bad list length type " + vrml::Quoted(c));
        t = in.Word();
      }
      const auto type = ParseType(t);
      if (!type) in.Fail("unknown property type " + vrml::Quoted(t));
      p.type = *type;
      p.name = in.Word();
      h.elements.back().properties.push_back(std::move(p));
    } else if (w != "comment" && w != "obj_info" && !w.empty()) {
      in.Fail("expected a PLY header line (format, element, property, ...), found " +
              vrml::Quoted(w));
    }
  }
  if (!format) in.Fail("the PLY header names no format");
  in.NextLine();
  return h;
}

// Values of the body, binary or text, one at a time.
class Body {
 public:
  Body(std::string_view bytes, mesh_input::TextCursor& in, ScanFormat format,
       const std::string& file, bool owned)
      : p_(bytes.data() + in.offset()),
        value_(p_),
        begin_(bytes.data()),
        end_(bytes.data() + bytes.size()),
        in_(in),
        format_(format),
        file_(file),
        consumed_(bytes.data(), owned && format != ScanFormat::PlyAscii) {
    if (ascii()) in_.SkipBlankLines();
  }

  bool ascii() const { return format_ == ScanFormat::PlyAscii; }
  std::uint64_t offset() const {
    return ascii() ? in_.offset() : static_cast<std::uint64_t>(p_ - begin_);
  }
  std::uint64_t left() const { return static_cast<std::uint64_t>(end_ - begin_) - offset(); }

  double Value(Type t, const char* what) {
    if (ascii()) {
      if (IsInteger(t)) return static_cast<double>(in_.Integer(what));
      return in_.Number(what);
    }
    const std::size_t n = SizeOf(t);
    value_ = p_;
    if (static_cast<std::size_t>(end_ - p_) < n) CutShort();
    unsigned char b[8];
    std::memcpy(b, p_, n);
    p_ += n;
    if (format_ == ScanFormat::PlyBigEndian) std::reverse(b, b + n);
    double v = 0;
    switch (t) {
      case Type::Int8:
        v = static_cast<std::int8_t>(b[0]);
        break;
      case Type::Uint8:
        v = b[0];
        break;
      case Type::Int16:
        v = static_cast<std::int16_t>(b[0] | b[1] << 8);
        break;
      case Type::Uint16:
        v = static_cast<std::uint16_t>(b[0] | b[1] << 8);
        break;
      case Type::Int32:
        v = static_cast<std::int32_t>(U32(b));
        break;
      case Type::Uint32:
        v = U32(b);
        break;
      case Type::Float32:
        v = std::bit_cast<float>(U32(b));
        break;
      case Type::Float64:
        v = std::bit_cast<double>(U32(b) | std::uint64_t{U32(b + 4)} << 32);
        break;
    }
    if (!std::isfinite(v)) Fail(std::string("a NaN or infinite value in ") + what);
    return v;
  }

  // Binary bytes read so far go back to the system (text goes as the cursor moves on).
  void GiveBack() { consumed_.Upto(p_); }

  // Past the end of a text record, and any blank lines some writers leave between records;
  // nothing for binary ones.
  void EndRecord() {
    if (!ascii()) return;
    in_.NextLine();
    in_.SkipBlankLines();
  }

  void Where(const Element& e, std::uint64_t record) {
    element_ = &e;
    record_ = record;
  }

  [[noreturn]] void Fail(const std::string& what) const {
    const std::string at = element_ ? ", " + element_->name + " " + std::to_string(record_ + 1) +
                                          " of " + std::to_string(element_->count)
                                    : std::string();
    if (ascii()) in_.Fail(what + at);
    mesh_input::Fail(file_, "byte " + std::to_string(value_ - begin_), what + at);
  }

  [[noreturn]] void CutShort() const { Fail("the file ends early; cut short?"); }

 private:
  static std::uint32_t U32(const unsigned char* b) {
    return b[0] | b[1] << 8 | b[2] << 16 | std::uint32_t{b[3]} << 24;
  }

  const char* p_;
  const char* value_ = nullptr;  // where the value last read begins, for messages
  const char* begin_;
  const char* end_;
  mesh_input::TextCursor& in_;
  ScanFormat format_;
  const std::string& file_;
  mesh_input::Consumed consumed_;
  const Element* element_ = nullptr;
  std::uint64_t record_ = 0;
};

int Find(const Element& e, std::initializer_list<std::string_view> names, bool list) {
  for (std::size_t i = 0; i < e.properties.size(); ++i) {
    const Property& p = e.properties[i];
    if (p.count.has_value() == list && std::find(names.begin(), names.end(), p.name) != names.end())
      return static_cast<int>(i);
  }
  return -1;
}

std::uint8_t Channel(double v, Type t) {
  if (!IsInteger(t))
    v *= 255.0;  // 0-1 in floating point
  else if (t == Type::Uint16)
    v /= 257.0;
  return static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0, 255.0)));
}

}  // namespace

ScanFile ReadPly(std::string_view bytes, const std::string& fileName, Meter& meter, bool owned) {
  meter.Step(kReadShare, 1.0, bytes.size());
  mesh_input::TextCursor in(bytes, fileName, meter, owned);
  const Header h = ReadHeader(in);
  ScanFile scan;
  scan.format = h.format;
  Body body(bytes, in, h.format, fileName, owned);
  // Every count is checked against what follows the header before anything is allocated.
  std::uint64_t need = 0;
  for (const Element& e : h.elements) {
    const std::uint64_t record = std::max<std::uint64_t>(e.MinRecord(body.ascii()), 1);
    if (e.count > (body.left() - need) / record)
      mesh_input::Fail(fileName, "line " + std::to_string(e.line),
                       "the header promises " + std::to_string(e.count) + " " + e.name +
                           " records, at least " + vrml::ByteSize(e.count * record) +
                           ", but only " + vrml::ByteSize(body.left() - need) +
                           " follow; cut short?");
    need += e.count * record;
  }
  const auto vertex = std::find_if(h.elements.begin(), h.elements.end(),
                                   [](const Element& e) { return e.name == "vertex"; });
  if (vertex == h.elements.end()) in.Fail("the PLY header has no vertex element");
  if (vertex->count > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()))
    mesh_input::Fail(fileName, "line " + std::to_string(vertex->line), "too many vertices");
  const int xyz[3] = {Find(*vertex, {"x"}, false), Find(*vertex, {"y"}, false),
                      Find(*vertex, {"z"}, false)};
  if (std::count(std::begin(xyz), std::end(xyz), -1))
    mesh_input::Fail(fileName, "line " + std::to_string(vertex->line),
                     "the vertex element lacks an x, y or z property");
  const int rgb[3] = {Find(*vertex, {"red", "diffuse_red", "r"}, false),
                      Find(*vertex, {"green", "diffuse_green", "g"}, false),
                      Find(*vertex, {"blue", "diffuse_blue", "b"}, false)};
  const bool colored = std::count(std::begin(rgb), std::end(rgb), -1) == 0;
  const std::uint64_t vertices = vertex->count;

  Mesh& mesh = scan.mesh;
  std::vector<double> values;
  std::vector<std::int32_t> corners;
  for (const Element& e : h.elements) {
    // Faces are polygons; older scanners' files hold triangle strips instead, -1 between two.
    const bool isVertex = &e == &*vertex, isStrip = e.name == "tristrips";
    const int indices =
        e.name == "face" || isStrip ? Find(e, {"vertex_indices", "vertex_index"}, true) : -1;
    if (isVertex) {
      mesh.points.reserve(e.count * 3);
      if (colored) mesh.colors.reserve(e.count * 3);
    }
    if (indices >= 0) mesh.triangles.reserve(e.count * 3);
    values.resize(e.properties.size());
    for (std::uint64_t r = 0; r < e.count; ++r) {
      body.Where(e, r);
      if ((r & 0xffff) == 0) {
        meter.At(body.offset());
        body.GiveBack();
      }
      for (std::size_t k = 0; k < e.properties.size(); ++k) {
        const Property& p = e.properties[k];
        if (!p.count) {
          values[k] = body.Value(p.type, p.name.c_str());
          continue;
        }
        const double n = body.Value(*p.count, "a list length");
        if (n < 0) body.Fail("a negative list length");
        const bool keep = static_cast<int>(k) == indices;
        if (keep) corners.clear();
        for (std::uint64_t i = 0; i < static_cast<std::uint64_t>(n); ++i) {
          const double v = body.Value(p.type, p.name.c_str());
          if (!keep) continue;
          if (isStrip && v == -1) {
            corners.push_back(-1);
            continue;
          }
          if (v < 0 || v >= static_cast<double>(vertices) || v != std::floor(v))
            body.Fail("a face names vertex " + std::to_string(static_cast<long long>(v)) +
                      ", but the file has " + std::to_string(vertices));
          corners.push_back(static_cast<std::int32_t>(v));
        }
        if (keep)
          (isStrip ? mesh_input::AppendStrip : mesh_input::AppendFan)(
              mesh.triangles, corners.data(), corners.size());
      }
      if (isVertex) {
        for (int a : xyz) {
          if (std::abs(values[a]) > std::numeric_limits<float>::max())
            body.Fail("a coordinate out of range");
          mesh.points.push_back(static_cast<float>(values[a]));
        }
        if (colored) {
          for (int c : rgb) mesh.colors.push_back(Channel(values[c], e.properties[c].type));
        }
      }
      body.EndRecord();
    }
  }
  mesh_input::RequireSurface(mesh, fileName, "PLY");
  mesh_input::DropUnusedPoints(mesh);
  meter.Finish();
  return scan;
}

}  // namespace kernelcad
