#include "cli/measure_commands.h"

#include <charconv>
#include <cstdio>
#include <optional>
#include <string_view>

#include "cli/arguments.h"
#include "printing/measurement_fields.h"

namespace cli {

using printing::Field;
using printing::fixed;
using printing::measurementFields;

namespace {

std::string jsonPoint(const Eigen::Vector3d& p) {
  std::string out = "[";
  out += fixed(p.x(), 3);
  out += ", ";
  out += fixed(p.y(), 3);
  out += ", ";
  out += fixed(p.z(), 3);
  return out + "]";
}

const char* sideName(alignment::Side side) {
  return side == alignment::Side::Left ? "Left" : "Right";
}

// The arguments both commands take: scan files, --side, --units and (for measure) --csv.
struct Request {
  std::vector<std::string> files;
  alignment::Side side = alignment::Side::Left;
  Units units = kernelcad::LengthUnit::Millimetre;
  bool csv = false;
};

Request parseRequest(std::span<char*> args, bool many) {
  Request r;
  std::optional<alignment::Side> side;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view a = args[i];
    if (a == "--csv" && many) {
      r.csv = true;
    } else if (a == "--side" || a == "--units") {
      if (i + 1 >= args.size()) throw UsageError(std::string(a) + " needs a value");
      const std::string_view value = args[++i];
      if (a == "--units")
        r.units = parseUnits(value);
      else if (!(side = parseSide(value)))
        throw UsageError("--side must be Left or Right, not \"" + std::string(value) + "\"");
    } else if (!a.starts_with("--") && (many || r.files.empty())) {
      r.files.emplace_back(a);
    } else {
      throw UsageError("unexpected argument \"" + std::string(a) + "\"");
    }
  }
  if (r.files.empty()) throw UsageError("the scan file is missing");
  if (!side) throw UsageError("--side is needed");
  r.side = *side;
  return r;
}

// The suggested points on the scan, or an exception with the reason.
measure::Suggestion suggestOn(const kernelcad::Mesh& mesh, alignment::Side side,
                              const std::string& file) {
  measure::Suggestion s = measure::SuggestReferencePoints(mesh, side);
  if (!s.found) throw std::runtime_error(file + ": no points suggested: " + s.reason);
  return s;
}

}  // namespace

int suggest(std::span<char*> args) {
  const Request r = parseRequest(args, false);
  const std::string& file = r.files.front();
  const measure::Suggestion s = suggestOn(readScan(file, r.units).scan.mesh, r.side, file);
  const std::string out = "{\"file\": " + jsonString(file) + ", \"side\": \"" + sideName(r.side) +
                          "\", \"heel\": " + jsonPoint(s.heel) +
                          ", \"ball\": " + jsonPoint(s.ball) +
                          ", \"adjacent\": " + jsonPoint(s.adjacent) + "}\n";
  std::fputs(out.c_str(), stdout);
  return kExitOk;
}

int measureScans(std::span<char*> args) {
  const Request r = parseRequest(args, true);
  if (r.csv) {
    std::string header = "file,side";
    for (const Field& f : measurementFields({})) header += "," + f.name;
    std::puts(header.c_str());
  }
  int failed = 0;
  for (const std::string& file : r.files) {
    try {
      const measure::Suggestion s = suggestOn(readScan(file, r.units).scan.mesh, r.side, file);
      const measure::Measurements& m = s.measurements;
      std::string line;
      if (r.csv) {
        // A file name with a comma or a quote is quoted as CSV quotes it.
        std::string name = file;
        if (name.find_first_of(",\"\n") != std::string::npos) {
          for (std::size_t at = 0; (at = name.find('"', at)) != std::string::npos; at += 2)
            name.insert(at, 1, '"');
          name = "\"" + name + "\"";
        }
        line = name + "," + sideName(r.side);
        for (const Field& f : measurementFields(m)) line += "," + f.text;
      } else {
        line = "{\"file\": " + jsonString(file) + ", \"side\": \"" + sideName(r.side) +
               "\", \"heel\": " + jsonPoint(s.heel) + ", \"ball\": " + jsonPoint(s.ball) +
               ", \"adjacent\": " + jsonPoint(s.adjacent);
        for (const Field& f : measurementFields(m))
          line += ", \"" + f.name + "\": " + (f.word ? jsonString(f.text) : f.text);
        line += "}";
      }
      std::puts(line.c_str());
      std::fflush(stdout);
    } catch (const std::exception& e) {
      ++failed;
      say(std::string("error: ") + e.what());
    }
  }
  return failed ? kExitRefused : kExitOk;
}

}  // namespace cli
