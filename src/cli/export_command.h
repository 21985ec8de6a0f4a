#pragma once

#include <algorithm>
#include <array>
#include <span>
#include <string_view>

#include "cli/print_command.h"

namespace cli {

// quarnel-scan export: each scan aligned and scaled as print does it, written as a mesh file in
// the standard position in millimetres for CAD/CAM, with a JSON summary beside it (the three
// reference points and the measurements). Returns the exit code; throws UsageError.
int exportScans(std::span<char*> args);

// Print's batch, with the format in front.
inline constexpr auto kExportArgsText = [] {
  constexpr std::string_view format = "--format stl|ply|obj ";
  std::array<char, format.size() + kPrintArgs.size()> text{};
  std::copy(format.begin(), format.end(), text.begin());
  std::copy(kPrintArgs.begin(), kPrintArgs.end(), text.begin() + format.size());
  return text;
}();
inline constexpr std::string_view kExportArgs{kExportArgsText.data(), kExportArgsText.size()};
inline constexpr const char* kExportSummary =
    "align and scale each scan as print does and write it as an STL, PLY or OBJ mesh in mm with "
    "a JSON summary of its reference points and measurements";

}  // namespace cli
