#include "kernelcad/core/stl_reader.h"

#include <bit>
#include <cmath>

#include "kernelcad/core/corner_welder.h"
#include "kernelcad/core/mesh_input.h"
#include "kernelcad/core/vrml_messages.h"

namespace kernelcad {
namespace {

constexpr std::size_t kHeader = 80, kCountEnd = 84, kRecord = 50;

std::uint32_t Le32(const char* p) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(p[i]);
  return v;
}

float LeFloat(const char* p) { return std::bit_cast<float>(Le32(p)); }

Mesh ReadBinary(std::string_view bytes, const std::string& file, Meter& meter) {
  if (bytes.size() < kCountEnd)
    mesh_input::Fail(file, "byte " + std::to_string(bytes.size()),
                     "the file ends inside the 84-byte binary STL header");
  const std::uint64_t count = Le32(bytes.data() + kHeader);
  const std::uint64_t promised = kCountEnd + count * kRecord;
  // Checked before anything is allocated for them: the count is only a promise.
  if (promised > bytes.size())
    mesh_input::Fail(file, "byte 80",
                     "the header promises " + std::to_string(count) + " triangles (" +
                         vrml::ByteSize(promised) + ") but the file holds " +
                         vrml::ByteSize(bytes.size()) + "; cut short?");
  meter.Step(kReadShare, 1.0, count);
  CornerWelder welder(count * 3);
  const char* r = bytes.data() + kCountEnd;
  for (std::uint64_t t = 0; t < count; ++t, r += kRecord) {
    if ((t & 0xffff) == 0) meter.At(t);
    float c[9];
    for (int i = 0; i < 9; ++i) c[i] = LeFloat(r + 12 + 4 * i);  // after the facet normal
    for (float v : c) {
      if (!std::isfinite(v))
        mesh_input::Fail(file, "triangle " + std::to_string(t + 1) + " (byte " +
                                   std::to_string(kCountEnd + t * kRecord) + ")",
                         "a corner has a NaN or infinite coordinate");
    }
    for (int i = 0; i < 9; i += 3) welder.Add(c[i], c[i + 1], c[i + 2]);
  }
  return welder.Take();
}

Mesh ReadAscii(std::string_view bytes, const std::string& file, Meter& meter) {
  meter.Step(kReadShare, 1.0, bytes.size());
  mesh_input::TextCursor in(bytes, file, meter);
  // About 250 bytes of text per facet in the files scanners write.
  CornerWelder welder(bytes.size() / 80);
  int corners = 0;  // of the facet being read
  bool inSolid = false;
  for (; !in.AtEnd(); in.NextLine()) {
    const std::string_view w = in.Word();
    if (w.empty()) continue;
    if (w == "vertex") {
      if (!inSolid) in.Fail("'vertex' outside a solid");
      if (++corners > 3) in.Fail("a facet with more than three vertices");
      const float x = in.Coordinate("a vertex coordinate");
      const float y = in.Coordinate("a vertex coordinate");
      welder.Add(x, y, in.Coordinate("a vertex coordinate"));
    } else if (w == "facet") {
      if (!inSolid) in.Fail("'facet' outside a solid");
      corners = 0;
    } else if (w == "endfacet") {
      if (corners != 3)
        in.Fail("a facet with " + std::to_string(corners) + " vertices, not three");
    } else if (w == "solid") {
      if (inSolid) in.Fail("'solid' inside a solid");
      inSolid = true;
    } else if (w == "endsolid") {
      inSolid = false;
    } else if (w != "outer" && w != "endloop") {
      in.Fail("expected an STL keyword (facet, vertex, endfacet, ...), found " + vrml::Quoted(w));
    }
  }
  // A facet cut off by the file's end would leave corners of no triangle.
  if (corners % 3 != 0 || inSolid) in.Fail("the file ends inside a solid; cut short?");
  return welder.Take();
}

}  // namespace

bool StlSizeMatchesCount(std::string_view bytes) {
  return bytes.size() >= kCountEnd &&
         kCountEnd + std::uint64_t{Le32(bytes.data() + kHeader)} * kRecord == bytes.size();
}

ScanFile ReadStl(std::string_view bytes, const std::string& fileName, ScanFormat format,
                 Meter& meter) {
  ScanFile scan;
  scan.format = format;
  scan.mesh = format == ScanFormat::StlBinary ? ReadBinary(bytes, fileName, meter)
                                              : ReadAscii(bytes, fileName, meter);
  mesh_input::RequireSurface(scan.mesh, fileName, "STL");
  meter.Finish();
  return scan;
}

}  // namespace kernelcad
