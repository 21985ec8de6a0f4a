// The scan browser and the foot view driven through their controls, with large scans read while
// the event loop keeps ticking.

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>
#include <fstream>
#include <memory>
#include <sstream>

#include "app/filelists.h"
#include "app/scan_browser_window.h"
#include "app/side_dialog.h"
#include "footgen/footgen.h"
#include "kernelcad/core/mesh_writers.h"
#include "kernelcad/core/scan_reader.h"
#include "platform/msgbox.h"
#include "platform/runtime.h"
#include "state/app_state.h"
#include "view/foot_view_window.h"
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

void writeScan(const QString& path, kernelcad::Mesh mesh, double scale = 1) {
  for (float& c : mesh.points) c *= scale;
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

  // The help browser comes from its module, loaded by the first command; the next one brings
  // the same window up.
  void helpComesFromItsModule() {
    MainForm& main = start();
    const auto browser = [] {
      for (QWidget* w : QApplication::topLevelWidgets())
        if (w->inherits("help::Browser") && w->isVisible()) return w;
      return static_cast<QWidget*>(nullptr);
    };
    main.mnuHelp2_Click();
    for (const auto& m : messages_->shown()) QFAIL(qPrintable(m.text));
    QTRY_VERIFY(browser());
    QWidget* first = browser();
    main.mnuHelp2_Click();
    QCOMPARE(browser(), first);
  }

  // Without a data folder the browser shows the shipped samples and says why; with one, its
  // scans (not FIFOs or links to them: opening one would wait for a writer for ever) and its
  // sub-folders, following the folder as scans are copied in, the chosen one staying chosen.
  void startsOnSamplesOrTheDataFolder() {
    MainForm* form = &start();
    QCOMPARE(form->minimumSize(), form->maximumSize());
    QCOMPARE(form->Dir1->path(), QDir::cleanPath(app::samplesFolder()));
    QCOMPARE(listed(form->File1), (QStringList{"LeftFoot.wrl", "RightFoot.wrl"}));
    QCOMPARE(form->statusPanel1->text(), QStringLiteral("Ready"));
    QVERIFY(form->samplesNotice->isVisible());
    QVERIFY(form->samplesNotice->text().contains(QDir::toNativeSeparators(
        QDir::cleanPath(app::state().DataFolder))));
    QCOMPARE(app::state().ScanFile, QStringLiteral("None"));
    Forms::destroyAll();

    const QString data = dataFolder();
    for (const char* name : {"a.WRL", "b.wrl", "notes.txt", "old.wrl.bak", "sub/c.Wrl", "d.STL",
                             "e.obj", "f.ply", "g.stl.txt"})
      writeFile(data + "/" + name);
    QVERIFY(mkfifo(QFile::encodeName(data + "/x.wrl").constData(), 0600) == 0);
    QVERIFY(QFile::link(data + "/x.wrl", data + "/y.wrl"));
    form = &start();
    QCOMPARE(form->Dir1->path(), data);
    QVERIFY(!form->samplesNotice->isVisible());
    QCOMPARE(listed(form->File1), (QStringList{"a.WRL", "b.wrl"}));
    QCOMPARE(listed(form->MeshFiles), (QStringList{"d.STL", "e.obj", "f.ply"}));
    QVERIFY(clickItem(form->MeshFiles, "e.obj"));
    QCOMPARE(app::state().ScanPath, data + "/e.obj");
    QVERIFY(clickItem(form->File1, "b.wrl"));
    QVERIFY(!form->MeshFiles->currentItem());  // one scan chosen, in one list
    writeFile(data + "/0.wrl");
    QTRY_COMPARE(listed(form->File1), (QStringList{"0.wrl", "a.WRL", "b.wrl"}));
    QCOMPARE(form->File1->currentItem()->text(), QStringLiteral("b.wrl"));
    QCOMPARE(app::state().ScanPath, data + "/b.wrl");
    QCOMPARE(form->windowTitle(), "Scan File: " + data + "/b.wrl");
    QCOMPARE(form->statusPanel1->text(), form->windowTitle());
    QVERIFY(clickItem(form->Dir1, "sub", true));
    QCOMPARE(app::state().CurrentFolder, data + "/sub");
    QCOMPARE(listed(form->File1), QStringList{"c.Wrl"});
    QCOMPARE(app::state().ScanFile, QStringLiteral("b.wrl"));  // a folder change keeps the scan
  }

  // A scan in a mesh format opens from its own list as a VRML scan does, its corners welded.
  void meshScanOpensFromItsList() {
    const QString data = dataFolder();
    QDir().mkpath(data);
    const kernelcad::Mesh foot =
        kernelcad::ReadScanFile((app::samplesFolder() + "/LeftFoot.wrl").toStdString()).mesh;
    kernelcad::WriteMeshFile(foot, kernelcad::ScanFormat::StlBinary,
                             (data + "/foot.stl").toStdString());
    MainForm& main = start();
    QVERIFY(clickItem(main.MeshFiles, "foot.stl"));
    QTest::mouseClick(main.Command1, Qt::LeftButton);
    view::Form1* form = Forms::loaded<view::Form1>();
    checkFreshlyLoaded(form);
    const auto& mesh = *form->KernelCAD1->Model()->GetItem(0)->mesh();
    QCOMPARE(mesh.pointCount(), foot.pointCount());
    QCOMPARE(mesh.bounds(), foot.bounds());
  }

  // The right foot button opens the scan seen from below, +X to the right and +Y down the screen;
  // the status prefix is "Ornivue" only for "-v", exactly and first, so not here.
  void rightFootOpensSeenFromBelow() {
    platform::setCommandArguments({"-V", "-v"});
    MainForm& main = start();
    view::Form1* form = openFoot(main, "RightFoot.wrl", main.Command2);
    QVERIFY(form && QTest::qWaitForWindowExposed(form));
    const QString path = QDir::cleanPath(app::samplesFolder()) + "/RightFoot.wrl";
    QCOMPARE(form->windowTitle(), "Foot: " + path);
    QCOMPARE(main.statusPanel1->text(), "Fotrella: Foot  " + path);
    QCOMPARE(form->statusText->text(), main.statusPanel1->text());
    QCOMPARE(app::state().FootSide, QStringLiteral("Right"));
    QVERIFY(messages_->shown().empty());
    const auto view = form->KernelCAD1->View();
    QVERIFY(view->FindObject("EyeFrame")->orientation().col(2).isApprox(Vec3(0, 0, -1), 1e-9));
    const std::array<double, 6> b = form->KernelCAD1->Model()->GetItem(0)->worldBounds();
    QVERIFY(view->worldToPixel({b[3], 0, 0}).x() > view->worldToPixel({b[0], 0, 0}).x() + 100);
    QVERIFY(view->worldToPixel({0, b[4], 0}).y() > view->worldToPixel({0, b[1], 0}).y() + 30);
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
    // The operator answers the side dialog, modal and on Left, with "Right Foot".
    int dialogs = 0;
    QTimer hand;
    connect(&hand, &QTimer::timeout, this, [&] {
      auto* dialog = Forms::loaded<app::SelectForm>();
      if (!dialog || !dialog->isVisible()) return;
      dialogs += QApplication::activeModalWidget() == dialog && dialog->Option1->isChecked();
      QTest::mouseClick(dialog->Option2, Qt::LeftButton);
      QTest::mouseClick(dialog->Command1, Qt::LeftButton);
    });
    hand.start(10);
    MainForm& form = start();
    QTRY_VERIFY(!messages_->shown().empty() || Forms::loaded<view::Form1>());
    QTRY_VERIFY(!Forms::loaded<app::SelectForm>());
    QCOMPARE(dialogs, asked ? 1 : 0);
    const QString folder = QFileInfo(path).dir().exists() ? QFileInfo(path).path() : samples;
    QCOMPARE(form.Dir1->path(), folder);
    QCOMPARE(form.File1->currentItem() ? form.File1->currentItem()->text() : "", selected);
    view::Form1* footView = Forms::loaded<view::Form1>();
    if (message.isEmpty()) {
      QVERIFY(messages_->shown().empty() && footView && footView->isVisible());
      QCOMPARE(app::state().FootSide, QStringLiteral("Right"));
      QCOMPARE(form.statusPanel1->text(), "Ornivue: Foot  " + path);
    } else {
      QCOMPARE(messages_->shown().size(), std::size_t{1});
      QCOMPARE(messages_->shown()[0].title, QStringLiteral("Error"));
      QVERIFY2(messages_->shown()[0].text.contains(local(message)),
               qPrintable(messages_->shown()[0].text));
      QVERIFY(!footView || !footView->isVisible());
    }
  }

  // By Files/Exit or the close box, in the program's own event loop as main() runs it.
  void endingClosesEveryWindowAtOnce() {
    for (const bool byMenu : {true, false}) {
      MainForm& form = start();
      QVERIFY(openFoot(form, "LeftFoot.wrl", form.Command1));
      QTimer::singleShot(0, [&] {
        byMenu ? void(chooseMenu(&form, form.mnuFiles, form.mnuExit)) : void(form.close());
      });
      QTimer watchdog;  // in case it never ends
      connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
      watchdog.start(20000);
      QCOMPARE(QApplication::exec(), 0);
      QVERIFY(!Forms::loaded<MainForm>() && !Forms::loaded<view::Form1>());
      // The foot view went without its own close step, which would have emptied the model.
      QVERIFY(app::state().ModelRef);
    }
  }

  // The switches turn on and back off; closed in wireframe without axes, the model goes, the
  // chosen scan stays, and the next load starts afresh.
  void switchesToggleBackAndCloseStartsAfresh() {
    view::Form1* form = openLeftFoot();
    checkFreshlyLoaded(form);
    if (QTest::currentTestFailed()) return;
    for (const bool on : {true, false, true}) {
      QVERIFY(chooseMenu(form, form->mnuSettings, form->mnuWireframe));
      QVERIFY(form->mnuWireframe->isChecked() == on && form->KernelCAD1->Shaded() != on);
      QCOMPARE(app::state().ShadedFlag, !on);
      QVERIFY(chooseMenu(form, form->mnuSettings, form->mnuAxes));
      QVERIFY(form->mnuAxes->isChecked() != on && form->KernelCAD1->ShowAxes() != on);
    }
    const app::AppState before = app::state();
    QVERIFY(chooseMenu(form, form->mnuFiles, form->mnuClose));
    QVERIFY(!Forms::loaded<view::Form1>() && !app::state().ModelRef);
    const app::AppState& after = app::state();
    QVERIFY(after.ScanPath == before.ScanPath && after.ScanFile == before.ScanFile);
    QCOMPARE(after.FootSide, before.FootSide);
    checkFreshlyLoaded(openLeftFoot());
  }

  // Each view is told by where the viewer stands and which way is up on the screen; each taken
  // from a camera left turned and shifted: a view never depends on what came before.
  void standardViewsAndResize() {
    view::Form1* form = openLeftFoot();
    QVERIFY(form);
    const std::tuple<QString, Vec3, Vec3> views[] = {
        {"Top", Vec3(0, 0, 1), Vec3(0, 1, 0)},   {"Bottom", Vec3(0, 0, -1), Vec3(0, -1, 0)},
        {"Left", Vec3(0, 1, 0), Vec3(0, 0, 1)},  {"Right", Vec3(0, -1, 0), Vec3(0, 0, 1)},
        {"Front", Vec3(1, 0, 0), Vec3(0, 0, 1)}, {"Back", Vec3(-1, 0, 0), Vec3(0, 0, 1)}};
    const auto eye = form->KernelCAD1->View()->FindObject("EyeFrame");
    const QList<QAction*> entries = form->mnuView->actions();
    for (const auto& [name, towardViewer, up] : views) {
      const auto entry = std::find_if(entries.begin(), entries.end(),
                                      [&](const QAction* a) { return a->text() == name; });
      QVERIFY2(entry != entries.end(), qPrintable(name));
      eye->RotateAboutAxis(37, 0);
      eye->RotateAboutAxis(-21, 2);
      eye->SetPosition(5, -7, 11);
      QVERIFY(chooseMenu(form, form->mnuView, *entry));
      QVERIFY2(eye->orientation().col(2).isApprox(towardViewer, 1e-9), qPrintable(name));
      QVERIFY2(eye->orientation().col(1).isApprox(up, 1e-9), qPrintable(name));
      QVERIFY(eye->GetPosition().isZero(1e-12));
    }

    // The view keeps 420 twips of the window's width and 1000 of its height above the status
    // bar, from (120, 120).
    const double tx = platform::twipsPerPixelX();
    const double ty = platform::twipsPerPixelY();
    const QSize frame = form->frameGeometry().size() - form->geometry().size();
    form->resize(QSize(qRound(12000 / tx), qRound(9000 / ty)) - frame);
    QTRY_COMPARE(form->KernelCAD1->width(), qRound(11580 / tx));
    QCOMPARE(form->KernelCAD1->height(),
             qRound(8000 / ty) - form->statusBar()->sizeHint().height());
    QCOMPARE(form->KernelCAD1->pos(), QPoint(qRound(120 / tx), qRound(120 / ty)));

    // Too low for the view: its height stays, its width follows.
    const int heightBefore = form->KernelCAD1->height();
    form->resize(QSize(qRound(9000 / tx), qRound(900 / ty)) - frame);
    QTRY_COMPARE(form->KernelCAD1->width(),
                 qRound(std::nearbyint(form->frameGeometry().width() * tx - 420) / tx));
    QCOMPARE(form->KernelCAD1->height(), heightBefore);
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
