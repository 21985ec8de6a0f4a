// The distances window on spheres at known places: what it shows, which entry sets the scale,
// and what "Apply", "Quit" and "Reset" do to the model.

#include <QApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <memory>

#include "app/appstate.h"
#include "app/forms.h"
#include "platform/msgbox.h"
#include "platform/runtime.h"
#include "printing/dform.h"
#include "foot_view.h"
#include "view/form1.h"

using app::Forms;
using kernelcad::Vec3;
using printing::DForm;

class DFormTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<platform::MsgBoxScript> messages_;
  view::Form1* form_ = nullptr;

  // Heel, ball and adjacent spheres 200, 150 and 250 mm apart.
  bool placeSpheres() {
    form_ = support::openLeftFoot();
    if (!form_) return false;
    form_->Draw_Sphere(10, 0, 0, "HeelRef");
    form_->Draw_Sphere(210, 0, 0, "BallRef");
    form_->Draw_Sphere(10, 150, 0, "AdjRef");
    return true;
  }

  static void type(QLineEdit* box, const QString& text) {
    box->clear();
    QTest::keyClicks(box, text);
  }

  Vec3 centre(long item) const { return form_->KernelCAD1->Model()->GetItem(item)->GetPosition(); }

  // Shows the window modally and, once it waits, lets `operate` work it.
  template <class F>
  void runModal(F operate) {
    DForm& dform = Forms::get<DForm>();
    QTimer::singleShot(0, &dform, [&dform, operate] { operate(dform); });
    dform.exec();
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

  void loadShowsDistancesLayoutAndTabOrder() {
    QVERIFY(placeSpheres());
    DForm& dform = Forms::get<DForm>();
    dform.show();
    dform.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dform));
    QCOMPARE(dform.windowTitle(), QString("Distances"));
    QCOMPARE(dform.Text1->text(), QString("200.0"));
    QCOMPARE(dform.Text2->text(), QString("150.0"));
    QCOMPARE(dform.Text3->text(), QString("250.0"));
    QCOMPARE(dform.Text7->text(), QString("1.000"));
    for (QLineEdit* entry : {dform.Text4, dform.Text5, dform.Text6}) QVERIFY(entry->text().isEmpty());
    QCOMPARE(app::state().BallX, 210.0);
    QCOMPARE(app::state().AdjY, 150.0);

    // The camera looks at the sole from below, unturned.
    const auto frame = form_->KernelCAD1->View()->FindObject("EyeFrame");
    QVERIFY(frame->orientation().isApprox(Eigen::Vector3d(1, -1, -1).asDiagonal().toDenseMatrix()));

    QCOMPARE(dform.size(), QSize(platform::twipsToPixelsX(5175), platform::twipsToPixelsY(2160)));
    QCOMPARE(dform.Text4->parentWidget(), static_cast<QWidget*>(dform.Frame2));
    QCOMPARE(dform.Text4->geometry(), platform::twipsRect(3120, 240, 855, 285));
    QCOMPARE(dform.Command7->parentWidget(), static_cast<QWidget*>(&dform));
    QCOMPARE(dform.Command7->geometry(), platform::twipsRect(2640, 1680, 2415, 375));
    QCOMPARE(dform.Frame2->title(), QString("Values"));
    for (QLineEdit* shown : {dform.Text1, dform.Text2, dform.Text3, dform.Text7})
      QCOMPARE(shown->palette().color(QPalette::Base), QColor(255, 192, 192));
    for (QLineEdit* entry : {dform.Text4, dform.Text5, dform.Text6}) {
      QCOMPARE(entry->palette().color(QPalette::Base), QColor(255, 224, 192));
      QVERIFY(!entry->isReadOnly());
    }

    // Tab from the first entry box walks the designed order and comes back round.
    dform.Text4->setFocus();
    QTRY_VERIFY(dform.Text4->hasFocus());
    const QWidget* order[] = {dform.Text5,    dform.Text6, dform.Command7, dform.Command2,
                              dform.Command3, dform.Text1, dform.Text2,    dform.Text3,
                              dform.Text7,    dform.Text4};
    for (const QWidget* next : order) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      QCOMPARE(QApplication::focusWidget(), next);
    }
    QVERIFY(messages_->shown().empty());
  }

  void firstPositiveEntryChoosesThePair() {
    QVERIFY(placeSpheres());
    DForm& dform = Forms::get<DForm>();
    dform.show();
    struct Case {
      const char *heelBall, *heelAdj, *ballAdj, *factor;
    };
    const Case cases[] = {
        {"abc", "187.5", "", "1.250"},     // letters count as nothing
        {"-5", "0", "180", "0.720"},       // zero and negative entries are not entered
        {"220", "", "300", "1.100"},       // the heel-ball pair wins
        {"250 mm", "", "", "1.250"},       // the number at the start is read
        {"300,5", "", "", "1.500"},        // a comma ends the number
        {"", "", "", "1.000"},
    };
    for (const Case& c : cases) {
      type(dform.Text4, c.heelBall);
      type(dform.Text5, c.heelAdj);
      type(dform.Text6, c.ballAdj);
      QCOMPARE(dform.Text7->text(), QString(c.factor));
    }

    type(dform.Text5, "300");
    QCOMPARE(dform.Text7->text(), QString("2.000"));
    QTest::mouseClick(dform.Command3, Qt::LeftButton);
    for (QLineEdit* entry : {dform.Text4, dform.Text5, dform.Text6}) QVERIFY(entry->text().isEmpty());
    QCOMPARE(dform.Text7->text(), QString("1.000"));
    QCOMPARE(dform.ScaleFactor, 1.0);

    // Distances follow the spheres on every change.
    form_->Move_Sphere(2, 100, 0, 0);
    type(dform.Text4, "600");
    QCOMPARE(dform.Text1->text(), QString("300.0"));
    QCOMPARE(dform.Text7->text(), QString("2.000"));
    QVERIFY(messages_->shown().empty());
  }

  void zeroMeasuredDistanceKeepsTheFactor() {
    QVERIFY(placeSpheres());
    form_->Move_Sphere(2, -200, 0, 0);  // ball onto the heel
    DForm& dform = Forms::get<DForm>();
    dform.show();
    QCOMPARE(dform.Text1->text(), QString("0.0"));
    type(dform.Text5, "300");
    QCOMPARE(dform.ScaleFactor, 2.0);
    QVERIFY(messages_->shown().empty());
    type(dform.Text4, "7");
    QCOMPARE(int(messages_->shown().size()), 1);
    QVERIFY(messages_->shown()[0].text.contains("Heel --> Ball"));
    QVERIFY(messages_->shown()[0].text.contains("2.000"));
    QCOMPARE(dform.ScaleFactor, 2.0);
    QCOMPARE(dform.Text7->text(), QString("2.000"));
  }

  void applyScalesQuitAndUnitFactorOnlyClose() {
    QVERIFY(placeSpheres());
    const auto mesh = form_->KernelCAD1->Model()->GetItem(0);
    mesh->Translate(5, -3, 2);
    const Eigen::Affine3d meshBefore = mesh->transform();

    runModal([](DForm& d) {
      QTest::keyClicks(d.Text4, "400");
      QTest::mouseClick(d.Command2, Qt::LeftButton);
    });
    QVERIFY(!Forms::loaded<DForm>());
    QVERIFY(mesh->transform().isApprox(meshBefore));

    runModal([](DForm& d) { QTest::mouseClick(d.Command7, Qt::LeftButton); });
    QVERIFY(!Forms::loaded<DForm>());
    QVERIFY(mesh->transform().isApprox(meshBefore));
    QCOMPARE(centre(2), Vec3(210, 0, 0));

    // Shown as 1.000 but not exactly 1: still applied, about the origin.
    runModal([](DForm& d) {
      QTest::keyClicks(d.Text4, "200.01");
      QTest::mouseClick(d.Command7, Qt::LeftButton);
    });
    const double s = 200.01 / 200.0;
    QVERIFY((centre(2) - Vec3(210 * s, 0, 0)).norm() < 1e-9);
    QVERIFY((centre(0) - s * Vec3(5, -3, 2)).norm() < 1e-9);
    QVERIFY(mesh->transform().linear().isApprox(s * meshBefore.linear()));
    QCOMPARE(form_->KernelCAD1->Model()->GetItem(2)->radius(), 2.0);
    QVERIFY(messages_->shown().empty());
  }

  void missingSpheresAreReported() {
    form_ = support::openLeftFoot();
    QVERIFY(form_);
    form_->Draw_Sphere(1, 2, 3, "HeelRef");
    app::state().HeelX = 77;
    runModal([](DForm& d) { QTest::mouseClick(d.Command2, Qt::LeftButton); });
    QVERIFY(!messages_->shown().empty());
    for (const auto& message : messages_->shown()) {
      QCOMPARE(message.text, QString("Error Collecting Geometry"));
      QCOMPARE(message.buttons, platform::MsgBoxButtons::OkOnly);
      QCOMPARE(message.title, QString("QUARNEL"));
    }
    QCOMPARE(app::state().HeelX, 77.0);
    QCOMPARE(app::state().HeelBallDist, 0.0);
  }

  void loadShowsTheFactorWithTwoDecimalsFirst() {
    QVERIFY(placeSpheres());
    DForm dform;
    QSignalSpy factor(dform.Text7, &QLineEdit::textChanged);
    dform.Form_Load();
    QStringList shown;
    for (const auto& args : factor) shown << args.at(0).toString();
    QCOMPARE(shown, QStringList({"1.000", "1.00", "1.000"}));
  }
};

std::unique_ptr<QObject> makeDFormTest() { return std::make_unique<DFormTest>(); }

#include "dform_test.moc"
