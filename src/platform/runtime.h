#pragma once

#include <QFont>
#include <QRect>
#include <QString>
#include <QStringList>
#include <cstdint>

class QWidget;

namespace platform {

// Reads the number at the start of `text` the way the old BASIC runtime did: leading blanks,
// tabs and line feeds skipped, an optional sign, digits with one decimal point and an optional
// exponent; blanks between digits are ignored and reading stops at the first character that does
// not fit. "&H" and "&O" read hexadecimal and octal integers. Anything unreadable gives 0.
double Val(const QString& text);

// Fixed-point formatting for the patterns the windows show: "0", "0.0", "0.00", "0.000".
QString Format(double value, const QString& pattern);

// Rounds half to even into the 16-bit integer range; a value outside it throws
// std::overflow_error, as the old runtime raised an overflow.
std::int16_t CInt(double value);

// The command-line arguments after the program name. setCommandArguments replaces them, for a
// program started from code.
QStringList commandArguments();
void setCommandArguments(const QStringList& arguments);

// A file or folder the program ships (the sample scans), by its path inside the shipped-data
// folder: share/quarnel of the tree the executable sits in, an installed tree or the build tree
// (same layout). QUARNEL_DATA_DIR in the environment names another shipped-data folder, for
// programs run from elsewhere (tests) or data kept apart from the program.
QString shippedPath(const QString& relative);

// Twips (1/1440 inch) per pixel of the primary screen, from its logical DPI.
double twipsPerPixelX();
double twipsPerPixelY();
int twipsToPixelsX(double twips);
int twipsToPixelsY(double twips);
double pixelsToTwipsX(double pixels);
double pixelsToTwipsY(double pixels);
// A rectangle given in twips, in pixels.
QRect twipsRect(double left, double top, double width, double height);

// The face the windows were designed in, at a size in points; where "MS Sans Serif" is not
// installed the platform's sans-serif stands in.
QFont designFont(double points, bool bold = false);

// Places a control at its designer position (twips) and gives it its designer name, so that
// tests find it the way an operator does.
void placeControl(QWidget* control, const char* name, double left, double top, double width,
                  double height);

}  // namespace platform
