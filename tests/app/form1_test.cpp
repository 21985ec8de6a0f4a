// The foot view window: what its load sets up, its menus, the standard views, the resize rule
// and closing.

#include "view/form1.h"

#include <QLabel>
#include <QPushButton>
#include <QToolBar>
#include <cmath>
#include <memory>

#include "app/appstate.h"
#include "app/filelists.h"
#include "app/mainform.h"
#include "platform/msgbox.h"
#include "platform/runtime.h"
#include "window_test_support.h"

using app::Forms;
using app::MainForm;
using testing_support::chooseMenu;
using testing_support::clickItem;
using Vec3 = Eigen::Vector3d;

Q_DECLARE_METATYPE(Vec3)

namespace {

QStringList captions(const QList<QAction*>& actions) {
  QStringList texts;
  for (const QAction* action : actions) texts << (action->isSeparator() ? "-" : action->text());
  return texts;
}

}  // namespace

class Form1Test : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<platform::MsgBoxScript> messages_;

  // Opens the left sample scan the way the operator does.
  view::Form1* openScan() {
    MainForm& main = Forms::get<MainForm>();
    main.show();
    if (!clickItem(main.File1, "LeftFoot.wrl")) return nullptr;
    QTest::mouseClick(main.Command1, Qt::LeftButton);
    view::Form1* form = Forms::loaded<view::Form1>();
    if (form && !QTest::qWaitForWindowExposed(form)) return nullptr;
    return form;
  }

  static std::shared_ptr<kernelcad::Frame> eyeFrame(view::Form1* form) {
    return form->KernelCAD1->View()->FindObject("EyeFrame");
  }

 private slots:
  void init() {
    Forms::destroyAll();
    app::state() = app::AppState{};
    messages_ = std::make_unique<platform::MsgBoxScript>();
  }

  void cleanup() {
    QVERIFY2(messages_->shown().empty(),
             messages_->shown().empty() ? "" : qPrintable(messages_->shown()[0].text));
    Forms::destroyAll();
    messages_.reset();
  }

  void loadSetsUpViewAndMenus() {
    view::Form1* form = openScan();
    QVERIFY(form);
    QCOMPARE(app::state().ModelRef, form->KernelCAD1->Model());
    QVERIFY(app::state().ShadedFlag);
    QVERIFY(form->KernelCAD1->Shaded());
    QVERIFY(form->KernelCAD1->ShowAxes());
    QVERIFY(form->mnuAxes->isChecked());
    QVERIFY(!form->mnuWireframe->isChecked());
    QCOMPARE(form->heldView(), form->KernelCAD1->View());
    QCOMPARE(form->heldView()->lightIntensity(), 1.0f);
    QCOMPARE(form->heldView()->lineWidth(), 1.0f);
    for (QToolBar* bar : {form->Toolbar1, form->Toolbar2}) {
      QVERIFY(!bar->isVisible());
      QVERIFY(!bar->isEnabled());
    }
    QCOMPARE(captions(form->menuBar()->actions()),
             (QStringList{"Files", "Align Foot", "View", "Settings", "Print Setup", "Measure"}));
    QCOMPARE(captions(form->mnuFiles->actions()), (QStringList{"Print Screen", "-", "Close"}));
    QCOMPARE(captions(form->mnuMeasure->actions()),
             (QStringList{"True-Size Print...", "Export True-Size PDF..."}));
    QCOMPARE(captions(form->mnuView->actions()),
             (QStringList{"Top", "Bottom", "Left", "Right", "Front", "Back"}));
    QCOMPARE(captions(form->mnuSettings->actions()), (QStringList{"Wireframe", "Axes"}));
  }

  void wireframeAndAxesToggleBack() {
    view::Form1* form = openScan();
    QVERIFY(form);
    QVERIFY(chooseMenu(form, form->mnuSettings, form->mnuWireframe));
    QVERIFY(form->mnuWireframe->isChecked());
    QVERIFY(!form->KernelCAD1->Shaded());
    QVERIFY(!app::state().ShadedFlag);
    QVERIFY(chooseMenu(form, form->mnuSettings, form->mnuWireframe));
    QVERIFY(!form->mnuWireframe->isChecked());
    QVERIFY(form->KernelCAD1->Shaded());
    QVERIFY(app::state().ShadedFlag);

    QVERIFY(chooseMenu(form, form->mnuSettings, form->mnuAxes));
    QVERIFY(!form->mnuAxes->isChecked());
    QVERIFY(!form->KernelCAD1->ShowAxes());
    QVERIFY(chooseMenu(form, form->mnuSettings, form->mnuAxes));
    QVERIFY(form->mnuAxes->isChecked());
    QVERIFY(form->KernelCAD1->ShowAxes());
  }

  // Each view is told by where the viewer stands and which way is up on the screen.
  void standardViewsPutCameraInPlace_data() {
    QTest::addColumn<QString>("caption");
    QTest::addColumn<Vec3>("towardViewer");
    QTest::addColumn<Vec3>("up");
    QTest::newRow("Top") << "Top" << Vec3(0, 0, 1) << Vec3(0, 1, 0);
    QTest::newRow("Bottom") << "Bottom" << Vec3(0, 0, -1) << Vec3(0, -1, 0);
    QTest::newRow("Left") << "Left" << Vec3(0, 1, 0) << Vec3(0, 0, 1);
    QTest::newRow("Right") << "Right" << Vec3(0, -1, 0) << Vec3(0, 0, 1);
    QTest::newRow("Front") << "Front" << Vec3(1, 0, 0) << Vec3(0, 0, 1);
    QTest::newRow("Back") << "Back" << Vec3(-1, 0, 0) << Vec3(0, 0, 1);
  }

  void standardViewsPutCameraInPlace() {
    QFETCH(QString, caption);
    QFETCH(Vec3, towardViewer);
    QFETCH(Vec3, up);
    view::Form1* form = openScan();
    QVERIFY(form);
    QAction* entry = nullptr;
    for (QAction* action : form->mnuView->actions()) {
      if (action->text() == caption) entry = action;
    }
    QVERIFY(entry);
    // Twice, from a camera left turned and shifted: a view never depends on what came before.
    for (int round = 0; round < 2; ++round) {
      eyeFrame(form)->RotateAboutAxis(37, 0);
      eyeFrame(form)->RotateAboutAxis(-21, 2);
      eyeFrame(form)->SetPosition(5, -7, 11);
      QVERIFY(chooseMenu(form, form->mnuView, entry));
      const Eigen::Matrix3d m = eyeFrame(form)->orientation();
      QVERIFY2(m.col(2).isApprox(towardViewer, 1e-9), qPrintable(caption));
      QVERIFY2(m.col(1).isApprox(up, 1e-9), qPrintable(caption));
      QVERIFY(eyeFrame(form)->GetPosition().isZero(1e-12));
    }
  }

  void resizeKeepsViewFillingWindow() {
    view::Form1* form = openScan();
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
    // The toolbars and the picture box keep their design places.
    QCOMPARE(form->Picture1->geometry(), platform::twipsRect(10560, 7080, 1335, 975));
  }

  void closeEmptiesModelAndReopenStartsAfresh() {
    view::Form1* form = openScan();
    QVERIFY(form);
    QVERIFY(chooseMenu(form, form->mnuSettings, form->mnuWireframe));
    QVERIFY(chooseMenu(form, form->mnuSettings, form->mnuAxes));
    const QString path = app::state().ScanPath;
    QVERIFY(chooseMenu(form, form->mnuFiles, form->mnuClose));
    QVERIFY(!Forms::loaded<view::Form1>());
    QVERIFY(!app::state().ModelRef);
    QCOMPARE(app::state().ScanPath, path);
    QCOMPARE(app::state().ScanFile, QStringLiteral("LeftFoot.wrl"));
    QCOMPARE(app::state().FootSide, QStringLiteral("Left"));

    view::Form1* again = openScan();
    QVERIFY(again);
    QVERIFY(again->mnuAxes->isChecked());
    QVERIFY(!again->mnuWireframe->isChecked());
    QVERIFY(again->KernelCAD1->Shaded());
    QVERIFY(app::state().ShadedFlag);
    QCOMPARE(app::state().ModelRef, again->KernelCAD1->Model());
  }
};

QUARNEL_WINDOW_TEST_MAIN(Form1Test)
#include "form1_test.moc"
