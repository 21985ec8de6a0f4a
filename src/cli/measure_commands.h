#pragma once

#include <span>
#include <string>
#include <vector>

#include "measure/foot_measure.h"

namespace cli {

// quarnel-scan suggest: the heel, ball and adjacent points the program suggests on a scan, as
// JSON; the reason on stderr when it cannot suggest them.
int suggest(std::span<char*> args);
inline constexpr const char* kSuggestArgs = "FILE --side Left|Right [--units auto|mm|cm|m|in]";
inline constexpr const char* kSuggestSummary =
    "print the suggested heel, ball and adjacent points (in mm) as JSON";

// quarnel-scan measure: the foot's measurements on the suggested points, a JSON line per scan or
// with --csv a header and a row per scan; a scan that cannot be measured gets its error line.
int measureScans(std::span<char*> args);
inline constexpr const char* kMeasureArgs =
    "FILE... --side Left|Right [--csv] [--units auto|mm|cm|m|in]";
inline constexpr const char* kMeasureSummary =
    "print each foot's length, widths, arch indices and sizes (on the suggested points)";

}  // namespace cli
