// "Align Lateral" and "Align Medial" on the real foot view: spheres placed by clicks on the
// sample scans, the roll typed in AlignForm, the refusals, and the whole road of one foot from
// the scan browser to its true-size PDF, matched against quarnel-scan print.

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPdfDocument>
#include <QPushButton>
#include <QTimer>
#include <QToolBar>
#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <memory>

#include "alignment/align.h"
#include "alignment/roll_angle_window.h"
#include "app/filelists.h"
#include "app/scan_browser_window.h"
#include "foot_view.h"
#include "kernelcad/core/scan_reader.h"
#include "pdf_measure.h"
#include "platform/filedialog.h"
#include "platform/msgbox.h"
#include "printing/distances_window.h"
#include "printing/scaling.h"
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
  }

  // Each variant through the window ends where the one alignment puts the clicked points, which
  // its own tests hold to the standard position; the typed roll reaches it.
  void eachVariantEndsInTheStandardPosition_data() {
    QTest::addColumn<bool>("lateral");
    QTest::addColumn<bool>("left");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<double>("roll");
    QTest::newRow("LateralLeft") << true << true << "5" << 5.0;
    QTest::newRow("LateralRight") << true << false << "5" << 5.0;
    QTest::newRow("MedialLeft") << false << true << "5" << 5.0;
    QTest::newRow("MedialRight, typed with its unit") << false << false << "12.5 deg" << 12.5;
    QTest::newRow("close box: no roll") << true << true << QString() << 0.0;
  }

  void eachVariantEndsInTheStandardPosition() {
    QFETCH(bool, lateral);
    QFETCH(bool, left);
    QFETCH(QString, typed);
    QFETCH(double, roll);
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

    const auto expected =
        alignment::Align_Scan(*model->GetItem(0)->mesh(), {picked[0], picked[1], picked[2]},
                              lateral ? alignment::Axis::Lateral : alignment::Axis::Medial,
                              left ? alignment::Side::Left : alignment::Side::Right, roll);
    for (long i = 0; i <= 3; ++i)
      QVERIFY(model->GetItem(i)->transform().isApprox(expected->GetItem(i)->transform(), 1e-9));
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
    const Vec3 picked[] = {centre(*form, 1), centre(*form, 2), centre(*form, 3)};
    QString trueMm;
    Operator hand;
    hand.roll = "7.5";
    hand.distances = [&trueMm](printing::DForm& dform) {
      trueMm = QString::number(1.04 * app::state().HeelBallDist, 'f', 9);
      QTest::keyClicks(dform.Text4, trueMm);
      QTest::mouseClick(dform.Command7, Qt::LeftButton);
    };
    hand.start();
    support::clickButton(*form, "Align Lateral");
    QVERIFY(hand.sawDForm);
    hand.hand.stop();
    // The mesh scaled with the distances; the spheres moved, not scaled.
    const auto model = form->KernelCAD1->Model();
    QVERIFY(std::abs((centre(*form, 2) - centre(*form, 1)).norm() -
                     1.04 * (picked[1] - picked[0]).norm()) < 1e-6);
    QVERIFY(std::abs(model->GetItem(0)->transform().linear().determinant() - std::pow(1.04, 3)) <
            1e-9);
    for (long i = 1; i <= 3; ++i) QCOMPARE(model->GetItem(i)->radius(), 2.0);

    // "Export True-Size PDF..." and quarnel-scan print on the same points, roll and true
    // distance: the same spheres, scale and page count (what a page shows is its own test).
    QTemporaryDir dir;
    platform::SaveFileNameScript save;
    save.answer(dir.filePath("gui"));  // no suffix: .pdf is added
    form->mnuTrueSizeExport->trigger();
    QVERIFY(save.suggested().size() == 1 && save.suggested()[0].endsWith("LeftFoot_TrueSize.pdf"));
    const sample::Outcome cli =
        sample::run({"print", sample::scan("Left"), "--side", "Left", "--axis", "Lateral", "--heel",
                     sample::text(picked[0]), "--ball", sample::text(picked[1]), "--adjacent",
                     sample::text(picked[2]), "--roll", "7.5", "--true", "heel-ball=" + trueMm,
                     "--out", dir.path()});
    QCOMPARE(cli.exitCode, 0);
    const QJsonObject summary = QJsonDocument::fromJson(cli.out.toUtf8()).object();
    QVERIFY(std::abs(summary["scale_factor"].toDouble() - printing::Applied_Scale(*model)) < 1e-9);
    for (long i = 1; i <= 3; ++i)
      QVERIFY((centre(*form, i) - sample::point(summary, sample::kKeys[i - 1])).norm() < 1e-6);
    QPdfDocument exported;
    QCOMPARE(exported.load(dir.filePath("gui.pdf")), QPdfDocument::NoError);
    QCOMPARE(exported.pageCount(), summary["pages"].toInt());

    // "Export Aligned Scan..." and quarnel-scan export: the same mesh where the window holds
    // it, and the same points in the summaries.
    save.answer(dir.filePath("gui.ply"));
    form->mnuExportAligned->trigger();
    const sample::Outcome exportCli = sample::run({"export",     sample::scan("Left"),
                                                   "--side",     "Left",
                                                   "--axis",     "Lateral",
                                                   "--heel",     sample::text(picked[0]),
                                                   "--ball",     sample::text(picked[1]),
                                                   "--adjacent", sample::text(picked[2]),
                                                   "--roll",     "7.5",
                                                   "--true",     "heel-ball=" + trueMm,
                                                   "--format",   "ply",
                                                   "--out",      dir.path()});
    QCOMPARE(exportCli.exitCode, 0);
    const kernelcad::Mesh gui = kernelcad::ReadScanFile(dir.filePath("gui.ply").toStdString()).mesh;
    const kernelcad::Mesh batch =
        kernelcad::ReadScanFile(dir.filePath("LeftFoot_Aligned.ply").toStdString()).mesh;
    // The window draws the triangles in another order (TrianglesByLowestCorner), each as it was.
    const auto sorted = [](const kernelcad::Mesh& m) {
      std::vector<std::array<std::int32_t, 3>> t(m.triangleCount());
      std::memcpy(t.data(), m.triangles.data(), m.triangles.size() * sizeof(std::int32_t));
      std::sort(t.begin(), t.end());
      return t;
    };
    QVERIFY(sorted(gui) == sorted(batch));
    float worst = 0;
    for (std::size_t i = 0; i < gui.points.size(); ++i)
      worst = std::max(worst, std::abs(gui.points[i] - batch.points[i]));
    QVERIFY2(worst < 1e-3f, qPrintable(QString::number(worst)));
    QFile guiJson(dir.filePath("gui.json"));
    QVERIFY(guiJson.open(QIODevice::ReadOnly));
    const QJsonObject guiSummary = QJsonDocument::fromJson(guiJson.readAll()).object();
    for (const char* key : sample::kKeys)
      QVERIFY((sample::point(guiSummary, key) - sample::point(summary, key)).norm() < 1e-6);
    QCOMPARE(guiSummary["measurements"].toObject().keys().size(), 12);

    const Vec3 heelBefore = centre(*form, 1);
    support::clickButton(*form->Toolbar2, "Right");
    support::clickButton(*form->Toolbar2, "Down");
    QVERIFY((centre(*form, 1) - heelBefore - Vec3(2, 2, 0)).norm() < 1e-9);
    // "PRINT" and its page, answered as an operator answers under a window manager: the
    // desktop session test.
  }
};

QUARNEL_WINDOW_TEST_MAIN(AlignFlowTest)
#include "align_flow_test.moc"
