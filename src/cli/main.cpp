// quarnel-scan: scan tools for lab scripts. Exit codes: 0 done, 1 bad usage, 2 refused file or
// an alignment that cannot be done (for print: any scan of the batch not printed). It never
// aborts: whatever goes wrong ends as one line on stderr and one of these codes.

#include <array>
#include <charconv>
#include <cstdio>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "alignment/align.h"
#include "cli/arguments.h"
#include "cli/export_command.h"
#include "cli/measure_commands.h"
#include "cli/print_command.h"
#include "kernelcad/core/scene.h"
#include "kernelcad/core/text.h"

namespace {

using cli::jsonNumber;
using cli::jsonString;
using cli::kExitOk;
using cli::kExitUsage;
using cli::UsageError;

struct Command {
  std::string_view name;
  std::string_view args;
  std::string_view summary;
  int (*run)(std::span<char*> args);
};

int info(std::span<char*> args) {
  std::optional<std::string> path;
  cli::Units units = kernelcad::LengthUnit::Millimetre;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view a = args[i];
    if (a == "--units" && i + 1 < args.size())
      units = cli::parseUnits(args[++i]);
    else if (!path && !a.starts_with("--"))
      path = a;
    else
      throw UsageError("unexpected argument \"" + std::string(a) + "\"");
  }
  if (!path) throw UsageError("the scan file is missing");
  const kernelcad::ScanFile scan = cli::readScan(*path, units).scan;
  const auto b = scan.mesh.bounds();
  std::string out =
      "{\"file\": " + jsonString(*path) +
      ", \"format\": " + jsonString(kernelcad::FormatName(scan.format)) +
      ", \"vrml\": " + jsonString(scan.version) + ", \"gzip\": " + (scan.gzip ? "true" : "false") +
      ", \"vertices\": " + std::to_string(scan.mesh.pointCount()) +
      ", \"triangles\": " + std::to_string(scan.mesh.triangleCount()) + ", \"bbox\": [";
  for (std::size_t i = 0; i < b.size(); ++i)
    out += (i ? ", " : "") + jsonNumber(static_cast<float>(b[i]));
  out += "]}\n";
  std::fputs(out.c_str(), stdout);
  return kExitOk;
}

std::string jsonVector(std::span<const double> values) {
  std::string out = "[";
  for (std::size_t i = 0; i < values.size(); ++i) out += (i ? ", " : "") + jsonNumber(values[i]);
  return out + "]";
}

// The foot aligned as the windows align it: the scan as item 0, the heel, ball and adjacent
// spheres as items 1 to 3, then the alignment, the turn when the ball lies behind the heel, and
// the roll with the sign of the axis and side.
int align(std::span<char*> args) {
  if (args.empty() || std::string_view(args[0]).starts_with("--"))
    throw UsageError("the scan file is missing");
  const std::string path = args[0];
  std::optional<alignment::Side> side;
  std::optional<alignment::Axis> axis;
  std::optional<kernelcad::Vec3> heel, ball, adjacent;
  double roll = 0;
  cli::Units units = kernelcad::LengthUnit::Millimetre;
  for (std::size_t i = 1; i < args.size(); i += 2) {
    const std::string_view key = args[i];
    if (i + 1 >= args.size()) throw UsageError(std::string(key) + " needs a value");
    const std::string_view value = args[i + 1];
    const auto bad = [&](const char* what) {
      return UsageError(std::string(key) + " " + what + ", not \"" + std::string(value) + "\"");
    };
    if (key == "--side") {
      if (!(side = cli::parseSide(value))) throw bad("must be Left or Right");
    } else if (key == "--axis") {
      if (!(axis = cli::parseAxis(value))) throw bad("must be Lateral or Medial");
    } else if (key == "--heel" || key == "--ball" || key == "--adjacent") {
      const auto point = cli::point(value);
      if (!point) throw bad("needs three finite numbers X,Y,Z");
      (key == "--heel" ? heel : key == "--ball" ? ball : adjacent) = point;
    } else if (key == "--roll") {
      const auto r = cli::number(value);
      if (!r) throw bad("needs a finite number of degrees");
      roll = *r;
    } else if (key == "--units") {
      units = cli::parseUnits(value);
    } else {
      throw UsageError("unknown option \"" + std::string(key) + "\"");
    }
  }
  if (!side || !axis || !heel || !ball || !adjacent)
    throw UsageError("--side, --axis, --heel, --ball and --adjacent are all needed");

  const auto model = alignment::Align_Scan(cli::readScan(path, units).scan.mesh,
                                           {*heel, *ball, *adjacent}, *axis, *side, roll);
  std::string out;
  const char* names[] = {"heel", "ball", "adjacent"};
  for (long i = 1; i <= 3; ++i) {
    const kernelcad::Vec3 c = model->GetItem(i)->GetPosition();
    out += (i == 1 ? "{\"" : ", \"") + std::string(names[i - 1]) +
           "\": " + jsonVector(std::array{c.x(), c.y(), c.z()});
  }
  out += ", \"mesh_bbox\": " + jsonVector(model->GetItem(0)->worldBounds()) + "}\n";
  std::fputs(out.c_str(), stdout);
  return kExitOk;
}

constexpr Command kCommands[] = {
    {"info", "FILE [--units auto|mm|cm|m|in]",
     "print the scan's format, VRML version, size and bounds (in mm) as one JSON line", info},
    {"align",
     "FILE --side Left|Right --axis Lateral|Medial --heel X,Y,Z --ball X,Y,Z "
     "--adjacent X,Y,Z [--roll DEG] [--units auto|mm|cm|m|in]",
     "align the foot on its three points (in mm); print the sphere centres and the mesh bounds "
     "as JSON",
     align},
    {"print", cli::kPrintArgs, cli::kPrintSummary, cli::print},
    {"export", cli::kExportArgs, cli::kExportSummary, cli::exportScans},
    {"suggest", cli::kSuggestArgs, cli::kSuggestSummary, cli::suggest},
    {"measure", cli::kMeasureArgs, cli::kMeasureSummary, cli::measureScans},
};

int usage() {
  std::fputs("usage: quarnel-scan COMMAND [ARGS]\n\ncommands:\n", stderr);
  for (const Command& c : kCommands) {
    std::fprintf(stderr, "  %-7.*s %-6.*s %.*s\n", static_cast<int>(c.name.size()), c.name.data(),
                 static_cast<int>(c.args.size()), c.args.data(), static_cast<int>(c.summary.size()),
                 c.summary.data());
  }
  std::fputs(
      "\nScan coordinates are taken as millimetres unless --units says otherwise; "
      "auto guesses the unit from the scan's size and says which it took.\n",
      stderr);
  return kExitUsage;
}

// Runs the command; every failure that reaches here becomes its one line on stderr.
int run(const Command& command, std::span<char*> args) {
  const std::string name(command.name);
  try {
    return command.run(args);
  } catch (const UsageError& e) {
    cli::say("quarnel-scan " + name + ": " + e.what() + " (usage: quarnel-scan " + name + " " +
             std::string(command.args) + ")");
    return kExitUsage;
  } catch (const std::bad_alloc&) {
    cli::say("quarnel-scan " + name + ": not enough memory to finish");
  } catch (const std::exception& e) {
    cli::say(e.what());
  } catch (...) {
    cli::say("quarnel-scan " + name + ": failed for a reason it cannot tell");
  }
  return cli::kExitRefused;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  const std::string_view name = argv[1];
  for (const Command& c : kCommands)
    if (c.name == name) return run(c, std::span<char*>(argv + 2, std::size_t(argc - 2)));
  cli::say(
      "quarnel-scan: unknown command '" + std::string(name) +
      "' (usage: quarnel-scan info|align|print|export|suggest|measure ARGS; without arguments it "
      "lists them)");
  return kExitUsage;
}
