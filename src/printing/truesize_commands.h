#pragma once

namespace footview {
class FootView;
}

namespace printing {

// "True-Size Print...": the printer dialog (landscape first), then the foot at true size on the
// chosen printer, or in a PDF in the documents folder where there is no printer.
void mnuTrueSizePrint_Click(footview::FootView& foot);
// "Export True-Size PDF...": asks for a file name and writes the true-size pages there.
void mnuTrueSizeExport_Click(footview::FootView& foot);

}  // namespace printing
