#include "kernelcad/core/scan_reader.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <span>

#include "kernelcad/core/file_access.h"
#include "kernelcad/core/mesh_input.h"
#include "kernelcad/core/obj_reader.h"
#include "kernelcad/core/ply_reader.h"
#include "kernelcad/core/scan_meter.h"
#include "kernelcad/core/stl_reader.h"
#include "kernelcad/core/vrml_gzip.h"
#include "kernelcad/core/vrml_limits.h"
#include "kernelcad/core/vrml_messages.h"
#include "kernelcad/core/vrml_reader.h"

namespace kernelcad {
namespace {

std::string Extension(std::string_view fileName) {
  const std::size_t dot = fileName.find_last_of('.');
  const std::size_t slash = fileName.find_last_of("/\\");
  if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return {};
  return mesh_input::AsciiLower(fileName.substr(dot + 1));
}

// STL, OBJ and PLY carry no sure sign of their format at the start (an ASCII STL begins with
// "solid", but so do some binary ones), so the content decides where it can and the name's
// extension where it cannot. Anything else goes to the VRML reader, which says what it expected.
// `bytes`: the file's first bytes (or all of them) of `size` in all.
ScanFormat Detect(std::string_view bytes, std::string_view fileName, std::uint64_t size) {
  if (vrml::LooksGzipped(bytes) || bytes.starts_with("#VRML")) return ScanFormat::Vrml;
  if (bytes.starts_with("ply\n") || bytes.starts_with("ply\r\n")) return ScanFormat::PlyAscii;
  const std::string ext = Extension(fileName);
  if (ext == "ply") return ScanFormat::PlyAscii;  // the reader refuses it with the reason
  if (ext == "obj") return ScanFormat::Obj;
  // Text has no zero bytes, a binary STL's count and normals nearly always do. Its size is
  // fixed by its triangle count: a text that matched it would need the right bytes at 80-83.
  const bool text = bytes.substr(0, 512).find('\0') == std::string_view::npos;
  // After a byte order mark and blanks, in any letter case.
  std::string_view start = mesh_input::WithoutByteOrderMark(bytes.substr(0, 512));
  start.remove_prefix(std::min(start.find_first_not_of(" \t\r\n"), start.size()));
  if (mesh_input::AsciiLower(start.substr(0, 5)) == "solid" && text &&
      !StlSizeMatchesCount(bytes, size))
    return ScanFormat::StlAscii;
  if (ext == "stl" || StlSizeMatchesCount(bytes, size)) return ScanFormat::StlBinary;
  return ScanFormat::Vrml;
}

// Every format's mesh, refused when its triangles repeat.
ScanFile CheckedForRepeats(ScanFile scan, const std::string& name) {
  mesh_input::RequireFewRepeats(scan.mesh, name);
  return scan;
}

ScanFile Read(std::string_view bytes, const std::string& name, std::string_view rawName,
              Meter& meter, std::unique_ptr<char[]> owned) {
  switch (const ScanFormat format = Detect(bytes, rawName, bytes.size())) {
    case ScanFormat::Vrml:
      return ReadVrml(bytes, name, meter, std::move(owned));
    case ScanFormat::StlBinary:
    case ScanFormat::StlAscii:
      return ReadStl(bytes, name, format, meter);
    case ScanFormat::Obj:
      return ReadObj(bytes, name, meter, owned != nullptr);
    default:
      return ReadPly(bytes, name, meter, owned != nullptr);
  }
}

ScanFile Dispatch(std::string_view bytes, const std::string& name, std::string_view rawName,
                  Meter& meter, std::unique_ptr<char[]> owned) {
  return CheckedForRepeats(Read(bytes, name, rawName, meter, std::move(owned)), name);
}

}  // namespace

std::string_view FormatName(ScanFormat format) {
  switch (format) {
    case ScanFormat::Vrml:
      return "vrml";
    case ScanFormat::StlBinary:
      return "stl binary";
    case ScanFormat::StlAscii:
      return "stl ascii";
    case ScanFormat::Obj:
      return "obj";
    case ScanFormat::PlyAscii:
      return "ply ascii";
    case ScanFormat::PlyLittleEndian:
      return "ply binary little endian";
    case ScanFormat::PlyBigEndian:
      return "ply binary big endian";
  }
  return "";
}

ScanFile ReadScanBuffer(std::string_view bytes, const std::string& fileName) {
  const std::string name = vrml::Escaped(fileName, fileName.size());
  Meter meter(nullptr, name);
  return Dispatch(bytes, name, fileName, meter, nullptr);
}

ScanFile ReadScanFile(const std::string& path, ReadProgress* progress) {
  const std::string name = vrml::Escaped(path, path.size());  // for messages
  Meter meter(progress, name);
  // Read in pieces of this size; the first tells the format.
  constexpr std::size_t kPiece = std::size_t{4} << 20;
  std::unique_ptr<char[]> bytes, piece;
  std::size_t size = 0;
  std::unique_ptr<StlStream> stl;
  try {
    files::ReadOnlyFile file(path);
    if (file.size() > vrml::kMaxTextBytes) {
      throw ScanError(name + ": the file is larger than " + vrml::ByteSize(vrml::kMaxTextBytes) +
                      ", far beyond any scan; refused");
    }
    size = static_cast<std::size_t>(file.size());
    if (size == 0) throw ScanError(name + ": empty file");
    meter.SetTotal(size);
    const std::size_t pieceSize = std::min(size, kPiece);
    piece = std::make_unique_for_overwrite<char[]>(pieceSize);
    file.ReadExactly(piece.get(), pieceSize, 0);
    // STL is read as it comes; everything else is read whole, then parsed.
    const ScanFormat format = Detect({piece.get(), pieceSize}, path, size);
    if (format == ScanFormat::StlBinary || format == ScanFormat::StlAscii) {
      stl = OpenStl(format, {piece.get(), pieceSize}, size, pieceSize, name);
      meter.Step(0, 1.0, size);
      std::size_t carried = 0;   // bytes of a binary STL record cut by the last piece's end
      std::uint64_t before = 0;  // bytes read before the latest piece
      const auto feed = [&](std::uint64_t got) {
        const std::size_t fed = carried + static_cast<std::size_t>(got - before);
        carried = stl->Feed(piece.get(), fed, got == size);
        std::memmove(piece.get(), piece.get() + fed - carried, carried);
        before = got;
        meter.At(got);
      };
      feed(pieceSize);
      file.ReadInPieces(
          [&](std::uint64_t) {
            return std::span<char>(piece.get() + carried, pieceSize - carried);
          },
          feed, pieceSize);
    } else {
      meter.Step(0, kReadShare, size);
      // Read, not mapped: a mapped file cut short while it is read kills the process with a
      // signal (catching it would take a process-wide handler and a jump out of the parser),
      // while read() just comes back short. Measured on a 100 MB scan: no more CPU time than a
      // populated mapping, and with parsed text given back, a peak of 1.14x the file, not 1.63x.
      bytes = std::make_unique_for_overwrite<char[]>(size);
      files::AdviseHugePages(bytes.get(), size);
      std::memcpy(bytes.get(), piece.get(), pieceSize);
      piece.reset();
      meter.At(pieceSize);
      file.ReadAll(
          bytes.get(), [&](std::uint64_t got) { meter.At(got); }, pieceSize);
    }
  } catch (const files::FileError& e) {
    throw ScanError(name + ": cannot read the file: " + e.what());
  }
  if (stl) {
    ScanFile scan = CheckedForRepeats(stl->Finish(), name);
    meter.Finish();
    return scan;
  }
  const std::string_view text(bytes.get(), size);
  return Dispatch(text, name, path, meter, std::move(bytes));
}

}  // namespace kernelcad
