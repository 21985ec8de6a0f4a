#include "printing/print_commands.h"

#include <QApplication>
#include <QFileInfo>
#include <QWidget>

#include "footview/foot_view.h"
#include "platform/msgbox.h"
#include "platform/printer.h"
#include "printing/capture.h"
#include "state/app_state.h"

namespace printing {

namespace {

// The main window sits in the application library above this one; it is found among the
// top-level windows by its class, which needs no link to that library.
QWidget* mainWindow() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->inherits("app::MainForm")) return w;
  throw std::runtime_error("The scan file browser window is not open.");
}

}  // namespace

platform::Printer& scanPrinter() {
  const app::AppState& s = app::state();
  QString name = QFileInfo(s.ScanFile).completeBaseName();
  if (s.footChosen()) name += u'_' + s.FootSide;
  platform::Printer& printer = platform::ThePrinter();
  printer.setDocumentName(s.ScanFile == QLatin1String("None") ? QString() : name);
  return printer;
}

bool footLoadedOrSay(bool loaded) {
  if (app::state().footChosen() && loaded) return true;
  platform::MsgBox(QStringLiteral("No Foot Loaded"), platform::MsgBoxButtons::OkOnly,
                   platform::MsgBoxIcon::Information, QStringLiteral("Warning"));
  return false;
}

void mnuPrint1_Click(footview::FootView& foot) {
  if (!footLoadedOrSay()) return;
  const QString title = QStringLiteral("Print");
  platform::Printer& printer = scanPrinter();
  if (!printer.availableOrSay(title)) return;
  const Picture shown = foot.showPicture(Grab_Form_Client(mainWindow()));
  if (!pictureTakenOrSay(shown, title)) return;
  Print_Page(printer, title, [&] { Print_Picture_Fit(printer, shown); });
}

void mnuPrint2_Click() {
  scanPrinter();
  platform::CommonDialog& dialog = platform::CMDialog1();
  dialog.PrinterDefault = false;
  try {
    dialog.ShowPrinter();
  } catch (const std::exception& e) {
    platform::MsgBox(QStringLiteral("Error: ") + platform::MessageText(e.what()),
                     platform::MsgBoxButtons::OkOnly, platform::MsgBoxIcon::Exclamation,
                     QStringLiteral("Error"));
  }
}

}  // namespace printing
