// Reference points and the distances window on the real foot view: Toolbar1 and its armed
// flags, view clicks at the sample scan's landmarks, "Place Points" and its waits, and the scale
// factor the distances window reads from its entries.

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <memory>

#include "foot_view.h"
#include "platform/msgbox.h"
#include "printing/distances_window.h"
#include "state/app_state.h"
#include "state/window_registry.h"
#include "view/foot_view_window.h"
#include "window_test_support.h"

using app::Forms;
using kernelcad::Vec3;
using printing::DForm;
using support::centre;
using support::clickButton;
using support::clickView;
using support::marks;
using support::statusLog;

namespace {

Vec3 heelPoint() {
  const app::AppState& s = app::state();
  return {s.HeelX, s.HeelY, s.HeelZ};
}

void type(QLineEdit* box, const QString& text) {
  box->clear();
  QTest::keyClicks(box, text);
}

}  // namespace

class AlignmentTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<platform::MsgBoxScript> messages_;

 private slots:
  void init() { messages_ = support::freshState(); }

  void cleanup() {
    Forms::destroyAll();
    messages_.reset();
  }

  void placePointsAsksForEachPointInTurn() {
    view::Form1* form = support::openLeftFoot();
    QVERIFY(form);
    support::alignFoot(*form);
    app::AppState& s = app::state();

    // The waits of "Place Points" run inside this test's event processing: the clicks come
    // from a timer, each once its point is asked for.
    int clicked = 0;
    QTimer hand;
    hand.setInterval(10);
    connect(&hand, &QTimer::timeout, this, [&] {
      const bool asked = clicked == 0 ? s.PlaceHeelArmed : clicked == 1 && s.PlaceBallArmed;
      if (asked) clickView(*form, clicked++ == 0 ? marks().heel : marks().ball);
    });
    hand.start();
    clickButton(*form, "Place Points");
    QTRY_VERIFY(clicked == 2 && s.PlaceAdjacentArmed && !statusLog().isEmpty() &&
                statusLog().last() == "Place Adjacent Point");
    hand.stop();
    QCOMPARE(statusLog().mid(statusLog().indexOf("Place Heel Point")),
             QStringList({"Place Heel Point", "Place Ball Point", "Place Adjacent Point"}));
    clickView(*form, marks().adjacent);
    QVERIFY(!s.PlaceAdjacentArmed);

    const auto model = form->KernelCAD1->Model();
    QCOMPARE(model->GetItemCount(), 4L);
    const char* names[] = {"HeelRef", "BallRef", "AdjRef"};
    const Vec3 truth[] = {marks().heel, marks().ball, marks().adjacent};
    const Vec3 stored[] = {heelPoint(), {s.BallX, s.BallY, s.BallZ}, {s.AdjX, s.AdjY, s.AdjZ}};
    for (long i = 1; i <= 3; ++i) {
      QCOMPARE(model->GetItem(i)->name(), std::string(names[i - 1]));
      QVERIFY((centre(*form, i) - truth[i - 1]).norm() < 0.5);
      QVERIFY((centre(*form, i) - stored[i - 1]).norm() < 1e-9);
    }
    QVERIFY(messages_->shown().empty());
  }

  void toolbarButtonsArmTheirGroupOnly() {
    view::Form1* form = support::openLeftFoot();
    QVERIFY(form);
    QToolBar* bar = form->Toolbar1;
    QVERIFY(!bar->isVisible() && !bar->isEnabled());
    support::alignFoot(*form);
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
  }

  void clicksFollowTheFixedFlagOrder() {
    view::Form1* form = support::openLeftFoot();
    QVERIFY(form);
    support::alignFoot(*form);
    app::AppState& s = app::state();
    const auto model = form->KernelCAD1->Model();

    // Nothing armed: a click changes no point and no item.
    clickView(*form, marks().heel);
    QCOMPARE(model->GetItemCount(), 1L);
    QCOMPARE(Vec3(s.PickX, s.PickY, s.PickZ), Vec3(0, 0, 0));
    QCOMPARE(heelPoint(), Vec3(0, 0, 0));

    clickButton(*form, "Place Heel");
    clickView(*form, marks().heel);
    QCOMPARE(model->GetItemCount(), 2L);

    // A move and a place armed together: the place acts first, the move on the next click.
    const Vec3 heel = centre(*form, 1);
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
    QVERIFY((heelPoint() - centre(*form, 1)).norm() < 1e-9);

    // "Align Foot" again: one count message, then the bare mesh; with the mesh alone, none.
    QVERIFY(messages_->shown().empty());
    support::alignFoot(*form);
    QCOMPARE(int(messages_->shown().size()), 1);
    QCOMPARE(messages_->shown()[0].text, QString("Count: 3"));
    QCOMPARE(model->GetItemCount(), 1L);
    QVERIFY(model->GetItem(0)->kind() == kernelcad::ItemKind::Mesh);
    support::alignFoot(*form);
    QCOMPARE(int(messages_->shown().size()), 1);
  }

  void placePointsWaitsEndByButtonsOrClosing() {
    view::Form1* form = support::openLeftFoot();
    QVERIFY(form);
    support::alignFoot(*form);
    app::AppState& s = app::state();

    // "Place Adjacent" during the heel wait ends it; the sequence then asks for the ball, and
    // closing the view during that wait abandons the sequence with the ball still armed.
    bool pressed = false;
    QTimer hand;
    hand.setInterval(10);
    connect(&hand, &QTimer::timeout, this, [&] {
      if (!pressed && s.PlaceHeelArmed) {
        clickButton(*form, "Place Adjacent");
        pressed = true;
      } else if (pressed && s.PlaceBallArmed && form->isVisible()) {
        form->close();
      }
    });
    hand.start();
    clickButton(*form, "Place Points");
    QTRY_VERIFY(!Forms::loaded<view::Form1>() && !statusLog().isEmpty() &&
                statusLog().last() == "Place Ball Point");
    hand.stop();
    QTest::qWait(0);
    QVERIFY(s.PlaceBallArmed && !s.PlaceHeelArmed && !s.PlaceAdjacentArmed);
    QVERIFY(statusLog().lastIndexOf("Place Adjacent Point") <
            statusLog().indexOf("Place Ball Point"));
  }

  // Each entry box against its own pair; the first positive entry sets the factor, and an
  // entry for a pair with no measured length warns and keeps it.
  void firstPositiveEntrySetsTheFactor() {
    // Heel, ball and adjacent spheres 200, 150 and 250 mm apart on the left sample.
    view::Form1* form = support::openLeftFoot();
    QVERIFY(form);
    support::drawSpheres(*form, {{10, 0, 0}, {210, 0, 0}, {10, 150, 0}});
    DForm& dform = Forms::get<DForm>(*form);
    dform.show();
    QCOMPARE(QStringList({dform.Text1->text(), dform.Text2->text(), dform.Text3->text(),
                          dform.Text7->text()}),
             QStringList({"200.0", "150.0", "250.0", "1.000"}));
    const char* cases[][4] = {{"abc", "187.5", "", "1.250"},
                              {"-5", "0", "180", "0.720"},
                              {"220", "", "300", "1.100"},
                              {"", "300", "", "2.000"}};
    for (const auto& c : cases) {
      type(dform.Text4, c[0]);
      type(dform.Text5, c[1]);
      type(dform.Text6, c[2]);
      QCOMPARE(dform.Text7->text(), QString(c[3]));
    }
    form->Move_Sphere(2, -200, 0, 0);  // the ball onto the heel
    type(dform.Text4, "7");
    QCOMPARE(dform.Text1->text(), QString("0.0"));
    QCOMPARE(int(messages_->shown().size()), 1);
    QVERIFY(messages_->shown()[0].text.contains("Heel --> Ball") &&
            messages_->shown()[0].text.contains("2.000"));
    QCOMPARE(dform.Text7->text(), QString("2.000"));
  }
};

QUARNEL_WINDOW_TEST_MAIN(AlignmentTest)
#include "alignment_test.moc"
