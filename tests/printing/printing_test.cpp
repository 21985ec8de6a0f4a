// Printing, read back from the PDF pages it writes: orientation, where the picture lands, its
// size in millimetres and its pixels.
#include <QVTKOpenGLNativeWidget.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPainter>
#include <QPdfDocument>
#include <QPrinterInfo>
#include <QSurfaceFormat>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>

#include "app/appstate.h"
#include "app/forms.h"
#include "app/mainform.h"
#include "kernelcad/core/scene.h"
#include "platform/error_reporting.h"
#include "platform/msgbox.h"
#include "platform/printer.h"
#include "printing/capture.h"
#include "printing/commands.h"
#include "printing/fullsize.h"
#include "printing/sheet.h"
#include "view/form1.h"

using platform::MsgBoxResult;

namespace {

constexpr double kPxPerMm = 4.0;
// The PDF printer's page: A4 with a 10 mm margin all round.
constexpr double kMargin = 10.0;

struct Page {
  QSizeF mm;
  QImage image;  // kPxPerMm pixels per millimetre, on white paper
};

Page readPage(const QString& path) {
  QPdfDocument doc;
  if (doc.load(path) != QPdfDocument::NoError || doc.pageCount() != 1) return {};
  const QSizeF mm = doc.pageSize(0) * (25.4 / 72.0);
  const QSize px(qRound(mm.width() * kPxPerMm), qRound(mm.height() * kPxPerMm));
  QImage paper(px, QImage::Format_RGB32);
  paper.fill(Qt::white);
  QPainter(&paper).drawImage(0, 0, doc.render(0, px));
  return {mm, paper};
}

// Bounding box, in millimetres, of everything printed darker than paper.
QRectF inkMm(const QImage& page) {
  QRect box;
  for (int y = 0; y < page.height(); ++y)
    for (int x = 0; x < page.width(); ++x)
      if (qGray(page.pixel(x, y)) < 235) box |= QRect(x, y, 1, 1);
  return {box.x() / kPxPerMm, box.y() / kPxPerMm, box.width() / kPxPerMm,
          box.height() / kPxPerMm};
}

// Mean colour difference between `picture` stretched over `mm` of the page and the page there,
// over the part of `mm` that lies on the page.
double differenceOnPage(const Page& page, const QImage& picture, const QRectF& mm) {
  double sum = 0;
  int n = 0;
  for (int y = 0; y < page.image.height(); y += 2) {
    for (int x = 0; x < page.image.width(); x += 2) {
      const double u = (x / kPxPerMm - mm.x()) / mm.width();
      const double v = (y / kPxPerMm - mm.y()) / mm.height();
      // Keep clear of the edges, where the page blends picture and paper.
      if (u < 0.02 || u > 0.98 || v < 0.02 || v > 0.98) continue;
      const QRgb a = page.image.pixel(x, y);
      const QRgb b = picture.pixel(int(u * picture.width()), int(v * picture.height()));
      sum += (std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
              std::abs(qBlue(a) - qBlue(b))) / 3.0;
      ++n;
    }
  }
  return n ? sum / n : 255;
}

// A picture with a blue top-left quarter on red, so a turned or mirrored print shows.
QImage markedPicture(int w, int h) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(QColor(200, 30, 30));
  QPainter(&image).fillRect(0, 0, w / 2, h / 2, QColor(30, 30, 200));
  return image;
}

}  // namespace

class PrintingTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();
  void fittedPictureTurnsThePageAndKeepsItsProportions_data();
  void fittedPictureTurnsThePageAndKeepsItsProportions();
  void printScreenPrintsTheMainWindowWhicheverWindowIsInFront();
  void printSetupOnlyShowsTheDialogAndReportsItsFailure();
  void fullSizePrintoutPutsTheFootOnALandscapePage();
  void dimensionReportAndAModelWithoutWidth();
  void withoutPrinterPagesGoToTheDocumentsFolderOrAreRefused();

 private:
  QString pdf(const QString& name) {
    const QString path = dir_->filePath(name);
    platform::Printer::setOutputOverride(path);
    return path;
  }
  view::Form1& footWindow(bool withScan);

  std::unique_ptr<QTemporaryDir> dir_;
};

void PrintingTest::init() {
  dir_ = std::make_unique<QTemporaryDir>();
  app::state() = app::AppState();
  printing::install();
}

void PrintingTest::cleanup() {
  platform::Printer::setOutputOverride(QString());
  app::Forms::destroyAll();
}

view::Form1& PrintingTest::footWindow(bool withScan) {
  auto& form = app::Forms::get<view::Form1>();
  if (withScan) {
    form.KernelCAD1->setModelFile(QDir(QUARNEL_SAMPLES_DIR).filePath("LeftFoot.wrl"));
    form.KernelCAD1->UpdateModel();
  }
  form.show();
  form.activateWindow();
  if (!QTest::qWaitForWindowActive(&form)) qWarning("foot window not active");
  return form;
}

void PrintingTest::fittedPictureTurnsThePageAndKeepsItsProportions_data() {
  QTest::addColumn<QSize>("size");
  QTest::addColumn<bool>("landscape");
  QTest::addColumn<bool>("fillsWidth");
  // Printable area 277 x 190 mm landscape, 190 x 277 mm portrait.
  QTest::newRow("tall 350x500") << QSize(350, 500) << true << false;
  QTest::newRow("wide 500x350") << QSize(500, 350) << false << true;
  QTest::newRow("square") << QSize(400, 400) << true << false;
  QTest::newRow("very wide") << QSize(900, 200) << false << true;
}

void PrintingTest::fittedPictureTurnsThePageAndKeepsItsProportions() {
  QFETCH(QSize, size);
  QFETCH(bool, landscape);
  QFETCH(bool, fillsWidth);
  const QString file = pdf("fit.pdf");
  platform::PrintDialogScript dialog;
  const QImage picture = markedPicture(size.width(), size.height());
  printing::Print_Picture_Fit(platform::ThePrinter(), picture);
  QCOMPARE(platform::ThePrinter().EndDoc(), file);
  QCOMPARE(dialog.shown().size(), std::size_t{1});
  QCOMPARE(dialog.shown()[0].copies, 1);
  QCOMPARE(dialog.shown()[0].orientation, platform::kPortrait);

  const Page page = readPage(file);
  QVERIFY(!page.image.isNull());
  QCOMPARE(page.mm.width() > page.mm.height(), landscape);
  const QRectF ink = inkMm(page.image);
  QVERIFY2(std::abs(ink.left() - kMargin) < 0.6 && std::abs(ink.top() - kMargin) < 0.6,
           qPrintable(QString("picture at %1, %2 mm").arg(ink.left()).arg(ink.top())));
  const double printableW = page.mm.width() - 2 * kMargin;
  const double printableH = page.mm.height() - 2 * kMargin;
  if (fillsWidth) QVERIFY(std::abs(ink.width() - printableW) < 0.6);
  else QVERIFY(std::abs(ink.height() - printableH) < 0.6);
  QVERIFY2(ink.width() <= printableW + 0.8 && ink.height() <= printableH + 0.8,
           qPrintable(QString("%1 x %2 mm on %3 x %4").arg(ink.width()).arg(ink.height())
                          .arg(printableW).arg(printableH)));
  const double ratio = ink.width() / ink.height();
  const double wanted = double(size.width()) / size.height();
  QVERIFY2(std::abs(ratio / wanted - 1) < 0.01, qPrintable(QString::number(ratio)));
  QVERIFY(differenceOnPage(page, picture, ink) < 8);
}

void PrintingTest::printScreenPrintsTheMainWindowWhicheverWindowIsInFront() {
  platform::MsgBoxScript messages;
  platform::PrintDialogScript dialog;
  auto& main = app::Forms::get<app::MainForm>();
  main.show();
  QVERIFY(QTest::qWaitForWindowExposed(&main));
  view::Form1& form = footWindow(false);
  const QString file = pdf("screen.pdf");

  // Without a foot side nothing is captured or printed.
  form.mnuPrint1->trigger();
  QCOMPARE(messages.shown().size(), std::size_t{1});
  QCOMPARE(messages.shown()[0].text, QString("No Foot Loaded"));
  QCOMPARE(messages.shown()[0].title, QString("Warning"));
  QCOMPARE(messages.shown()[0].icon, platform::MsgBoxIcon::Information);
  QVERIFY(!QFile::exists(file));
  QVERIFY(dialog.shown().empty());

  // A cancelled dialog still prints.
  app::state().FootSide = "Left";
  dialog.answer(platform::PrintDialogScript::Answer::Cancel);
  QVERIFY(QApplication::activeWindow() == &form);
  form.mnuPrint1->trigger();
  QCOMPARE(dialog.shown().size(), std::size_t{1});
  QVERIFY(QFile::exists(file));
  QVERIFY(main.statusPanel1->text().contains(QDir::toNativeSeparators(file)));

  // The main window's controls, below its menu bar, are on the page.
  const int top = main.menuWidget()->geometry().bottom() + 1;
  const QImage expected = main.grab(QRect(0, top, main.width(), main.height() - top)).toImage();
  const Page page = readPage(file);
  QVERIFY(!page.image.isNull());
  QCOMPARE(page.mm.width() > page.mm.height(), expected.height() >= expected.width());
  const QRectF ink = inkMm(page.image);
  QVERIFY(std::abs(ink.left() - kMargin) < 0.6 && std::abs(ink.top() - kMargin) < 0.6);
  QVERIFY(std::abs(ink.width() / ink.height() / (double(expected.width()) / expected.height()) -
                   1) < 0.01);
  const double diff = differenceOnPage(page, expected, ink);
  QVERIFY2(diff < 10, qPrintable(QString::number(diff)));
  // The foot window, in front, would look nothing like it.
  const QImage foot = form.grab().toImage();
  QVERIFY(differenceOnPage(page, foot, ink) > 2 * diff + 10);
}

void PrintingTest::printSetupOnlyShowsTheDialogAndReportsItsFailure() {
  platform::MsgBoxScript messages;
  platform::PrintDialogScript dialog;
  view::Form1& form = footWindow(false);
  const QString file = pdf("setup.pdf");
  app::state().FootSide = "Right";

  dialog.answer(platform::PrintDialogScript::Answer::Fail);
  form.mnuPrint2->trigger();
  QCOMPARE(messages.shown().size(), std::size_t{1});
  QCOMPARE(messages.shown()[0].text, QString("Error: The printer dialog could not be opened."));
  QCOMPARE(messages.shown()[0].title, QString("Error"));
  QCOMPARE(messages.shown()[0].icon, platform::MsgBoxIcon::Exclamation);

  form.mnuPrint2->trigger();
  QCOMPARE(dialog.shown().size(), std::size_t{2});
  QVERIFY(!dialog.shown()[1].printerDefault);
  QCOMPARE(messages.shown().size(), std::size_t{1});
  QVERIFY(!QFile::exists(file));
  QCOMPARE(app::state().FootSide, QString("Right"));
}

void PrintingTest::fullSizePrintoutPutsTheFootOnALandscapePage() {
  platform::MsgBoxScript messages;
  view::Form1& form = footWindow(true);
  app::AppState& s = app::state();
  s.FootSide = "Right";
  s.ScanFile = "LeftFoot.wrl";
  form.Create_Sheet();
  const auto model = form.KernelCAD1->Model();
  const auto sheet = model->GetItem(model->GetItemCount() - 1);
  QCOMPARE(sheet->name(), std::string("A4_Sheet"));
  QCOMPARE(sheet->material().colour[1][0], 1.0f);
  form.KernelCAD1->UpdateModel();
  const QString file = pdf("fullsize.pdf");

  const auto labels = model->FindObject("Items");
  const auto extentBefore = form.heldView()->GetExtent(0);
  messages.answer(MsgBoxResult::Ok);
  messages.answer(MsgBoxResult::No);
  form.Print_FullSize();
  QCOMPARE(messages.shown().size(), std::size_t{2});
  const platform::ShownMessage& question = messages.shown()[1];
  QCOMPARE(question.text, QString("Print This Image?"));
  QCOMPARE(question.title, QString("Print"));
  QCOMPARE(question.buttons, platform::MsgBoxButtons::YesNo);
  QCOMPARE(question.icon, platform::MsgBoxIcon::Question);
  QVERIFY(question.defaultButton == MsgBoxResult::No);
  QVERIFY(!QFile::exists(file));
  // The captions and the zoom stay.
  QCOMPARE(labels->GetCount(), 2L);
  QCOMPARE(labels->GetEntry(0)->text(), std::string(" Foot: Right"));
  QCOMPARE(labels->GetEntry(1)->text(), std::string(" LeftFoot.wrl"));
  QCOMPARE(labels->GetEntry(1)->position(), kernelcad::Vec3(-25, 90, 0));
  const auto extentAfter = form.heldView()->GetExtent(0);
  // The model's X size now fills 90% of the view's width.
  const kernelcad::Dimensions box = model->GetDimensions();
  QVERIFY(std::abs((extentAfter.second - extentAfter.first) * 0.9 - (box.max.x() - box.min.x())) <
          0.5);
  QVERIFY(extentAfter.second - extentAfter.first < extentBefore.second - extentBefore.first);

  messages.clear();
  messages.answer(MsgBoxResult::Ok);
  messages.answer(MsgBoxResult::Yes);
  form.Print_FullSize();
  QCOMPARE(labels->GetCount(), 4L);
  QCOMPARE(labels->GetEntry(2)->name(), std::string("Label0"));
  QCOMPARE(labels->GetEntry(3)->name(), std::string("Label1"));
  QCOMPARE(labels->GetEntry(2)->position(), kernelcad::Vec3(-25, 80, 0));

  const QImage captured = form.Picture1->pixmap(Qt::ReturnByValue).toImage();
  QCOMPARE(captured.size(), QSize(350, 500));
  // Without a window manager the frame is empty: the area is the window's own picture.
  const QImage onScreen = form.grab(QRect(15, 65, 350, 500)).toImage();
  const Page screenCheck{{350, 500}, onScreen.scaled(350 * 4, 500 * 4)};
  QVERIFY(differenceOnPage(screenCheck, captured, QRectF(0, 0, 350, 500)) < 6);
  // The foot is in it: pixels neither paper-white sheet nor the view's background.
  int foot = 0;
  for (int y = 0; y < captured.height(); ++y)
    for (int x = 0; x < captured.width(); ++x) {
      const QColor c = captured.pixelColor(x, y);
      const bool background = std::abs(c.red() - 84) < 6 && std::abs(c.blue() - 115) < 6;
      if (!background && c.lightness() < 230) ++foot;
    }
  QVERIFY2(foot > 5000, qPrintable(QString::number(foot)));

  const Page page = readPage(file);
  QVERIFY(!page.image.isNull());
  QVERIFY(page.mm.width() > page.mm.height());
  // A square of 0.9 x the printable width from the printable area's corner, running off the
  // bottom of the page.
  const double side = 0.9 * (page.mm.width() - 2 * kMargin);
  const QRectF printed(kMargin, kMargin, side, side);
  const double diff = differenceOnPage(page, captured, printed);
  QVERIFY2(diff < 10, qPrintable(QString::number(diff)));
  QVERIFY(differenceOnPage(page, captured, printed.translated(5, 0)) > diff + 5);
  QVERIFY(differenceOnPage(page, captured, printed.adjusted(0, 0, -10, -10)) > diff + 5);
}

void PrintingTest::dimensionReportAndAModelWithoutWidth() {
  platform::MsgBoxScript messages;
  view::Form1& form = footWindow(false);
  const QString file = pdf("report.pdf");
  const auto model = form.KernelCAD1->Model();
  form.Create_Sheet();
  printing::Draw_Polygon(*model, -50, -105, 0, 247, -105, 0, 247, 105, 0, -50, 105, 0, 1, 0, 0,
                         "floor");
  form.KernelCAD1->UpdateModel();
  messages.answer(MsgBoxResult::Ok);
  messages.answer(MsgBoxResult::No);
  form.Print_FullSize();
  QCOMPARE(messages.shown()[0].text,
           QString("iMetrics.GetDimensions:\r\n"
                   "BXmin: -50.0   BXmax: 247.0   X size: 297.0\r\n"
                   "BYmin: -105.0   BYmax: 105.0   Y size: 210.0\r\n"
                   "BZmin: 0.0   BZmax: 50.0   Z size: 50.0"));
  QCOMPARE(messages.shown()[0].title, QString("QUARNEL"));
  QCOMPARE(messages.shown()[0].buttons, platform::MsgBoxButtons::OkOnly);

  // A model with no width along X cannot be zoomed: a message, the view as it was, no page.
  while (model->GetItemCount() > 0) model->RemoveItem(0);
  printing::Draw_Polygon(*model, 0, -10, 0, 0, 10, 0, 0, 10, 10, 0, -10, 10, 1, 1, 1, "wall");
  form.KernelCAD1->UpdateModel();
  const auto extent = form.heldView()->GetExtent(0);
  messages.clear();
  messages.answer(MsgBoxResult::Ok);
  messages.answer(MsgBoxResult::Yes);
  form.Print_FullSize();
  QCOMPARE(messages.shown().size(), std::size_t{2});
  QVERIFY(messages.shown()[1].text.contains("no size along X"));
  QCOMPARE(form.heldView()->GetExtent(0), extent);
  QVERIFY(!QFile::exists(file));
}

void PrintingTest::withoutPrinterPagesGoToTheDocumentsFolderOrAreRefused() {
  if (!QPrinterInfo::availablePrinters().isEmpty())
    QSKIP("This machine has a printer: its pages go there, not to the documents folder.");
  platform::MsgBoxScript messages;
  platform::PrintDialogScript dialog;
  auto& main = app::Forms::get<app::MainForm>();
  main.show();
  view::Form1& form = footWindow(false);
  app::state().FootSide = "Left";
  const QDir documents(QDir::home().filePath("Documents"));

  form.mnuPrint1->trigger();
  const QStringList prints =
      QDir(documents.filePath("Quarnel/Prints")).entryList({"Print_*.pdf"}, QDir::Files);
  QCOMPARE(prints.size(), 1);
  QVERIFY(main.statusPanel1->text().contains(prints[0]));
  QVERIFY(!readPage(documents.filePath("Quarnel/Prints/" + prints[0])).image.isNull());

  // No printer and nowhere to keep the PDF: a message, nothing printed, no dialog.
  QVERIFY(QDir(documents.filePath("Quarnel")).removeRecursively());
  QFile blocker(documents.filePath("Quarnel"));
  QVERIFY(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  form.mnuPrint1->trigger();
  QCOMPARE(messages.shown().size(), std::size_t{1});
  QVERIFY(messages.shown()[0].text.contains("Nothing was printed"));
  QCOMPARE(dialog.shown().size(), std::size_t{1});
  QVERIFY(!platform::ThePrinter().available());
  QVERIFY(QFile::remove(documents.filePath("Quarnel")));
}

int main(int argc, char** argv) {
  // A home of its own: the documents folder the pages go to is the test's.
  QTemporaryDir home;
  qputenv("HOME", home.path().toLocal8Bit());
  qunsetenv("XDG_CONFIG_HOME");
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QSurfaceFormat::setDefaultFormat(QVTKOpenGLNativeWidget::defaultFormat());
  platform::ErrorReportingApplication application(argc, argv);
  PrintingTest test;
  const int failures = QTest::qExec(&test, argc, argv);
  app::Forms::destroyAll();
  return failures;
}

#include "printing_test.moc"
