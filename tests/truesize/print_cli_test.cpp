// quarnel-scan print as a lab script runs it: the sample feet against the standard position and
// the true distance worked out afresh, and a batch that goes on past a bad scan.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "alignment_reference.h"

namespace {

struct Outcome {
  int exitCode = -1;
  QString out, err;
};

Outcome scan(const QStringList& args) {
  QProcess p;
  p.start(QStringLiteral(QUARNEL_SCAN), args);
  p.waitForFinished(120000);
  return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
          QString::fromUtf8(p.readAllStandardOutput()),
          QString::fromUtf8(p.readAllStandardError())};
}

QString sample(const QString& side) {
  return QStringLiteral(QUARNEL_SAMPLES_DIR "/") + side + "Foot.wrl";
}

// The landmarks file beside a sample, as its three points in the file's own text.
QJsonObject landmarks(const QString& side) {
  QFile f(QStringLiteral(QUARNEL_SAMPLES_DIR "/") + side + "Foot.landmarks.json");
  EXPECT_TRUE(f.open(QIODevice::ReadOnly));
  return QJsonDocument::fromJson(f.readAll()).object();
}

Eigen::Vector3d vec(const QJsonValue& v) {
  const QJsonArray a = v.toArray();
  return {a[0].toDouble(), a[1].toDouble(), a[2].toDouble()};
}

QString text(const Eigen::Vector3d& p) {
  return QStringLiteral("%1,%2,%3")
      .arg(p.x(), 0, 'g', 17)
      .arg(p.y(), 0, 'g', 17)
      .arg(p.z(), 0, 'g', 17);
}

}  // namespace

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
    const QJsonObject marks = landmarks(c.side);
    const Eigen::Vector3d heel = vec(marks["heel"]), ball = vec(marks["ball"]),
                          adjacent = vec(marks["adjacent"]);
    const Outcome r =
        scan({"print", sample(c.side), "--side", c.side, "--axis", c.axis, "--heel", text(heel),
              "--ball", text(ball), "--adjacent", text(adjacent), "--roll", QString::number(c.roll),
              "--true", QStringLiteral("%1=%2").arg(c.pair).arg(c.trueMm), "--out", out.path()});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QJsonObject got = QJsonDocument::fromJson(r.out.toUtf8()).object();

    const double measured =
        std::string(c.pair) == "heel-ball" ? (ball - heel).norm() : (ball - adjacent).norm();
    const double factor = c.trueMm / measured;
    EXPECT_NEAR(got["scale_factor"].toDouble(), factor, 1e-9);
    EXPECT_NEAR(got["measured"]
                    .toObject()[std::string(c.pair) == "heel-ball" ? "heel_ball" : "ball_adjacent"]
                    .toDouble(),
                measured, 1e-9);
    const Eigen::Affine3d motion =
        reference::alignedMotion(heel, ball, adjacent, c.variant, c.roll);
    const std::pair<const char*, Eigen::Vector3d> spheres[] = {
        {"heel", heel}, {"ball", ball}, {"adjacent", adjacent}};
    for (const auto& [key, picked] : spheres)
      EXPECT_LT((vec(got[key]) - factor * (motion * picked)).norm(), 1e-6) << key;

    // Files as the summary names them; the summary file says what stdout said.
    const QString pdf = got["pdf"].toString();
    EXPECT_EQ(QFileInfo(pdf).fileName(), QString(c.side) + "Foot_TrueSize.pdf");
    QFile pdfFile(pdf);
    ASSERT_TRUE(pdfFile.open(QIODevice::ReadOnly));
    EXPECT_TRUE(pdfFile.read(5) == "%PDF-");
    EXPECT_GE(got["pages"].toInt(), 1);
    QFile summary(got["json"].toString());
    ASSERT_TRUE(summary.open(QIODevice::ReadOnly));
    QJsonObject written = QJsonDocument::fromJson(summary.readAll()).object();
    QJsonObject printed = got;
    printed.remove("json");
    EXPECT_EQ(written, printed);
  }
}

TEST(PrintCommand, BatchGoesOnPastABadScanAndSaysSo) {
  QTemporaryDir dir;
  const QJsonObject l = landmarks("Left"), r = landmarks("Right");
  const auto row = [](const QString& file, const char* side, const QJsonObject& m,
                      const QString& rest) {
    QStringList cells{file, side, "Lateral"};
    for (const char* key : {"heel", "ball", "adjacent"})
      for (const QJsonValue v : m[key].toArray()) cells << QString::number(v.toDouble(), 'g', 17);
    return cells.join(',') + ',' + rest + '\n';
  };
  // A scan the reader refuses in the middle; the last row's path is relative to the list.
  QFile::copy(sample("Right"), dir.filePath("Right Foot.wrl"));
  QFile list(dir.filePath("batch.csv"));
  ASSERT_TRUE(list.open(QIODevice::WriteOnly));
  list.write(
      "file,side,axis,heel_x,heel_y,heel_z,ball_x,ball_y,ball_z,adj_x,adj_y,adj_z,roll,"
      "true_distance_kind,true_distance\n");
  list.write(row(sample("Left"), "Left", l, "3,heel-ball,165").toUtf8());
  list.write(
      row(QStringLiteral(QUARNEL_TEST_DATA
                         "/castle-demo-models/vrml_2/cones_gzipped_but_with_normal_extension.wrl"),
          "Left", l, ",,")
          .toUtf8());
  list.write(row("\"Right Foot.wrl\"", "Right", r, "0,,").toUtf8());
  list.close();

  const Outcome run = scan({"print", "--csv", list.fileName(), "--out", dir.filePath("out")});
  EXPECT_EQ(run.exitCode, 2);
  const QStringList pdfs = QDir(dir.filePath("out")).entryList({"*.pdf"});
  EXPECT_EQ(pdfs, (QStringList{"LeftFoot_TrueSize.pdf", "Right Foot_TrueSize.pdf"}));
  EXPECT_EQ(run.out.count('\n'), 2);
  const QStringList lines = run.err.split('\n', Qt::SkipEmptyParts);
  for (int i = 1; i <= 3; ++i)
    EXPECT_EQ(lines.filter(QStringLiteral("file %1 of 3").arg(i)).size(), i == 2 ? 2 : 1)
        << run.err.toStdString();
  const QStringList errors = lines.filter(QRegularExpression("^error:"));
  ASSERT_EQ(errors.size(), 1) << run.err.toStdString();
  EXPECT_TRUE(errors[0].contains("cones_gzipped_but_with_normal_extension.wrl"));
  EXPECT_TRUE(errors[0].contains("holds no surface geometry")) << errors[0].toStdString();

  // A list without its columns, or a scan without its side, is bad usage.
  QFile bad(dir.filePath("bad.csv"));
  ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
  bad.write("file,side\nx.wrl,Left\n");
  bad.close();
  EXPECT_EQ(scan({"print", "--csv", bad.fileName()}).exitCode, 1);
  EXPECT_EQ(scan({"print", sample("Left"), "--axis", "Lateral", "--heel", "0,0,0", "--ball",
                  "1,0,0", "--adjacent", "0,1,0"})
                .exitCode,
            1);
}
