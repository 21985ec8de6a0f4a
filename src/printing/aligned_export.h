#pragma once

#include <QJsonObject>
#include <QString>
#include <optional>

#include "kernelcad/core/scan_reader.h"
#include "kernelcad/core/scene.h"

// The aligned, scaled foot handed on to CAD/CAM: the mesh as it stands in the standard position,
// in millimetres, and a summary beside it. quarnel-scan export and the foot window's "Export
// Aligned Scan..." both write it here.
namespace printing {

// "stl", "ply", "obj": the file extension of a mesh format that is exported.
QString meshExtension(kernelcad::ScanFormat format);
// The format exported for an extension, letter case ignored (binary STL, binary PLY, OBJ);
// none for any other.
std::optional<kernelcad::ScanFormat> exportFormatNamed(const QString& extension);

// The object as indented JSON at `path`. Throws std::runtime_error when it cannot be written.
void Write_Json(const QString& path, const QJsonObject& object);

// Writes the foot (item 0) as placed and scaled now to `meshPath` in `format`, and beside it
// (the same name ending in .json) `summary` with the mesh's file and format added. Returns the
// summary with the JSON file's name added too. Throws std::runtime_error naming the file.
QJsonObject Write_Aligned_Scan(const kernelcad::Model& model, kernelcad::ScanFormat format,
                               const QString& meshPath, QJsonObject summary);

}  // namespace printing
