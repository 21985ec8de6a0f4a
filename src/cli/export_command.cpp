#include "cli/export_command.h"

#include <QDir>
#include <QFileInfo>
#include <set>

#include "cli/scan_jobs.h"
#include "printing/aligned_export.h"

namespace cli {

namespace {

// The aligned and scaled foot of one job as a mesh file and its summary.
QJsonObject exportOne(const Job& job, const Batch& batch, const QDir& out,
                      std::set<QString>& taken) {
  AlignedFoot foot = alignJob(job, batch.units);
  const QString stem =
      uniqueStem(QFileInfo(QString::fromStdString(job.file)), QStringLiteral("_Aligned"), taken);
  const QString mesh = out.filePath(stem + "." + printing::meshExtension(*batch.format));
  try {
    return printing::Write_Aligned_Scan(*foot.model, *batch.format, mesh, foot.summary);
  } catch (const std::runtime_error& e) {
    throw JobError(e.what());
  }
}

}  // namespace

int exportScans(std::span<char*> args) {
  const Batch batch = parseBatch(args, true);
  return runBatch(batch, "export", "exported",
                  [&](const Job& job, const QDir& out, std::set<QString>& taken) {
                    return exportOne(job, batch, out, taken);
                  });
}

}  // namespace cli
