// The program as an operator meets it: the real quarnel process on a display with a window
// manager, real modal dialogs, the focus where the window manager puts it, and nothing but
// synthesized mouse clicks and key presses from outside. No scripted dialog, no hook.
//
// Where to click is measured on the same windows built in this process (same toolkit, fonts
// and screen), never read from the program under test.

#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPdfDocument>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <cmath>
#include <memory>
#include <optional>

#include "alignment/align.h"
#include "alignment/reference_toolbar.h"
#include "app/filelists.h"
#include "app/scan_browser_window.h"
#include "desktop.h"
#include "kernelcad/core/scan_reader.h"
#include "measure/foot_measure.h"
#include "printing/scaling.h"
#include "view/foot_view_window.h"

namespace {

constexpr int kWindowMs = 30000;

struct Patient {
  QString file;  // in the lab's data folder
  footview::Side side;
  // The heel-ball distance typed first: one patient's is mistyped with a comma.
  QString firstEntry;
  bool yesByMouse;  // "Print This Image?" answered with the mouse, else with Alt+Y
  // The PDF file typed into the printer dialog of "Print Setup" first; none, the default.
  QString chosenFile;
};

QString sideName(footview::Side side) {
  return side == footview::Side::Left ? QStringLiteral("Left") : QStringLiteral("Right");
}

QString run(const QString& program, const QStringList& arguments) {
  QProcess process;
  process.start(program, arguments);
  process.waitForFinished(60000);
  return QString::fromUtf8(process.readAllStandardOutput());
}

// Where a widget's centre lies in its window's client area.
QPoint centreIn(QWidget* window, QWidget* widget, QRect rect = QRect()) {
  if (rect.isNull()) rect = widget->rect();
  return widget->mapTo(window, rect.center());
}

QPoint toolbarButton(view::Form1& form, QToolBar* bar, const QString& key) {
  for (QAction* a : bar->actions())
    if (alignment::buttonKey(*a) == key) return centreIn(&form, bar->widgetForAction(a));
  return {};
}

// The picture a page carries, whole: the page itself shows only its top, as the square it is
// printed into runs off the paper.
QImage printedPicture(const QString& pdf, QTemporaryDir& scratch) {
  const QString prefix = scratch.filePath(QFileInfo(pdf).completeBaseName());
  run(QStringLiteral("pdfimages"), {"-png", pdf, prefix});
  return QImage(prefix + QStringLiteral("-000.png")).convertToFormat(QImage::Format_RGB32);
}

QString pdfTitle(const QString& pdf) {
  QPdfDocument document;
  document.load(pdf);
  return document.metaData(QPdfDocument::Title).toString();
}

// How model millimetres map to the picture's pixels in the "Bottom" view: +X right, +Y down.
struct Mapping {
  QPointF origin;
  double pixelsPerMm = 0;
  QPointF at(double x, double y) const { return origin + QPointF(x, y) * pixelsPerMm; }
};

bool near(QRgb c, int r, int g, int b, int tolerance) {
  return std::abs(qRed(c) - r) + std::abs(qGreen(c) - g) + std::abs(qBlue(c) - b) < tolerance;
}
bool axisRed(QRgb c) { return qRed(c) > 150 && qGreen(c) < 90 && qBlue(c) < 90; }
bool axisGreen(QRgb c) { return qGreen(c) > 150 && qRed(c) < 90 && qBlue(c) < 90; }
bool white(QRgb c) { return std::min({qRed(c), qGreen(c), qBlue(c)}) >= 238; }

int median(std::vector<int> v) {
  if (v.empty()) return -1;
  std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
  return v[v.size() / 2];
}

// The origin from the axes drawn there (the green Y axis runs down from it; the heel sphere,
// the red X axis and its cone are centred on its row), the scale from the A4 sheet's corner at
// (-50, -105): both stand at fixed model coordinates, whatever foot is shown. Empty, with the
// places found in `why`, when they do not agree.
std::optional<Mapping> findMapping(const QImage& picture, QString& why) {
  const double r = picture.width() / 350.0;  // picture pixels to a window pixel
  std::vector<int> greenX, redY;
  for (int y = 0; y < picture.height(); ++y)
    for (int x = 0; x < picture.width(); ++x)
      if (axisGreen(picture.pixel(x, y))) greenX.push_back(x);
  const int x0 = median(greenX);
  for (int y = 0; y < picture.height(); ++y)
    for (int x = std::max(0, x0 - int(12 * r)); x < std::min(picture.width(), x0 + int(120 * r));
         ++x)
      if (axisRed(picture.pixel(x, y))) redY.push_back(y);
  const int y0 = median(redY);
  int left = -1, top = -1;
  for (int x = 0; y0 >= 0 && x < x0 && left < 0; ++x)
    if (white(picture.pixel(x, y0)) && white(picture.pixel(x + 2, y0))) left = x;
  const int column = std::max(0, x0 - int(15 * r));
  for (int y = 0; y < y0 && top < 0; ++y)
    if (white(picture.pixel(column, y)) && white(picture.pixel(column, y + 2))) top = y;
  const double sx = (x0 - left) / 50.0, sy = (y0 - top) / 105.0;
  why = QStringLiteral("axes at (%1, %2), sheet corner at (%3, %4)").arg(x0).arg(y0).arg(left).arg(top);
  if (std::min({x0, y0, left, top}) < 0 || std::abs(sx - sy) > 0.04 * sx) return std::nullopt;
  return Mapping{QPointF(x0, y0), (sx + sy) / 2};
}

// The printed foot against the aligned, scaled scan projected where the view puts it: the
// share of pixels where both agree, over the rows above the captions.
double outlineAgreement(const QImage& picture, const kernelcad::Model& model, const Mapping& m) {
  const int rows = std::min(picture.height(), static_cast<int>(m.at(0, 65).y()));
  QImage expected(picture.width(), rows, QImage::Format_Grayscale8);
  expected.fill(0);
  {
    QPainter painter(&expected);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    const auto item = model.GetItem(0);
    const kernelcad::Mesh& mesh = *item->mesh();
    const Eigen::Affine3d& placed = item->transform();
    for (std::size_t t = 0; t < mesh.triangleCount(); ++t) {
      QPointF corners[3];
      for (std::size_t k = 0; k < 3; ++k) {
        const float* q = &mesh.points[3 * static_cast<std::size_t>(mesh.triangles[3 * t + k])];
        const kernelcad::Vec3 p = placed * kernelcad::Vec3(q[0], q[1], q[2]);
        corners[k] = m.at(p.x(), p.y());
      }
      painter.drawPolygon(corners, 3);
    }
  }
  const QRgb ground = picture.pixel(1, 1);
  long both = 0, either = 0;
  for (int y = 0; y < rows; ++y)
    for (int x = 0; x < picture.width(); ++x) {
      const QRgb c = picture.pixel(x, y);
      const bool printed = !white(c) && !near(c, qRed(ground), qGreen(ground), qBlue(ground), 40) &&
                           !axisRed(c) && !axisGreen(c);
      const bool projected = qGray(expected.pixel(x, y)) > 127;
      both += printed && projected;
      either += printed || projected;
    }
  return either ? static_cast<double>(both) / either : 0.0;
}

// The captions' lines as the page shows them, read by OCR, without blanks (OCR puts some where
// the text has none).
QStringList captionLines(const QImage& picture, const Mapping& m, QTemporaryDir& scratch) {
  const QPointF from = m.at(-35, 70);
  const QPointF to = m.at(150, 100);
  const QRect band = QRect(from.toPoint(), to.toPoint()) & picture.rect();
  const QString file = scratch.filePath(QStringLiteral("captions.png"));
  picture.copy(band).scaled(band.size() * 3, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
      .save(file);
  QStringList lines;
  for (const QString& line :
       run(QStringLiteral("tesseract"), {file, "-", "--psm", "6"}).split(u'\n'))
    if (!line.trimmed().isEmpty()) lines << QString(line).remove(QRegularExpression("\\s"));
  return lines;
}

}  // namespace

class DesktopSessionTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void aDayOfThreePatientsPrintsEachOwnFoot();
  void helpAddressBoxNavigatesOnEnter();

 private:
  bool startProgram();
  // Waits for the focus to come to the window titled as `pattern` after `step`; where it does
  // not, `lost_` says where it is and what the program wrote.
  bool focusOn(const QString& pattern, const QString& step);
  QString newPrint(const QString& stem, const QString& chosenFile);

  std::unique_ptr<desktop::Desktop> desktop_;
  QTemporaryDir home_;
  QTemporaryDir scratch_;
  QString data_;
  QList<Patient> patients_;
  std::unique_ptr<QProcess> program_;
  QString programOutput_;
  QString lost_;

  // Where to click, in each window's client area.
  std::vector<QPoint> fileItems_;
  QPoint helpMenu_, alignMenu_, printSetupMenu_, suggest_, alignLateral_, print_, yesButton_;
};

void DesktopSessionTest::initTestCase() {
  for (const char* tool : {"Xvfb", "openbox", "xdotool", "setpriv", "pdfimages", "tesseract"})
    QVERIFY2(!QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty(), tool);
  desktop_ = std::make_unique<desktop::Desktop>();
  QVERIFY2(desktop_->started(), "no display with a window manager");

  // The lab's folder: the two samples and a longer left foot, named in the order they are seen.
  data_ = home_.filePath(QStringLiteral("Kelvard/Data"));
  QVERIFY(QDir().mkpath(data_));
  QVERIFY(QFile::copy(QStringLiteral(QUARNEL_SAMPLES_DIR "/LeftFoot.wrl"), data_ + "/Anna.wrl"));
  QVERIFY(QFile::copy(QStringLiteral(QUARNEL_SAMPLES_DIR "/RightFoot.wrl"), data_ + "/Boris.wrl"));
  run(QStringLiteral(QUARNEL_FOOTGEN), {"--side", "Left", "--length", "285", data_ + "/Clara.wrl"});
  QVERIFY(QFile::exists(data_ + "/Clara.wrl"));
  patients_ = {{"Anna.wrl", footview::Side::Left, QString(), false, QString()},
               {"Boris.wrl", footview::Side::Right, QStringLiteral("16,2"), true, QString()},
               {"Clara.wrl", footview::Side::Left, QString(), false,
                home_.filePath(QStringLiteral("Clara for the lab.pdf"))}};

  app::MainForm main;
  main.File1->setPattern(QStringLiteral("*.Wrl"));
  main.File1->setPath(data_);
  main.setAttribute(Qt::WA_DontShowOnScreen);
  main.show();
  QCOMPARE(main.File1->count(), patients_.size());
  for (int i = 0; i < main.File1->count(); ++i)
    fileItems_.push_back(centreIn(&main, main.File1->viewport(),
                                  main.File1->visualItemRect(main.File1->item(i))));
  helpMenu_ = centreIn(&main, main.menuBar(), main.menuBar()->actionGeometry(main.mnuHelp1->menuAction()));

  view::Form1 foot;
  foot.setAttribute(Qt::WA_DontShowOnScreen);
  foot.show();
  foot.showToolbar(footview::Toolbar::Reference, true);
  foot.showToolbar(footview::Toolbar::Navigation, true);
  alignMenu_ = centreIn(&foot, foot.menuBar(), foot.menuBar()->actionGeometry(foot.mnuAlign));
  printSetupMenu_ =
      centreIn(&foot, foot.menuBar(), foot.menuBar()->actionGeometry(foot.mnuPrint2));
  suggest_ = toolbarButton(foot, foot.Toolbar1, QStringLiteral("Suggest"));
  alignLateral_ = toolbarButton(foot, foot.Toolbar1, QStringLiteral("Align Lateral"));
  print_ = toolbarButton(foot, foot.Toolbar2, QStringLiteral("PRINT"));

  QMessageBox question(QMessageBox::Question, QStringLiteral("Print"),
                       QStringLiteral("Print This Image?"), QMessageBox::Yes | QMessageBox::No);
  question.setAttribute(Qt::WA_DontShowOnScreen);
  question.show();
  yesButton_ = centreIn(&question, question.button(QMessageBox::Yes));
}

// A program of its own for each test, whatever the last one left on the screen.
bool DesktopSessionTest::startProgram() {
  if (program_) {
    program_->kill();
    program_->waitForFinished();
  }
  programOutput_.clear();
  program_ = std::make_unique<QProcess>();
  QProcessEnvironment env = desktop_->environment();
  env.insert(QStringLiteral("HOME"), home_.path());
  env.insert(QStringLiteral("LIBGL_ALWAYS_SOFTWARE"), QStringLiteral("1"));
  env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
  // The screen scale and the language stay as this test was started with.
  for (const char* unset :
       {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_DOCUMENTS_DIR", "QUARNEL_SIDE", "QUARNEL_DATA_DIR"})
    env.remove(QString::fromLatin1(unset));
  program_->setProcessEnvironment(env);
  program_->setProcessChannelMode(QProcess::MergedChannels);
  connect(program_.get(), &QProcess::readyRead, this,
          [this] { programOutput_ += QString::fromUtf8(program_->readAll()); });
  desktop::startTied(*program_, QStringLiteral(QUARNEL_PROGRAM), {});
  return program_->waitForStarted() && desktop_->waitActive("^Scan File Printer$", kWindowMs);
}

bool DesktopSessionTest::focusOn(const QString& pattern, const QString& step) {
  QString seen;
  if (desktop_->waitActive(pattern, kWindowMs, &seen)) return true;
  lost_ = QStringLiteral("%1: expected the window \"%2\", the focus is on \"%3\"\n%4")
              .arg(step, pattern, seen, programOutput_);
  return false;
}

// The print of `stem` written since the last look, once it is complete: the file chosen in the
// printer dialog, or one named after the scan in the prints folder.
QString DesktopSessionTest::newPrint(const QString& stem, const QString& chosenFile) {
  const QString folder = home_.filePath(QStringLiteral("Documents/Quarnel/Prints"));
  QDeadlineTimer deadline(kWindowMs);
  while (!deadline.hasExpired()) {
    const QFileInfoList files =
        chosenFile.isEmpty() ? QDir(folder).entryInfoList({stem + "_*.pdf"}, QDir::Files)
                             : QFileInfoList{QFileInfo(chosenFile)};
    for (const QFileInfo& f : files) {
      QFile file(f.filePath());
      if (file.open(QIODevice::ReadOnly) && file.readAll().trimmed().endsWith("%%EOF"))
        return f.filePath();
    }
    QTest::qWait(100);
  }
  return QString();
}

void DesktopSessionTest::aDayOfThreePatientsPrintsEachOwnFoot() {
  QVERIFY2(startProgram(), qPrintable(programOutput_));
  // Its title changes with the scan chosen; its window stays.
  const QString browser = desktop_->waitWindow("^Scan File Printer$", kWindowMs);
  for (int i = 0; i < patients_.size(); ++i) {
    const Patient& p = patients_[i];
    const QString side = sideName(p.side);
    const QString path = data_ + u'/' + p.file;
    const QString stem = QFileInfo(p.file).completeBaseName() + u'_' + side;

    // The scan the program will show, aligned and scaled as the operator does it below.
    const kernelcad::Mesh scan = kernelcad::ReadScanFile(path.toStdString()).mesh;
    const measure::Suggestion points = measure::SuggestReferencePoints(scan, p.side);
    QVERIFY2(points.found, points.reason.c_str());
    const double heelBall = (points.ball - points.heel).norm();
    const double trueHeelBall = std::round(heelBall * 10.2) / 10.0;
    const auto expected = alignment::Align_Scan(scan, {points.heel, points.ball, points.adjacent},
                                                alignment::Axis::Lateral, p.side, 0.0);
    printing::Apply_Scale(*expected, trueHeelBall / heelBall);

    // The browser brought to the front from the taskbar, then a double click on the scan, the
    // side in the dialog, Enter.
    desktop_->raise(browser);
    desktop_->click(browser, fileItems_[i], 2);
    QVERIFY2(focusOn("^Select Foot$", p.file), qPrintable(lost_));
    if (p.side == footview::Side::Right) desktop_->keys({"Right"});
    desktop_->keys({"Return"});
    const QString foot =
        desktop_->waitWindow("^Foot: " + QRegularExpression::escape(path) + "$", kWindowMs);
    QVERIFY2(!foot.isEmpty(), qPrintable(p.file + " did not open\n" + programOutput_));

    // "Align Foot", "Suggest", "Align Lateral": a new scan is a new model, so nothing of the
    // last patient's is there to clear away and no count of items is shown.
    desktop_->click(foot, alignMenu_);
    desktop_->click(foot, suggest_);
    desktop_->click(foot, alignLateral_);
    QVERIFY2(focusOn("^Foot Alignment$", "Align Lateral"), qPrintable(lost_));
    desktop_->keys({"Return"});
    QVERIFY2(focusOn("^Distances$", "roll accepted"), qPrintable(lost_));
    if (!p.firstEntry.isEmpty()) {
      // A comma typed for a point: read as 16 mm, the foot would shrink tenfold. Asked, No.
      desktop_->type(p.firstEntry);
      desktop_->keys({"Tab", "Tab", "Tab", "space"});
      QVERIFY2(focusOn("^Scale Factor$", "Apply of " + p.firstEntry), qPrintable(lost_));
      desktop_->keys({"alt+n"});
      QVERIFY2(focusOn("^Distances$", "No to the scale"), qPrintable(lost_));
      desktop_->keys({"shift+Tab", "shift+Tab", "shift+Tab", "ctrl+a"});
    }
    desktop_->type(QString::number(trueHeelBall, 'f', 1));
    desktop_->keys({"Tab", "Tab", "Tab", "space"});
    QVERIFY2(focusOn("^Foot: ", "Apply"), qPrintable(lost_));

    if (!p.chosenFile.isEmpty()) {
      // "Print Setup": the dialog's output file (Alt+F) typed over, then its Print button.
      desktop_->click(foot, printSetupMenu_);
      QVERIFY2(focusOn("^Print$", "Print Setup"), qPrintable(lost_));
      desktop_->keys({"alt+f", "ctrl+a"});
      desktop_->type(p.chosenFile);
      desktop_->keys({"Return"});
      QVERIFY2(focusOn("^Foot: ", "the printer dialog"), qPrintable(lost_));
    }

    // "PRINT": the dimension report, then the question, answered as a person answers it.
    desktop_->click(foot, print_);
    QVERIFY2(focusOn("^QUARNEL$", "PRINT"), qPrintable(lost_));
    desktop_->keys({"Return"});
    QVERIFY2(focusOn("^Print$", "the report closed"), qPrintable(lost_));
    if (p.yesByMouse)
      desktop_->click(desktop_->waitWindow("^Print$", kWindowMs), yesButton_);
    else
      desktop_->keys({"alt+y"});
    const QString pdf = newPrint(stem, p.chosenFile);
    QVERIFY2(!pdf.isEmpty(), qPrintable(stem + " was not printed\n" + programOutput_));

    // The page is this patient's: its name, its foot where the projection puts it, its own
    // two captions and none of an earlier patient's. A page that fails is kept to look at.
    QCOMPARE(pdfTitle(pdf), stem);
    const QImage picture = printedPicture(pdf, scratch_);
    picture.save(QStringLiteral("desktop_session_%1.png").arg(stem));
    // Every pixel the screen shows of the area, on a scaled screen too.
    QCOMPARE(picture.size(), (QSizeF(350, 500) * qApp->devicePixelRatio()).toSize());
    QString why;
    const std::optional<Mapping> mapping = findMapping(picture, why);
    QVERIFY2(mapping, qPrintable(stem + ": " + why));
    const Mapping& m = *mapping;
    const double agreement = outlineAgreement(picture, *expected, m);
    qInfo("%s: printed and projected outline agree on %.3f of their pixels", qPrintable(stem),
          agreement);
    QVERIFY2(agreement > 0.9, qPrintable(QStringLiteral("%1: outline agreement %2").arg(stem).arg(agreement)));
    QCOMPARE(captionLines(picture, m, scratch_), QStringList({"Foot:" + side, p.file}));
    QFile::remove(pdf);  // the next patient's print is then the only one
    QFile::remove(QStringLiteral("desktop_session_%1.png").arg(stem));
  }
  // Alt+F4 on the browser ends the program with every window.
  desktop_->raise(browser);
  desktop_->keys({"alt+F4"});
  QVERIFY(program_->waitForFinished(kWindowMs));
}

// Typed as a person types it, Enter on the address box goes to that address, from the main
// keyboard's Enter and the keypad's alike.
void DesktopSessionTest::helpAddressBoxNavigatesOnEnter() {
  QVERIFY2(startProgram(), qPrintable(programOutput_));
  const QString browser = desktop_->waitWindow("^Scan File", kWindowMs);
  desktop_->raise(browser);
  desktop_->click(browser, helpMenu_);
  desktop_->keys({"Down", "Return"});
  const QString help = desktop_->waitWindow("^QUARNEL Help$", kWindowMs);
  QVERIFY(!help.isEmpty());
  // The address box on the help window's toolbar, as laid out in twips.
  const QPoint address(208 + 150, 8 + 10);
  const struct {
    const char* address;
    const char* enter;
    const char* title;
  } steps[] = {{"qrc:/help/measure.htm", "Return", "^Foot measurements$"},
               {"qrc:/help/points.htm", "KP_Enter", "^Placing and moving the three points$"}};
  for (const auto& step : steps) {
    desktop_->click(help, address);
    desktop_->keys({"ctrl+a"});
    desktop_->type(QString::fromLatin1(step.address));
    desktop_->keys({QString::fromLatin1(step.enter)});
    QVERIFY2(focusOn(QString::fromLatin1(step.title), step.enter), qPrintable(lost_));
  }
  program_->kill();
  program_->waitForFinished();
}

QTEST_MAIN(DesktopSessionTest)
#include "desktop_session_test.moc"
