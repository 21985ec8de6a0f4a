// quarnel-footgen --side Left|Right [--vertices N] [VARIANT...] OUT.wrl
// Writes a synthetic foot scan and OUT.landmarks.json with its heel, ball and adjacent points.
// With variant options (--length MM, --arch Flat|Normal|High, --closed, --noise MM, --holes N,
// --fragments N, --cut-rim, --random-pose, --seed N, --leg MM, --toe-spring MM, --rocker MM,
// --flat-wall) it
// writes a foot of known truth instead, and the JSON holds its measurements too.

#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>

#include "footgen/footgen.h"

namespace {

int Usage() {
  std::cerr << "usage: quarnel-footgen --side Left|Right [--vertices N] [--length MM]"
               " [--arch Flat|Normal|High] [--closed] [--noise MM] [--holes N] [--fragments N]"
               " [--cut-rim] [--random-pose] [--seed N] [--leg MM] [--toe-spring MM] [--rocker MM]"
               " [--flat-wall]"
               " OUT.wrl\n";
  return 2;
}

std::string JsonPoint(const Eigen::Vector3d& p) {
  char buf[128];
  std::snprintf(buf, sizeof buf, "[%.6f, %.6f, %.6f]", p.x(), p.y(), p.z());
  return buf;
}

template <class T>
bool Parse(std::string_view v, T* out) {
  const auto r = std::from_chars(v.data(), v.data() + v.size(), *out);
  return r.ec == std::errc() && r.ptr == v.data() + v.size();
}

// A number from `lo` to `hi`.
template <class T>
bool ParseIn(std::string_view v, T* out, T lo, T hi) {
  return Parse(v, out) && *out >= lo && *out <= hi;
}

}  // namespace

int main(int argc, char** argv) {
  std::optional<footgen::Side> side;
  long long vertices = 1000LL * footgen::kDefaultResolution;
  footgen::Variant variant;
  bool isVariant = false;
  std::filesystem::path outPath;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const bool hasValue = i + 1 < argc;
    const std::string_view v = hasValue ? argv[i + 1] : "";
    bool ok = true;
    if (arg == "--side" && hasValue) {
      ok = v == "Left" || v == "Right";
      side = v == "Left" ? footgen::Side::Left : footgen::Side::Right;
    } else if (arg == "--vertices" && hasValue) {
      ok = Parse(v, &vertices) && vertices >= 1000;
    } else if (arg == "--length" && hasValue) {
      ok = ParseIn(v, &variant.length, 150.0, 400.0);
    } else if (arg == "--arch" && hasValue) {
      ok = v == "Flat" || v == "Normal" || v == "High";
      variant.arch = v == "Flat"   ? footgen::Arch::Flat
                     : v == "High" ? footgen::Arch::High
                                   : footgen::Arch::Normal;
    } else if (arg == "--noise" && hasValue) {
      ok = ParseIn(v, &variant.noise, 0.0, 5.0);
    } else if (arg == "--holes" && hasValue) {
      ok = ParseIn(v, &variant.holes, 0, 100);
    } else if (arg == "--fragments" && hasValue) {
      ok = ParseIn(v, &variant.fragments, 0, 100);
    } else if (arg == "--leg" && hasValue) {
      ok = ParseIn(v, &variant.leg, 0.0, 250.0);
    } else if (arg == "--toe-spring" && hasValue) {
      ok = ParseIn(v, &variant.toeSpring, 0.0, 50.0);
    } else if (arg == "--rocker" && hasValue) {
      ok = ParseIn(v, &variant.heelRocker, 0.0, 20.0);
    } else if (arg == "--seed" && hasValue) {
      ok = Parse(v, &variant.seed);
    } else if (arg == "--closed" || arg == "--cut-rim" || arg == "--random-pose" ||
               arg == "--flat-wall") {
      (arg == "--closed"        ? variant.closed
       : arg == "--cut-rim"     ? variant.cutRim
       : arg == "--random-pose" ? variant.randomPose
                                : variant.flatWall) = true;
      isVariant = true;
      continue;
    } else if (!arg.empty() && arg[0] != '-' && outPath.empty()) {
      outPath = arg;
      continue;
    } else {
      return Usage();
    }
    if (!ok) return Usage();
    isVariant |= arg != "--side" && arg != "--vertices";
    ++i;
  }
  if (!side || outPath.empty()) return Usage();

  variant.side = *side;
  variant.resolution = footgen::ResolutionForVertices(vertices);
  footgen::GeneratedFoot foot;
  if (isVariant) {
    foot = footgen::Generate(variant);
  } else {
    footgen::Foot sample = footgen::GenerateFoot(*side, variant.resolution);
    foot.mesh = std::move(sample.mesh);
    foot.truth.landmarks = sample.landmarks;
  }
  const std::string name = *side == footgen::Side::Left ? "Left" : "Right";
  {
    std::ofstream out(outPath, std::ios::binary);
    footgen::WriteVrml2(foot.mesh, out,
                        "Synthetic " + name + " foot, millimetres, " +
                            std::to_string(foot.mesh.pointCount()) + " vertices");
    if (!out) {
      std::cerr << "cannot write " << outPath << "\n";
      return 1;
    }
  }
  std::filesystem::path jsonPath = outPath;
  jsonPath.replace_extension(".landmarks.json");
  std::ofstream json(jsonPath);
  const footgen::Truth& t = foot.truth;
  json << "{\"heel\": " << JsonPoint(t.landmarks.heel)
       << ", \"ball\": " << JsonPoint(t.landmarks.ball)
       << ", \"adjacent\": " << JsonPoint(t.landmarks.adjacent);
  if (isVariant) {
    const char* arch[] = {"Flat", "Normal", "High"};
    char buf[400];
    std::snprintf(buf, sizeof buf,
                  ", \"footLength\": %.3f, \"ballWidth\": %.3f, \"ballWidthAcross\": %.3f"
                  ", \"heelWidth\": %.3f, \"archIndex\": %.4f, \"archClass\": \"%s\""
                  ", \"chippauxSmirak\": %.4f",
                  t.footLength, t.ballWidth, t.ballWidthAcross, t.heelWidth, t.archIndex,
                  arch[static_cast<int>(t.archClass)], t.chippauxSmirak);
    json << buf;
  }
  json << "}\n";
  if (!json) {
    std::cerr << "cannot write " << jsonPath << "\n";
    return 1;
  }
  return 0;
}
