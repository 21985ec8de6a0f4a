#include "printing/aligned_export_command.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <stdexcept>

#include "footview/foot_view.h"
#include "measure/model_measure.h"
#include "platform/filedialog.h"
#include "platform/msgbox.h"
#include "platform/printer.h"
#include "printing/aligned_export.h"
#include "printing/measurement_fields.h"
#include "printing/print_commands.h"
#include "printing/scaling.h"
#include "state/app_state.h"
#include "state/status_line.h"

namespace printing {

namespace {

QJsonArray json(const kernelcad::Vec3& v) { return {v.x(), v.y(), v.z()}; }

}  // namespace

void mnuExportAligned_Click(footview::FootView& foot) {
  const app::AppState& s = app::state();
  const auto model = foot.model();
  if (!footLoadedOrSay(model && model->GetItemCount() > 0)) return;
  const QString title = QStringLiteral("Export Aligned Scan");
  const QString folder = platform::printsFolder();
  if (!folder.isEmpty()) QDir().mkpath(folder);
  const QString suggested =
      QDir(folder).filePath(QFileInfo(s.ScanFile).completeBaseName() + "_Aligned.stl");
  QString path = platform::SaveFileName(
      &foot.window(), title, suggested,
      QStringLiteral("STL files (*.stl);;PLY files (*.ply);;OBJ files (*.obj)"));
  if (path.isEmpty()) return;
  if (!exportFormatNamed(QFileInfo(path).suffix())) path += QStringLiteral(".stl");
  QJsonObject summary{
      {"file", s.ScanPath}, {"side", s.FootSide}, {"scale_factor", Applied_Scale(*model)}};
  if (model->GetItemCount() > 3) {
    const SphereGeometry placed = Measure_Spheres(*model);
    summary.insert("heel", json(placed.heel));
    summary.insert("ball", json(placed.ball));
    summary.insert("adjacent", json(placed.adjacent));
    const measure::Measurements m = measure::measureModel(
        *model, s.FootSide == QLatin1String("Left") ? footview::Side::Left : footview::Side::Right);
    if (m.valid) summary.insert("measurements", measurementsJson(m));
  }
  try {
    Write_Aligned_Scan(*model, *exportFormatNamed(QFileInfo(path).suffix()), path, summary);
    app::Show_Status(QStringLiteral("Aligned scan: %1").arg(QDir::toNativeSeparators(path)));
  } catch (const std::runtime_error& e) {
    platform::MsgBox(platform::MessageText(e.what()), platform::MsgBoxButtons::OkOnly,
                     platform::MsgBoxIcon::Exclamation, title);
  }
}

}  // namespace printing
