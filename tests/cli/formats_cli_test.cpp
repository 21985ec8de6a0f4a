// The sample feet written as STL, OBJ and PLY in every form: quarnel-scan reads, suggests and
// measures them as it does the same feet in VRML, and export writes what reads back.

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <tuple>

#include "kernelcad/core/mesh_writers.h"
#include "kernelcad/core/scan_reader.h"
#include "run_scan.h"

namespace fs = std::filesystem;
using kernelcad::ScanFormat;

namespace {

std::string leftFoot() { return std::string(QUARNEL_SAMPLES_DIR) + "/LeftFoot.wrl"; }

// The output with the file's name and format taken out, so scans of one foot compare equal.
std::string withoutFile(const std::string& out) {
  return std::regex_replace(
      out, std::regex("\"file\": \"[^\"]*\"|\"format\": \"[^\"]*\"|\"vrml\": \"[^\"]*\""), "");
}

fs::path scratch(const std::string& name) {
  const fs::path dir = fs::path(testing::TempDir()) / name;
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

}  // namespace

TEST(MeshFormatsCli, EachFormatReadsSuggestsAndMeasuresAsVrml) {
  const fs::path dir = scratch("quarnel_formats");
  const std::string side = " --side Left";
  const kernelcad::Mesh foot = kernelcad::ReadScanFile(leftFoot()).mesh;
  const std::string info = withoutFile(runScan("info " + leftFoot(), false).out);
  const std::string suggest = withoutFile(runScan("suggest " + leftFoot() + side, false).out);
  const std::string measure = withoutFile(runScan("measure " + leftFoot() + side, false).out);
  ASSERT_NE(measure.find("foot_length"), std::string::npos) << measure;
  // The text forms read as the same mesh as their binary siblings (the reader's own tests), so
  // the suggestion, which takes seconds in a sanitizer build, runs once per format.
  for (const auto& [format, name, suggests] : {std::tuple{ScanFormat::StlBinary, "foot.stl", true},
                                               {ScanFormat::StlAscii, "text.stl", false},
                                               {ScanFormat::Obj, "foot.obj", true},
                                               {ScanFormat::PlyAscii, "text.ply", false},
                                               {ScanFormat::PlyLittleEndian, "foot.ply", true},
                                               {ScanFormat::PlyBigEndian, "big.ply", false}}) {
    SCOPED_TRACE(name);
    const std::string path = (dir / name).string();
    kernelcad::WriteMeshFile(foot, format, path);
    const Outcome read = runScan("info " + path, false);
    EXPECT_NE(read.out.find("\"format\": \"" + std::string(kernelcad::FormatName(format))),
              std::string::npos)
        << read.out;
    // Same vertex count (STL's corners welded), triangles and bounds.
    EXPECT_EQ(withoutFile(read.out), info);
    if (!suggests) continue;
    EXPECT_EQ(withoutFile(runScan("suggest " + path + side, false).out), suggest);
    EXPECT_EQ(withoutFile(runScan("measure " + path + side, false).out), measure);
  }
}

TEST(MeshFormatsCli, ExportedFootReadsBackAsTheSameMeshInEveryFormat) {
  const fs::path out = scratch("quarnel_export");
  const std::string common = leftFoot() +
                             " --side Left --axis Lateral --suggest --true "
                             "heel-ball=170 --out " +
                             out.string() + " --format ";
  std::vector<kernelcad::Mesh> meshes;
  for (const std::string format : {"ply", "obj", "stl"}) {
    const Outcome r = runScan("export " + common + format, false);
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_TRUE(std::regex_search(r.out, std::regex("\"heel\":\\[0,0,0\\]"))) << r.out;
    // Scaled to the true heel-ball distance: the ball lies 170 mm ahead of the heel.
    std::smatch ball;
    ASSERT_TRUE(std::regex_search(r.out, ball, std::regex("\"ball\":\\[([^,]*),"))) << r.out;
    EXPECT_NEAR(std::stod(ball[1]), 170.0, 1e-6);
    EXPECT_TRUE(std::regex_search(r.out, std::regex("\"foot_length\":2[5-9][0-9]"))) << r.out;
    EXPECT_TRUE(fs::exists(out / "LeftFoot_Aligned.json"));
    meshes.push_back(kernelcad::ReadScanFile((out / ("LeftFoot_Aligned." + format)).string()).mesh);
  }
  // PLY and OBJ keep the points in order; STL's welding gives the same points.
  EXPECT_EQ(meshes[0].points, meshes[1].points);
  EXPECT_EQ(meshes[0].triangles, meshes[1].triangles);
  EXPECT_EQ(meshes[2].pointCount(), meshes[0].pointCount());
  EXPECT_EQ(meshes[2].bounds(), meshes[0].bounds());

  const Outcome bad = runScan("export " + leftFoot() + " --side Left --axis Lateral --suggest");
  EXPECT_EQ(bad.exitCode, 1) << bad.out;
  EXPECT_NE(bad.out.find("--format is missing"), std::string::npos) << bad.out;
}
