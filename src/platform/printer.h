#pragma once

#include <QImage>
#include <QString>
#include <deque>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/scoped_hook.h"

class QPainter;
class QPrinter;

namespace platform {

// Orientation and unit codes as the printing code passes them.
constexpr int kPortrait = 1;
constexpr int kLandscape = 2;
constexpr int kTwips = 1;
constexpr int kPixels = 3;
constexpr int kMillimetres = 6;
constexpr int kHiMetric = 8;

class PrinterError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The printer object: page orientation, the printable area in its scale unit (twips), unit
// conversions, drawing pictures and ending the document. Positions are relative to the top-left
// corner of the printable area. With a printer installed the pages go to it; on a machine with
// none they go to a PDF file in the documents folder under Quarnel/Prints/, named by date and
// time, so a page is never lost. A document starts with the first drawing and ends at EndDoc.
class Printer {
 public:
  Printer();
  ~Printer();
  Printer(const Printer&) = delete;
  Printer& operator=(const Printer&) = delete;

  int Orientation() const { return orientation_; }
  // Applies to the next page; a page already begun keeps its orientation.
  void setOrientation(int orientation);
  int ScaleMode() const { return kTwips; }
  double ScaleWidth() const;
  double ScaleHeight() const;
  double ScaleX(double value, int fromUnit, int toUnit) const;
  double ScaleY(double value, int fromUnit, int toUnit) const;

  // Draws `picture` stretched into the rectangle (twips). Throws PrinterError when the output
  // cannot be opened; the error is kept, so EndDoc reports it even if the caller ignored it.
  void PaintPicture(const QImage& picture, double x, double y, double width, double height);
  // The painter of the document, begun on the printer (or the PDF file) on first use, for
  // pages drawn as vectors on settings(). Throws PrinterError as PaintPicture does.
  QPainter& Painter();
  // Ends the document so the page is printed. Returns the PDF file written, or an empty string
  // when the pages went to a printer or nothing was drawn. Throws PrinterError when pages that
  // were drawn could not be put out.
  QString EndDoc();

  // Whether pages can go anywhere: a printer, or a documents folder the PDF can be written to.
  // Creates nothing and does not ask the print system: whether there is a printer was settled
  // when the last document ended.
  bool available() const;
  // The same, and where they cannot, tells the operator under `title` that nothing was printed.
  bool availableOrSay(const QString& title) const;

  // The printer's settings, for the printer dialog.
  QPrinter& settings() { return *printer_; }
  // Reads back what the printer dialog changed.
  void takeSettingsFromDialog();

  // One document: `draw` draws its pages, then it is ended so they are put out, also when
  // drawing failed. Returns what EndDoc returns; throws what drawing or EndDoc threw.
  QString Print(const std::function<void()>& draw);
  // Names the documents that follow in the print queue and as the PDF's title; the name begins
  // the PDF's file name where no file was chosen in the printer dialog.
  void setDocumentName(const QString& name);

  // Tests send the pages to this PDF instead of a printer or the documents folder; empty turns
  // it off.
  static void setOutputOverride(const QString& pdfPath);

 private:
  friend class CommonDialog;
  void configureTarget();
  QString nextPdfPath() const;
  double unitsPerInch(int unit, bool alongX) const;

  std::unique_ptr<QPrinter> printer_;
  std::unique_ptr<QPainter> painter_;
  int orientation_ = kPortrait;
  bool toPdf_ = false;
  QString pdfFile_;
  std::string failure_;
  // The file the printer dialog's "print to file" named, for the next document.
  QString chosenFile_;
  QString documentName_;
};

// The folder a print goes to as a PDF where there is no printer (and no file was chosen in the
// printer dialog): Quarnel/Prints in the documents folder; empty when there is no documents
// folder.
QString printsFolder();

// The one printer of the program.
Printer& ThePrinter();

// The common dialog of the main window, for its printer dialog: the number of copies, the
// orientation the dialog starts with, and whether the choices become the system's default
// printer settings (Qt never changes those, so the flag is kept only to be read back).
class CommonDialog {
 public:
  int Copies = 1;
  long Orientation = kPortrait;
  bool PrinterDefault = true;

  // Shows the printer dialog over the printer's settings. Returns whether it was confirmed;
  // throws PrinterError when it cannot be shown.
  bool ShowPrinter();
};

CommonDialog& CMDialog1();

// While one of these lives, ShowPrinter shows nothing: it records what the dialog would have
// started with and answers from the script in order, then with Accept.
class PrintDialogScript : public ScopedHook<PrintDialogScript> {
 public:
  enum class Answer { Accept, Cancel, Fail };
  struct Shown {
    int copies;
    int orientation;
    bool printerDefault;
  };

  void answer(Answer a) { answers_.push_back(a); }
  const std::vector<Shown>& shown() const { return shown_; }

 private:
  friend class CommonDialog;
  Answer take(Shown shown);

  std::deque<Answer> answers_;
  std::vector<Shown> shown_;
};

}  // namespace platform
