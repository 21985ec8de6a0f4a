// quarnel-scan align on the shipped sample scans, as a lab script runs it: where its JSON puts
// the foot, its exit codes and one-line errors.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "footgen/footgen.h"
#include "run_scan.h"

namespace {

// Runs "quarnel-scan align <args>"; stderr goes with stdout when `withErrors`.
Outcome align(const std::string& args, bool withErrors = true) {
  return runScan("align " + args, withErrors);
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

// Heel at the origin, the axis point on the X axis ahead of it whatever the roll, the third point
// on its side, distances kept, and the landmarks (points of the surface) inside the new bounds.
TEST(AlignCommand, SampleFeetEndInTheStandardPosition) {
  for (const bool left : {true, false}) {
    for (const bool lateral : {true, false}) {
      SCOPED_TRACE(std::string(left ? "Left" : "Right") + (lateral ? "Lateral" : "Medial"));
      const footgen::Landmarks at =
          footgen::GenerateFoot(left ? footgen::Side::Left : footgen::Side::Right).landmarks;
      const Outcome r =
          align(sample(left) + " --side " + (left ? "Left" : "Right") + " --axis " +
                    (lateral ? "Lateral" : "Medial") + " --heel " + point(at.heel) + " --ball " +
                    point(at.ball) + " --adjacent " + point(at.adjacent) + " --roll 7.5",
                false);
      ASSERT_EQ(r.exitCode, 0) << r.out;
      ASSERT_EQ(r.out.back(), '\n');
      Eigen::Vector3d got[3];
      const char* keys[] = {"heel", "ball", "adjacent"};
      for (int i = 0; i < 3; ++i) {
        const std::vector<double> v = array(r.out, keys[i]);
        ASSERT_EQ(v.size(), 3u) << keys[i] << " in " << r.out;
        got[i] = Eigen::Vector3d(v[0], v[1], v[2]);
      }
      EXPECT_LT(got[0].norm(), 1e-6);
      EXPECT_LT(got[lateral ? 1 : 2].tail<2>().norm(), 1e-6);
      EXPECT_GT(got[1].x(), 0);
      // Sole down: the third point on the side of +Y a foot of that side puts it.
      EXPECT_GT(got[lateral ? 2 : 1].y() * (left == lateral ? 1 : -1), 0);
      const Eigen::Vector3d picked[] = {at.heel, at.ball, at.adjacent};
      const std::vector<double> bbox = array(r.out, "mesh_bbox");
      ASSERT_EQ(bbox.size(), 6u);
      for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR((got[i] - got[(i + 1) % 3]).norm(), (picked[i] - picked[(i + 1) % 3]).norm(),
                    1e-6);
        for (int a = 0; a < 3; ++a) {
          EXPECT_GE(got[i][a], bbox[a] - 1e-3) << keys[i];
          EXPECT_LE(got[i][a], bbox[a + 3] + 1e-3) << keys[i];
        }
      }
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
      " --side Left --axis Lateral --heel 0,0,0 --ball 10,0,0 --adjacent 5,5,0 --roll",
      " --side Left --axis Sideways --heel 0,0,0 --ball 10,0,0 --adjacent 5,5,0",
      // No place or angle: refused before the scan is read, never an abort.
      " --side Left --axis Lateral --heel nan,0,0 --ball 10,0,0 --adjacent 5,5,0",
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
