// quarnel-scan print as a lab script runs it: the sample feet against the standard position and
// the true distance worked out afresh, a batch that goes on past a bad scan, scans written in
// other length units, and bad usage told in one line.

#include <gtest/gtest.h>

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <fstream>

#include "alignment_reference.h"
#include "footgen/footgen.h"
#include "pdf_measure.h"

TEST(PrintCommand, SampleFeetEndAlignedAndScaledToTheTrueDistance) {
  struct Case {
    const char* side;
    const char* axis;
    reference::Variant variant;
    double roll;
    const char* pair;
    double trueMm;
  };
  const Case cases[] = {{"Left", "Lateral", {true, true, +1}, 7.5, "heel-ball", 170.0},
                        {"Right", "Medial", {false, false, +1}, -4.0, "ball-adjacent", 75.0}};
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
    const Eigen::Affine3d motion = reference::alignedMotion(at[0], at[1], at[2], c.variant, c.roll);
    for (std::size_t i = 0; i < 3; ++i) {
      const QJsonArray a = got[sample::kKeys[i]].toArray();
      const Eigen::Vector3d centre(a[0].toDouble(), a[1].toDouble(), a[2].toDouble());
      EXPECT_LT((centre - factor * (motion * at[i])).norm(), 1e-6) << sample::kKeys[i];
    }

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

  // A list without its columns, a scan without its side, a number that is none: bad usage,
  // told in one line.
  QFile bad(dir.filePath("bad.csv"));
  ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
  bad.write("file,side\nx.wrl,Left\n");
  bad.close();
  const QString left = sample::scan("Left");
  const QStringList usage[] = {
      {"print", "--csv", bad.fileName()},
      {"print", left, "--axis", "Lateral", "--heel", "0,0,0", "--ball", "1,0,0", "--adjacent",
       "0,1,0"},
      sample::printArgs("Left", {"--axis", "Lateral", "--roll", "inf"}),
      sample::printArgs("Left", {"--axis", "Lateral", "--true", "heel-ball=nan"}),
      {"print", left, "--side", "Left", "--axis", "Lateral", "--heel", "nan,0,0", "--ball", "1,0,0",
       "--adjacent", "0,1,0"},
      sample::printArgs("Left", {"--axis", "Lateral", "--units", "yards"}),
  };
  for (const QStringList& args : usage) {
    const sample::Outcome r = sample::run(args);
    EXPECT_EQ(r.exitCode, 1) << args.join(' ').toStdString();
    EXPECT_EQ(r.err.count('\n'), 1) << r.err.toStdString();
    EXPECT_TRUE(r.err.startsWith("quarnel-scan print: ")) << r.err.toStdString();
  }
}

TEST(PrintCommand, ScansInOtherUnits) {
  const footgen::Foot foot = footgen::GenerateFoot(footgen::Side::Left, 5);
  QTemporaryDir dir;
  // The foot written with `perMm` file units to the millimetre.
  const auto write = [&](const QString& name, double perMm) {
    kernelcad::Mesh mesh = foot.mesh;
    for (double& c : mesh.points) c *= perMm;
    std::ofstream file(dir.filePath(name).toStdString());
    footgen::WriteVrml2(mesh, file, "scan in another unit");
    return dir.filePath(name);
  };
  const auto print = [&](const QString& file, const QStringList& more) {
    const QString out = dir.filePath(QFileInfo(file).baseName() + more.join('_'));
    return sample::run(QStringList{"print", file, "--side", "Left", "--axis", "Lateral", "--heel",
                                   sample::text(foot.landmarks.heel), "--ball",
                                   sample::text(foot.landmarks.ball), "--adjacent",
                                   sample::text(foot.landmarks.adjacent), "--out", out} +
                       more);
  };
  const sample::Outcome mm = print(write("mm.wrl", 1), {});
  ASSERT_EQ(mm.exitCode, 0) << mm.err.toStdString();
  const QJsonObject inMm = QJsonDocument::fromJson(mm.out.toUtf8()).object();
  const double length = inMm["outline"].toObject()["length"].toDouble();
  ASSERT_GT(length, 200);

  // Guessed from the size: the same foot, the same pages, and one line that says so.
  struct Guess {
    const char* file;
    double perMm;
    const char* unit;
  };
  for (const Guess& g : {Guess{"m.wrl", 1e-3, "m"}, Guess{"um.wrl", 1e3, "um"}}) {
    SCOPED_TRACE(g.file);
    const QString file = write(g.file, g.perMm);
    const sample::Outcome r = print(file, {"--units", "auto"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QStringList said = r.err.split('\n').filter("--units auto");
    ASSERT_EQ(said.size(), 1) << r.err.toStdString();
    EXPECT_TRUE(said[0].contains(QStringLiteral("%1: --units auto took %2:").arg(file, g.unit)))
        << said[0].toStdString();
    const QJsonObject got = QJsonDocument::fromJson(r.out.toUtf8()).object();
    EXPECT_EQ(got["units"].toString(), g.unit);
    EXPECT_EQ(got["pages"].toInt(), inMm["pages"].toInt());
    // Four decimals of a metre are a tenth of a millimetre.
    EXPECT_NEAR(got["outline"].toObject()["length"].toDouble(), length, 0.1);
  }

  // Micrometres taken as millimetres: a foot 260 m long is refused before any page is written.
  const sample::Outcome r = print(write("um.wrl", 1e3), {});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_TRUE(r.err.contains(QRegularExpression(
      "\nwarning: [^\n]*um.wrl: the longest side is 26\\d{4} mm, not a foot's size")))
      << r.err.toStdString();
  const QStringList errors = r.err.split('\n').filter(QRegularExpression("^error:"));
  ASSERT_EQ(errors.size(), 1) << r.err.toStdString();
  // The message names the outline's size, in millimetres as the scan was taken.
  const QRegularExpressionMatch size =
      QRegularExpression("outline is (\\d+\\.\\d) x \\d+\\.\\d mm").match(errors[0]);
  ASSERT_TRUE(size.hasMatch()) << errors[0].toStdString();
  EXPECT_NEAR(size.captured(1).toDouble() / (length * 1e3), 1, 1e-3);
  EXPECT_TRUE(errors[0].contains("at most 9")) << errors[0].toStdString();
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(QDir(dir.filePath("um")).entryList(QDir::Files), QStringList{});
}
