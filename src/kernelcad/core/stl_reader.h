#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "kernelcad/core/corner_welder.h"
#include "kernelcad/core/scan_meter.h"
#include "kernelcad/core/scan_reader.h"

namespace kernelcad {

// Whether a file of `size` bytes that starts with `head` (84 bytes at least) is exactly as long
// as a binary STL with the triangle count at byte 80.
bool StlSizeMatchesCount(std::string_view head, std::uint64_t size);

// A binary STL read as it comes, piece by piece, so the file is never whole in memory: a
// binary STL holds 50 bytes a triangle, its welded mesh about 18, and the load's peak is held
// to the mesh's size rather than the file's.
class BinaryStlStream {
 public:
  // `head`: the file's first bytes, the 84-byte header at least where the file has them. Checks
  // the triangle count against the file's size before anything is allocated for it.
  BinaryStlStream(std::string_view head, std::uint64_t fileSize, const std::string& fileName);

  // Takes the next bytes of the file, in order; returns how many at the end belong to a record
  // cut by the piece's end, for the caller to hand in again at the start of the next piece.
  std::size_t Feed(const char* data, std::size_t n);
  ScanFile Finish();

 private:
  const std::string& file_;
  std::uint64_t count_;   // triangles promised
  std::uint64_t done_ = 0;  // triangles read
  bool header_ = true;    // the header not yet stepped over
  std::optional<CornerWelder> welder_;
};

// Reads a binary or ASCII STL already in memory (progress continues from kReadShare; `owned`:
// the bytes are the reader's own, given back as they are read), its
// corners welded (CornerWelder). Throws ScanError.
ScanFile ReadStl(std::string_view bytes, const std::string& fileName, ScanFormat format,
                 Meter& meter, bool owned);

}  // namespace kernelcad
