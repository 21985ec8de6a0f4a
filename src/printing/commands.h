#pragma once

namespace view {
class Form1;
}

namespace printing {

// "Print Screen" of the foot window: the main window's client area, fitted to the page.
void mnuPrint1_Click(view::Form1& form);
// "Print Setup": the printer dialog alone.
void mnuPrint2_Click(view::Form1& form);

// Plugs the printing commands into the foot window. Printing builds on that window, so the
// window cannot call into printing itself; the program calls this once at start.
void install();

}  // namespace printing
