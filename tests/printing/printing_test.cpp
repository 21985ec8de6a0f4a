// Printing, read back from the PDF pages it writes: orientation, where the picture lands, its
// size in millimetres and its pixels.
#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPainter>
#include <QPdfDocument>
#include <cmath>

#include "app/scan_browser_window.h"
#include "kernelcad/core/scene.h"
#include "platform/msgbox.h"
#include "platform/printer.h"
#include "printing/a4_sheet.h"
#include "printing/capture.h"
#include "state/app_state.h"
#include "state/window_registry.h"
#include "view/foot_view_window.h"
#include "window_test_support.h"

using platform::MsgBoxResult;

namespace {

constexpr double kPxPerMm = 4.0;
constexpr double kMargin = 10.0;  // the PDF printer's page: A4, 10 mm margin all round

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
  return {box.x() / kPxPerMm, box.y() / kPxPerMm, box.width() / kPxPerMm, box.height() / kPxPerMm};
}

// Mean colour difference between `picture` stretched over `mm` of the page and the page there,
// over the part of `mm` on the page and clear of its edges, where picture and paper blend.
double differenceOnPage(const Page& page, const QImage& picture, const QRectF& mm) {
  double sum = 0;
  int n = 0;
  for (int y = 0; y < page.image.height(); y += 2) {
    for (int x = 0; x < page.image.width(); x += 2) {
      const double u = (x / kPxPerMm - mm.x()) / mm.width();
      const double v = (y / kPxPerMm - mm.y()) / mm.height();
      if (u < 0.02 || u > 0.98 || v < 0.02 || v > 0.98) continue;
      const QRgb a = page.image.pixel(x, y);
      const QRgb b = picture.pixel(int(u * picture.width()), int(v * picture.height()));
      sum += (std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
              std::abs(qBlue(a) - qBlue(b))) /
             3.0;
      ++n;
    }
  }
  return n ? sum / n : 255;
}

// A picture fitted to the page: landscape for tall and square pictures, from the printable
// area's corner and within it, in the picture's proportions to 1%, and showing the picture.
// Gives where the picture landed.
void checkFitted(const QString& file, const QImage& picture, double maxDifference, QRectF* ink) {
  const Page page = readPage(file);
  QVERIFY(!page.image.isNull());
  QCOMPARE(page.mm.width() > page.mm.height(), picture.height() >= picture.width());
  *ink = inkMm(page.image);
  QVERIFY(std::abs(ink->left() - kMargin) < 0.6 && std::abs(ink->top() - kMargin) < 0.6);
  QVERIFY(ink->right() < page.mm.width() - kMargin + 0.8 &&
          ink->bottom() < page.mm.height() - kMargin + 0.8);
  QVERIFY(std::abs(ink->width() / ink->height() * picture.height() / picture.width() - 1) < 0.01);
  QVERIFY(differenceOnPage(page, picture, *ink) < maxDifference);
}

}  // namespace

class PrintingTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> dir_;

  QString pdf(const QString& name) {
    const QString path = dir_->filePath(name);
    platform::Printer::setOutputOverride(path);
    return path;
  }

  static view::Form1& footWindow(bool withScan, bool withMain = false) {
    if (withMain) {
      auto& main = app::Forms::get<app::MainForm>();
      main.show();
      if (!QTest::qWaitForWindowExposed(&main)) qWarning("main window not exposed");
    }
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

 private slots:
  void init() {
    qunsetenv("XDG_CONFIG_HOME");  // the documents folder is the one in the test's own home
    dir_ = std::make_unique<QTemporaryDir>();
    app::state() = app::AppState();
  }

  void cleanup() {
    platform::Printer::setOutputOverride(QString());
    app::Forms::destroyAll();
  }

  void fittedPictureTurnsThePageAndKeepsItsProportions_data() {
    QTest::addColumn<QSize>("size");
    QTest::newRow("tall 350x500") << QSize(350, 500);
    QTest::newRow("wide 500x350") << QSize(500, 350);
    QTest::newRow("square") << QSize(400, 400);
  }

  void fittedPictureTurnsThePageAndKeepsItsProportions() {
    QFETCH(QSize, size);
    const QString file = pdf("fit.pdf");
    platform::PrintDialogScript dialog;
    // A blue top-left quarter on red, so a turned or mirrored print shows.
    QImage picture(size, QImage::Format_RGB32);
    picture.fill(QColor(200, 30, 30));
    QPainter(&picture).fillRect(0, 0, size.width() / 2, size.height() / 2, QColor(30, 30, 200));
    printing::Print_Picture_Fit(platform::ThePrinter(), picture);
    QCOMPARE(platform::ThePrinter().EndDoc(), file);
    QRectF ink;
    checkFitted(file, picture, 8, &ink);
    // As large as the printable area allows: its full width or its full height.
    const QSizeF page = readPage(file).mm - QSizeF(2 * kMargin, 2 * kMargin);
    QVERIFY(std::abs(ink.width() - page.width()) < 0.6 ||
            std::abs(ink.height() - page.height()) < 0.6);
  }

  void printScreenPrintsTheMainWindowWhicheverWindowIsInFront() {
    platform::MsgBoxScript messages;
    platform::PrintDialogScript dialog;
    view::Form1& form = footWindow(false, true);
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
    auto& main = app::Forms::get<app::MainForm>();
    QVERIFY(main.statusPanel1->text().contains(QDir::toNativeSeparators(file)));

    // The main window's controls, below its menu bar, are on the page; the foot window in
    // front would look nothing like it.
    const int top = main.menuWidget()->geometry().bottom() + 1;
    const QImage expected = main.grab(QRect(0, top, main.width(), main.height() - top)).toImage();
    // Every pixel the screen shows of it, on a scaled screen too.
    QCOMPARE(form.Picture1->pixmap(Qt::ReturnByValue).size(), expected.size());
    QRectF ink;
    checkFitted(file, expected, 10, &ink);
    if (QTest::currentTestFailed()) return;
    const Page page = readPage(file);
    QVERIFY(differenceOnPage(page, form.grab().toImage(), ink) >
            2 * differenceOnPage(page, expected, ink) + 10);
  }

  void fullSizePrintoutPutsTheFootOnALandscapePage() {
    platform::MsgBoxScript messages;
    view::Form1& form = footWindow(true);
    app::state().FootSide = "Right";
    form.Create_Sheet();
    form.KernelCAD1->UpdateModel();
    const QString file = pdf("fullsize.pdf");
    messages.answer(MsgBoxResult::Ok);
    messages.answer(MsgBoxResult::Yes);
    form.Print_FullSize();
    const QImage captured = form.Picture1->pixmap(Qt::ReturnByValue).toImage();
    QCOMPARE(captured.size(), QSize(350, 500));
    // On a landscape page: a square of 0.9 x the printable width from the printable area's
    // corner, running off the bottom of the page.
    const Page page = readPage(file);
    QVERIFY(!page.image.isNull());
    QVERIFY(page.mm.width() > page.mm.height());
    const double side = 0.9 * (page.mm.width() - 2 * kMargin);
    const QRectF printed(kMargin, kMargin, side, side);
    const double diff = differenceOnPage(page, captured, printed);
    QVERIFY2(diff < 10, qPrintable(QString::number(diff)));
    QVERIFY(differenceOnPage(page, captured, printed.translated(5, 0)) > diff + 5);
    QVERIFY(differenceOnPage(page, captured, printed.adjusted(0, 0, -10, -10)) > diff + 5);
  }

  void fullSizeReportsTheBoxAndPrintsOnlyWhenAskedAndPossible() {
    platform::MsgBoxScript messages;
    view::Form1& form = footWindow(false);
    app::state().FootSide = "Right";
    app::state().ScanFile = "LeftFoot.wrl";
    const QString file = pdf("report.pdf");
    const auto model = form.KernelCAD1->Model();
    form.Create_Sheet();
    printing::Draw_Polygon(*model, -50, -105, 0, 247, -105, 0, 247, 105, 0, -50, 105, 0, 1, 0, 0,
                           "floor");
    form.KernelCAD1->UpdateModel();
    const auto extentBefore = form.view()->GetExtent(0);
    messages.answer(MsgBoxResult::Ok);
    messages.answer(MsgBoxResult::No);
    form.Print_FullSize();
    QCOMPARE(messages.shown().size(), std::size_t{2});
    QCOMPARE(messages.shown()[0].text, QString("iMetrics.GetDimensions:\r\n"
                                               "BXmin: -50.0   BXmax: 247.0   X size: 297.0\r\n"
                                               "BYmin: -105.0   BYmax: 105.0   Y size: 210.0\r\n"
                                               "BZmin: 0.0   BZmax: 50.0   Z size: 50.0"));
    QCOMPARE(messages.shown()[0].title, QString("QUARNEL"));
    const platform::ShownMessage& question = messages.shown()[1];
    QCOMPARE(question.text, QString("Print This Image?"));
    QCOMPARE(question.buttons, platform::MsgBoxButtons::YesNo);
    QVERIFY(question.defaultButton == MsgBoxResult::No);

    // Answered No: nothing printed; the captions stay, and the zoom that fits the 297 mm along
    // X into 90% of the view's width.
    QVERIFY(!QFile::exists(file));
    const auto labels = model->FindObject("Items");
    QCOMPARE(labels->GetCount(), 2L);
    QCOMPARE(labels->GetEntry(0)->text(), std::string(" Foot: Right"));
    QCOMPARE(labels->GetEntry(1)->text(), std::string(" LeftFoot.wrl"));
    const auto extent = form.view()->GetExtent(0);
    QVERIFY(std::abs((extent.second - extent.first) * 0.9 - 297) < 0.5);
    QVERIFY(extent.second - extent.first < extentBefore.second - extentBefore.first);
  }
};

QUARNEL_WINDOW_TEST_MAIN(PrintingTest)
#include "printing_test.moc"
