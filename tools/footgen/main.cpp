// quarnel-footgen --side Left|Right [--vertices N] OUT.wrl
// Writes a synthetic foot scan and OUT.landmarks.json with its heel, ball and adjacent points.

#include <charconv>
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
  std::cerr << "usage: quarnel-footgen --side Left|Right [--vertices N] OUT.wrl\n";
  return 2;
}

std::string JsonPoint(const Eigen::Vector3d& p) {
  char buf[128];
  std::snprintf(buf, sizeof buf, "[%.6f, %.6f, %.6f]", p.x(), p.y(), p.z());
  return buf;
}

}  // namespace

int main(int argc, char** argv) {
  std::optional<footgen::Side> side;
  long long vertices = 1000LL * footgen::kDefaultResolution;
  std::filesystem::path outPath;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--side" && i + 1 < argc) {
      const std::string_view v = argv[++i];
      if (v == "Left")
        side = footgen::Side::Left;
      else if (v == "Right")
        side = footgen::Side::Right;
      else
        return Usage();
    } else if (arg == "--vertices" && i + 1 < argc) {
      const std::string_view v = argv[++i];
      const auto r = std::from_chars(v.data(), v.data() + v.size(), vertices);
      if (r.ec != std::errc() || r.ptr != v.data() + v.size() || vertices < 1000) return Usage();
    } else if (!arg.empty() && arg[0] != '-' && outPath.empty()) {
      outPath = arg;
    } else {
      return Usage();
    }
  }
  if (!side || outPath.empty()) return Usage();

  const footgen::Foot foot = footgen::GenerateFoot(*side, footgen::ResolutionForVertices(vertices));
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
  json << "{\"heel\": " << JsonPoint(foot.landmarks.heel)
       << ", \"ball\": " << JsonPoint(foot.landmarks.ball)
       << ", \"adjacent\": " << JsonPoint(foot.landmarks.adjacent) << "}\n";
  if (!json) {
    std::cerr << "cannot write " << jsonPath << "\n";
    return 1;
  }
  return 0;
}
