#include "cli/print_command.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <set>

#include "cli/scan_jobs.h"
#include "printing/aligned_export.h"
#include "printing/truesize.h"

namespace cli {

namespace {

// The aligned and scaled foot of one job as a true-size PDF and its summary. Throws with the
// reason on any fault.
QJsonObject printOne(const Job& job, Units units, const QDir& out, std::set<QString>& taken) {
  AlignedFoot foot = alignJob(job, units);
  const QFileInfo scanInfo(QString::fromStdString(job.file));
  const printing::TrueSizeSheet sheet = printing::Collect_TrueSize(
      *foot.model, foot.summary["side"].toString(), scanInfo.fileName(), QDate::currentDate());
  // Two scans of the same name in one batch must not overwrite each other's pages.
  const QString stem = uniqueStem(scanInfo, QStringLiteral("_TrueSize"), taken);
  const QString pdf = out.filePath(stem + ".pdf");
  const int pages = printing::Write_TrueSize_Pdf(pdf, sheet);
  QJsonObject& summary = foot.summary;
  summary.insert("outline",
                 QJsonObject{{"length", sheet.outline.length()}, {"width", sheet.outline.width()}});
  summary.insert("pages", pages);
  summary.insert("pdf", pdf);
  const QString json = out.filePath(stem + ".json");
  try {
    printing::Write_Json(json, summary);
  } catch (const std::runtime_error& e) {
    throw JobError(e.what());
  }
  summary.insert("json", json);
  return summary;
}

}  // namespace

int print(std::span<char*> args) {
  const Batch batch = parseBatch(args, false);
  return runBatch(batch, "print", "printed",
                  [&](const Job& job, const QDir& out, std::set<QString>& taken) {
                    return printOne(job, batch.units, out, taken);
                  });
}

}  // namespace cli
