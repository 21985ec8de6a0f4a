#pragma once

#include <span>
#include <string_view>

namespace cli {

// quarnel-scan print: each scan aligned and scaled as the foot window does it, written as a
// true-size PDF and a JSON summary. Returns the exit code; throws UsageError for bad usage.
int print(std::span<char*> args);

// The usage line and summary of the command.
inline constexpr std::string_view kPrintArgs =
    "[--out DIR] [--units auto|mm|cm|m|in] [--csv LIST.csv]... [FILE --side Left|Right --axis "
    "Lateral|Medial (--heel X,Y,Z "
    "--ball X,Y,Z --adjacent X,Y,Z | --suggest) [--roll DEG] [--true "
    "heel-ball|heel-adjacent|ball-adjacent=MM]]...";
inline constexpr const char* kPrintSummary =
    "align, scale and write each scan as a true-size PDF and a JSON summary with the foot's "
    "measurements (--units applies to every scan, the points are in mm; --suggest takes the "
    "suggested points); CSV columns: "
    "file,side,axis,heel_x,heel_y,heel_z,ball_x,ball_y,ball_z,adj_x,adj_y,adj_z,roll,"
    "true_distance_kind,true_distance";

}  // namespace cli
