#pragma once

#include <span>

namespace cli {

// quarnel-scan export: each scan aligned and scaled as print does it, written as a mesh file in
// the standard position in millimetres for CAD/CAM, with a JSON summary beside it (the three
// reference points and the measurements). Returns the exit code; throws UsageError.
int exportScans(std::span<char*> args);

inline constexpr const char* kExportArgs =
    "--format stl|ply|obj [--out DIR] [--units auto|mm|cm|m|in] [--csv LIST.csv]... [FILE "
    "--side Left|Right --axis Lateral|Medial (--heel X,Y,Z --ball X,Y,Z --adjacent X,Y,Z | "
    "--suggest) [--roll DEG] [--true heel-ball|heel-adjacent|ball-adjacent=MM]]...";
inline constexpr const char* kExportSummary =
    "align and scale each scan as print does and write it as an STL, PLY or OBJ mesh in mm with "
    "a JSON summary of its reference points and measurements";

}  // namespace cli
