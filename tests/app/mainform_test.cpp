// The windows driven through their controls. The scan browser: start values, the data folder,
// the foot buttons and side dialog, a broken scan, a large scan read while the event loop keeps
// ticking and its Cancel, a scan in another unit, ending the program, and the road from start
// to a foot seen from below. The foot view: what its load sets up, its switches, closing, the
// six standard views and the resize rule.

#include "app/mainform.h"

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>
#include <cmath>
#include <fstream>
#include <memory>
#include <sstream>

#include "app/appstate.h"
#include "app/filelists.h"
#include "app/selectform.h"
#include "footgen/footgen.h"
#include "platform/msgbox.h"
#include "platform/runtime.h"
#include "view/form1.h"
#include "window_test_support.h"

using app::Forms;
using app::MainForm;
using testing_support::chooseMenu;
using testing_support::clickItem;

namespace {

QStringList listed(const QListWidget* list) {
  QStringList names;
  for (int i = 0; i < list->count(); ++i) names << list->item(i)->text();
  return names;
}

void writeFile(const QString& path, const QByteArray& content = "#VRML V2.0 utf8\n") {
  QDir().mkpath(QFileInfo(path).path());
  QFile file(path);
  if (file.open(QIODevice::WriteOnly)) file.write(content);
}

// Double-clicks the folder list entry that stands for `folder`.
bool openFolder(app::DirList* list, const QString& folder) {
  for (int i = 0; i < list->count(); ++i) {
    QListWidgetItem* item = list->item(i);
    if (item->data(Qt::UserRole).toString() != QDir::cleanPath(folder)) continue;
    list->scrollToItem(item);
    const QPoint at = list->visualItemRect(item).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    return true;
  }
  return false;
}

bool isBackground(QRgb pixel, QRgb background) {
  return qAbs(qRed(pixel) - qRed(background)) + qAbs(qGreen(pixel) - qGreen(background)) +
             qAbs(qBlue(pixel) - qBlue(background)) <
         24;
}

void writeScan(const QString& path, kernelcad::Mesh mesh, double scale = 1) {
  for (double& c : mesh.points) c *= scale;
  std::ofstream out(path.toStdString(), std::ios::binary);
  footgen::WriteVrml2(mesh, out, "test scan");
}

// A scanner-sized scan of a million vertices, about 100 MB, made once.
const QTemporaryDir& bigScanFolder() {
  static const QTemporaryDir folder;
  static const bool written = [] {
    const int resolution = footgen::ResolutionForVertices(1'000'000);
    writeScan(folder.filePath("Big.wrl"),
              footgen::GenerateFoot(footgen::Side::Left, resolution).mesh);
    return true;
  }();
  Q_UNUSED(written);
  return folder;
}

QProgressDialog* progressWindow() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* dialog = qobject_cast<QProgressDialog*>(w); dialog && dialog->isVisible())
      return dialog;
  return nullptr;
}

// What the operator sees of a foot view: caption, scan, spheres and camera.
std::string looks(const view::Form1& form) {
  std::ostringstream out;
  const auto model = form.KernelCAD1->Model();
  out << form.windowTitle().toStdString() << model->GetItem(0)->mesh().get();
  for (long i = 1; i < model->GetItemCount(); ++i) out << model->GetItem(i)->GetPosition();
  const auto eye = form.KernelCAD1->View()->FindObject("EyeFrame");
  out << eye->orientation() << eye->GetPosition() << form.isVisible();
  return out.str();
}

}  // namespace

using Vec3 = Eigen::Vector3d;
Q_DECLARE_METATYPE(Vec3)
Q_DECLARE_METATYPE(platform::MsgBoxResult)

class MainFormTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<platform::MsgBoxScript> messages_;

  MainForm& start() {
    MainForm& form = Forms::get<MainForm>();
    form.show();
    if (!QTest::qWaitForWindowExposed(&form)) qWarning("browser not exposed");
    return form;
  }

  // Clicks `file` in the list and presses `button`; the foot view, if one is loaded.
  static view::Form1* openFoot(MainForm& form, const QString& file, QPushButton* button) {
    if (!clickItem(form.File1, file)) return nullptr;
    QTest::mouseClick(button, Qt::LeftButton);
    return Forms::loaded<view::Form1>();
  }

  // What every load sets up, whatever the window showed before.
  void checkFreshlyLoaded(view::Form1* form) {
    QVERIFY(form);
    QVERIFY(messages_->shown().empty());
    QCOMPARE(app::state().ModelRef, form->KernelCAD1->Model());
    QVERIFY(app::state().ShadedFlag && form->KernelCAD1->Shaded());
    QVERIFY(!form->mnuWireframe->isChecked());
    QVERIFY(form->KernelCAD1->ShowAxes() && form->mnuAxes->isChecked());
    QCOMPARE(form->heldView(), form->KernelCAD1->View());
    QCOMPARE(form->heldView()->lightIntensity(), 1.0f);
    QCOMPARE(form->heldView()->lineWidth(), 1.0f);
    for (QToolBar* bar : {form->Toolbar1, form->Toolbar2})
      QVERIFY(!bar->isVisible() && !bar->isEnabled());
  }

  view::Form1* openLeftFoot() {
    MainForm& main = start();
    view::Form1* form = openFoot(main, "LeftFoot.wrl", main.Command1);
    return form && QTest::qWaitForWindowExposed(form) ? form : nullptr;
  }

  QString dataFolder() const { return QDir::cleanPath(app::defaultDataFolder()); }

 private slots:
  void init() {
    kernelcad::KernelCAD::setProgressDelay(kernelcad::KernelCAD::kDefaultProgressDelayMs);
    Forms::destroyAll();
    app::state() = app::AppState{};
    platform::setCommandArguments({});
    messages_ = std::make_unique<platform::MsgBoxScript>();
  }

  void cleanup() {
    Forms::destroyAll();
    messages_.reset();
    QDir(dataFolder()).removeRecursively();
  }

  void startsOnSampleScansWithoutDataFolder() {
    MainForm& form = start();
    QCOMPARE(form.minimumSize(), form.maximumSize());
    QCOMPARE(form.Dir1->path(), QDir::cleanPath(app::samplesFolder()));
    QCOMPARE(listed(form.File1), (QStringList{"LeftFoot.wrl", "RightFoot.wrl"}));
    QCOMPARE(form.statusPanel1->text(), QStringLiteral("Ready"));
    const app::AppState& s = app::state();
    QCOMPARE(s.ScanFile, QStringLiteral("None"));
    QVERIFY(s.FootSide.isEmpty());
    QCOMPARE(s.CurrentFolder, form.Dir1->path());
    QVERIFY(!s.ModelRef && !s.OrnivueMode);
    QVERIFY(!s.PlaceHeelArmed && !s.PlaceBallArmed && !s.PlaceAdjacentArmed);
    QVERIFY(!s.MoveHeelArmed && !s.MoveBallArmed && !s.MoveAdjacentArmed);
    QCOMPARE(s.AlignRollAngle, 0.0);
  }

  void walksDataFolderAndChoosesScan() {
    const QString data = dataFolder();
    for (const char* name : {"a.WRL", "b.wrl", "notes.txt", "old.wrl.bak", "sub/c.Wrl"})
      writeFile(data + "/" + name);
    // Named like scans but no files: opening a FIFO would wait for a writer for ever.
    QVERIFY(mkfifo(QFile::encodeName(data + "/x.wrl").constData(), 0600) == 0);
    QVERIFY(QFile::link(data + "/x.wrl", data + "/y.wrl"));
    MainForm& form = start();
    QCOMPARE(form.Dir1->path(), data);
    QCOMPARE(listed(form.File1), (QStringList{"a.WRL", "b.wrl"}));

    QVERIFY(clickItem(form.File1, "b.wrl"));
    QCOMPARE(app::state().ScanFile, QStringLiteral("b.wrl"));
    QCOMPARE(app::state().ScanPath, data + "/b.wrl");
    QCOMPARE(form.windowTitle(), "Scan File: " + data + "/b.wrl");
    QCOMPARE(form.statusPanel1->text(), "Scan File: " + data + "/b.wrl");

    QVERIFY(openFolder(form.Dir1, data + "/sub"));
    QCOMPARE(app::state().CurrentFolder, data + "/sub");
    QCOMPARE(listed(form.File1), QStringList{"c.Wrl"});
    QCOMPARE(app::state().ScanFile, QStringLiteral("b.wrl"));  // a folder change keeps the scan
  }

  void rightFootOpensSeenFromBelow() {
    MainForm& main = start();
    view::Form1* form = openFoot(main, "RightFoot.wrl", main.Command2);
    QVERIFY(form);
    QVERIFY(QTest::qWaitForWindowExposed(form));
    const QString path = QDir::cleanPath(app::samplesFolder()) + "/RightFoot.wrl";
    QCOMPARE(form->windowTitle(), "Foot: " + path);
    QCOMPARE(main.statusPanel1->text(), "Fotrella: Foot  " + path);
    QCOMPARE(app::state().FootSide, QStringLiteral("Right"));
    QVERIFY(messages_->shown().empty());

    // The Bottom view: the viewer below the sole, +X to the right, +Y down the screen.
    const auto view = form->KernelCAD1->View();
    const Eigen::Matrix3d camera = view->FindObject("EyeFrame")->orientation();
    QVERIFY(camera.col(2).isApprox(kernelcad::Vec3(0, 0, -1), 1e-9));
    const auto foot = form->KernelCAD1->Model()->GetItem(0);
    const std::array<double, 6> b = foot->worldBounds();
    const Eigen::Vector2d lowX = view->worldToPixel({b[0], 0, 0});
    const Eigen::Vector2d highX = view->worldToPixel({b[3], 0, 0});
    const Eigen::Vector2d lowY = view->worldToPixel({0, b[1], 0});
    const Eigen::Vector2d highY = view->worldToPixel({0, b[4], 0});
    QVERIFY(highX.x() > lowX.x() + 100);
    QVERIFY(highY.y() > lowY.y() + 30);

    // Foot pixels where the geometry puts them: the heel, the middle of the sole and nearly
    // every vertex land on the foot, and well outside the outline is background.
    const QPoint offset = form->KernelCAD1->renderWidget()->mapTo(form->KernelCAD1, QPoint(0, 0));
    QImage image;
    QRgb background = 0;
    const auto pixel = [&](const Eigen::Vector2d& p) {
      return QPoint(qRound(p.x()), qRound(p.y())) + offset;
    };
    const auto onFoot = [&](const Eigen::Vector2d& p) {
      return !isBackground(image.pixel(pixel(p)), background);
    };
    const kernelcad::Vec3 heel(31.2, 0.0, 0.4);  // the generator's heel landmark, on the sole
    const kernelcad::Vec3 centre((b[0] + b[3]) / 2, (b[1] + b[4]) / 2, (b[2] + b[5]) / 2);
    const auto& points = foot->mesh()->points;
    const auto coverage = [&] {
      image = form->KernelCAD1->grab().toImage().convertToFormat(QImage::Format_RGB32);
      background = image.pixel(2, image.height() - 3);
      if (!onFoot(view->worldToPixel(heel)) || !onFoot(view->worldToPixel(centre))) return 0.0;
      int covered = 0, tried = 0;
      for (std::size_t i = 0; i + 2 < points.size(); i += 3 * 997) {
        const auto p = view->worldToPixel(foot->transform() *
                                          kernelcad::Vec3(points[i], points[i + 1], points[i + 2]));
        if (!image.rect().contains(pixel(p))) return 0.0;
        ++tried;
        covered += onFoot(p) ? 1 : 0;
      }
      return tried ? double(covered) / tried : 0.0;
    };
    QTRY_VERIFY_WITH_TIMEOUT(coverage() > 0.97, 15000);

    const double left = lowX.x() - 25, right = highX.x() + 25;
    const double top = lowY.y() - 25, bottom = highY.y() + 25;
    for (const Eigen::Vector2d& outside :
         {Eigen::Vector2d(left, (top + bottom) / 2), Eigen::Vector2d(right, (top + bottom) / 2),
          Eigen::Vector2d((left + right) / 2, top), Eigen::Vector2d((left + right) / 2, bottom)}) {
      if (image.rect().contains(pixel(outside))) QVERIFY(!onFoot(outside));
    }
  }

  void statusPrefixFollowsCommandLine_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("prefix");
    QTest::newRow("-v") << QStringList{"-v"} << "Ornivue: Foot  ";
    QTest::newRow("-V") << QStringList{"-V"} << "Fotrella: Foot  ";
    QTest::newRow("-v second") << QStringList{"x", "-v"} << "Fotrella: Foot  ";
  }

  void statusPrefixFollowsCommandLine() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, prefix);
    platform::setCommandArguments(arguments);
    MainForm& form = start();
    QVERIFY(openFoot(form, "RightFoot.wrl", form.Command2));
    QCOMPARE(form.statusPanel1->text(), prefix + form.Dir1->path() + "/RightFoot.wrl");
  }

  // quarnel [-v] FILE: the browser on the file's folder with the file selected, the side asked
  // and the scan loaded; what cannot be loaded is reported and leaves the browser as it is.
  void scanNamedOnTheCommandLineOpensAsADoubleClick_data() {
    QTest::addColumn<QString>("file");      // in the samples folder, or in a folder of its own
    QTest::addColumn<QString>("selected");  // in the file list afterwards
    QTest::addColumn<bool>("asked");        // the side dialog
    QTest::addColumn<QString>("message");   // part of the error shown; empty: loaded
    QTest::newRow("sample scan") << "samples/RightFoot.wrl"
                                 << "RightFoot.wrl" << true << "";
    QTest::newRow("broken scan") << "own/bad.wrl"
                                 << "bad.wrl" << true << "own/bad.wrl";
    QTest::newRow("no such file") << "own/gone.wrl"
                                  << "" << false << "own/gone.wrl";
    QTest::newRow("no such folder") << "own/none/gone.wrl"
                                    << "" << false << "own/none";
  }

  void scanNamedOnTheCommandLineOpensAsADoubleClick() {
    QFETCH(QString, file);
    QFETCH(QString, selected);
    QFETCH(bool, asked);
    QFETCH(QString, message);
    QTemporaryDir own;
    writeFile(own.filePath("bad.wrl"), "#VRML V2.0 utf8\nShape { geometry IndexedFaceSet {");
    const QString samples = QDir::cleanPath(app::samplesFolder());
    const auto local = [&](const QString& name) {
      return name.startsWith("own/") ? own.path() + name.mid(3) : samples + name.mid(7);
    };
    const QString path = local(file);
    platform::setCommandArguments({"-v", path});
    // The operator answers the side dialog with "Right Foot".
    int dialogs = 0;
    QTimer hand;
    connect(&hand, &QTimer::timeout, this, [&] {
      auto* dialog = Forms::loaded<app::SelectForm>();
      if (!dialog || !dialog->isVisible()) return;
      ++dialogs;
      QTest::mouseClick(dialog->Option2, Qt::LeftButton);
      QTest::mouseClick(dialog->Command1, Qt::LeftButton);
    });
    hand.start(10);
    MainForm& form = start();
    QTRY_VERIFY(!messages_->shown().empty() || Forms::loaded<view::Form1>());
    QTRY_VERIFY(!Forms::loaded<app::SelectForm>());
    QCOMPARE(dialogs, asked ? 1 : 0);
    QVERIFY(form.isVisible());
    const QString folder = QFileInfo(path).dir().exists() ? QFileInfo(path).path() : samples;
    QCOMPARE(form.Dir1->path(), folder);
    QCOMPARE(form.File1->currentItem() ? form.File1->currentItem()->text() : "", selected);
    view::Form1* footView = Forms::loaded<view::Form1>();
    if (message.isEmpty()) {
      QVERIFY(messages_->shown().empty());
      QCOMPARE(app::state().FootSide, QStringLiteral("Right"));
      QVERIFY(footView && footView->isVisible());
      QCOMPARE(footView->windowTitle(), "Foot: " + path);
      QCOMPARE(form.statusPanel1->text(), "Ornivue: Foot  " + path);
    } else {
      QCOMPARE(messages_->shown().size(), std::size_t{1});
      QCOMPARE(messages_->shown()[0].title, QStringLiteral("Error"));
      QVERIFY2(messages_->shown()[0].text.contains(local(message)),
               qPrintable(messages_->shown()[0].text));
      QVERIFY(!footView || !footView->isVisible());
    }
  }

  void doubleClickAsksForSideEveryTimeFromLeft() {
    MainForm& form = start();
    // Right chosen and the dialog closed with its close box, which counts as Accept; then
    // Accept pressed on what the dialog opened with.
    struct Round {
      const char* file;
      bool pickRight;
      const char* side;
    };
    view::Form1* footView = nullptr;
    for (const Round& round :
         {Round{"LeftFoot.wrl", true, "Right"}, Round{"RightFoot.wrl", false, "Left"}}) {
      bool modalOnLeft = false;
      QTimer::singleShot(0, [&] {
        auto* dialog = Forms::loaded<app::SelectForm>();
        if (!dialog) return;
        modalOnLeft = QApplication::activeModalWidget() == dialog && dialog->Option1->isChecked() &&
                      !dialog->Option2->isChecked();
        if (round.pickRight) {
          QTest::mouseClick(dialog->Option2, Qt::LeftButton);
          dialog->close();
        } else {
          QTest::mouseClick(dialog->Command1, Qt::LeftButton);
        }
      });
      QVERIFY(clickItem(form.File1, round.file, true));
      QVERIFY2(modalOnLeft, round.file);
      QCOMPARE(app::state().FootSide, QString(round.side));
      // One foot view window, loaded afresh with each scan.
      if (footView) QCOMPARE(Forms::loaded<view::Form1>(), footView);
      footView = Forms::loaded<view::Form1>();
      QVERIFY(footView);
      QCOMPARE(footView->windowTitle(), "Foot: " + form.Dir1->path() + "/" + round.file);
      QTRY_VERIFY(!Forms::loaded<app::SelectForm>());
    }
  }

  void unreadableScanIsReportedAndViewKept() {
    MainForm& form = start();
    view::Form1* footView = openFoot(form, "LeftFoot.wrl", form.Command1);
    QVERIFY(footView);
    const QString caption = footView->windowTitle();
    const auto mesh = footView->KernelCAD1->Model()->GetItem(0)->mesh();

    QTemporaryDir folder;
    const QString bad = folder.path() + "/bad.wrl";
    writeFile(bad,
              "#VRML V2.0 utf8\nShape { geometry IndexedFaceSet {\n"
              "  coord Coordinate { point [ 0 0 0, 1 0 0, 0 1 0 ] }\n"
              "  coordIndex [ 0, 1, 9, -1 ] } }\n");
    form.Dir1->setPath(folder.path());
    // LeftFoot.wrl stays chosen but is not in this folder; then a file that cannot be read.
    QTest::mouseClick(form.Command2, Qt::LeftButton);
    QVERIFY(openFoot(form, "bad.wrl", form.Command1));
    const auto& shown = messages_->shown();
    QCOMPARE(shown.size(), size_t{2});
    for (int i = 0; i < 2; ++i) {
      const QString file = i == 0 ? folder.path() + "/LeftFoot.wrl" : bad;
      QCOMPARE(shown[i].title, QStringLiteral("Error"));
      QVERIFY2(shown[i].text.contains(file), qPrintable(shown[i].text));
      // The reason follows the file name.
      QVERIFY2(shown[i].text.size() > file.size() + 10, qPrintable(shown[i].text));
    }
    QCOMPARE(footView->windowTitle(), caption);
    QCOMPARE(footView->KernelCAD1->Model()->GetItem(0)->mesh(), mesh);
    QVERIFY(footView->isVisible());

    // And the program carries on.
    form.Dir1->setPath(app::samplesFolder());
    QVERIFY(openFoot(form, "RightFoot.wrl", form.Command2));
    QCOMPARE(footView->windowTitle(), "Foot: " + form.Dir1->path() + "/RightFoot.wrl");
  }

  void endingClosesEveryWindowAtOnce_data() {
    QTest::addColumn<bool>("byMenu");
    QTest::newRow("Files/Exit") << true;
    QTest::newRow("close box") << false;
  }

  void endingClosesEveryWindowAtOnce() {
    QFETCH(bool, byMenu);
    MainForm& form = start();
    QVERIFY(openFoot(form, "LeftFoot.wrl", form.Command1));
    QTimer::singleShot(0, [&] {
      if (byMenu)
        chooseMenu(&form, form.mnuFiles, form.mnuExit);
      else
        form.close();
    });
    // The program's own event loop, as main() runs it; a watchdog in case it never ends.
    QTimer watchdog;
    connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    watchdog.start(20000);
    QCOMPARE(QApplication::exec(), 0);
    QVERIFY(!Forms::loaded<MainForm>());
    QVERIFY(!Forms::loaded<view::Form1>());
    // The foot view went without its own close step, which would have emptied the model.
    QVERIFY(app::state().ModelRef);
  }

  void switchesToggleBackAndCloseStartsAfresh() {
    view::Form1* form = openLeftFoot();
    checkFreshlyLoaded(form);
    if (QTest::currentTestFailed()) return;
    for (const bool on : {true, false}) {
      QVERIFY(chooseMenu(form, form->mnuSettings, form->mnuWireframe));
      QCOMPARE(form->mnuWireframe->isChecked(), on);
      QCOMPARE(form->KernelCAD1->Shaded(), !on);
      QCOMPARE(app::state().ShadedFlag, !on);
      QVERIFY(chooseMenu(form, form->mnuSettings, form->mnuAxes));
      QCOMPARE(form->mnuAxes->isChecked(), !on);
      QCOMPARE(form->KernelCAD1->ShowAxes(), !on);
    }

    // Closed in wireframe without axes: the model goes, the chosen scan stays.
    QVERIFY(chooseMenu(form, form->mnuSettings, form->mnuWireframe));
    QVERIFY(chooseMenu(form, form->mnuSettings, form->mnuAxes));
    const app::AppState before = app::state();
    QVERIFY(chooseMenu(form, form->mnuFiles, form->mnuClose));
    QVERIFY(!Forms::loaded<view::Form1>());
    QVERIFY(!app::state().ModelRef);
    QCOMPARE(app::state().ScanPath, before.ScanPath);
    QCOMPARE(app::state().ScanFile, before.ScanFile);
    QCOMPARE(app::state().FootSide, before.FootSide);
    checkFreshlyLoaded(openLeftFoot());
  }

  // Each view is told by where the viewer stands and which way is up on the screen.
  void standardViewsPutCameraInPlace_data() {
    QTest::addColumn<Vec3>("towardViewer");
    QTest::addColumn<Vec3>("up");
    QTest::newRow("Top") << Vec3(0, 0, 1) << Vec3(0, 1, 0);
    QTest::newRow("Bottom") << Vec3(0, 0, -1) << Vec3(0, -1, 0);
    QTest::newRow("Left") << Vec3(0, 1, 0) << Vec3(0, 0, 1);
    QTest::newRow("Right") << Vec3(0, -1, 0) << Vec3(0, 0, 1);
    QTest::newRow("Front") << Vec3(1, 0, 0) << Vec3(0, 0, 1);
    QTest::newRow("Back") << Vec3(-1, 0, 0) << Vec3(0, 0, 1);
  }

  void standardViewsPutCameraInPlace() {
    QFETCH(Vec3, towardViewer);
    QFETCH(Vec3, up);
    view::Form1* form = openLeftFoot();
    QVERIFY(form);
    QAction* entry = nullptr;
    for (QAction* action : form->mnuView->actions())
      if (action->text() == QTest::currentDataTag()) entry = action;
    QVERIFY(entry);
    const auto eye = form->KernelCAD1->View()->FindObject("EyeFrame");
    // Twice, from a camera left turned and shifted: a view never depends on what came before.
    for (int round = 0; round < 2; ++round) {
      eye->RotateAboutAxis(37, 0);
      eye->RotateAboutAxis(-21, 2);
      eye->SetPosition(5, -7, 11);
      QVERIFY(chooseMenu(form, form->mnuView, entry));
      QVERIFY(eye->orientation().col(2).isApprox(towardViewer, 1e-9));
      QVERIFY(eye->orientation().col(1).isApprox(up, 1e-9));
      QVERIFY(eye->GetPosition().isZero(1e-12));
    }
  }

  // The view keeps 420 twips of the window's width and 1000 of its height, from (120, 120).
  void resizeKeepsViewFillingWindow() {
    view::Form1* form = openLeftFoot();
    QVERIFY(form);
    const double tx = platform::twipsPerPixelX();
    const double ty = platform::twipsPerPixelY();
    const QSize frame = form->frameGeometry().size() - form->geometry().size();
    form->resize(QSize(qRound(12000 / tx), qRound(9000 / ty)) - frame);
    QTRY_COMPARE(form->KernelCAD1->width(), qRound(11580 / tx));
    QCOMPARE(form->KernelCAD1->height(), qRound(8000 / ty));
    QCOMPARE(form->KernelCAD1->pos(), QPoint(qRound(120 / tx), qRound(120 / ty)));

    // Too low for the view: its height stays, its width follows.
    const int heightBefore = form->KernelCAD1->height();
    form->resize(QSize(qRound(9000 / tx), qRound(900 / ty)) - frame);
    QTRY_COMPARE(form->KernelCAD1->width(),
                 qRound(std::nearbyint(form->frameGeometry().width() * tx - 420) / tx));
    QCOMPARE(form->KernelCAD1->height(), heightBefore);
  }

  void eventLoopTicksWhileALargeScanIsRead() {
    MainForm& main = start();
    main.Dir1->setPath(bigScanFolder().path());
    QElapsedTimer clock;
    qint64 first = -1, last = -1, longestGap = 0;
    QTimer probe;
    connect(&probe, &QTimer::timeout, [&] {
      const view::Form1* form = Forms::loaded<view::Form1>();
      if (!form || !form->KernelCAD1->isLoading()) return;
      if (first < 0) first = clock.elapsed();
      if (last >= 0) longestGap = std::max(longestGap, clock.elapsed() - last);
      last = clock.elapsed();
    });
    clock.start();
    probe.start(10);
    const view::Form1* form = openFoot(main, "Big.wrl", main.Command1);
    QVERIFY(form && first >= 0);
    qInfo("read for %lld of %lld ms; longest gap between ticks %lld ms", last - first,
          clock.elapsed(), longestGap);
    QVERIFY2(longestGap < 100, qPrintable(QString::number(longestGap)));
    QVERIFY(form->KernelCAD1->Model()->GetItem(0)->mesh()->pointCount() > 900'000);
  }

  void cancelLeavesTheFootViewAsItWas_data() {
    QTest::addColumn<bool>("viewOpen");
    QTest::addColumn<bool>("closeView");
    QTest::newRow("Cancel") << true << false;
    QTest::newRow("foot view closed") << true << true;
    QTest::newRow("Cancel of the first load") << false << false;
  }

  void cancelLeavesTheFootViewAsItWas() {
    QFETCH(bool, viewOpen);
    QFETCH(bool, closeView);
    MainForm& main = start();
    std::string before;
    if (viewOpen) {
      view::Form1* form = openFoot(main, "LeftFoot.wrl", main.Command1);
      QVERIFY(form);
      form->Draw_Sphere(31.2, 0, 0.4, "HeelRef");
      form->mnuView5_Click();
      before = looks(*form);
    }
    const auto modelRef = app::state().ModelRef;
    kernelcad::KernelCAD::setProgressDelay(0);
    // Once the progress window is up: another load is refused, then Cancel or the close box.
    bool refused = false;
    QTimer hand;
    connect(&hand, &QTimer::timeout, [&] {
      QProgressDialog* progress = progressWindow();
      if (!progress) return;
      hand.stop();
      view::Form1* form = Forms::loaded<view::Form1>();
      try {
        form->KernelCAD1->setModelFile(bigScanFolder().filePath("Big.wrl"));
      } catch (const kernelcad::KernelCADError& e) {
        refused = !dynamic_cast<const kernelcad::LoadCancelled*>(&e);
      }
      if (closeView)
        form->close();
      else
        QTest::mouseClick(progress->findChild<QPushButton*>(), Qt::LeftButton);
    });
    hand.start(10);
    main.Dir1->setPath(bigScanFolder().path());
    openFoot(main, "Big.wrl", main.Command2);

    QVERIFY(refused && !hand.isActive() && !progressWindow());
    QCOMPARE(main.statusPanel1->text(),
             "Opening cancelled: " + bigScanFolder().filePath("Big.wrl"));
    QCOMPARE(app::state().FootSide, viewOpen ? QStringLiteral("Left") : QString());
    QVERIFY(messages_->shown().empty());
    if (viewOpen && !closeView) {
      QCOMPARE(looks(*Forms::loaded<view::Form1>()), before);
      QCOMPARE(app::state().ModelRef, modelRef);
    } else {
      QTRY_VERIFY(!Forms::loaded<view::Form1>());
      QVERIFY(!app::state().ModelRef);
    }
  }

  void scanInAnotherUnitIsAskedAbout_data() {
    QTest::addColumn<double>("scale");  // file units per millimetre of the 260 mm foot
    QTest::addColumn<platform::MsgBoxResult>("answer");
    QTest::addColumn<QString>("told");
    QTest::addColumn<double>("loadedLength");
    QTest::newRow("metres, converted")
        << 0.001 << platform::MsgBoxResult::Yes
        << "0.26 units long: too small for a foot in millimetres.\nIn m it would be 260.0 mm"
        << 260.0;
    QTest::newRow("metres, kept") << 0.001 << platform::MsgBoxResult::No << "0.26 units" << 0.26;
    QTest::newRow("no unit fits") << 1000 / 260.0 << platform::MsgBoxResult::Ok
                                  << "1000.0 units long: too large" << 1000.0;
  }

  void scanInAnotherUnitIsAskedAbout() {
    QFETCH(double, scale);
    QFETCH(platform::MsgBoxResult, answer);
    QFETCH(QString, told);
    QFETCH(double, loadedLength);
    QTemporaryDir folder;
    writeScan(folder.filePath("Scaled.wrl"), footgen::GenerateFoot(footgen::Side::Left, 5).mesh,
              scale);
    messages_->answer(answer);
    MainForm& main = start();
    main.Dir1->setPath(folder.path());
    const view::Form1* form = openFoot(main, "Scaled.wrl", main.Command1);
    QVERIFY(form);
    QCOMPARE(messages_->shown().size(), size_t{1});
    QVERIFY2(messages_->shown()[0].text.contains(told), qPrintable(messages_->shown()[0].text));
    // What the view holds is what every later step measures.
    const double length = kernelcad::LongestSide(*form->KernelCAD1->Model()->GetItem(0)->mesh());
    QVERIFY2(std::abs(length / loadedLength - 1) < 1e-3, qPrintable(QString::number(length)));
  }
};

QUARNEL_WINDOW_TEST_MAIN(MainFormTest)
#include "mainform_test.moc"
