#include "cli/scan_jobs.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>
#include <array>
#include <cstdio>
#include <map>
#include <string_view>

#include "kernelcad/core/text.h"
#include "printing/aligned_export.h"
#include "printing/measurement_fields.h"
#include "printing/scaling.h"

namespace cli {

namespace {

constexpr std::array<std::string_view, 3> kPairNames = {"heel-ball", "heel-adjacent",
                                                        "ball-adjacent"};

std::optional<printing::DistancePair> pair(std::string_view s) {
  for (std::size_t i = 0; i < kPairNames.size(); ++i)
    if (s == kPairNames[i]) return static_cast<printing::DistancePair>(i);
  return std::nullopt;
}

// Fields of one CSV line; a quoted field may hold commas and doubled quotes.
std::vector<std::string> csvFields(std::string_view line) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted) {
      if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
        fields.back() += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        fields.back() += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  for (std::string& f : fields) f = std::string(trim(f));
  return fields;
}

const std::array<std::string_view, 15> kColumns = {
    "file",         "side",   "axis",  "heel_x", "heel_y", "heel_z", "ball_x",
    "ball_y",       "ball_z", "adj_x", "adj_y",  "adj_z",  "roll",   "true_distance_kind",
    "true_distance"};
constexpr std::size_t kRequiredColumns = 12;

// The rows of a list as jobs; a row with a fault becomes a job that reports it. A list that
// cannot be read, or whose header lacks a column, is a usage error: false, with the reason.
bool readList(const std::string& path, std::vector<Job>& jobs, std::string& reason) {
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
    reason = path + ": cannot be read";
    return false;
  }
  const QDir folder = QFileInfo(file).absoluteDir();
  std::map<std::string, std::size_t> column;
  int lineNumber = 0;
  while (!file.atEnd()) {
    const std::string line = file.readLine().toStdString();
    ++lineNumber;
    if (trim(line).empty() || trim(line).front() == '#') continue;
    const std::vector<std::string> fields = csvFields(line);
    if (column.empty()) {
      for (std::size_t i = 0; i < fields.size(); ++i) {
        if (std::find(kColumns.begin(), kColumns.end(), fields[i]) == kColumns.end()) {
          reason = path + ": unknown column \"" + fields[i] + "\" in the header";
          return false;
        }
        column[fields[i]] = i;
      }
      for (std::size_t i = 0; i < kRequiredColumns; ++i) {
        if (!column.count(std::string(kColumns[i]))) {
          reason = path + ": the header has no column \"" + std::string(kColumns[i]) + "\"";
          return false;
        }
      }
      continue;
    }
    Job job;
    job.fromList = true;
    const auto field = [&](std::string_view name) -> std::string {
      const auto it = column.find(std::string(name));
      return it != column.end() && it->second < fields.size() ? fields[it->second] : std::string();
    };
    const std::string where = path + " line " + std::to_string(lineNumber) + ": ";
    const QString scan = QString::fromStdString(field("file"));
    job.file =
        (scan.isEmpty() ? scan : QDir::cleanPath(folder.absoluteFilePath(scan))).toStdString();
    job.side = parseSide(field("side"));
    job.axis = parseAxis(field("axis"));
    std::array<std::optional<double>, 9> xyz;
    for (std::size_t i = 0; i < xyz.size(); ++i) xyz[i] = number(field(kColumns[3 + i]));
    const auto at = [&](std::size_t k) -> std::optional<kernelcad::Vec3> {
      if (!xyz[k] || !xyz[k + 1] || !xyz[k + 2]) return std::nullopt;
      return kernelcad::Vec3(*xyz[k], *xyz[k + 1], *xyz[k + 2]);
    };
    job.heel = at(0);
    job.ball = at(3);
    job.adjacent = at(6);
    const std::string roll = field("roll");
    const std::string kind = field("true_distance_kind");
    const std::string distance = field("true_distance");
    if (job.file.empty())
      job.refused = where + "no scan file";
    else if (!job.side)
      job.refused = where + "side must be Left or Right";
    else if (!job.axis)
      job.refused = where + "axis must be Lateral or Medial";
    else if (!job.heel || !job.ball || !job.adjacent)
      job.refused = where + "the heel, ball and adjacent points need three finite numbers each";
    else if (!roll.empty() && !number(roll))
      job.refused = where + "the roll is not a finite number";
    else if (!kind.empty() && !pair(kind))
      job.refused = where + "true_distance_kind must be heel-ball, heel-adjacent or ball-adjacent";
    else if (!kind.empty() && !(number(distance).value_or(0) > 0))
      job.refused = where + "true_distance must be a positive number of millimetres";
    if (!roll.empty() && number(roll)) job.roll = *number(roll);
    if (!kind.empty() && pair(kind) && number(distance)) {
      job.truePair = pair(kind);
      job.trueDistance = *number(distance);
    }
    jobs.push_back(std::move(job));
  }
  if (column.empty()) {
    reason = path + ": empty list, the header line is missing";
    return false;
  }
  return true;
}

QJsonArray json(const kernelcad::Vec3& v) { return {v.x(), v.y(), v.z()}; }

}  // namespace

AlignedFoot alignJob(const Job& job, Units units) {
  if (!job.refused.empty()) throw JobError(job.refused);
  ScanInMillimetres scan = readScan(job.file, units);
  // A unit given, or the default, that makes no foot: printed as asked, but not without a word.
  if (units && !kernelcad::PlausibleFootSize(scan.longestSideMm)) {
    char size[32];
    std::snprintf(size, sizeof size, "%.6g", scan.longestSideMm);
    say("warning: " + job.file + ": the longest side is " + size +
        " mm, not a foot's size; is the scan in another unit (--units auto)?");
  }
  alignment::ReferencePoints points;
  if (job.suggest) {
    const measure::Suggestion s = measure::SuggestReferencePoints(scan.scan.mesh, *job.side);
    if (!s.found) throw JobError("no points suggested: " + s.reason);
    points = {s.heel, s.ball, s.adjacent};
  } else {
    points = {*job.heel, *job.ball, *job.adjacent};
  }
  // The scan as read, for the measurements once the scale is known.
  const kernelcad::Mesh mesh = scan.scan.mesh;
  AlignedFoot foot;
  const auto& model = foot.model =
      alignment::Align_Scan(std::move(scan.scan.mesh), points, *job.axis, *job.side, job.roll);

  const printing::SphereGeometry measured = printing::Measure_Spheres(*model);
  std::array<double, 3> entered{};
  if (job.truePair) entered[std::size_t(*job.truePair)] = job.trueDistance;
  const printing::ScaleChoice choice =
      printing::Choose_Scale(entered, {measured.heelBall, measured.heelAdj, measured.ballAdj});
  if (!choice.factor) {
    throw JobError("the measured " + std::string(kPairNames[std::size_t(*choice.pair)]) +
                   " distance is 0 mm, so the true distance cannot give a scale factor");
  }
  printing::Apply_Scale(*model, *choice.factor);
  const measure::Measurements measurements =
      measure::Measure(mesh, points.heel, points.ball, points.adjacent, *job.side, *choice.factor);
  QJsonValue measured_values;
  if (measurements.valid) {
    measured_values = printing::measurementsJson(measurements);
  } else {
    say("warning: " + job.file + ": not measured: " + measurements.reason);
  }

  const QString sideName = *job.side == alignment::Side::Left ? "Left" : "Right";
  const printing::SphereGeometry placed = printing::Measure_Spheres(*model);
  foot.summary = QJsonObject{
      {"file", QString::fromStdString(job.file)},
      {"side", sideName},
      {"axis", *job.axis == alignment::Axis::Lateral ? "Lateral" : "Medial"},
      {"roll", job.roll},
      {"units", QString::fromLatin1(kernelcad::UnitName(scan.unit).data(),
                                    qsizetype(kernelcad::UnitName(scan.unit).size()))},
      {"measured", QJsonObject{{"heel_ball", measured.heelBall},
                               {"heel_adjacent", measured.heelAdj},
                               {"ball_adjacent", measured.ballAdj}}},
      {"true_distance",
       job.truePair
           ? QJsonValue(QJsonObject{
                 {"kind", QString::fromLatin1(kPairNames[std::size_t(*job.truePair)].data())},
                 {"mm", job.trueDistance}})
           : QJsonValue()},
      {"scale_factor", *choice.factor},
      {"suggested", job.suggest},
      {"measurements", measured_values},
      {"heel", json(placed.heel)},
      {"ball", json(placed.ball)},
      {"adjacent", json(placed.adjacent)}};
  return foot;
}

Batch parseBatch(std::span<char*> args, bool withFormat) {
  Batch batch;
  std::vector<Job>& jobs = batch.jobs;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view a = args[i];
    if (!a.starts_with("--")) {
      jobs.push_back({});
      jobs.back().file = a;
      continue;
    }
    if (a == "--suggest") {
      if (jobs.empty() || jobs.back().fromList)
        throw UsageError("--suggest must follow the scan file it describes");
      jobs.back().suggest = true;
      continue;
    }
    if (i + 1 >= args.size()) throw UsageError(std::string(a) + " needs a value");
    const std::string_view value = args[++i];
    const auto bad = [&](const char* what) {
      return UsageError(std::string(a) + " " + what + ", not \"" + std::string(value) + "\"");
    };
    if (a == "--out") {
      batch.outDir = value;
      continue;
    }
    if (a == "--units") {
      batch.units = parseUnits(value);
      continue;
    }
    if (withFormat && a == "--format") {
      batch.format =
          printing::exportFormatNamed(QString::fromUtf8(value.data(), qsizetype(value.size())));
      if (!batch.format) throw bad("must be stl, ply or obj");
      continue;
    }
    if (a == "--csv") {
      std::string reason;
      if (!readList(std::string(value), jobs, reason)) throw UsageError(reason);
      continue;
    }
    // The other options describe the scan named before them.
    if (jobs.empty() || jobs.back().fromList)
      throw UsageError(std::string(a) + " must follow the scan file it describes");
    Job& job = jobs.back();
    if (a == "--side") {
      if (!(job.side = parseSide(value))) throw bad("must be Left or Right");
    } else if (a == "--axis") {
      if (!(job.axis = parseAxis(value))) throw bad("must be Lateral or Medial");
    } else if (a == "--heel" || a == "--ball" || a == "--adjacent") {
      const auto p = point(value);
      if (!p) throw bad("needs three finite numbers X,Y,Z");
      (a == "--heel" ? job.heel : a == "--ball" ? job.ball : job.adjacent) = p;
    } else if (a == "--roll") {
      const auto r = number(value);
      if (!r) throw bad("needs a finite number of degrees");
      job.roll = *r;
    } else if (a == "--true") {
      const std::size_t eq = value.find('=');
      const auto p = pair(value.substr(0, eq));
      const auto mm = eq == std::string_view::npos ? std::nullopt : number(value.substr(eq + 1));
      if (!p || !mm || !(*mm > 0))
        throw bad("must be heel-ball, heel-adjacent or ball-adjacent=MM");
      job.truePair = p;
      job.trueDistance = *mm;
    } else {
      throw UsageError("unknown option \"" + std::string(a) + "\"");
    }
  }
  if (jobs.empty()) throw UsageError("no scan given");
  if (withFormat && !batch.format) throw UsageError("--format is missing");
  for (const Job& job : jobs) {
    const bool points = job.heel || job.ball || job.adjacent;
    if (job.suggest && points)
      throw UsageError(job.file + ": --suggest replaces --heel, --ball and --adjacent");
    if (job.refused.empty() &&
        (!job.side || !job.axis || (!job.suggest && !(job.heel && job.ball && job.adjacent))))
      throw UsageError(job.file +
                       " needs --side, --axis, and --heel, --ball and --adjacent or --suggest");
  }
  return batch;
}

int runBatch(const Batch& batch, const std::string& command, const char* notDone,
             const std::function<QJsonObject(const Job&, const QDir&, std::set<QString>&)>& one) {
  const std::string& outDir = batch.outDir;
  const std::vector<Job>& jobs = batch.jobs;
  const QDir out(QString::fromStdString(outDir));
  if (!QDir().mkpath(out.absolutePath())) {
    say("quarnel-scan " + command + ": the output folder " + outDir + " cannot be created");
    return kExitRefused;
  }
  // Fonts and PDF pages need a GUI application, but never a screen or OpenGL.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  // Qt's notes about the session (no runtime folder and the like) would bury the one line a
  // failed scan gets; only its errors are worth a lab script's attention.
  static std::string prefix;
  prefix = "quarnel-scan " + command + ": ";
  qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtCriticalMsg || type == QtFatalMsg) say(prefix + text.toStdString());
  });
  static int argc = 1;
  static char name[] = "quarnel-scan";
  static char* argv[] = {name, nullptr};
  QGuiApplication application(argc, argv);

  std::set<QString> taken;
  int failed = 0;
  const std::size_t n = jobs.size();
  for (std::size_t i = 0; i < n; ++i) {
    const Job& job = jobs[i];
    const std::string which =
        "file " + std::to_string(i + 1) + " of " + std::to_string(n) + " (" + job.file + ")";
    say("file " + std::to_string(i + 1) + " of " + std::to_string(n) + ": " + job.file);
    try {
      const QJsonObject summary =
          kernelcad::WhileDoing(command + " " + job.file, [&] { return one(job, out, taken); });
      std::fputs(QJsonDocument(summary).toJson(QJsonDocument::Compact).append('\n').constData(),
                 stdout);
      std::fflush(stdout);
    } catch (const std::exception& e) {
      ++failed;
      say("error: " + which + " not " + notDone + ": " + e.what());
    }
  }
  if (failed) std::fprintf(stderr, "%d of %zu scans not %s\n", failed, n, notDone);
  return failed ? kExitRefused : kExitOk;
}

QString uniqueStem(const QFileInfo& scan, const QString& suffix, std::set<QString>& taken) {
  QString stem = scan.completeBaseName() + suffix;
  for (int n = 2; taken.count(stem); ++n)
    stem = scan.completeBaseName() + suffix + QStringLiteral("_%1").arg(n);
  taken.insert(stem);
  return stem;
}

}  // namespace cli
