#include "printing/aligned_export.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <stdexcept>

#include "kernelcad/core/mesh_writers.h"

namespace printing {

QString meshExtension(kernelcad::ScanFormat format) {
  switch (format) {
    case kernelcad::ScanFormat::StlBinary:
      return QStringLiteral("stl");
    case kernelcad::ScanFormat::Obj:
      return QStringLiteral("obj");
    default:
      return QStringLiteral("ply");
  }
}

std::optional<kernelcad::ScanFormat> exportFormatNamed(const QString& extension) {
  for (const auto format : {kernelcad::ScanFormat::StlBinary,
                            kernelcad::ScanFormat::PlyLittleEndian, kernelcad::ScanFormat::Obj}) {
    if (extension.compare(meshExtension(format), Qt::CaseInsensitive) == 0) return format;
  }
  return std::nullopt;
}

void Write_Json(const QString& path, const QJsonObject& object) {
  QFile file(path);
  const QByteArray text = QJsonDocument(object).toJson(QJsonDocument::Indented);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size())
    throw std::runtime_error("the summary " + path.toStdString() + " cannot be written");
}

QJsonObject Write_Aligned_Scan(const kernelcad::Model& model, kernelcad::ScanFormat format,
                               const QString& meshPath, QJsonObject summary) {
  kernelcad::WriteMeshFile(model.GetItem(0)->placedMesh(), format, meshPath.toStdString());
  summary.insert("mesh", meshPath);
  summary.insert("format", QString::fromLatin1(kernelcad::FormatName(format).data()));
  const QFileInfo mesh(meshPath);
  const QString json = mesh.dir().filePath(mesh.completeBaseName() + ".json");
  Write_Json(json, summary);
  summary.insert("json", json);
  return summary;
}

}  // namespace printing
