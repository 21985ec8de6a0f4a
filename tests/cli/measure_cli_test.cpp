// quarnel-scan suggest, measure and print --suggest on the shipped sample scans: where the points
// land, what a batch with a failing scan prints, and the exit codes.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "footgen/footgen.h"
#include "run_scan.h"

namespace {

std::string sample(bool left) {
  return std::string(QUARNEL_SAMPLES_DIR) + (left ? "/LeftFoot.wrl" : "/RightFoot.wrl");
}

Eigen::Vector3d point(const std::string& json, const std::string& key) {
  std::smatch m;
  Eigen::Vector3d p(NAN, NAN, NAN);
  if (std::regex_search(json, m, std::regex("\"" + key + "\": \\[([^,]*), ([^,]*), ([^\\]]*)\\]")))
    p = {std::stod(m[1]), std::stod(m[2]), std::stod(m[3])};
  return p;
}

}  // namespace

TEST(SuggestCommand, PointsLieOnTheSampleLandmarks) {
  for (const bool left : {true, false}) {
    const footgen::Landmarks at =
        footgen::GenerateFoot(left ? footgen::Side::Left : footgen::Side::Right).landmarks;
    const Outcome r =
        runScan("suggest " + sample(left) + " --side " + (left ? "Left" : "Right"), false);
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_LT((point(r.out, "heel") - at.heel).norm(), 3.0) << r.out;
    EXPECT_LT((point(r.out, "ball") - at.ball).norm(), 3.0) << r.out;
    EXPECT_LT((point(r.out, "adjacent") - at.adjacent).norm(), 3.0) << r.out;
  }
}

// A batch goes on past a scan it cannot measure: the header and a row per measured scan on
// stdout, one error line per refused scan on stderr, exit code 2.
TEST(MeasureCommand, CsvBatchReportsEachRefusedScan) {
  const std::string wrongSide = sample(false),
                    notVrml = std::string(QUARNEL_SAMPLES_DIR) + "/LeftFoot.landmarks.json";
  Outcome r = runScan(
      "measure " + sample(true) + " " + wrongSide + " " + notVrml + " --side Left --csv", false);
  EXPECT_EQ(r.exitCode, 2);
  std::istringstream lines(r.out);
  std::string header, row, extra;
  std::getline(lines, header);
  std::getline(lines, row);
  EXPECT_FALSE(std::getline(lines, extra)) << r.out;
  EXPECT_EQ(header.rfind("file,side,foot_length,ball_width,", 0), 0u) << header;
  EXPECT_TRUE(std::regex_search(row, std::regex("LeftFoot.wrl,Left,2[56][0-9]\\.[0-9],"))) << row;
  EXPECT_EQ(std::count(row.begin(), row.end(), ','), std::count(header.begin(), header.end(), ','));

  r = runScan("measure " + sample(true) + " " + wrongSide + " " + notVrml + " --side Left");
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.out.find("RightFoot.wrl: no points suggested: The arch is on the side a right foot"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("error: " + notVrml), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"arch_class\": \"low\""), std::string::npos) << r.out;
}

TEST(PrintCommand, SuggestedPointsAndMeasurementsInTheSummary) {
  const std::filesystem::path out =
      std::filesystem::path(testing::TempDir()) / "quarnel_print_suggest";
  std::filesystem::remove_all(out);
  Outcome r = runScan(
      "print " + sample(true) + " --side Left --axis Lateral --suggest --out " + out.string(),
      false);
  ASSERT_EQ(r.exitCode, 0) << r.out;
  EXPECT_NE(r.out.find("\"suggested\":true"), std::string::npos) << r.out;
  EXPECT_TRUE(
      std::regex_search(r.out, std::regex("\"measurements\":\\{[^}]*\"foot_length\":2[56]")))
      << r.out;
  EXPECT_TRUE(std::filesystem::exists(out / "LeftFoot_TrueSize.pdf"));

  const char* bad[] = {
      "suggest --side Left",
      "suggest FILE",
      "suggest FILE --side left",
      "measure FILE --side",
      "print FILE --side Left --axis Lateral --suggest --heel 0,0,0",
  };
  for (std::string args : bad) {
    args = std::regex_replace(args, std::regex("FILE"), sample(true));
    r = runScan(args);
    EXPECT_EQ(r.exitCode, 1) << args << ": " << r.out;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out;
  }
}
