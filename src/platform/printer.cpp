#include "platform/printer.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QStandardPaths>
#include <utility>

#include "platform/msgbox.h"

namespace platform {

namespace {

QString& outputOverride() {
  static QString path;
  return path;
}

QPageLayout::Orientation qtOrientation(int orientation) {
  return orientation == kLandscape ? QPageLayout::Landscape : QPageLayout::Portrait;
}

// The folder exists as a writable folder, or the nearest folder above it that exists is one.
bool canMakeFolder(const QString& folder) {
  QFileInfo info(folder);
  while (!info.exists()) {
    const QFileInfo parent(info.absolutePath());
    if (parent.absoluteFilePath() == info.absoluteFilePath()) return false;
    info = parent;
  }
  return info.isDir() && info.isWritable();
}

// A document name as part of a file name: what no file system takes becomes '_'.
QString fileNameSafe(QString name) {
  for (QChar& c : name)
    if (!c.isLetterOrNumber() && c != u'.' && c != u'-' && c != u'_') c = u'_';
  return name;
}

}  // namespace

QString printsFolder() {
  const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  return documents.isEmpty() ? QString()
                             : QDir(documents).filePath(QStringLiteral("Quarnel/Prints"));
}

Printer::Printer() : printer_(std::make_unique<QPrinter>(QPrinter::HighResolution)) {
  configureTarget();
}

Printer::~Printer() {
  if (painter_ && painter_->isActive()) painter_->end();
}

void Printer::configureTarget() {
  // The one question to the print system for a document.
  toPdf_ = !outputOverride().isEmpty() || !chosenFile_.isEmpty() ||
           QPrinterInfo::availablePrinters().isEmpty();
  if (toPdf_) {
    printer_->setOutputFormat(QPrinter::PdfFormat);
    // The PDF stands in for the lab's A4 laser printer, margins included, so the page shows
    // what paper would.
    printer_->setPageLayout(QPageLayout(QPageSize(QPageSize::A4), qtOrientation(orientation_),
                                        QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter));
  } else {
    printer_->setOutputFormat(QPrinter::NativeFormat);
    if (printer_->printerName().isEmpty())
      printer_->setPrinterName(QPrinterInfo::defaultPrinter().printerName());
    printer_->setPageOrientation(qtOrientation(orientation_));
  }
}

void Printer::setOutputOverride(const QString& pdfPath) {
  outputOverride() = pdfPath;
  ThePrinter().configureTarget();
}

void Printer::setOrientation(int orientation) {
  if (orientation != kPortrait && orientation != kLandscape)
    throw PrinterError("Invalid page orientation " + std::to_string(orientation) + ".");
  orientation_ = orientation;
  printer_->setPageOrientation(qtOrientation(orientation));
}

void Printer::takeSettingsFromDialog() {
  orientation_ =
      printer_->pageLayout().orientation() == QPageLayout::Landscape ? kLandscape : kPortrait;
  // The dialog's own file, when the operator printed to one; the page layout stays as chosen.
  chosenFile_ = printer_->outputFormat() == QPrinter::PdfFormat ? printer_->outputFileName()
                                                                 : QString();
  if (!chosenFile_.isEmpty()) toPdf_ = true;
}

double Printer::ScaleWidth() const {
  // Points are exactly 20 twips.
  return printer_->pageLayout().paintRect(QPageLayout::Point).width() * 20.0;
}

double Printer::ScaleHeight() const {
  return printer_->pageLayout().paintRect(QPageLayout::Point).height() * 20.0;
}

double Printer::unitsPerInch(int unit, bool alongX) const {
  switch (unit) {
    case kTwips:
      return 1440.0;
    case kMillimetres:
      return 25.4;
    case kHiMetric:
      return 2540.0;
    case kPixels:
      return alongX ? printer_->logicalDpiX() : printer_->logicalDpiY();
    default:
      throw PrinterError("Unknown printer scale unit " + std::to_string(unit) + ".");
  }
}

double Printer::ScaleX(double value, int fromUnit, int toUnit) const {
  return value / unitsPerInch(fromUnit, true) * unitsPerInch(toUnit, true);
}

double Printer::ScaleY(double value, int fromUnit, int toUnit) const {
  return value / unitsPerInch(fromUnit, false) * unitsPerInch(toUnit, false);
}

QString Printer::nextPdfPath() const {
  if (!outputOverride().isEmpty()) return outputOverride();
  if (!chosenFile_.isEmpty()) return chosenFile_;
  const QString folder = printsFolder();
  if (folder.isEmpty() || !QDir().mkpath(folder)) return QString();
  // The scan and side first, so a day's prints sort by patient, then the time.
  const QString stem =
      (documentName_.isEmpty() ? QStringLiteral("Print") : fileNameSafe(documentName_)) + u'_' +
      QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
  QString path = QDir(folder).filePath(stem + QStringLiteral(".pdf"));
  // Two pages within one second must not overwrite each other.
  for (int n = 2; QFileInfo::exists(path); ++n)
    path = QDir(folder).filePath(QStringLiteral("%1_%2.pdf").arg(stem).arg(n));
  return path;
}

bool Printer::available() const {
  if (!toPdf_ || !outputOverride().isEmpty()) return true;
  const QString folder = printsFolder();
  return !folder.isEmpty() && canMakeFolder(folder);
}

bool Printer::availableOrSay(const QString& title) const {
  if (available()) return true;
  MsgBox(QStringLiteral("There is no printer, and no documents folder to keep the pages in as a "
                        "PDF file. Nothing was printed."),
         MsgBoxButtons::OkOnly, MsgBoxIcon::Exclamation, title);
  return false;
}

QPainter& Printer::Painter() {
  if (!painter_) painter_ = std::make_unique<QPainter>();
  if (!painter_->isActive()) {
    if (toPdf_) {
      pdfFile_ = nextPdfPath();
      if (pdfFile_.isEmpty()) {
        failure_ = "There is no printer, and the folder for printed pages (" +
                   printsFolder().toStdString() + ") cannot be created.";
        throw PrinterError(failure_);
      }
      printer_->setOutputFileName(pdfFile_);
    }
    if (!painter_->begin(printer_.get())) {
      failure_ =
          "The printer " +
          (toPdf_ ? "file " + pdfFile_.toStdString() : printer_->printerName().toStdString()) +
          " cannot be opened.";
      pdfFile_.clear();
      throw PrinterError(failure_);
    }
    failure_.clear();
  }
  return *painter_;
}

void Printer::PaintPicture(const QImage& picture, double x, double y, double width, double height) {
  Painter();
  const double dotsX = unitsPerInch(kPixels, true) / 1440.0;
  const double dotsY = unitsPerInch(kPixels, false) / 1440.0;
  painter_->setRenderHint(QPainter::SmoothPixmapTransform);
  painter_->drawImage(QRectF(x * dotsX, y * dotsY, width * dotsX, height * dotsY), picture);
}

void Printer::setDocumentName(const QString& name) {
  documentName_ = name;
  printer_->setDocName(name);
}

QString Printer::Print(const std::function<void()>& draw) {
  try {
    draw();
  } catch (...) {
    // Whatever was drawn is put out, so the printer is free for the next document.
    EndDoc();
    throw;
  }
  return EndDoc();
}

QString Printer::EndDoc() {
  if (!painter_ || !painter_->isActive()) {
    if (!failure_.empty()) {
      const std::string failure = std::exchange(failure_, std::string());
      throw PrinterError("The page was not printed: " + failure);
    }
    return QString();
  }
  const bool written = painter_->end();
  // The next document chooses its own file: the dialog's file was for the one it preceded.
  printer_->setOutputFileName(QString());
  chosenFile_.clear();
  configureTarget();
  QString file = std::exchange(pdfFile_, QString());
  if (!written) throw PrinterError("The page could not be finished on the printer.");
  return file;
}

Printer& ThePrinter() {
  static Printer printer;
  return printer;
}

bool CommonDialog::ShowPrinter() {
  Printer& printer = ThePrinter();
  printer.setOrientation(static_cast<int>(Orientation));
  printer.settings().setCopyCount(Copies);
  if (PrintDialogScript* script = PrintDialogScript::active()) {
    switch (script->take({Copies, static_cast<int>(Orientation), PrinterDefault})) {
      case PrintDialogScript::Answer::Accept:
        return true;
      case PrintDialogScript::Answer::Cancel:
        return false;
      case PrintDialogScript::Answer::Fail:
        throw PrinterError("The printer dialog could not be opened.");
    }
  }
  // A page that goes to a file: the dialog offers the file it would go to, named after the
  // scan, for the operator to keep or change.
  if (printer.toPdf_ && printer.chosenFile_.isEmpty() && outputOverride().isEmpty())
    printer.settings().setOutputFileName(printer.nextPdfPath());
  QPrintDialog dialog(&printer.settings(), QApplication::activeWindow());
  const bool accepted = dialog.exec() == QDialog::Accepted;
  if (accepted) printer.takeSettingsFromDialog();
  return accepted;
}

CommonDialog& CMDialog1() {
  static CommonDialog dialog;
  return dialog;
}

PrintDialogScript::Answer PrintDialogScript::take(Shown shown) {
  shown_.push_back(shown);
  if (answers_.empty()) return Answer::Accept;
  const Answer a = answers_.front();
  answers_.pop_front();
  return a;
}

}  // namespace platform
