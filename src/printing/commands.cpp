#include "printing/commands.h"

#include <QApplication>
#include <QDir>
#include <QLabel>

#include "state/appstate.h"
#include "state/status.h"
#include "platform/msgbox.h"
#include "platform/printer.h"
#include "printing/capture.h"
#include "printing/fullsize.h"
#include "printing/sheet.h"
#include "printing/truesize_commands.h"
#include "view/form1.h"

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

void mnuPrint1_Click(view::Form1& form) {
  const QString& side = app::state().FootSide;
  if (side != QLatin1String("Right") && side != QLatin1String("Left")) {
    platform::MsgBox(QStringLiteral("No Foot Loaded"), platform::MsgBoxButtons::OkOnly,
                     platform::MsgBoxIcon::Information, QStringLiteral("Warning"));
    return;
  }
  platform::Printer& printer = platform::ThePrinter();
  if (!printer.availableOrSay(QStringLiteral("Print"))) return;
  form.Picture1->setPixmap(QPixmap::fromImage(Grab_Form_Client(mainWindow())));
  Print_Picture_Fit(printer, form.Picture1->pixmap(Qt::ReturnByValue).toImage());
  const QString file = printer.EndDoc();
  if (!file.isEmpty())
    app::Show_Status(QStringLiteral("Printed to ") + QDir::toNativeSeparators(file));
}

void mnuPrint2_Click(view::Form1&) {
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

void install() {
  view::Form1::setPrintCommands({&mnuPrint1_Click, &mnuPrint2_Click, &Print_FullSize, &Create_Sheet,
                                 &mnuTrueSizePrint_Click, &mnuTrueSizeExport_Click});
}

}  // namespace printing
