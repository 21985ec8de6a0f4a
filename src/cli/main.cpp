// quarnel-scan: scan tools for lab scripts. Exit codes: 0 done, 1 bad usage, 2 refused file or
// an alignment that cannot be done (for print: any scan of the batch not printed).

#include <array>
#include <charconv>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "alignment/align.h"
#include "cli/print_command.h"
#include "kernelcad/core/scene.h"
#include "kernelcad/core/vrml_reader.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitUsage = 1;
constexpr int kExitRefused = 2;

struct Command {
  std::string_view name;
  std::string_view args;
  std::string_view summary;
  int (*run)(std::span<char*> args);
};

std::string JsonString(std::string_view s) {
  std::string out = "\"";
  for (const char c : s) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned char>(c));
          out += buf;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

// Shortest text that reads back to the same double, so scripts see the file's values exactly.
std::string JsonNumber(double v) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

int Info(std::span<char*> args) {
  if (args.size() != 1) return -1;
  const std::string path = args[0];
  kernelcad::VrmlScan scan;
  try {
    scan = kernelcad::ReadVrmlFile(path);
  } catch (const kernelcad::VrmlError& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return kExitRefused;
  }
  const auto b = scan.mesh.bounds();
  std::string out = "{\"file\": " + JsonString(path) + ", \"vrml\": " + JsonString(scan.version) +
                    ", \"gzip\": " + (scan.gzip ? "true" : "false") +
                    ", \"vertices\": " + std::to_string(scan.mesh.pointCount()) +
                    ", \"triangles\": " + std::to_string(scan.mesh.triangleCount()) +
                    ", \"bbox\": [";
  for (std::size_t i = 0; i < b.size(); ++i) out += (i ? ", " : "") + JsonNumber(b[i]);
  out += "]}\n";
  std::fputs(out.c_str(), stdout);
  return kExitOk;
}

// "X,Y,Z" as three numbers, nothing else.
std::optional<kernelcad::Vec3> ParsePoint(std::string_view text) {
  std::array<double, 3> v{};
  const char* at = text.data();
  const char* const end = text.data() + text.size();
  for (std::size_t i = 0; i < v.size(); ++i) {
    if (i > 0) {
      if (at == end || *at != ',') return std::nullopt;
      ++at;
    }
    const auto r = std::from_chars(at, end, v[i]);
    if (r.ec != std::errc()) return std::nullopt;
    at = r.ptr;
  }
  if (at != end) return std::nullopt;
  return kernelcad::Vec3(v[0], v[1], v[2]);
}

std::string JsonVector(std::span<const double> values) {
  std::string out = "[";
  for (std::size_t i = 0; i < values.size(); ++i) out += (i ? ", " : "") + JsonNumber(values[i]);
  return out + "]";
}

// The foot aligned as the windows align it: the scan as item 0, the heel, ball and adjacent
// spheres as items 1 to 3, then the alignment, the turn when the ball lies behind the heel, and
// the roll with the sign of the axis and side.
int Align(std::span<char*> args) {
  if (args.empty()) return -1;
  const std::string path = args[0];
  std::optional<alignment::Side> side;
  std::optional<alignment::Axis> axis;
  std::optional<kernelcad::Vec3> heel, ball, adjacent;
  double roll = 0;
  for (std::size_t i = 1; i < args.size(); i += 2) {
    if (i + 1 >= args.size()) return -1;
    const std::string_view key = args[i];
    const std::string_view value = args[i + 1];
    if (key == "--side") {
      if (value == "Left")
        side = alignment::Side::Left;
      else if (value == "Right")
        side = alignment::Side::Right;
      else
        return -1;
    } else if (key == "--axis") {
      if (value == "Lateral")
        axis = alignment::Axis::Lateral;
      else if (value == "Medial")
        axis = alignment::Axis::Medial;
      else
        return -1;
    } else if (key == "--heel" || key == "--ball" || key == "--adjacent") {
      const auto point = ParsePoint(value);
      if (!point) return -1;
      (key == "--heel" ? heel : key == "--ball" ? ball : adjacent) = point;
    } else if (key == "--roll") {
      const auto r = std::from_chars(value.data(), value.data() + value.size(), roll);
      if (r.ec != std::errc() || r.ptr != value.data() + value.size()) return -1;
    } else {
      return -1;
    }
  }
  if (!side || !axis || !heel || !ball || !adjacent) return -1;

  try {
    const auto model = alignment::Align_Scan(kernelcad::ReadVrmlFile(path).mesh,
                                             {*heel, *ball, *adjacent}, *axis, *side, roll);

    std::string out;
    const char* names[] = {"heel", "ball", "adjacent"};
    for (long i = 1; i <= 3; ++i) {
      const kernelcad::Vec3 c = model->GetItem(i)->GetPosition();
      out += (i == 1 ? "{\"" : ", \"") + std::string(names[i - 1]) +
             "\": " + JsonVector(std::array{c.x(), c.y(), c.z()});
    }
    out += ", \"mesh_bbox\": " + JsonVector(model->GetItem(0)->worldBounds()) + "}\n";
    std::fputs(out.c_str(), stdout);
    return kExitOk;
  } catch (const kernelcad::VrmlError& e) {
    std::fprintf(stderr, "%s\n", e.what());
  } catch (const alignment::AlignmentError& e) {
    std::fprintf(stderr, "%s\n", e.what());
  }
  return kExitRefused;
}

constexpr Command kCommands[] = {
    {"info", "FILE", "print the scan's version, size and bounds as one JSON line", Info},
    {"align",
     "FILE --side Left|Right --axis Lateral|Medial --heel X,Y,Z --ball X,Y,Z "
     "--adjacent X,Y,Z [--roll DEG]",
     "align the foot on its three points; print the sphere centres and the mesh bounds as JSON",
     Align},
    {"print", cli::kPrintArgs, cli::kPrintSummary, cli::Print},
};

int Usage() {
  std::fputs("usage: quarnel-scan COMMAND [ARGS]\n\ncommands:\n", stderr);
  for (const Command& c : kCommands) {
    std::fprintf(stderr, "  %-6.*s %-6.*s %.*s\n", static_cast<int>(c.name.size()), c.name.data(),
                 static_cast<int>(c.args.size()), c.args.data(), static_cast<int>(c.summary.size()),
                 c.summary.data());
  }
  return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string_view name = argv[1];
  for (const Command& c : kCommands) {
    if (c.name != name) continue;
    const int rc = c.run(std::span<char*>(argv + 2, static_cast<std::size_t>(argc - 2)));
    return rc < 0 ? Usage() : rc;
  }
  std::fprintf(stderr, "quarnel-scan: unknown command '%s'\n", argv[1]);
  return Usage();
}
