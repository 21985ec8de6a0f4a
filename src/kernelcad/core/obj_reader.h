#pragma once

#include <string>
#include <string_view>

#include "kernelcad/core/scan_meter.h"
#include "kernelcad/core/scan_reader.h"

namespace kernelcad {

// Reads OBJ text already in memory (progress continues from kReadShare; `owned`: the bytes
// are the reader's own, given back as they are read): points (`v`, with
// per-point colours kept when every point has them), faces (`f`) in every index form (`v`,
// `v/vt`, `v//vn`, `v/vt/vn`, negative indices counting back), polygons fan-triangulated, all
// groups and objects as one mesh. Texture coordinates and normals are only counted, to check
// the indices that name them; material libraries are not opened. Throws ScanError.
ScanFile ReadObj(std::string_view bytes, const std::string& fileName, Meter& meter, bool owned);

}  // namespace kernelcad
