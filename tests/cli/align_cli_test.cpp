// quarnel-scan align on the shipped sample scans, as a lab script runs it: where its JSON puts
// the foot, its exit codes and one-line errors.

#include <gtest/gtest.h>

#include "pdf_measure.h"

// Heel at the origin, the axis point on the X axis ahead of it whatever the roll, the third point
// on its side, and the landmarks (points of the surface) inside the new bounds.
TEST(AlignCommand, SampleFeetEndInTheStandardPosition) {
  for (const QString side : {"Left", "Right"}) {
    for (const bool lateral : {true, false}) {
      SCOPED_TRACE((side + (lateral ? " Lateral" : " Medial")).toStdString());
      QStringList args =
          sample::printArgs(side, {"--axis", lateral ? "Lateral" : "Medial", "--roll", "7.5"});
      args[0] = "align";
      const sample::Outcome r = sample::run(args);
      ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
      const QJsonObject got = QJsonDocument::fromJson(r.out.toUtf8()).object();
      const Eigen::Vector3d p[] = {sample::point(got, "heel"), sample::point(got, "ball"),
                                   sample::point(got, "adjacent")};
      EXPECT_LT(p[0].norm(), 1e-6);
      EXPECT_LT(p[lateral ? 1 : 2].tail<2>().norm(), 1e-6);
      EXPECT_GT(p[1].x(), 0);
      // The foot rolled over, its sole at z = 0 facing +Z: the third point on the side of Y a foot
      // of that side puts it there, a left foot's lateral side at -Y.
      EXPECT_GT(p[lateral ? 2 : 1].y() * ((side == "Left") == lateral ? -1 : 1), 0);
      const QJsonArray box = got["mesh_bbox"].toArray();
      ASSERT_EQ(box.size(), 6);
      EXPECT_LT(box[5].toDouble(), -0.25 * box[2].toDouble()) << "the foot below its sole";
      for (const Eigen::Vector3d& point : p)
        for (int a = 0; a < 3; ++a) {
          EXPECT_GE(point[a], box[a].toDouble() - 1e-3);
          EXPECT_LE(point[a], box[a + 3].toDouble() + 1e-3);
        }
    }
  }
}

TEST(AlignCommand, RefusalsAndBadUsageHaveTheirExitCodes) {
  const QString scan = sample::scan("Left");
  // The ball straight across from the heel: no axis to turn onto; a file without surfaces.
  sample::Outcome r = sample::run({"align", scan, "--side", "Left", "--axis", "Lateral", "--heel",
                                   "40,0,0", "--ball", "40,25,1", "--adjacent", "160,-30,1"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_TRUE(r.err.contains("same X")) << r.err.toStdString();
  EXPECT_TRUE(r.out.isEmpty());
  r = sample::run(QStringList{"align",
                              QUARNEL_TEST_DATA "/castle-demo-models/vrml_2/"
                                                "cones_gzipped_but_with_normal_extension.wrl"} +
                  QStringList{"--side", "Left", "--axis", "Lateral", "--heel", "0,0,0", "--ball",
                              "10,0,0", "--adjacent", "5,5,0"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_TRUE(r.err.contains("holds no surface geometry")) << r.err.toStdString();

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
    r = sample::run(QStringList{"align"} +
                    (*args ? scan + args : QString()).split(' ', Qt::SkipEmptyParts));
    EXPECT_EQ(r.exitCode, 1) << args;
    // One line: what is wrong, and how the command is used.
    EXPECT_EQ(r.err.count('\n'), 1) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("usage: quarnel-scan align")) << args;
  }
}
