#pragma once

#include <QImage>
#include <QPixmap>
#include <QString>
#include <functional>

class QWidget;

namespace platform {
class Printer;
}

namespace printing {

// A picture is a true-colour image. The 256-colour palette a capture once had to carry does
// not arise: Qt's screen surfaces are always true colour, so no picture has a palette.
using Picture = QImage;

// The picture object of a captured bitmap; it owns its pixels.
Picture Picture_From_Bitmap(const QPixmap& bitmap);

// Captures width x height pixels at (left, top) of `window`: of its client area when `client`
// is true (below the menu bar), else of the whole window with its frame and title bar. Parts
// outside the window come out white. What the user sees is captured, the 3D picture included.
// On a screen whose device pixel ratio is not 1 the picture has that many device pixels to each
// of the window's pixels (and carries the ratio).
Picture Grab_Window_Area(QWidget* window, bool client, int left, int top, int width, int height);

// The whole client area of `form`.
Picture Grab_Form_Client(QWidget* form);

// One page on the printer: `draw` draws it, the document is ended, and the status line tells
// the PDF file it went to. A page that could not be printed is told to the operator under
// `title`.
void Print_Page(platform::Printer& p, const QString& title, const std::function<void()>& draw);

// Prints `picture` as large as the page allows, keeping its proportions, from the top-left
// corner of the printable area; tall and square pictures go on a landscape page, wide ones on a
// portrait page. Shows the printer dialog first; the page is printed whatever the answer.
// Throws PrinterError when the page cannot be drawn.
void Print_Picture_Fit(platform::Printer& p, const Picture& picture);

// The fixed 350 x 500 pixel print area at (15, 65) of `window`, frame included. The window is
// the one that asked to print: under a window manager the focus comes back to it only some time
// after its question has closed, so the window in front at that instant may be none at all.
Picture Grab_Print_Area(QWidget& window);

// Whether a capture shows anything: an empty picture, or one of a single colour, is what a
// window that was not drawn gives, and never goes to the printer.
bool Shows_Something(const Picture& picture);
// The same, and where it shows nothing, tells the operator under `title` and on the status line
// that the picture could not be taken.
bool pictureTakenOrSay(const Picture& picture, const QString& title);

// Prints `picture` on a landscape page into a square whose side is `fraction` of the printable
// width, from the top-left corner of the printable area; the picture's own proportions are not
// kept and what falls below the page is lost. Throws PrinterError when it cannot be drawn.
void Print_Picture_Ratio(platform::Printer& p, const Picture& picture, double& fraction);

}  // namespace printing
