#include "cli/export_command.h"

#include <QDir>
#include <QFileInfo>
#include <set>

#include "cli/scan_jobs.h"
#include "kernelcad/core/mesh_writers.h"

namespace cli {

namespace {

QString extension(kernelcad::ScanFormat format) {
  switch (format) {
    case kernelcad::ScanFormat::StlBinary: return QStringLiteral("stl");
    case kernelcad::ScanFormat::Obj: return QStringLiteral("obj");
    default: return QStringLiteral("ply");
  }
}

// The aligned and scaled foot of one job as a mesh file and its summary.
QJsonObject exportOne(const Job& job, const Batch& batch, const QDir& out,
                      std::set<QString>& taken) {
  AlignedFoot foot = alignJob(job, batch.units);
  const QString stem = uniqueStem(QFileInfo(QString::fromStdString(job.file)),
                                  QStringLiteral("_Aligned"), taken);
  const QString mesh = out.filePath(stem + "." + extension(*batch.format));
  try {
    kernelcad::WriteMeshFile(foot.model->GetItem(0)->placedMesh(), *batch.format,
                             mesh.toStdString());
  } catch (const std::runtime_error& e) {
    throw JobError(e.what());
  }
  QJsonObject& summary = foot.summary;
  summary.insert("mesh", mesh);
  summary.insert("format", QString::fromLatin1(kernelcad::FormatName(*batch.format).data()));
  const QString json = out.filePath(stem + ".json");
  writeSummary(json, summary);
  summary.insert("json", json);
  return summary;
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
