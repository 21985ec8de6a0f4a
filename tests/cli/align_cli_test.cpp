// quarnel-scan align and info as a lab script runs them: align's JSON on the shipped sample scans
// against the standard position worked out from the alignment's formulas, scans written in other
// length units, and the exit codes and one-line messages of everything refused.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "alignment_reference.h"
#include "footgen/footgen.h"

namespace {

struct Outcome {
  int exitCode;  // -1 when killed by a signal (an abort dumps core)
  std::string out;
  std::string err;
};

// Runs "quarnel-scan <args>" through the shell.
Outcome scan(const std::string& args) {
  const std::filesystem::path errors =
      std::filesystem::path(testing::TempDir()) / "quarnel-scan-stderr.txt";
  const std::string command =
      std::string(QUARNEL_SCAN) + " " + args + " 2>'" + errors.string() + "'";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return {-1, {}, {}};
  std::string out;
  std::array<char, 4096> buffer{};
  while (const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe))
    out.append(buffer.data(), n);
  const int status = pclose(pipe);
  std::ifstream file(errors);
  std::stringstream err;
  err << file.rdbuf();
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out, err.str()};
}

// "quarnel-scan align <args>" with stderr after stdout.
Outcome align(const std::string& args) {
  Outcome r = scan("align " + args);
  r.out += r.err;
  return r;
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

// A small left foot written with `perMm` file units to the millimetre; its landmarks in mm.
std::string writeScan(const footgen::Foot& foot, const std::string& name, double perMm) {
  kernelcad::Mesh mesh = foot.mesh;
  for (double& c : mesh.points) c *= perMm;
  const std::string path = (std::filesystem::path(testing::TempDir()) / name).string();
  std::ofstream file(path);
  footgen::WriteVrml2(mesh, file, "scan in another unit");
  return path;
}

std::string landmarkArgs(const footgen::Landmarks& at) {
  return " --side Left --axis Lateral --heel " + point(at.heel) + " --ball " + point(at.ball) +
         " --adjacent " + point(at.adjacent);
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
        scan("align " + sample(v.left) + " --side " + (v.left ? "Left" : "Right") + " --axis " +
             (v.lateral ? "Lateral" : "Medial") + " --heel " + point(at.heel) + " --ball " +
             point(at.ball) + " --adjacent " + point(at.adjacent) + " --roll 7.5");
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
      // Numbers that are no place or angle: refused before the scan is read.
      " --side Left --axis Lateral --heel nan,0,0 --ball 10,0,0 --adjacent 5,5,0",
      " --side Left --axis Lateral --heel 0,0,0 --ball 10,-inf,0 --adjacent 5,5,0",
      " --side Left --axis Lateral --heel 0,0,0 --ball 10,0,0 --adjacent 5,5,1e999",
      " --side Left --axis Lateral --heel 0,0,0 --ball 10,0,0 --adjacent 5,5,0 --roll inf",
      " --side Left --axis Lateral --heel 0,0,0 --ball 10,0,0 --adjacent 5,5,0 --roll NaN",
      " --side Left --axis Lateral --heel 0,0,0 --ball 10,0,0 --adjacent 5,5,0 --units furlong",
  };
  for (const char* args : bad) {
    r = align(*args ? scan + args : std::string());
    EXPECT_EQ(r.exitCode, 1) << args;
    // One line that says what is wrong and how the command is used; no JSON, no core dump.
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << args << "\n" << r.out;
    EXPECT_NE(r.out.find("usage: quarnel-scan align"), std::string::npos) << args;
  }
}

TEST(UnitsOption, ScansInOtherUnitsReadAsMillimetres) {
  const footgen::Foot foot = footgen::GenerateFoot(footgen::Side::Left, 5);
  struct Case {
    const char* name;
    double perMm;       // file units per millimetre
    const char* units;  // --units, or none
    double scale;       // of the bounds reported, against the foot in millimetres
    const char* said;   // what auto says it took; nothing said without auto
  };
  const Case cases[] = {
      {"mm.wrl", 1, "auto", 1, "took mm"},        {"m.wrl", 1e-3, "auto", 1, "took m:"},
      {"m.wrl", 1e-3, "m", 1, nullptr},           {"m.wrl", 1e-3, nullptr, 1e-3, nullptr},
      {"in.wrl", 1 / 25.4, "auto", 1, "took in"}, {"cm.wrl", 0.1, "auto", 1, "took cm"},
  };
  const std::vector<double> mm = array(scan("info " + writeScan(foot, "mm.wrl", 1)).out, "bbox");
  ASSERT_EQ(mm.size(), 6u);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " --units " + (c.units ? c.units : "(none)"));
    const std::string file = writeScan(foot, c.name, c.perMm);
    const Outcome r = scan("info " + file + (c.units ? std::string(" --units ") + c.units : ""));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::vector<double> bbox = array(r.out, "bbox");
    ASSERT_EQ(bbox.size(), 6u);
    // The files keep four decimals of their unit: a tenth of a millimetre in metres.
    const double tolerance = 0.5e-4 * (1 + 1 / c.perMm) * c.scale;
    for (int i = 0; i < 6; ++i) EXPECT_NEAR(bbox[i], mm[i] * c.scale, tolerance) << i;
    if (c.said) {
      EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
      EXPECT_NE(r.err.find(file + ": --units auto " + c.said), std::string::npos) << r.err;
    } else {
      EXPECT_EQ(r.err, "");
    }
  }

  // Aligned in millimetres: the same spheres and bounds as from the file in millimetres.
  const std::string points = landmarkArgs(foot.landmarks);
  const Outcome inMm = scan("align " + writeScan(foot, "mm.wrl", 1) + points);
  const Outcome inM = scan("align " + writeScan(foot, "m.wrl", 1e-3) + points + " --units auto");
  ASSERT_EQ(inM.exitCode, 0) << inM.err;
  for (const char* key : {"heel", "ball", "adjacent", "mesh_bbox"}) {
    const std::vector<double> a = array(inMm.out, key), b = array(inM.out, key);
    ASSERT_EQ(a.size(), b.size()) << key;
    for (std::size_t i = 0; i < a.size(); ++i) EXPECT_NEAR(a[i], b[i], 0.06) << key;
  }
}
