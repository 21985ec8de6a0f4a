#pragma once

namespace footview {
class FootView;
}

namespace platform {
class Printer;
}

namespace printing {

// "Print Screen" of the foot window: the main window's client area, fitted to the page.
void mnuPrint1_Click(footview::FootView& foot);
// "Print Setup": the printer dialog alone.
void mnuPrint2_Click();

// The printer, its next documents named after the scan on view and its side ("LeftFoot_Left"),
// so a print queue or a folder of PDFs tells one patient's pages from another's.
platform::Printer& scanPrinter();

// Whether a foot side is chosen and `loaded` holds; where not, says "No Foot Loaded".
bool footLoadedOrSay(bool loaded = true);

}  // namespace printing
