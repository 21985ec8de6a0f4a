// quarnel-scan: scan tools for lab scripts. Exit codes: 0 done, 1 bad usage, 2 refused file.

#include <charconv>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>

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
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
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
                    ", \"triangles\": " + std::to_string(scan.mesh.triangleCount()) + ", \"bbox\": [";
  for (std::size_t i = 0; i < b.size(); ++i) out += (i ? ", " : "") + JsonNumber(b[i]);
  out += "]}\n";
  std::fputs(out.c_str(), stdout);
  return kExitOk;
}

// New subcommands (align, print) take their place here.
constexpr Command kCommands[] = {
    {"info", "FILE", "print the scan's version, size and bounds as one JSON line", Info},
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
