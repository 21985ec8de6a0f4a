// Reference points on the real foot view: Toolbar1 and its armed flags, view clicks at the
// sample scan's known landmarks, "Place Points" and its waits, and the whole road from "Align
// Foot" to a rescaled model.

#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <memory>
#include <stdexcept>
#include <vector>

#include "app/appstate.h"
#include "app/forms.h"
#include "footgen/footgen.h"
#include "platform/msgbox.h"
#include "platform/runtime.h"
#include "printing/dform.h"
#include "foot_view.h"
#include "view/form1.h"

using app::Forms;
using kernelcad::Vec3;
using support::clickButton;
using support::clickView;
using support::statusLog;

namespace {

const footgen::Landmarks& marks() {
  static const footgen::Landmarks landmarks = footgen::GenerateFoot(footgen::Side::Left).landmarks;
  return landmarks;
}

Vec3 centre(const view::Form1& form, long item) {
  return form.KernelCAD1->Model()->GetItem(item)->GetPosition();
}

QString describe(const Vec3& v) {
  return QStringLiteral("(%1, %2, %3)").arg(v.x()).arg(v.y()).arg(v.z());
}

}  // namespace

class RefPointsTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<platform::MsgBoxScript> messages_;

  view::Form1* alignFoot() {
    view::Form1* form = support::openLeftFoot();
    if (!form) return nullptr;
    QMenuBar* bar = form->menuBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(form->mnuAlign).center());
    return form;
  }

 private slots:
  void init() {
    Forms::destroyAll();
    app::state() = app::AppState{};
    messages_ = std::make_unique<platform::MsgBoxScript>();
    support::recordStatus();
  }

  void cleanup() {
    Forms::destroyAll();
    messages_.reset();
  }

  void placePointsThenScaleTheModel() {
    view::Form1* form = alignFoot();
    QVERIFY(form);
    QVERIFY(form->Toolbar1->isVisible());
    app::AppState& s = app::state();

    // The waits of "Place Points" run inside this test's event processing: the clicks come
    // from a timer, each once its point is asked for.
    int clicked = 0;
    QTimer operatorHand;
    operatorHand.setInterval(10);
    connect(&operatorHand, &QTimer::timeout, this, [&] {
      if (clicked == 0 && s.PlaceHeelArmed) {
        clickView(*form, marks().heel);
        ++clicked;
      } else if (clicked == 1 && s.PlaceBallArmed) {
        clickView(*form, marks().ball);
        ++clicked;
      }
    });
    operatorHand.start();
    clickButton(*form, "Place Points");
    QTRY_VERIFY(clicked == 2 && s.PlaceAdjacentArmed && !statusLog().isEmpty() &&
                statusLog().last() == "Place Adjacent Point");
    operatorHand.stop();
    QCOMPARE(statusLog().mid(statusLog().indexOf("Place Heel Point")),
             QStringList({"Place Heel Point", "Place Ball Point", "Place Adjacent Point"}));
    clickView(*form, marks().adjacent);
    QVERIFY(!s.PlaceAdjacentArmed);

    const auto model = form->KernelCAD1->Model();
    QCOMPARE(model->GetItemCount(), 4L);
    const char* names[] = {"HeelRef", "BallRef", "AdjRef"};
    const Vec3 truth[] = {marks().heel, marks().ball, marks().adjacent};
    const Vec3 stored[] = {{s.HeelX, s.HeelY, s.HeelZ}, {s.BallX, s.BallY, s.BallZ},
                           {s.AdjX, s.AdjY, s.AdjZ}};
    for (long i = 1; i <= 3; ++i) {
      const auto sphere = model->GetItem(i);
      QCOMPARE(QString::fromStdString(sphere->name()), QString(names[i - 1]));
      QCOMPARE(sphere->kind(), kernelcad::ItemKind::Sphere);
      QCOMPARE(sphere->radius(), 2.0);
      QCOMPARE(sphere->material().shininess, 70.0f);
      QCOMPARE(sphere->material().colour[2][1], 0.7f);
      QVERIFY2((sphere->GetPosition() - truth[i - 1]).norm() < 0.5,
               qPrintable(describe(sphere->GetPosition()) + " vs " + describe(truth[i - 1])));
      QVERIFY((sphere->GetPosition() - stored[i - 1]).norm() < 1e-9);
    }
    QVERIFY((Vec3(s.PickX, s.PickY, s.PickZ) - stored[2]).norm() < 1e-9);
    form->mnuView2_Click();
    QVERIFY(form->grab().save("/tmp/quarnel_form1_spheres.png"));

    // The distances window on these spheres; a true heel-ball distance 10% longer, applied.
    const double exact[] = {(marks().ball - marks().heel).norm(),
                            (marks().adjacent - marks().heel).norm(),
                            (marks().adjacent - marks().ball).norm()};
    std::vector<Vec3> before;
    const auto mesh = model->GetItem(0);
    const auto& points = mesh->mesh()->points;
    for (std::size_t i = 0; i < points.size(); i += 3)
      before.push_back(mesh->transform() * Vec3(points[i], points[i + 1], points[i + 2]));
    const Vec3 centresBefore[] = {centre(*form, 1), centre(*form, 2), centre(*form, 3)};

    printing::DForm& dform = Forms::get<printing::DForm>();
    QStringList shown;
    QString factorShown;
    QTimer::singleShot(0, &dform, [&] {
      shown = QStringList{dform.Text1->text(), dform.Text2->text(), dform.Text3->text()};
      QTest::keyClicks(dform.Text4, QString::number(1.1 * s.HeelBallDist, 'f', 9));
      factorShown = dform.Text7->text();
      dform.grab().save("/tmp/quarnel_dform.png");
      QTest::mouseClick(dform.Command7, Qt::LeftButton);
    });
    dform.exec();
    QVERIFY(!Forms::loaded<printing::DForm>());
    for (int i = 0; i < 3; ++i)
      QVERIFY2(std::abs(shown[i].toDouble() - exact[i]) <= 0.1,
               qPrintable(shown[i] + " vs " + QString::number(exact[i])));
    QCOMPARE(factorShown, QString("1.100"));

    for (std::size_t i = 0, v = 0; i < points.size(); i += 3, ++v) {
      const Vec3 after = mesh->transform() * Vec3(points[i], points[i + 1], points[i + 2]);
      if ((after - 1.1 * before[v]).norm() > 1e-6)
        QFAIL(qPrintable("vertex " + describe(after) + " was " + describe(before[v])));
    }
    for (long i = 1; i <= 3; ++i) {
      QVERIFY((centre(*form, i) - 1.1 * centresBefore[i - 1]).norm() < 1e-6);
      QCOMPARE(model->GetItem(i)->radius(), 2.0);
      // Moved, not scaled: the placement keeps a unit linear part.
      QVERIFY(model->GetItem(i)->transform().linear().isApprox(Eigen::Matrix3d::Identity()));
    }
    QVERIFY(messages_->shown().empty());
  }

  void toolbarButtonsArmTheirGroupOnly() {
    view::Form1* form = support::openLeftFoot();
    QVERIFY(form);
    QToolBar* bar = form->Toolbar1;
    QVERIFY(!bar->isVisible() && !bar->isEnabled());

    const QStringList keys{"Place Points", "Place Heel",    "Place Ball",    "Place Adjacent",
                           "Move Heel",    "Move Ball",     "Move Adjacent", "Align Lateral",
                           "Align Medial", "Quit"};
    const QStringList tips{"Place the 3 Point Spheres",      "Place the Heel Point Sphere",
                           "Place the Ball Point Sphere",    "Place the Adjacent Point Sphere",
                           "Move the Heel Point Sphere",     "Move the Ball Point Sphere",
                           "Move the Adjacent Point Sphere", "Align to the Heel --> Ball Axis",
                           "Align to the Heel --> Adjacent Axis", "Quit"};
    const auto actions = bar->actions();
    QCOMPARE(actions.size(), 10);
    for (int i = 0; i < 10; ++i) {
      QCOMPARE(actions[i]->text().trimmed(), keys[i]);
      QCOMPARE(actions[i]->toolTip(), tips[i]);
    }
    QCOMPARE(support::button(*form, "Place Heel")->text(), QString("Place Heel  "));

    QMenuBar* menu = form->menuBar();
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(form->mnuAlign).center());
    QVERIFY(bar->isVisible() && bar->isEnabled());
    QCOMPARE(statusLog().last(), QString("Select an Option..."));

    app::AppState& s = app::state();
    const auto flags = [&s] {
      return QVector<bool>{s.PlaceHeelArmed, s.PlaceBallArmed, s.PlaceAdjacentArmed,
                           s.MoveHeelArmed,  s.MoveBallArmed,  s.MoveAdjacentArmed};
    };
    struct Step {
      const char* key;
      const char* status;
      QVector<bool> after;
    };
    const Step steps[] = {
        {"Place Ball", "Place Ball Point", {false, true, false, false, false, false}},
        {"Move Adjacent", "Move Adjacent Point", {false, true, false, false, false, true}},
        {"Place Heel", "Place Heel Point", {true, false, false, false, false, true}},
        {"Move Heel", "Move Heel Point", {true, false, false, true, false, false}},
        {"Place Adjacent", "Place Adjacent Point", {false, false, true, true, false, false}},
        {"Move Ball", "Move Ball Point", {false, false, true, false, true, false}},
    };
    for (const Step& step : steps) {
      clickButton(*form, step.key);
      QCOMPARE(statusLog().last(), QString(step.status));
      QCOMPARE(flags(), step.after);
    }

    // "Quit" hides the toolbar but leaves what was armed: the next click still places.
    clickButton(*form, "Quit");
    QVERIFY(!bar->isVisible() && !bar->isEnabled());
    QCOMPARE(statusLog().last(), QString("Ready"));
    QCOMPARE(flags(), steps[5].after);
    clickView(*form, marks().adjacent);
    QCOMPARE(form->KernelCAD1->Model()->GetItemCount(), 2L);
    QCOMPARE(QString::fromStdString(form->KernelCAD1->Model()->GetItem(1)->name()),
             QString("AdjRef"));
    QVERIFY(!s.PlaceAdjacentArmed && s.MoveBallArmed);
  }

  void clicksFollowTheFixedFlagOrder() {
    view::Form1* form = alignFoot();
    QVERIFY(form);
    app::AppState& s = app::state();
    const auto model = form->KernelCAD1->Model();

    // Nothing armed: a click changes no point and no item.
    clickView(*form, marks().heel);
    QCOMPARE(model->GetItemCount(), 1L);
    QCOMPARE(Vec3(s.PickX, s.PickY, s.PickZ), Vec3(0, 0, 0));
    QCOMPARE(Vec3(s.HeelX, s.HeelY, s.HeelZ), Vec3(0, 0, 0));

    clickButton(*form, "Place Heel");
    clickView(*form, marks().heel);
    const Vec3 heel = centre(*form, 1);

    // A move and a place armed together: the place acts first, the move on the next click.
    clickButton(*form, "Move Heel");
    clickButton(*form, "Place Ball");
    clickView(*form, marks().ball);
    QCOMPARE(model->GetItemCount(), 3L);
    QVERIFY((centre(*form, 1) - heel).norm() < 1e-12);
    QVERIFY(s.MoveHeelArmed);
    clickView(*form, marks().adjacent);
    QVERIFY(!s.MoveHeelArmed);
    QCOMPARE(model->GetItemCount(), 3L);
    QVERIFY((centre(*form, 1) - marks().adjacent).norm() < 0.5);
    QVERIFY((Vec3(s.HeelX, s.HeelY, s.HeelZ) - centre(*form, 1)).norm() < 1e-9);

    // A move click where the sphere already stands leaves it there.
    const Vec3 moved = centre(*form, 1);
    clickButton(*form, "Move Heel");
    clickView(*form, marks().adjacent);
    QVERIFY((centre(*form, 1) - moved).norm() < 1e-9);

    // A second "Place Heel" appends item 4; "Move Heel" keeps working on item 1.
    clickButton(*form, "Place Adjacent");
    clickView(*form, marks().adjacent);
    clickButton(*form, "Place Heel");
    clickView(*form, marks().heel);
    QCOMPARE(model->GetItemCount(), 5L);
    QCOMPARE(QString::fromStdString(model->GetItem(4)->name()), QString("HeelRef"));
    const Vec3 fourth = centre(*form, 4);
    QVERIFY((Vec3(s.HeelX, s.HeelY, s.HeelZ) - fourth).norm() < 1e-9);
    clickButton(*form, "Move Heel");
    clickView(*form, marks().ball);
    QVERIFY((centre(*form, 4) - fourth).norm() < 1e-12);
    // Item 1 took the heel's displacement, measured from the stored (new) heel point.
    QVERIFY((Vec3(s.HeelX, s.HeelY, s.HeelZ) - Vec3(s.PickX, s.PickY, s.PickZ)).norm() < 1e-12);
    QVERIFY((centre(*form, 1) - (moved + Vec3(s.HeelX, s.HeelY, s.HeelZ) - fourth)).norm() < 1e-9);

    // "Align Foot" again: one count message, then the bare mesh.
    QVERIFY(messages_->shown().empty());
    QMenuBar* bar = form->menuBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(form->mnuAlign).center());
    QCOMPARE(int(messages_->shown().size()), 1);
    QCOMPARE(messages_->shown()[0].text, QString("Count: 5"));
    QCOMPARE(messages_->shown()[0].buttons, platform::MsgBoxButtons::OkOnly);
    QCOMPARE(model->GetItemCount(), 1L);
    QVERIFY(model->GetItem(0)->kind() == kernelcad::ItemKind::Mesh);
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(form->mnuAlign).center());
    QCOMPARE(int(messages_->shown().size()), 1);
  }

  void placePointsWaitsEndByButtonsOrClosing() {
    view::Form1* form = alignFoot();
    QVERIFY(form);
    app::AppState& s = app::state();

    // "Place Adjacent" during the heel wait ends it; the sequence then asks for the ball.
    bool pressed = false;
    QTimer operatorHand;
    operatorHand.setInterval(10);
    connect(&operatorHand, &QTimer::timeout, this, [&] {
      if (!pressed && s.PlaceHeelArmed) {
        clickButton(*form, "Place Adjacent");
        pressed = true;
      } else if (pressed && s.PlaceBallArmed && form->isVisible()) {
        form->close();
      }
    });
    operatorHand.start();
    clickButton(*form, "Place Points");
    // Closing the view during the ball wait abandons the sequence with the ball still armed.
    QTRY_VERIFY(!Forms::loaded<view::Form1>() && !statusLog().isEmpty() &&
                statusLog().last() == "Place Ball Point");
    operatorHand.stop();
    QTest::qWait(0);
    QVERIFY(s.PlaceBallArmed && !s.PlaceHeelArmed && !s.PlaceAdjacentArmed);
    QVERIFY(statusLog().lastIndexOf("Place Adjacent Point") < statusLog().indexOf("Place Ball Point"));

    // A reopened view takes the ball on its first click.
    view::Form1* again = support::openLeftFoot();
    QVERIFY(again);
    clickView(*again, marks().ball);
    QCOMPARE(again->KernelCAD1->Model()->GetItemCount(), 2L);
    QVERIFY((centre(*again, 1) - marks().ball).norm() < 0.5);
  }

  void clickBeyondSixteenBitPixelsOverflows() {
    view::Form1* form = alignFoot();
    QVERIFY(form);
    clickButton(*form, "Place Heel");
    const float far = static_cast<float>(40000 * form->KernelCAD1->twipsPerPixelX());
    QVERIFY_EXCEPTION_THROWN(form->KernelCAD1_MouseEvent(1, 0, far, 0), std::overflow_error);
    QCOMPARE(form->KernelCAD1->Model()->GetItemCount(), 1L);
    QVERIFY(app::state().PlaceHeelArmed);
  }

  void spheresAreAddressedByPosition() {
    view::Form1* form = support::openLeftFoot();
    QVERIFY(form);
    const double x = 10, y = 20, z = 30;
    form->Draw_Sphere(x, y, z, "HeelRef");
    form->Draw_Sphere(x, y, z, "BallRef");
    const auto sphere = form->KernelCAD1->Model()->GetItem(1);
    QCOMPARE(sphere->material().colour[0][0], 0.6f);
    QCOMPARE(sphere->material().colour[1][2], 0.1f);
    const double dx = 1, dy = -2, dz = 0.5;
    form->Move_Sphere(1, dx, dy, dz);
    QCOMPARE(centre(*form, 1), Vec3(11, 18, 30.5));
    QCOMPARE(centre(*form, 2), Vec3(10, 20, 30));
    for (std::int16_t outside : {std::int16_t(0), std::int16_t(4), std::int16_t(-1)})
      form->Move_Sphere(outside, dx, dy, dz);
    QCOMPARE(centre(*form, 0), Vec3(0, 0, 0));
    QCOMPARE(centre(*form, 1), Vec3(11, 18, 30.5));
  }
};

std::unique_ptr<QObject> makeRefPointsTest() { return std::make_unique<RefPointsTest>(); }

#include "refpoints_test.moc"
