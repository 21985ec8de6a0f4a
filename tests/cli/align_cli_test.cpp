// quarnel-scan align on the shipped sample scans, as a lab script runs it: its JSON against the
// standard position worked out from the alignment's formulas, and its exit codes.

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <regex>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "alignment_reference.h"
#include "footgen/footgen.h"

namespace {

struct Outcome {
  int exitCode;
  std::string out;
};

// Runs the program through the shell; stderr goes with stdout when `withErrors`.
Outcome run(const std::string& args, bool withErrors = false) {
  const std::string command =
      std::string(QUARNEL_SCAN) + " " + args + (withErrors ? " 2>&1" : " 2>/dev/null");
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
  const std::regex pattern("\"" + key + "\": \\[([^\\]]*)\\]");
  std::smatch m;
  if (!std::regex_search(json, m, pattern)) return {};
  std::vector<double> values;
  const std::string list = m[1];
  for (std::size_t at = 0; at < list.size();) {
    std::size_t used = 0;
    values.push_back(std::stod(list.substr(at), &used));
    at += used;
    while (at < list.size() && (list[at] == ',' || list[at] == ' ')) ++at;
  }
  return values;
}

std::string sample(const char* side) {
  return std::string(QUARNEL_SAMPLES_DIR) + "/" + side + "Foot.wrl";
}

}  // namespace

TEST(AlignCommand, SampleFeetEndInTheStandardPosition) {
  struct Case {
    footgen::Side foot;
    const char* side;
    const char* axis;
    reference::Variant variant;
  };
  const Case cases[] = {
      {footgen::Side::Left, "Left", "Lateral", {true, true, +1}},
      {footgen::Side::Right, "Right", "Lateral", {true, false, -1}},
      {footgen::Side::Left, "Left", "Medial", {false, true, -1}},
      {footgen::Side::Right, "Right", "Medial", {false, false, +1}},
  };
  const double roll = 7.5;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.side) + " " + c.axis);
    const footgen::Foot foot = footgen::GenerateFoot(c.foot);
    const footgen::Landmarks& at = foot.landmarks;
    const Outcome r = run("align " + sample(c.side) + " --side " + c.side + " --axis " + c.axis + " --heel " +
                      point(at.heel) + " --ball " + point(at.ball) + " --adjacent " +
                      point(at.adjacent) + " --roll 7.5");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    ASSERT_EQ(r.out.back(), '\n');

    const Eigen::Affine3d motion =
        reference::alignedMotion(at.heel, at.ball, at.adjacent, c.variant, roll);
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
  const std::string scan = sample("Left");
  // The ball straight across from the heel: no axis to turn onto.
  Outcome r = run("align " + scan + " --side Left --axis Lateral --heel 40,0,0 --ball 40,25,1 --adjacent 160,-30,1",
              true);
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.out.find("same X"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find('{'), std::string::npos);

  r = run("align " + std::string(QUARNEL_TEST_DATA) +
              "/castle-demo-models/vrml_2/cones_gzipped_but_with_normal_extension.wrl"
              " --side Left --axis Lateral --heel 0,0,0 --ball 10,0,0 --adjacent 5,5,0",
          true);
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
  };
  for (const char* args : bad) {
    r = run(std::string("align ") + (*args ? scan + args : std::string()), true);
    EXPECT_EQ(r.exitCode, 1) << args;
    EXPECT_NE(r.out.find("usage: quarnel-scan"), std::string::npos) << args;
  }
}
