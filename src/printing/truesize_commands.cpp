#include "printing/truesize_commands.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QPrinter>
#include <optional>
#include <stdexcept>

#include "footview/foot_view.h"
#include "platform/filedialog.h"
#include "platform/msgbox.h"
#include "platform/printer.h"
#include "printing/print_commands.h"
#include "printing/truesize.h"
#include "state/app_state.h"
#include "state/status_line.h"

namespace printing {

namespace {

// The foot as the window shows it now; nothing (after saying so) when no foot is loaded.
std::optional<TrueSizeSheet> currentSheet(const footview::FootView& foot) {
  const app::AppState& s = app::state();
  const auto model = foot.model();
  if (!footLoadedOrSay(model && model->GetItemCount() > 0)) return std::nullopt;
  return Collect_TrueSize(*model, s.FootSide, s.ScanFile, QDate::currentDate());
}

void tell(const QString& title, const std::exception& e) {
  platform::MsgBox(platform::MessageText(e.what()), platform::MsgBoxButtons::OkOnly,
                   platform::MsgBoxIcon::Exclamation, title);
}

}  // namespace

void mnuTrueSizePrint_Click(footview::FootView& foot) {
  const auto sheet = currentSheet(foot);
  if (!sheet) return;
  const QString title = QStringLiteral("True-Size Print");
  platform::Printer& printer = scanPrinter();
  if (!printer.availableOrSay(title)) return;
  platform::CommonDialog& dialog = platform::CMDialog1();
  dialog.Orientation = platform::kLandscape;
  try {
    if (!dialog.ShowPrinter()) return;
    // Before the document begins: a refused print must not leave an empty page or file behind.
    TrueSize_Pages(*sheet, printer.settings().pageLayout());
    int pages = 0;
    const QString file = printer.Print(
        [&] { pages = Draw_TrueSize(printer.Painter(), printer.settings(), *sheet); });
    app::Show_Status(
        file.isEmpty()
            ? QStringLiteral("True-size print: %1 page(s) sent to the printer").arg(pages)
            : QStringLiteral("True-size print: %1 page(s) in %2")
                  .arg(pages)
                  .arg(QDir::toNativeSeparators(file)));
  } catch (const std::runtime_error& e) {
    tell(title, e);
  }
}

void mnuTrueSizeExport_Click(footview::FootView& foot) {
  const auto sheet = currentSheet(foot);
  if (!sheet) return;
  const QString title = QStringLiteral("Export True-Size PDF");
  const QString folder = platform::printsFolder();
  if (!folder.isEmpty()) QDir().mkpath(folder);
  const QString suggested =
      QDir(folder).filePath(QFileInfo(sheet->scanFile).completeBaseName() + "_TrueSize.pdf");
  QString path =
      platform::SaveFileName(&foot.window(), title, suggested, QStringLiteral("PDF files (*.pdf)"));
  if (path.isEmpty()) return;
  if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".pdf");
  try {
    const int pages = Write_TrueSize_Pdf(path, *sheet);
    app::Show_Status(QStringLiteral("True-size PDF: %1 page(s) in %2")
                         .arg(pages)
                         .arg(QDir::toNativeSeparators(path)));
  } catch (const std::runtime_error& e) {
    tell(title, e);
  }
}

}  // namespace printing
