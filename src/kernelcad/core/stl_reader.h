#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "kernelcad/core/scan_meter.h"
#include "kernelcad/core/scan_reader.h"

namespace kernelcad {

// Whether a file of `size` bytes that starts with `head` (84 bytes at least) is exactly as long
// as a binary STL with the triangle count at byte 80.
bool StlSizeMatchesCount(std::string_view head, std::uint64_t size);

// An STL read as it comes, piece by piece, its corners welded (CornerWelder): the file is never
// whole in memory. A binary STL holds 50 bytes a triangle and an ASCII one about 160, the welded
// mesh about 18, so the load's peak is held to the mesh's size rather than the file's, and no
// memory is spent on a copy of the file (the system zeroes each page of it first).
class StlStream {
 public:
  virtual ~StlStream() = default;
  // Takes the next bytes of the file, in order (`last`: they end it); returns how many at the
  // end belong to a record or line cut by the piece's end, for the caller to hand in again at
  // the start of the next piece. Throws ScanError.
  virtual std::size_t Feed(const char* data, std::size_t n, bool last) = 0;
  virtual ScanFile Finish() = 0;
};

// A stream for `format` (StlBinary or StlAscii). `head`: the file's first bytes, the 84-byte
// header at least where the file has them; a binary STL's triangle count is checked against the
// file's size before anything is allocated for it. A piece must hold `pieceSize` bytes: an
// ASCII line that does not fit in one is refused.
std::unique_ptr<StlStream> OpenStl(ScanFormat format, std::string_view head, std::uint64_t fileSize,
                                   std::size_t pieceSize, const std::string& fileName);

// Reads a binary or ASCII STL already in memory. Throws ScanError.
ScanFile ReadStl(std::string_view bytes, const std::string& fileName, ScanFormat format,
                 Meter& meter);

}  // namespace kernelcad
