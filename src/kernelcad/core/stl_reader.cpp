#include "kernelcad/core/stl_reader.h"

#include <algorithm>
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

// A file read as it comes is refused as soon as its triangles repeat, not once all are in memory.
void RefuseRepeats(const CornerWelder& welder, const std::string& file) {
  const Mesh& mesh = welder.mesh();
  if (mesh_input::TooFewCorners(mesh.triangleCount(), mesh.pointCount()))
    mesh_input::RequireFewRepeats(mesh, file);
}

// The scan the welded corners make; refused when they make no triangle.
ScanFile Welded(CornerWelder& welder, ScanFormat format, const std::string& file) {
  ScanFile scan;
  scan.format = format;
  scan.mesh = welder.Take();
  mesh_input::RequireSurface(scan.mesh, file, "STL");
  return scan;
}

// ASCII: "solid NAME", then "facet normal ...", "outer loop", three "vertex X Y Z", "endloop",
// "endfacet" for each triangle, "endsolid NAME"; several solids may follow one another.
class AsciiStl : public StlStream {
 public:
  AsciiStl(std::uint64_t fileSize, std::size_t pieceSize, const std::string& file)
      // About 160 bytes of text per facet in the files scanners write.
      : file_(file), piece_(pieceSize), quiet_(nullptr, file), welder_(fileSize / 50) {}

  std::size_t Feed(const char* data, std::size_t n, bool last) override {
    std::size_t lines = n;  // the bytes that end in a line end, or end the file
    if (!last) {
      const std::string_view text(data, n);
      const std::size_t nl = text.rfind('\n');
      lines = nl == std::string_view::npos ? 0 : nl + 1;
      if (lines == 0 && n == piece_) {
        mesh_input::Fail(file_, "line " + std::to_string(line_),
                         "a line longer than " + vrml::ByteSize(piece_) + "; not STL text");
      }
    }
    std::string_view text(data, lines);
    if (line_ == 1) text = mesh_input::WithoutByteOrderMark(text);
    mesh_input::TextCursor in(text, file_, quiet_, false, line_);
    for (; !in.AtEnd(); in.NextLine()) Line(in);
    line_ = in.line();
    RefuseRepeats(welder_, file_);
    return n - lines;
  }

  ScanFile Finish() override {
    // A facet cut off by the file's end would leave corners of no triangle.
    if (corners_ % 3 != 0 || inSolid_)
      mesh_input::Fail(file_, "line " + std::to_string(line_),
                       "the file ends inside a solid; cut short?");
    return Welded(welder_, ScanFormat::StlAscii, file_);
  }

 private:
  void Line(mesh_input::TextCursor& in) {
    const std::string_view w = in.Word();
    if (w.empty() || Keyword(in, w)) return;
    // Nearly every writer spells the keywords in lower case, a few in capitals: those are
    // lowered only once the word matched none, which leaves the common path as it is.
    lowered_ = mesh_input::AsciiLower(w);
    if (lowered_ == w || !Keyword(in, lowered_))
      in.Fail("expected an STL keyword (facet, vertex, endfacet, ...), found " + vrml::Quoted(w));
  }

  // Takes the line `w` begins; false when `w` is no keyword. Inlined in the line loop: a call
  // per line cost the 331 MB text 7 %.
  [[gnu::always_inline]] bool Keyword(mesh_input::TextCursor& in, std::string_view w) {
    if (w == "vertex") {
      if (!inSolid_) in.Fail("'vertex' outside a solid");
      if (++corners_ > 3) in.Fail("a facet with more than three vertices");
      const float x = in.Coordinate("a vertex coordinate");
      const float y = in.Coordinate("a vertex coordinate");
      welder_.Add(x, y, in.Coordinate("a vertex coordinate"));
    } else if (w == "facet") {
      if (!inSolid_) in.Fail("'facet' outside a solid");
      corners_ = 0;
    } else if (w == "endfacet") {
      if (corners_ != 3)
        in.Fail("a facet with " + std::to_string(corners_) + " vertices, not three");
    } else if (w == "solid") {
      if (inSolid_) in.Fail("'solid' inside a solid");
      inSolid_ = true;
    } else if (w == "endsolid") {
      inSolid_ = false;
    } else {
      return w == "outer" || w == "endloop";
    }
    return true;
  }

  const std::string& file_;
  std::size_t piece_;
  std::string lowered_;
  Meter quiet_;  // progress is told by whoever hands in the pieces
  CornerWelder welder_;
  int line_ = 1;     // of the next piece's first line
  int corners_ = 0;  // of the facet being read
  bool inSolid_ = false;
};

// The triangle count of a binary STL's header, checked against the file's size before anything
// is allocated for it: the count is only a promise.
std::uint64_t PromisedTriangles(std::string_view head, std::uint64_t fileSize,
                                const std::string& file) {
  if (head.size() < kCountEnd)
    mesh_input::Fail(file, "byte " + std::to_string(head.size()),
                     "the file ends inside the 84-byte binary STL header");
  std::uint64_t count = Le32(head.data() + kHeader);
  // Some writers that stream their triangles out leave the count 0; the size then tells it.
  if (count == 0 && fileSize > kCountEnd && (fileSize - kCountEnd) % kRecord == 0)
    count = (fileSize - kCountEnd) / kRecord;
  const std::uint64_t promised = kCountEnd + count * kRecord;
  if (promised > fileSize)
    mesh_input::Fail(file, "byte 80",
                     "the header promises " + std::to_string(count) + " triangles (" +
                         vrml::ByteSize(promised) + ") but the file holds " +
                         vrml::ByteSize(fileSize) + "; cut short?");
  return count;
}

// Binary: an 80-byte header, the triangle count, then 50 bytes a triangle (normal, three
// corners, two attribute bytes).
class BinaryStl : public StlStream {
 public:
  BinaryStl(std::string_view head, std::uint64_t fileSize, const std::string& fileName)
      : file_(fileName), count_(PromisedTriangles(head, fileSize, fileName)), welder_(count_ * 3) {}

  std::size_t Feed(const char* data, std::size_t n, bool) override {
    if (header_) {  // the first piece holds it whole
      data += kCountEnd;
      n -= kCountEnd;
      header_ = false;
    }
    const std::size_t records =
        static_cast<std::size_t>(std::min<std::uint64_t>(n / kRecord, count_ - done_));
    for (std::size_t r = 0; r < records; ++r, data += kRecord, ++done_) {
      float c[9];
      for (int i = 0; i < 9; ++i) c[i] = LeFloat(data + 12 + 4 * i);  // after the facet normal
      for (float v : c) {
        if (!std::isfinite(v))
          mesh_input::Fail(file_,
                           "triangle " + std::to_string(done_ + 1) + " (byte " +
                               std::to_string(kCountEnd + done_ * kRecord) + ")",
                           "a corner has a NaN or infinite coordinate");
      }
      for (int i = 0; i < 9; i += 3) welder_.Add(c[i], c[i + 1], c[i + 2]);
    }
    RefuseRepeats(welder_, file_);
    // Bytes after the last promised triangle are left alone, as other readers leave them.
    return done_ == count_ ? 0 : n - records * kRecord;
  }

  ScanFile Finish() override { return Welded(welder_, ScanFormat::StlBinary, file_); }

 private:
  const std::string& file_;
  std::uint64_t count_;     // triangles promised
  std::uint64_t done_ = 0;  // triangles read
  bool header_ = true;      // the header not yet stepped over
  CornerWelder welder_;
};

}  // namespace

bool StlSizeMatchesCount(std::string_view head, std::uint64_t size) {
  return head.size() >= kCountEnd &&
         kCountEnd + std::uint64_t{Le32(head.data() + kHeader)} * kRecord == size;
}

std::unique_ptr<StlStream> OpenStl(ScanFormat format, std::string_view head, std::uint64_t fileSize,
                                   std::size_t pieceSize, const std::string& fileName) {
  if (format == ScanFormat::StlBinary) return std::make_unique<BinaryStl>(head, fileSize, fileName);
  return std::make_unique<AsciiStl>(fileSize, pieceSize, fileName);
}

ScanFile ReadStl(std::string_view bytes, const std::string& fileName, ScanFormat format,
                 Meter& meter) {
  const std::unique_ptr<StlStream> stream =
      OpenStl(format, bytes, bytes.size(), bytes.size(), fileName);
  stream->Feed(bytes.data(), bytes.size(), true);
  ScanFile scan = stream->Finish();
  meter.Finish();
  return scan;
}

}  // namespace kernelcad
