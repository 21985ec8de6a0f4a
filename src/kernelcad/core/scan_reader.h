#pragma once

#include <atomic>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "kernelcad/core/mesh.h"

namespace kernelcad {

// Any file the reader refuses. The message names the file and, where one exists, the place in
// it (a line of text, a byte or record of binary data).
class ScanError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Thrown when a read stops because ReadProgress::cancel was set.
class ScanCancelled : public ScanError {
 public:
  using ScanError::ScanError;
};

// Shared between the thread that reads and the one that shows progress or cancels.
struct ReadProgress {
  std::atomic<std::uint64_t> done{0};   // bytes of the file consumed so far
  std::atomic<std::uint64_t> total{0};  // bytes of the file in all, known once it is opened
  std::atomic<bool> cancel{false};      // set from any thread; the read then throws ScanCancelled
};

// The file formats scans come in.
enum class ScanFormat { Vrml, StlBinary, StlAscii, Obj, PlyAscii, PlyLittleEndian, PlyBigEndian };

// "vrml", "stl binary", "stl ascii", "obj", "ply ascii", "ply binary little endian", ...
std::string_view FormatName(ScanFormat format);

struct ScanFile {
  Mesh mesh;  // every surface of the file, in the file's coordinates, as one mesh
  ScanFormat format = ScanFormat::Vrml;
  std::string version;  // VRML: "1.0" or "2.0"; empty for the other formats
  bool gzip = false;    // the bytes were gzip-compressed (recognised by content, not by name)
};

// Reads a scan in any format the program knows: VRML 1.0 or 2.0 (plain or gzip-compressed),
// STL (binary or ASCII), OBJ and PLY (ASCII or binary). The format is told by the content and,
// where the content does not say (binary STL, OBJ), by the name's extension. Throws ScanError.
// With a progress record the read reports how far it got and stops when asked to.
// A scan reader opens no file but the one it is given: an OBJ's material library is not read.
ScanFile ReadScanFile(const std::string& path, ReadProgress* progress = nullptr);

// Same as ReadScanFile on bytes already in memory; fileName names the file in messages and
// gives the extension.
ScanFile ReadScanBuffer(std::string_view bytes, const std::string& fileName);

}  // namespace kernelcad
