// "Align Lateral" and "Align Medial" on the real foot view: spheres placed by clicks on the
// sample scans, the roll typed in AlignForm, the final centres in the standard position; the
// refusals; AlignForm's reading of the roll; the navigation
// toolbar; and the whole road of one foot from the scan browser to a printed page.

#include <QVTKOpenGLNativeWidget.h>
#include <vtkCallbackCommand.h>
#include <vtkGenericOpenGLRenderWindow.h>
#include <vtkNew.h>

#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPdfDocument>
#include <QPushButton>
#include <QTimer>
#include <QToolBar>
#include <functional>
#include <memory>
#include <numbers>

#include "alignment/roll_angle_window.h"
#include "app/filelists.h"
#include "app/scan_browser_window.h"
#include "foot_view.h"
#include "platform/msgbox.h"
#include "platform/printer.h"
#include "printing/distances_window.h"
#include "state/app_state.h"
#include "view/foot_view_window.h"
#include "window_test_support.h"

using alignment::AlignForm;
using app::Forms;
using kernelcad::Vec3;
using support::centre;
using support::marks;
using support::statusLog;

namespace {

// The operator's hand on the modal windows the command opens: AlignForm gets the roll typed and
// "Accept" (or its close box when no roll is given), DForm `distances` or else its "Quit".
struct Operator {
  QString roll;
  std::function<void(printing::DForm&)> distances;
  bool sawAlignForm = false, sawDForm = false;
  QString label, shownRoll;
  QTimer hand;

  void start() {
    QObject::connect(&hand, &QTimer::timeout, &hand, [this] { look(); });
    hand.start(10);
  }

  void look() {
    AlignForm* dialog = Forms::loaded<AlignForm>();
    if (dialog && dialog->isVisible() && !sawAlignForm) {
      sawAlignForm = true;
      label = dialog->Label1->text();
      shownRoll = dialog->Text1->text();
      if (roll.isNull()) {
        dialog->close();
      } else {
        dialog->Text1->selectAll();
        QTest::keyClicks(dialog->Text1, roll);
        QTest::mouseClick(dialog->Command1, Qt::LeftButton);
      }
    }
    if (auto* dform = Forms::loaded<printing::DForm>(); dform && dform->isVisible() && !sawDForm) {
      sawDForm = true;
      if (distances)
        distances(*dform);
      else
        QTest::mouseClick(dform->Command2, Qt::LeftButton);
    }
  }
};

}  // namespace

class AlignFlowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<platform::MsgBoxScript> messages_;

 private slots:
  void init() { messages_ = support::freshState(); }

  void cleanup() {
    Forms::destroyAll();
    messages_.reset();
    platform::Printer::setOutputOverride(QString());
  }

  // The heel at the origin, the axis point on the X axis with the ball ahead of the heel, the
  // third point rolled out of the XY plane by the typed angle on the side the foot needs, every
  // distance kept, and the mesh moved with its spheres.
  void eachVariantEndsInTheStandardPosition_data() {
    QTest::addColumn<bool>("lateral");
    QTest::addColumn<bool>("left");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<double>("roll");
    QTest::addColumn<QPoint>("side");  // the signs of the third point's Y and Z
    QTest::newRow("LateralLeft") << true << true << "5" << 5.0 << QPoint(1, 1);
    QTest::newRow("LateralRight") << true << false << "5" << 5.0 << QPoint(-1, 1);
    QTest::newRow("MedialLeft") << false << true << "5" << 5.0 << QPoint(-1, 1);
    QTest::newRow("MedialRight, typed with its unit")
        << false << false << "12.5 deg" << 12.5 << QPoint(1, 1);
    QTest::newRow("close box: no roll") << true << true << QString() << 0.0 << QPoint(1, 0);
  }

  void eachVariantEndsInTheStandardPosition() {
    QFETCH(bool, lateral);
    QFETCH(bool, left);
    QFETCH(QString, typed);
    QFETCH(double, roll);
    QFETCH(QPoint, side);
    view::Form1* form = support::openFoot(left ? "LeftFoot.wrl" : "RightFoot.wrl");
    QVERIFY(form);
    app::AppState& s = app::state();
    s.FootSide = left ? "Left" : "Right";
    support::placeByClicks(*form, marks(left));
    const auto model = form->KernelCAD1->Model();
    QCOMPARE(model->GetItemCount(), 4L);
    const Vec3 picked[] = {centre(*form, 1), centre(*form, 2), centre(*form, 3)};

    Operator hand;
    hand.roll = typed;
    hand.start();
    support::clickButton(*form, lateral ? "Align Lateral" : "Align Medial");
    QVERIFY(hand.sawAlignForm && hand.sawDForm);
    QCOMPARE(hand.label, lateral ? QString("Lateral") : QString("Medial"));
    QCOMPARE(hand.shownRoll, QString("0.0"));
    QCOMPARE(s.AlignRollAngle, roll);

    const Vec3 c[] = {centre(*form, 1), centre(*form, 2), centre(*form, 3)};
    const Vec3& axis = c[lateral ? 1 : 2];
    const Vec3& third = c[lateral ? 2 : 1];
    QVERIFY(c[0].norm() < 1e-6);
    QVERIFY(std::abs(axis.y()) < 1e-6 && std::abs(axis.z()) < 1e-6 && c[1].x() > 0);
    const double angle =
        std::atan2(std::abs(third.z()), std::abs(third.y())) * 180 / std::numbers::pi;
    QVERIFY2(std::abs(angle - roll) < 1e-3, qPrintable(QString::number(angle)));
    const auto sign = [](double v) { return (v > 1e-6) - (v < -1e-6); };
    QCOMPARE(QPoint(sign(third.y()), sign(third.z())), side);
    for (int i = 0; i < 3; ++i) {
      QVERIFY(std::abs((c[i] - c[(i + 1) % 3]).norm() - (picked[i] - picked[(i + 1) % 3]).norm()) <
              1e-6);
      QVERIFY((model->GetItem(0)->transform() * picked[i] - c[i]).norm() < 1e-6);
    }
    QCOMPARE(model->GetItemCount(), 5L);
    QCOMPARE(model->GetItem(4)->name(), std::string("A4_Sheet"));
    QVERIFY(!form->Toolbar1->isVisible() && !form->Toolbar1->isEnabled());
    QVERIFY(form->Toolbar2->isVisible() && form->Toolbar2->isEnabled());
    QCOMPARE(statusLog().last(), QString("Ready"));
    QVERIFY(messages_->shown().empty());
  }

  void refusedAlignmentsTellWhyAndMoveNothing_data() {
    QTest::addColumn<QString>("side");
    QTest::addColumn<int>("spheres");
    QTest::addColumn<bool>("ballLevelWithHeel");
    QTest::addColumn<QString>("says");
    QTest::addColumn<bool>("rollAsked");
    QTest::newRow("no side") << "" << 3 << false << "No Foot Selected" << false;
    QTest::newRow("heel only") << "Left" << 1 << false
                               << "Place the heel, ball and adjacent points first" << false;
    // The roll is asked, then the first quotient stops the alignment.
    QTest::newRow("zero denominator") << "Left" << 3 << true << "same X" << true;
  }

  void refusedAlignmentsTellWhyAndMoveNothing() {
    QFETCH(QString, side);
    QFETCH(int, spheres);
    QFETCH(bool, ballLevelWithHeel);
    QFETCH(QString, says);
    QFETCH(bool, rollAsked);
    view::Form1* form = support::openLeftFoot();
    QVERIFY(form);
    app::AppState& s = app::state();
    s.FootSide = side;
    support::alignFoot(*form);
    footgen::Landmarks at = marks();
    if (ballLevelWithHeel) at.ball.x() = at.heel.x();
    support::drawSpheres(*form, at, spheres);

    Operator hand;
    hand.roll = "5";
    hand.start();
    support::clickButton(*form, "Align Lateral");
    QCOMPARE(hand.sawAlignForm, rollAsked);
    QVERIFY(!hand.sawDForm);
    QCOMPARE(messages_->shown().size(), std::size_t{1});
    QVERIFY2(messages_->shown()[0].text.contains(says), qPrintable(messages_->shown()[0].text));
    QCOMPARE(messages_->shown()[0].icon, platform::MsgBoxIcon::Exclamation);
    const auto model = form->KernelCAD1->Model();
    QCOMPARE(model->GetItemCount(), long(spheres) + 1);
    QVERIFY(model->GetItem(0)->transform().isApprox(Eigen::Affine3d::Identity(), 0));
    const Vec3 drawn[] = {at.heel, at.ball, at.adjacent};
    for (int i = 0; i < spheres; ++i) QCOMPARE(centre(*form, i + 1), drawn[i]);
    QCOMPARE(Vec3(s.BallX, s.BallY, s.BallZ), at.ball);
    QVERIFY(!form->Toolbar1->isVisible() && !form->Toolbar1->isEnabled());
    QVERIFY(!form->Toolbar2->isVisible());
    QCOMPARE(statusLog().last(), QString("Ready"));
  }

  // The roll shown to one decimal; the close box keeps it whatever was typed. The reading of
  // typed numbers is Val's.
  void alignFormCloseBoxKeepsTheRoll() {
    app::state().AlignRollAngle = 3.25;
    AlignForm& dialog = Forms::get<AlignForm>();
    QCOMPARE(dialog.Text1->text(), QString("3.3"));
    QTimer::singleShot(0, &dialog, [&] {
      QTest::keyClicks(dialog.Text1, "9");
      dialog.close();
    });
    dialog.exec();
    QCOMPARE(app::state().AlignRollAngle, 3.25);
    QVERIFY(!Forms::loaded<AlignForm>());
  }

  void navigationToolbarMovesTheFourItems() {
    view::Form1* form = support::openLeftFoot();
    QVERIFY(form);
    QToolBar& bar = *form->Toolbar2;
    // The heel at the origin as after an alignment, the other items off it.
    support::drawSpheres(*form, {{0, 0, 0}, {150, 20, 1}, {140, -30, 2}});
    const auto model = form->KernelCAD1->Model();
    model->GetItem(0)->Rotate(10, 0, 0, 0, 0, 0, 1);
    app::AppState& s = app::state();
    s.FootItem = model->GetItem(0);
    s.HeelItem = model->GetItem(1);
    s.BallItem = model->GetItem(2);
    s.AdjItem = model->GetItem(3);
    form->KernelCAD1->UpdateModel();
    bar.setEnabled(true);
    bar.setVisible(true);
    QVERIFY(QTest::qWaitForWindowExposed(&bar));

    std::vector<Eigen::Affine3d> start;
    for (long i = 0; i < 4; ++i) start.push_back(model->GetItem(i)->transform());
    const auto movedBy = [&](const Eigen::Affine3d& by) {
      for (long i = 0; i < 4; ++i)
        if (!model->GetItem(i)->transform().isApprox(by * start[i], 1e-12)) return false;
      return true;
    };
    // Each click draws exactly one frame and sets both steps to 2.
    int frames = 0;
    vtkNew<vtkCallbackCommand> counter;
    counter->SetClientData(&frames);
    counter->SetCallback(
        [](vtkObject*, unsigned long, void* n, void*) { ++*static_cast<int*>(n); });
    vtkRenderWindow* window = form->KernelCAD1->renderWidget()->renderWindow();
    const unsigned long tag = window->AddObserver(vtkCommand::StartEvent, counter);
    const auto press = [&](const QString& key) {
      s.MoveStep = s.TurnStep = frames = 0;
      support::clickButton(bar, key);
      return frames == 1 && s.MoveStep == 2.0 && s.TurnStep == 2.0;
    };
    const Eigen::Affine3d none = Eigen::Affine3d::Identity();

    // Cumulative motions about the heel at the origin.
    const std::pair<const char*, Eigen::Affine3d> steps[] = {
        {"Left", Eigen::Affine3d(Eigen::Translation3d(-2, 0, 0))},
        {"Right", none},
        {"Up", Eigen::Affine3d(Eigen::Translation3d(0, -2, 0))},
        {"Down", none},
        {"Rot R", Eigen::Affine3d(Eigen::AngleAxisd(2 * std::numbers::pi / 180, Vec3::UnitZ()))},
        {"Rot L", none},
        {"Parameters", none},
        {"Close", none}};
    for (const auto& [key, motion] : steps) {
      QVERIFY2(press(key), key);
      QVERIFY2(movedBy(motion), key);
    }
    QVERIFY(!bar.isVisible() && !bar.isEnabled());  // after "Close"

    window->RemoveObserver(tag);
  }

  void wholeRoadOfOneFoot() {
    // The scan and side chosen in the browser.
    app::MainForm& main = Forms::get<app::MainForm>();
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    QVERIFY(testing_support::clickItem(main.File1, "LeftFoot.wrl"));
    QTest::mouseClick(main.Command1, Qt::LeftButton);
    view::Form1* form = Forms::loaded<view::Form1>();
    QVERIFY(form);
    QCOMPARE(app::state().FootSide, QString("Left"));
    QVERIFY(QTest::qWaitForWindowExposed(form));

    // Points placed, then aligned with a true heel-ball distance 4% longer, applied.
    support::placeByClicks(*form, marks());
    const double measured = (centre(*form, 2) - centre(*form, 1)).norm();
    Operator hand;
    hand.roll = "0";
    hand.distances = [](printing::DForm& dform) {
      QTest::keyClicks(dform.Text4, QString::number(1.04 * app::state().HeelBallDist, 'f', 9));
      QTest::mouseClick(dform.Command7, Qt::LeftButton);
    };
    hand.start();
    support::clickButton(*form, "Align Lateral");
    QVERIFY(hand.sawDForm);
    hand.hand.stop();
    QVERIFY(std::abs((centre(*form, 2) - centre(*form, 1)).norm() - 1.04 * measured) < 1e-6);
    // The mesh scaled with the distances; the spheres moved, not scaled.
    const auto model = form->KernelCAD1->Model();
    QVERIFY(std::abs(model->GetItem(0)->transform().linear().determinant() - std::pow(1.04, 3)) <
            1e-9);
    for (long i = 1; i <= 3; ++i) {
      QCOMPARE(model->GetItem(i)->radius(), 2.0);
      QVERIFY(std::abs(model->GetItem(i)->transform().linear().determinant() - 1) < 1e-9);
    }
    const Vec3 heelBefore = centre(*form, 1);
    support::clickButton(*form->Toolbar2, "Right");
    support::clickButton(*form->Toolbar2, "Down");
    QVERIFY((centre(*form, 1) - heelBefore - Vec3(2, 2, 0)).norm() < 1e-9);

    // The operator's clicks on the toolbar bring the foot window to the front, where the
    // printout captures it. "PRINT": the bounding-box report, then Yes to "Print This Image?".
    form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form));
    QTemporaryDir dir;
    const QString pdf = dir.filePath("foot.pdf");
    platform::Printer::setOutputOverride(pdf);
    messages_->answer(platform::MsgBoxResult::Ok);
    messages_->answer(platform::MsgBoxResult::Yes);
    support::clickButton(*form->Toolbar2, "PRINT");
    QVERIFY(!form->Toolbar2->isVisible());
    QCOMPARE(messages_->shown().size(), std::size_t{2});
    QCOMPARE(messages_->shown()[1].text, QString("Print This Image?"));

    QPdfDocument document;
    QCOMPARE(document.load(pdf), QPdfDocument::NoError);
    QCOMPARE(document.pageCount(), 1);
    const QSizeF page = document.pageSize(0);
    QVERIFY(page.width() > page.height());
    QImage paper(QSize(qRound(page.width()), qRound(page.height())) * 2, QImage::Format_RGB32);
    paper.fill(Qt::white);
    QPainter(&paper).drawImage(0, 0, document.render(0, paper.size()));
    // The foot: shaded pixels that are neither paper nor the view's blue-grey background.
    int foot = 0;
    for (int y = 0; y < paper.height(); ++y)
      for (int x = 0; x < paper.width(); ++x) {
        const QColor c = paper.pixelColor(x, y);
        const bool background = std::abs(c.red() - 84) < 8 && std::abs(c.blue() - 115) < 8;
        if (!background && c.lightness() < 225) ++foot;
      }
    QVERIFY2(foot > 2000, qPrintable(QString::number(foot)));
  }
};

QUARNEL_WINDOW_TEST_MAIN(AlignFlowTest)
#include "align_flow_test.moc"
