#pragma once

#include <string>
#include <string_view>

#include "kernelcad/core/scan_meter.h"
#include "kernelcad/core/scan_reader.h"

namespace kernelcad {

// Whether the bytes are exactly as long as a binary STL with the triangle count at byte 80.
bool StlSizeMatchesCount(std::string_view bytes);

// Reads a binary or ASCII STL already in memory (progress continues from kReadShare), its
// corners welded (CornerWelder). Throws ScanError.
ScanFile ReadStl(std::string_view bytes, const std::string& fileName, ScanFormat format,
                 Meter& meter);

}  // namespace kernelcad
