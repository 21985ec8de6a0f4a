#include "printing/truesize_commands.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QPrinter>
#include <QStandardPaths>
#include <optional>
#include <stdexcept>

#include "state/appstate.h"
#include "state/status.h"
#include "platform/filedialog.h"
#include "platform/msgbox.h"
#include "platform/printer.h"
#include "printing/truesize.h"
#include "view/form1.h"

namespace printing {

namespace {

// The foot as the window shows it now; nothing (after saying so) when no foot is loaded.
std::optional<TrueSizeSheet> currentSheet(view::Form1& form) {
  const app::AppState& s = app::state();
  const auto model = form.KernelCAD1->Model();
  if ((s.FootSide != QLatin1String("Left") && s.FootSide != QLatin1String("Right")) || !model ||
      model->GetItemCount() == 0) {
    platform::MsgBox(QStringLiteral("No Foot Loaded"), platform::MsgBoxButtons::OkOnly,
                     platform::MsgBoxIcon::Information, QStringLiteral("Warning"));
    return std::nullopt;
  }
  return Collect_TrueSize(*model, s.FootSide, s.ScanFile, QDate::currentDate());
}

void tell(const QString& title, const std::exception& e) {
  platform::MsgBox(platform::MessageText(e.what()), platform::MsgBoxButtons::OkOnly,
                   platform::MsgBoxIcon::Exclamation, title);
}

}  // namespace

void mnuTrueSizePrint_Click(view::Form1& form) {
  const auto sheet = currentSheet(form);
  if (!sheet) return;
  const QString title = QStringLiteral("True-Size Print");
  platform::Printer& printer = platform::ThePrinter();
  if (!printer.availableOrSay(title)) return;
  platform::CommonDialog& dialog = platform::CMDialog1();
  dialog.Orientation = platform::kLandscape;
  try {
    if (!dialog.ShowPrinter()) return;
    // Before the document begins: a refused print must not leave an empty page or file behind.
    TrueSize_Pages(*sheet, printer.settings().pageLayout());
    int pages = 0;
    try {
      pages = Draw_TrueSize(printer.Painter(), printer.settings(), *sheet);
    } catch (const std::runtime_error&) {
      // Whatever was drawn is put out, so the printer is free for the next document.
      printer.EndDoc();
      throw;
    }
    const QString file = printer.EndDoc();
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

void mnuTrueSizeExport_Click(view::Form1& form) {
  const auto sheet = currentSheet(form);
  if (!sheet) return;
  const QString title = QStringLiteral("Export True-Size PDF");
  QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  if (!folder.isEmpty()) {
    folder = QDir(folder).filePath(QStringLiteral("Quarnel/Prints"));
    QDir().mkpath(folder);
  }
  const QString suggested =
      QDir(folder).filePath(QFileInfo(sheet->scanFile).completeBaseName() + "_TrueSize.pdf");
  QString path =
      platform::SaveFileName(&form, title, suggested, QStringLiteral("PDF files (*.pdf)"));
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
