#include "kernelcad/core/stl_reader.h"

#include <bit>
#include <algorithm>
#include <cmath>

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

Mesh ReadAscii(std::string_view bytes, const std::string& file, Meter& meter, bool owned) {
  meter.Step(kReadShare, 1.0, bytes.size());
  mesh_input::TextCursor in(bytes, file, meter, owned);
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

bool StlSizeMatchesCount(std::string_view head, std::uint64_t size) {
  return head.size() >= kCountEnd &&
         kCountEnd + std::uint64_t{Le32(head.data() + kHeader)} * kRecord == size;
}

BinaryStlStream::BinaryStlStream(std::string_view head, std::uint64_t fileSize,
                                 const std::string& fileName)
    : file_(fileName) {
  if (head.size() < kCountEnd)
    mesh_input::Fail(file_, "byte " + std::to_string(head.size()),
                     "the file ends inside the 84-byte binary STL header");
  count_ = Le32(head.data() + kHeader);
  const std::uint64_t promised = kCountEnd + count_ * kRecord;
  if (promised > fileSize)
    mesh_input::Fail(file_, "byte 80",
                     "the header promises " + std::to_string(count_) + " triangles (" +
                         vrml::ByteSize(promised) + ") but the file holds " +
                         vrml::ByteSize(fileSize) + "; cut short?");
  welder_.emplace(count_ * 3);
}

std::size_t BinaryStlStream::Feed(const char* data, std::size_t n) {
  if (header_) {
    if (n < kCountEnd) return n;
    data += kCountEnd;
    n -= kCountEnd;
    header_ = false;
  }
  const std::size_t records = static_cast<std::size_t>(std::min<std::uint64_t>(n / kRecord, count_ - done_));
  for (std::size_t r = 0; r < records; ++r, data += kRecord, ++done_) {
    float c[9];
    for (int i = 0; i < 9; ++i) c[i] = LeFloat(data + 12 + 4 * i);  // after the facet normal
    for (float v : c) {
      if (!std::isfinite(v))
        mesh_input::Fail(file_, "triangle " + std::to_string(done_ + 1) + " (byte " +
                                    std::to_string(kCountEnd + done_ * kRecord) + ")",
                         "a corner has a NaN or infinite coordinate");
    }
    for (int i = 0; i < 9; i += 3) welder_->Add(c[i], c[i + 1], c[i + 2]);
  }
  // Bytes after the last promised triangle are left alone, as other readers leave them.
  return done_ == count_ ? 0 : n - records * kRecord;
}

ScanFile BinaryStlStream::Finish() {
  ScanFile scan;
  scan.format = ScanFormat::StlBinary;
  scan.mesh = welder_->Take();
  mesh_input::RequireSurface(scan.mesh, file_, "STL");
  return scan;
}

ScanFile ReadStl(std::string_view bytes, const std::string& fileName, ScanFormat format,
                 Meter& meter, bool owned) {
  ScanFile scan;
  if (format == ScanFormat::StlBinary) {
    BinaryStlStream stream(bytes, bytes.size(), fileName);
    stream.Feed(bytes.data(), bytes.size());
    scan = stream.Finish();
  } else {
    scan.format = format;
    scan.mesh = ReadAscii(bytes, fileName, meter, owned);
    mesh_input::RequireSurface(scan.mesh, fileName, "STL");
  }
  meter.Finish();
  return scan;
}

}  // namespace kernelcad
