// quarnel-scan print as a lab script runs it: the sample feet aligned and scaled to the true
// distance, a batch that goes on past a bad scan, scans written in
// other length units, and bad usage told in one line.

#include <gtest/gtest.h>

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cmath>
#include <fstream>

#include "footgen/footgen.h"
#include "pdf_measure.h"

TEST(PrintCommand, SampleFeetEndAlignedAndScaledToTheTrueDistance) {
  struct Case {
    const char* side;
    const char* axis;
    double roll;
    const char* pair;
    double trueMm;
  };
  const Case cases[] = {{"Left", "Lateral", 7.5, "heel-ball", 170.0},
                        {"Right", "Medial", -4.0, "ball-adjacent", 75.0}};
  QTemporaryDir out;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.side);
    const auto at = sample::landmarks(c.side);
    const sample::Outcome r = sample::run(sample::printArgs(
        c.side, {"--axis", c.axis, "--roll", QString::number(c.roll), "--true",
                 QStringLiteral("%1=%2").arg(c.pair).arg(c.trueMm), "--out", out.path()}));
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QJsonObject got = QJsonDocument::fromJson(r.out.toUtf8()).object();

    const bool heelBall = std::string(c.pair) == "heel-ball";
    const double measured = (at[1] - at[heelBall ? 0 : 2]).norm();
    const double factor = c.trueMm / measured;
    EXPECT_NEAR(got["scale_factor"].toDouble(), factor, 1e-9);
    EXPECT_NEAR(got["measured"].toObject()[heelBall ? "heel_ball" : "ball_adjacent"].toDouble(),
                measured, 1e-9);
    // Every distance scaled by the factor; where the foot ends is the align command's test.
    const Eigen::Vector3d p[] = {sample::point(got, "heel"), sample::point(got, "ball"),
                                 sample::point(got, "adjacent")};
    EXPECT_LT(p[0].norm(), 1e-6);
    for (std::size_t i = 0; i < 3; ++i)
      EXPECT_NEAR((p[i] - p[(i + 1) % 3]).norm(), factor * (at[i] - at[(i + 1) % 3]).norm(), 1e-6);

    // Files as the summary names them; the summary file says what stdout said.
    QFile pdf(got["pdf"].toString());
    EXPECT_EQ(QFileInfo(pdf).fileName(), QString(c.side) + "Foot_TrueSize.pdf");
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    EXPECT_TRUE(pdf.read(5) == "%PDF-");
    EXPECT_GE(got["pages"].toInt(), 1);
    QFile summary(got["json"].toString());
    ASSERT_TRUE(summary.open(QIODevice::ReadOnly));
    QJsonObject printed = got;
    printed.remove("json");
    EXPECT_EQ(QJsonDocument::fromJson(summary.readAll()).object(), printed);
  }
}

TEST(PrintCommand, BatchGoesOnPastABadScanAndSaysSo) {
  QTemporaryDir dir;
  const auto row = [](const QString& file, const char* side, const QString& rest) {
    QStringList cells{file, side, "Lateral"};
    for (const Eigen::Vector3d& p : sample::landmarks(side)) cells << sample::text(p);
    return (cells.join(',') + ',' + rest + '\n').toUtf8();
  };
  // A scan the reader refuses in the middle; the last row's path is relative to the list.
  QFile::copy(sample::scan("Right"), dir.filePath("Right Foot.wrl"));
  QFile list(dir.filePath("batch.csv"));
  ASSERT_TRUE(list.open(QIODevice::WriteOnly));
  list.write(
      "file,side,axis,heel_x,heel_y,heel_z,ball_x,ball_y,ball_z,adj_x,adj_y,adj_z,roll,"
      "true_distance_kind,true_distance\n");
  list.write(row(sample::scan("Left"), "Left", "3,heel-ball,165"));
  list.write(row(QUARNEL_TEST_DATA
                 "/castle-demo-models/vrml_2/cones_gzipped_but_with_normal_extension.wrl",
                 "Left", ",,"));
  list.write(row("\"Right Foot.wrl\"", "Right", "0,,"));
  list.write(row(sample::scan("Left"), "Left", "nan,,"));
  list.close();

  const sample::Outcome run =
      sample::run({"print", "--csv", list.fileName(), "--out", dir.filePath("out")});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_EQ(QDir(dir.filePath("out")).entryList({"*.pdf"}),
            (QStringList{"LeftFoot_TrueSize.pdf", "Right Foot_TrueSize.pdf"}));
  EXPECT_EQ(run.out.count('\n'), 2);
  const QStringList lines = run.err.split('\n', Qt::SkipEmptyParts);
  for (int i = 1; i <= 4; ++i)
    EXPECT_EQ(lines.filter(QStringLiteral("file %1 of 4").arg(i)).size(), i % 2 ? 1 : 2)
        << run.err.toStdString();
  const QStringList errors = lines.filter(QRegularExpression("^error:"));
  ASSERT_EQ(errors.size(), 2) << run.err.toStdString();
  EXPECT_TRUE(errors[0].contains("cones_gzipped_but_with_normal_extension.wrl"));
  EXPECT_TRUE(errors[0].contains("holds no surface geometry")) << errors[0].toStdString();
  EXPECT_TRUE(errors[1].contains("batch.csv line 5: the roll is not a finite number"))
      << errors[1].toStdString();

  // A list without its columns is bad usage, told in one line.
  QFile bad(dir.filePath("bad.csv"));
  ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
  bad.write("file,side\nx.wrl,Left\n");
  bad.close();
  const sample::Outcome r = sample::run({"print", "--csv", bad.fileName()});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err.count('\n'), 1) << r.err.toStdString();
}

TEST(PrintCommand, ScansInOtherUnits) {
  const footgen::Foot foot = footgen::GenerateFoot(footgen::Side::Left, 5);
  QTemporaryDir dir;
  // The foot written with `perMm` file units to the millimetre, printed into a folder of its own.
  const auto print = [&](const QString& name, double perMm, const QStringList& more) {
    kernelcad::Mesh mesh = foot.mesh;
    for (float& c : mesh.points) c *= perMm;
    std::ofstream file(dir.filePath(name).toStdString());
    footgen::WriteVrml2(mesh, file, "");
    const auto& at = foot.landmarks;
    return sample::run(QStringList{"print", dir.filePath(name), "--side", "Left", "--axis",
                                   "Lateral", "--heel", sample::text(at.heel), "--ball",
                                   sample::text(at.ball), "--adjacent", sample::text(at.adjacent),
                                   "--out", dir.filePath(name + ".out" + more.join(""))} +
                       more);
  };
  const auto json = [](const QString& out) {
    return QJsonDocument::fromJson(out.toUtf8()).object();
  };
  const QJsonObject mm = json(print("mm.wrl", 1, {}).out);
  ASSERT_GT(mm["outline"].toObject()["length"].toDouble(), 200);

  // The unit guessed from the size and said: the same outline on as many pages.
  for (const auto& [name, perMm, unit] :
       {std::tuple{"m.wrl", 1e-3, "m"}, {"in.wrl", 1 / 25.4, "in"}, {"um.wrl", 1e3, "um"}}) {
    const sample::Outcome r = print(name, perMm, {"--units", "auto"});
    EXPECT_TRUE(r.err.contains(QStringLiteral("%1: --units auto took %2:").arg(name, unit)))
        << r.err.toStdString();
    const QJsonObject got = json(r.out);
    EXPECT_EQ(got["pages"].toInt(), mm["pages"].toInt());
    // Four decimals of a metre are a tenth of a millimetre.
    EXPECT_NEAR(got["outline"].toObject()["length"].toDouble(),
                mm["outline"].toObject()["length"].toDouble(), 0.1);
  }

  // Micrometres read as millimetres: a warning, then the 260 m outline refused by its size before
  // any file is written.
  const sample::Outcome r = print("um.wrl", 1e3, {});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_TRUE(r.err.contains("\nwarning: " + dir.filePath("um.wrl") + ": the longest side is 26"))
      << r.err.toStdString();
  EXPECT_TRUE(r.err.contains(
      QRegularExpression("\nerror: [^\n]*outline is 26\\d{4}\\.\\d x [^\n]*at most 9\\.")))
      << r.err.toStdString();
  EXPECT_EQ(QDir(dir.filePath("um.wrl.out")).entryList(QDir::Files), QStringList{});
}
