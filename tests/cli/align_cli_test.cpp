// quarnel-scan align on the shipped sample scans, as a lab script runs it: its JSON against the
// standard position worked out from the alignment's formulas, its exit codes and one-line errors.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "alignment_reference.h"
#include "footgen/footgen.h"

namespace {

struct Outcome {
  int exitCode;
  std::string out;
};

// Runs "quarnel-scan align <args>" through the shell; stderr goes with stdout when `withErrors`.
Outcome align(const std::string& args, bool withErrors = true) {
  const std::string command =
      std::string(QUARNEL_SCAN) + " align " + args + (withErrors ? " 2>&1" : " 2>/dev/null");
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return {-1, {}};
  std::string out;
  std::array<char, 4096> buffer{};
  while (const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe))
    out.append(buffer.data(), n);
  const int status = pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

std::string point(const Eigen::Vector3d& p) {
  char text[96];
  std::snprintf(text, sizeof text, "%.17g,%.17g,%.17g", p.x(), p.y(), p.z());
  return text;
}

// The numbers of the array after "key": in a JSON object.
std::vector<double> array(const std::string& json, const std::string& key) {
  std::vector<double> values;
  std::smatch m;
  if (!std::regex_search(json, m, std::regex("\"" + key + "\": \\[([^\\]]*)\\]"))) return values;
  std::istringstream list(std::regex_replace(m[1].str(), std::regex(","), " "));
  for (double v; list >> v;) values.push_back(v);
  return values;
}

std::string sample(bool left) {
  return std::string(QUARNEL_SAMPLES_DIR) + (left ? "/LeftFoot.wrl" : "/RightFoot.wrl");
}

}  // namespace

TEST(AlignCommand, SampleFeetEndInTheStandardPosition) {
  const double roll = 7.5;
  for (const reference::Variant& v : reference::kVariants) {
    SCOPED_TRACE(v.name());
    const footgen::Foot foot =
        footgen::GenerateFoot(v.left ? footgen::Side::Left : footgen::Side::Right);
    const footgen::Landmarks& at = foot.landmarks;
    const Outcome r =
        align(sample(v.left) + " --side " + (v.left ? "Left" : "Right") + " --axis " +
                  (v.lateral ? "Lateral" : "Medial") + " --heel " + point(at.heel) + " --ball " +
                  point(at.ball) + " --adjacent " + point(at.adjacent) + " --roll 7.5",
              false);
    ASSERT_EQ(r.exitCode, 0) << r.out;
    ASSERT_EQ(r.out.back(), '\n');

    const Eigen::Affine3d motion = reference::alignedMotion(at.heel, at.ball, at.adjacent, v, roll);
    const std::pair<const char*, Eigen::Vector3d> spheres[] = {
        {"heel", at.heel}, {"ball", at.ball}, {"adjacent", at.adjacent}};
    for (const auto& [key, picked] : spheres) {
      const std::vector<double> got = array(r.out, key);
      ASSERT_EQ(got.size(), 3u) << key << " in " << r.out;
      EXPECT_LT((Eigen::Vector3d(got[0], got[1], got[2]) - motion * picked).norm(), 1e-6) << key;
    }
    // The mesh's bounds after the same motion; the sample file keeps six decimals.
    Eigen::AlignedBox3d box;
    const auto& p = foot.mesh.points;
    for (std::size_t i = 0; i < p.size(); i += 3)
      box.extend(motion * Eigen::Vector3d(p[i], p[i + 1], p[i + 2]));
    const std::vector<double> bbox = array(r.out, "mesh_bbox");
    ASSERT_EQ(bbox.size(), 6u);
    for (int i = 0; i < 3; ++i) {
      EXPECT_NEAR(bbox[i], box.min()[i], 1e-4);
      EXPECT_NEAR(bbox[i + 3], box.max()[i], 1e-4);
    }
  }
}

TEST(AlignCommand, RefusalsAndBadUsageHaveTheirExitCodes) {
  const std::string scan = sample(true);
  // The ball straight across from the heel: no axis to turn onto.
  Outcome r =
      align(scan + " --side Left --axis Lateral --heel 40,0,0 --ball 40,25,1 --adjacent 160,-30,1");
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.out.find("same X"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find('{'), std::string::npos);

  r = align(std::string(QUARNEL_TEST_DATA) +
            "/castle-demo-models/vrml_2/cones_gzipped_but_with_normal_extension.wrl"
            " --side Left --axis Lateral --heel 0,0,0 --ball 10,0,0 --adjacent 5,5,0");
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.out.find("holds no surface geometry"), std::string::npos) << r.out;

  const char* bad[] = {
      "",
      " --side Left --axis Lateral --heel 0,0,0 --ball 10,0,0",
      " --side left --axis Lateral --heel 0,0,0 --ball 10,0,0 --adjacent 5,5,0",
      " --side Left --axis Lateral --heel 0,0 --ball 10,0,0 --adjacent 5,5,0",
      " --side Left --axis Lateral --heel 0,0,0x --ball 10,0,0 --adjacent 5,5,0",
      " --side Left --axis Lateral --heel 0,0,0 --ball 10,0,0 --adjacent 5,5,0 --roll",
      " --side Left --axis Sideways --heel 0,0,0 --ball 10,0,0 --adjacent 5,5,0",
      // No place or angle: refused before the scan is read, never an abort.
      " --side Left --axis Lateral --heel nan,0,0 --ball 10,0,0 --adjacent 5,5,0",
      " --side Left --axis Lateral --heel 0,0,0 --ball 10,-inf,0 --adjacent 5,5,1e999",
      " --side Left --axis Lateral --heel 0,0,0 --ball 10,0,0 --adjacent 5,5,0 --roll inf",
      " --side Left --axis Lateral --heel 0,0,0 --ball 10,0,0 --adjacent 5,5,0 --units feet",
  };
  for (const char* args : bad) {
    r = align(*args ? scan + args : std::string());
    EXPECT_EQ(r.exitCode, 1) << args;
    // One line: what is wrong, and how the command is used.
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out;
    EXPECT_NE(r.out.find("usage: quarnel-scan align"), std::string::npos) << args;
  }
}
