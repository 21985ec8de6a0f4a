#pragma once

namespace view {
class Form1;
}

namespace printing {

// "True-Size Print...": the printer dialog (landscape first), then the foot at true size on the
// chosen printer, or in a PDF in the documents folder where there is no printer.
void mnuTrueSizePrint_Click(view::Form1& form);
// "Export True-Size PDF...": asks for a file name and writes the true-size pages there.
void mnuTrueSizeExport_Click(view::Form1& form);

}  // namespace printing
