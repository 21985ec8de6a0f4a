#pragma once

namespace footview {
class FootView;
}

namespace printing {

// "Print Screen" of the foot window: the main window's client area, fitted to the page.
void mnuPrint1_Click(footview::FootView& foot);
// "Print Setup": the printer dialog alone.
void mnuPrint2_Click();

// Whether a foot side is chosen and `loaded` holds; where not, says "No Foot Loaded".
bool footLoadedOrSay(bool loaded = true);

}  // namespace printing
