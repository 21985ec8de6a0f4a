#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "alignment/align.h"
#include "kernelcad/core/scan_reader.h"
#include "kernelcad/core/units.h"

// What the commands of quarnel-scan share: reading their arguments, reading a scan in the unit
// asked for, and writing one line on stderr.
namespace cli {

// Exit codes: 0 done, 1 bad usage, 2 a refused scan or an alignment that cannot be done.
inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 1;
inline constexpr int kExitRefused = 2;

// The command line asks for something the command cannot do; the message says what is wrong.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The text without the blanks and line ends around it.
std::string_view trim(std::string_view s);

// A finite number, blanks around it allowed. "nan" and "inf" are not numbers a point or an angle
// can take.
std::optional<double> number(std::string_view text);
// "X,Y,Z": three finite numbers and nothing else.
std::optional<kernelcad::Vec3> point(std::string_view text);
std::optional<alignment::Side> parseSide(std::string_view text);
std::optional<alignment::Axis> parseAxis(std::string_view text);

// --units: the unit a scan's coordinates are in, or none for "auto" (guessed from its size).
using Units = std::optional<kernelcad::LengthUnit>;
inline constexpr const char* kUnitsArgs = "[--units auto|mm|cm|m|in]";
// Throws UsageError for any other text.
Units parseUnits(std::string_view text);

struct ScanInMillimetres {
  kernelcad::ScanFile scan;  // coordinates converted into millimetres
  kernelcad::LengthUnit unit;
  double longestSideMm = 0;  // of the bounding box
};

// Reads the scan and converts it from `units` into millimetres; with "auto" says on stderr which
// unit it took and why. Throws ScanError, or NotEnoughMemory naming the file.
ScanInMillimetres readScan(const std::string& path, Units units);

// The text as a JSON string, quoted and escaped.
std::string jsonString(std::string_view s);
// Shortest text that reads back to the same double, so scripts see the file's values exactly.
std::string jsonNumber(double v);
// A scan coordinate, kept in single precision: in the shortest form that reads back as it.
std::string jsonNumber(float v);

// `line` and a line break on stderr, with bytes that are not UTF-8 escaped.
void say(const std::string& line);

}  // namespace cli
