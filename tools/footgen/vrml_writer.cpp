#include <algorithm>
#include <charconv>
#include <string>

#include "footgen/footgen.h"

namespace footgen {
namespace {

// Million-vertex files are written for the benchmarks, so numbers go through to_chars into one
// buffer that is flushed in large blocks instead of through stream formatting.
class Buffer {
 public:
  explicit Buffer(std::ostream& out) : out_(out) { data_.reserve(kFlushAt + 256); }
  ~Buffer() { Flush(); }
  Buffer(const Buffer&) = delete;
  Buffer& operator=(const Buffer&) = delete;

  void Text(std::string_view s) {
    data_.append(s);
    MaybeFlush();
  }
  void Number(double v) {
    if (v == 0) v = 0;  // no "-0.0000"
    Put(std::to_chars(scratch_, scratch_ + sizeof scratch_, v, std::chars_format::fixed, 4));
  }
  void Number(std::int32_t v) { Put(std::to_chars(scratch_, scratch_ + sizeof scratch_, v)); }
  void Flush() {
    out_.write(data_.data(), static_cast<std::streamsize>(data_.size()));
    data_.clear();
  }

 private:
  static constexpr std::size_t kFlushAt = 1 << 20;
  void Put(std::to_chars_result r) {
    data_.append(scratch_, r.ptr);
    MaybeFlush();
  }
  void MaybeFlush() {
    if (data_.size() >= kFlushAt) Flush();
  }
  std::ostream& out_;
  std::string data_;
  char scratch_[64];
};

}  // namespace

void WriteVrml2(const kernelcad::Mesh& mesh, std::ostream& out, const std::string& comment) {
  std::string oneLine = comment;
  std::replace_if(
      oneLine.begin(), oneLine.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');

  Buffer b(out);
  b.Text("#VRML V2.0 utf8\n# ");
  b.Text(oneLine);
  b.Text(
      "\nShape {\n"
      "  appearance Appearance {\n"
      "    material Material {\n"
      "      diffuseColor 0.85 0.72 0.62\n"
      "    }\n"
      "  }\n"
      "  geometry IndexedFaceSet {\n"
      "    coord Coordinate {\n"
      "      point [\n");
  for (std::size_t i = 0; i + 2 < mesh.points.size(); i += 3) {
    b.Text("        ");
    b.Number(mesh.points[i]);
    b.Text(" ");
    b.Number(mesh.points[i + 1]);
    b.Text(" ");
    b.Number(mesh.points[i + 2]);
    b.Text(",\n");
  }
  b.Text(
      "      ]\n"
      "    }\n"
      "    coordIndex [\n");
  for (std::size_t t = 0; t + 2 < mesh.triangles.size(); t += 3) {
    b.Text("      ");
    for (int k = 0; k < 3; ++k) {
      b.Number(mesh.triangles[t + k]);
      b.Text(", ");
    }
    b.Text("-1,\n");
  }
  b.Text(
      "    ]\n"
      "  }\n"
      "}\n");
}

}  // namespace footgen
