#pragma once

namespace footview {
class FootView;
}

namespace printing {

// "Export Aligned Scan...": asks for a file name (.stl, .ply or .obj) and writes the foot as the
// window holds it now, aligned and scaled, with its summary beside it (Write_Aligned_Scan).
void mnuExportAligned_Click(footview::FootView& foot);

}  // namespace printing
