// "Suggest" places the three spheres on the sample's landmarks, or says why it cannot and leaves
// the spheres alone; the Measurements window agrees with quarnel-scan measure and follows the
// spheres and the scale applied in the distances window.

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <memory>

#include "foot_view.h"
#include "measure/measurements_window.h"
#include "pdf_measure.h"
#include "platform/msgbox.h"
#include "printing/distances_window.h"
#include "printing/scaling.h"
#include "state/app_state.h"
#include "state/window_registry.h"
#include "view/foot_view_window.h"
#include "window_test_support.h"

namespace {

// The number a value of the Measurements window starts with ("259.5 mm" gives 259.5).
double shown(const char* key) {
  const auto* window = app::Forms::loaded<measure::MeasurementsWindow>();
  return window ? window->values.at(key)->text().section(' ', 0, 0).toDouble() : -1;
}

std::array<kernelcad::Vec3, 3> statePoints() {
  const app::AppState& s = app::state();
  return {{{s.HeelX, s.HeelY, s.HeelZ}, {s.BallX, s.BallY, s.BallZ}, {s.AdjX, s.AdjY, s.AdjZ}}};
}

}  // namespace

class MeasureWindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<platform::MsgBoxScript> messages_;

  view::Form1* open(const QString& side) {
    messages_ = support::freshState();
    app::state().FootSide = "Left";
    view::Form1* form = support::openFoot(side + "Foot.wrl");
    if (form) support::alignFoot(*form);
    return form;
  }

 private slots:
  void cleanup() {
    app::Forms::destroyAll();
    messages_.reset();
  }

  void suggestedSpheresAreMeasuredAsTheCommandLineMeasures() {
    view::Form1* form = open("Left");
    QVERIFY(form);
    support::clickButton(*form, "Suggest");
    QVERIFY(messages_->shown().empty());
    const auto marks = sample::landmarks("Left");
    const auto points = statePoints();
    for (std::size_t i = 0; i < 3; ++i) {
      QVERIFY2((points[i] - marks[i]).norm() < 3, sample::kKeys[i]);
      const auto sphere = form->KernelCAD1->Model()->GetItem(long(i) + 1);
      QCOMPARE(QString::fromStdString(sphere->name()), QString(sample::kSpheres[i]));
      QVERIFY((sphere->GetPosition() - points[i]).norm() < 1e-9);
    }

    QVERIFY(testing_support::chooseMenu(form, form->mnuMeasure, form->mnuMeasurements));
    const sample::Outcome cli = sample::run({"measure", sample::scan("Left"), "--side", "Left"});
    QCOMPARE(cli.exitCode, 0);
    const double length = QJsonDocument::fromJson(cli.out.toUtf8())["foot_length"].toDouble();
    QVERIFY2(qAbs(shown("footLength") - length) <= 0.1, qPrintable(cli.out));
    for (const auto& [key, value] : app::Forms::loaded<measure::MeasurementsWindow>()->values)
      QVERIFY2(!value->text().isEmpty(), key.c_str());

    // A sphere moved with its tool: the ball width follows it.
    const double ball = shown("ballWidth");
    support::clickButton(*form, "Move Ball");
    support::clickView(*form, marks[1] + kernelcad::Vec3(-4, 6, 0));
    QVERIFY2(qAbs(shown("ballWidth") - ball) > 2, qPrintable(QString::number(ball)));

    // The distances window's "Apply": every length follows the scale factor.
    const double before = shown("footLength");
    auto& distances = app::Forms::get<printing::DForm>(*form);
    distances.show();
    distances.Text4->setText("190");
    QTest::mouseClick(distances.Command7, Qt::LeftButton);
    const double factor = printing::Applied_Scale(*form->KernelCAD1->Model());
    QVERIFY(qAbs(factor - 1) > 0.05);
    QVERIFY2(qAbs(shown("footLength") - before * factor) <= 0.1 + 0.05 * factor,
             qPrintable(QString::number(factor)));
  }

  void aFootOfTheOtherSideIsRefusedWithItsReason() {
    view::Form1* form = open("Right");
    QVERIFY(form);
    support::drawSpheres(*form, support::marks(false), 2);
    QVERIFY(testing_support::chooseMenu(form, form->mnuMeasure, form->mnuMeasurements));
    auto* window = app::Forms::loaded<measure::MeasurementsWindow>();
    QVERIFY(window->Reason->isVisible() && window->Reason->text().contains("Place the heel"));

    support::clickButton(*form, "Suggest");
    QCOMPARE(messages_->shown().size(), std::size_t{1});
    QVERIFY2(messages_->shown()[0].text.contains("check the foot's side"),
             qPrintable(messages_->shown()[0].text));
    QCOMPARE(form->KernelCAD1->Model()->GetItemCount(), 3L);
    QVERIFY((support::centre(*form, 1) - support::marks(false).heel).norm() < 1e-9);
  }
};

QUARNEL_WINDOW_TEST_MAIN(MeasureWindowTest)
#include "measure_window_test.moc"
