#pragma once

#include <string>
#include <string_view>

#include "kernelcad/core/scan_meter.h"
#include "kernelcad/core/scan_reader.h"

namespace kernelcad {

// Reads a PLY file already in memory (progress continues from kReadShare; `owned`: the bytes
// are the reader's own, given back as they are read): ASCII, binary little
// or big endian. The points of the `vertex` element with their colours (red, green, blue) when
// it has them, the polygons of the `face` element fan-triangulated; other elements and
// properties are stepped over. The element counts of the header are checked against the bytes
// that follow it before anything is allocated for them. Throws ScanError.
ScanFile ReadPly(std::string_view bytes, const std::string& fileName, Meter& meter, bool owned);

}  // namespace kernelcad
