#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "kernelcad/core/scan_meter.h"
#include "kernelcad/core/scan_reader.h"

namespace kernelcad {

// Reads VRML 1.0 or 2.0 bytes, plain or gzip-compressed, the file already in memory (progress
// continues from kReadShare). `owned` holds the bytes when they are the reader's own, so parsed
// text can be given back as the read goes on. Throws ScanError.
// Colours are kept only when every IndexedFaceSet carries per-vertex colours; a mesh with
// colour on some parts and none on others would render misleadingly, so then all are dropped.
ScanFile ReadVrml(std::string_view bytes, const std::string& fileName, Meter& meter,
                  std::unique_ptr<char[]> owned);

}  // namespace kernelcad
