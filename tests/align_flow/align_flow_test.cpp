// "Align Lateral" and "Align Medial" on the real foot view: spheres placed by clicks on the
// sample scans, the roll typed in AlignForm, the final centres against the standard position
// worked out from the formulas; the refusals; AlignForm's reading of the roll; the navigation
// toolbar; and the whole road of one foot from the scan browser to a printed page.

#include <QVTKOpenGLNativeWidget.h>
#include <vtkCallbackCommand.h>
#include <vtkGenericOpenGLRenderWindow.h>
#include <vtkNew.h>

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QPdfDocument>
#include <QPushButton>
#include <QTimer>
#include <QToolBar>
#include <functional>
#include <memory>

#include "alignment/alignform.h"
#include "alignment_reference.h"
#include "app/appstate.h"
#include "app/filelists.h"
#include "app/mainform.h"
#include "foot_view.h"
#include "footgen/footgen.h"
#include "platform/msgbox.h"
#include "platform/printer.h"
#include "platform/runtime.h"
#include "printing/commands.h"
#include "printing/dform.h"
#include "view/form1.h"
#include "window_test_support.h"

using alignment::AlignForm;
using app::Forms;
using kernelcad::Vec3;
using support::statusLog;

namespace {

const footgen::Landmarks& marks(bool left) {
  static const footgen::Landmarks l = footgen::GenerateFoot(footgen::Side::Left).landmarks;
  static const footgen::Landmarks r = footgen::GenerateFoot(footgen::Side::Right).landmarks;
  return left ? l : r;
}

Vec3 centre(view::Form1& form, long item) {
  return form.KernelCAD1->Model()->GetItem(item)->GetPosition();
}

QString describe(const Vec3& v) {
  return QStringLiteral("(%1, %2, %3)").arg(v.x(), 0, 'g', 12).arg(v.y(), 0, 'g', 12).arg(v.z(), 0, 'g', 12);
}

// "Align Foot", then each sphere placed with its tool and a click on its landmark.
void placeByClicks(view::Form1& form, const footgen::Landmarks& at) {
  testing_support::clickMenuBar(&form, form.mnuAlign);
  support::clickButton(form, "Place Heel");
  support::clickView(form, at.heel);
  support::clickButton(form, "Place Ball");
  support::clickView(form, at.ball);
  support::clickButton(form, "Place Adjacent");
  support::clickView(form, at.adjacent);
}

// The operator's hand on the modal windows the command opens: AlignForm gets the roll typed and
// "Accept" (or its close box when no roll is given), DForm its "Quit" unless told otherwise.
struct Operator {
  QString roll;
  std::function<void(printing::DForm&)> distances;
  QString grabAlignFormTo;

  bool sawAlignForm = false;
  bool sawDForm = false;
  QString label, shownRoll, caption;
  QTimer hand;

  void start() {
    QObject::connect(&hand, &QTimer::timeout, &hand, [this] { look(); });
    hand.start(10);
  }

  void look() {
    if (AlignForm* dialog = Forms::loaded<AlignForm>(); dialog && dialog->isVisible() &&
                                                        !sawAlignForm) {
      sawAlignForm = true;
      label = dialog->Label1->text();
      shownRoll = dialog->Text1->text();
      caption = dialog->windowTitle();
      if (!grabAlignFormTo.isEmpty()) dialog->grab().save(grabAlignFormTo);
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
      if (distances) distances(*dform);
      else QTest::mouseClick(dform->Command2, Qt::LeftButton);
    }
  }
};

// Counts the frames the view draws, to see one Redraw per toolbar click.
struct FrameCounter {
  explicit FrameCounter(view::Form1& form) : window(form.KernelCAD1->renderWidget()->renderWindow()) {
    callback->SetClientData(&frames);
    callback->SetCallback([](vtkObject*, unsigned long, void* count, void*) {
      ++*static_cast<int*>(count);
    });
    tag = window->AddObserver(vtkCommand::StartEvent, callback);
  }
  ~FrameCounter() { window->RemoveObserver(tag); }
  FrameCounter(const FrameCounter&) = delete;
  FrameCounter& operator=(const FrameCounter&) = delete;

  vtkRenderWindow* window;
  vtkNew<vtkCallbackCommand> callback;
  unsigned long tag = 0;
  int frames = 0;
};

}  // namespace

class AlignFlowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<platform::MsgBoxScript> messages_;

 private slots:
  void init() {
    Forms::destroyAll();
    app::state() = app::AppState{};
    messages_ = std::make_unique<platform::MsgBoxScript>();
    support::recordStatus();
    printing::install();
  }

  void cleanup() {
    Forms::destroyAll();
    messages_.reset();
    platform::Printer::setOutputOverride(QString());
  }

  void eachVariantEndsInTheStandardPosition_data() {
    QTest::addColumn<bool>("left");
    QTest::addColumn<bool>("lateral");
    QTest::addColumn<int>("rollSign");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<double>("roll");
    QTest::newRow("lateral left") << true << true << +1 << "5" << 5.0;
    QTest::newRow("lateral right") << false << true << -1 << "5" << 5.0;
    QTest::newRow("medial left") << true << false << -1 << "5" << 5.0;
    QTest::newRow("medial right") << false << false << +1 << "12.5 deg" << 12.5;
    QTest::newRow("close box: no roll") << true << true << +1 << QString() << 0.0;
  }

  void eachVariantEndsInTheStandardPosition() {
    QFETCH(bool, left);
    QFETCH(bool, lateral);
    QFETCH(int, rollSign);
    QFETCH(QString, typed);
    QFETCH(double, roll);
    view::Form1* form = support::openFoot(left ? "LeftFoot.wrl" : "RightFoot.wrl");
    QVERIFY(form);
    app::AppState& s = app::state();
    s.FootSide = left ? "Left" : "Right";
    placeByClicks(*form, marks(left));
    const auto model = form->KernelCAD1->Model();
    QCOMPARE(model->GetItemCount(), 4L);
    const Vec3 picked[] = {centre(*form, 1), centre(*form, 2), centre(*form, 3)};
    for (int i = 0; i < 3; ++i) {
      const Vec3& truth = i == 0 ? marks(left).heel : i == 1 ? marks(left).ball : marks(left).adjacent;
      QVERIFY((picked[i] - truth).norm() < 0.5);
    }

    Operator hand;
    hand.roll = typed;
    const bool pictures = QTest::currentDataTag() == QLatin1String("lateral left");
    if (pictures) hand.grabAlignFormTo = "/tmp/quarnel_alignform.png";
    hand.start();
    support::clickButton(*form, lateral ? "Align Lateral" : "Align Medial");
    QVERIFY(hand.sawAlignForm && hand.sawDForm);
    QCOMPARE(hand.label, lateral ? QString("Lateral") : QString("Medial"));
    QCOMPARE(hand.shownRoll, QString("0.0"));
    QCOMPARE(hand.caption, QString("Foot Alignment"));
    QCOMPARE(s.AlignRollAngle, roll);

    const Eigen::Affine3d motion = reference::alignedMotion(picked[0], picked[1], picked[2],
                                                            {lateral, left, rollSign}, roll);
    for (long i = 1; i <= 3; ++i) {
      const Vec3 expected = motion * picked[i - 1];
      QVERIFY2((centre(*form, i) - expected).norm() < 1e-6,
               qPrintable(describe(centre(*form, i)) + " vs " + describe(expected)));
    }
    QVERIFY(model->GetItem(0)->transform().matrix().isApprox(motion.matrix(), 1e-9));
    // The items the navigation toolbar moves, and the points read back by the distances window.
    QCOMPARE(s.FootItem, model->GetItem(0));
    QCOMPARE(s.AdjItem, model->GetItem(3));
    QVERIFY((Vec3(s.BallX, s.BallY, s.BallZ) - centre(*form, 2)).norm() < 1e-9);

    QCOMPARE(model->GetItemCount(), 5L);
    QCOMPARE(model->GetItem(4)->name(), std::string("A4_Sheet"));
    QVERIFY(!form->Toolbar1->isVisible() && !form->Toolbar1->isEnabled());
    QVERIFY(form->Toolbar2->isVisible() && form->Toolbar2->isEnabled());
    QCOMPARE(statusLog().last(), QString("Ready"));
    QVERIFY(messages_->shown().empty());
    if (pictures) QVERIFY(form->grab().save("/tmp/quarnel_form1_aligned.png"));
  }

  void refusedAlignmentsTellWhyAndMoveNothing() {
    view::Form1* form = support::openLeftFoot();
    QVERIFY(form);
    app::AppState& s = app::state();
    const auto model = form->KernelCAD1->Model();
    const auto foot = model->GetItem(0);
    const auto afterAttempt = [&] {
      return !form->Toolbar1->isVisible() && !form->Toolbar1->isEnabled() &&
             !form->Toolbar2->isVisible() && statusLog().last() == "Ready";
    };

    // No side chosen yet: no dialog at all.
    Operator hand;
    hand.roll = "5";
    hand.start();
    testing_support::clickMenuBar(form, form->mnuAlign);
    support::clickButton(*form, "Align Medial");
    QCOMPARE(messages_->shown().size(), std::size_t{1});
    QCOMPARE(messages_->shown()[0].text, QString("No Foot Selected"));
    QCOMPARE(messages_->shown()[0].title, QString("Error"));
    QCOMPARE(messages_->shown()[0].icon, platform::MsgBoxIcon::Exclamation);
    QVERIFY(!hand.sawAlignForm);
    QVERIFY(afterAttempt());

    // Only the heel placed.
    s.FootSide = "Left";
    messages_->clear();
    testing_support::clickMenuBar(form, form->mnuAlign);
    support::clickButton(*form, "Place Heel");
    support::clickView(*form, marks(true).heel);
    support::clickButton(*form, "Align Lateral");
    QCOMPARE(messages_->shown().size(), std::size_t{1});
    QVERIFY2(messages_->shown()[0].text.contains("Place the heel, ball and adjacent points first"),
             qPrintable(messages_->shown()[0].text));
    QVERIFY(!hand.sawAlignForm);
    QVERIFY(foot->transform().isApprox(Eigen::Affine3d::Identity(), 0));
    QVERIFY(afterAttempt());

    // Heel and ball with the same X: the roll is asked, then everything is put back.
    testing_support::clickMenuBar(form, form->mnuAlign);
    messages_->clear();
    const Vec3 heel = marks(true).heel;
    const Vec3 ball(heel.x(), marks(true).ball.y(), marks(true).ball.z());
    s.HeelX = heel.x(), s.HeelY = heel.y(), s.HeelZ = heel.z();
    s.BallX = ball.x(), s.BallY = ball.y(), s.BallZ = ball.z();
    const Vec3 adjacent = marks(true).adjacent;
    s.AdjX = adjacent.x(), s.AdjY = adjacent.y(), s.AdjZ = adjacent.z();
    form->Draw_Sphere(heel.x(), heel.y(), heel.z(), "HeelRef");
    form->Draw_Sphere(ball.x(), ball.y(), ball.z(), "BallRef");
    form->Draw_Sphere(adjacent.x(), adjacent.y(), adjacent.z(), "AdjRef");
    support::clickButton(*form, "Align Lateral");
    QVERIFY(hand.sawAlignForm);
    QVERIFY(!hand.sawDForm);
    QCOMPARE(messages_->shown().size(), std::size_t{1});
    QVERIFY2(messages_->shown()[0].text.contains("same X") &&
                 messages_->shown()[0].text.contains("Move the ball sphere"),
             qPrintable(messages_->shown()[0].text));
    QVERIFY(foot->transform().isApprox(Eigen::Affine3d::Identity(), 0));
    QCOMPARE(centre(*form, 1), heel);
    QCOMPARE(centre(*form, 2), ball);
    QCOMPARE(centre(*form, 3), adjacent);
    QCOMPARE(model->GetItemCount(), 4L);
    QCOMPARE(Vec3(s.BallX, s.BallY, s.BallZ), ball);
    QVERIFY(afterAttempt());
  }

  void alignFormReadsTheRollThePermissiveWay_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<double>("roll");
    QTest::newRow("number then text") << "12.5 x" << 12.5;
    QTest::newRow("blank between digits") << "1 2" << 12.0;
    QTest::newRow("starts with a letter") << "x1" << 0.0;
    QTest::newRow("decimal comma") << "2,5" << 2.0;
    QTest::newRow("negative") << "-7.25" << -7.25;
  }

  void alignFormReadsTheRollThePermissiveWay() {
    QFETCH(QString, typed);
    QFETCH(double, roll);
    app::state().AlignRollAngle = 3.25;
    AlignForm& dialog = Forms::get<AlignForm>();
    QCOMPARE(dialog.Text1->text(), QString("3.3"));
    QTimer::singleShot(0, &dialog, [&] {
      dialog.Text1->selectAll();
      QTest::keyClicks(dialog.Text1, typed);
      QTest::mouseClick(dialog.Command1, Qt::LeftButton);
    });
    dialog.exec();
    QCOMPARE(app::state().AlignRollAngle, roll);
    QVERIFY(!Forms::loaded<AlignForm>());
  }

  void alignFormLayoutAndItsCloseBoxKeepsTheValue() {
    app::state().AlignRollAngle = -4;
    AlignForm& dialog = Forms::get<AlignForm>();
    QCOMPARE(dialog.windowTitle(), QString("Foot Alignment"));
    QCOMPARE(dialog.size(), QSize(platform::twipsToPixelsX(4920), platform::twipsToPixelsY(600)));
    QCOMPARE(dialog.Label1->geometry(), platform::twipsRect(120, 120, 1095, 375));
    QCOMPARE(dialog.Text1->geometry(), platform::twipsRect(1320, 120, 975, 315));
    QCOMPARE(dialog.Command1->geometry(), platform::twipsRect(3000, 120, 1815, 375));
    QVERIFY(dialog.Label1->font().bold());
    QCOMPARE(dialog.Label2->text(), QString("deg"));
    QCOMPARE(dialog.Command1->text(), QString("Accept"));
    QCOMPARE(dialog.Text1->text(), QString("-4.0"));
    QTimer::singleShot(0, &dialog, [&] {
      QTest::keyClicks(dialog.Text1, "9");
      dialog.close();
    });
    dialog.exec();
    QCOMPARE(app::state().AlignRollAngle, -4.0);
    QVERIFY(!Forms::loaded<AlignForm>());
  }

  void navigationToolbarMovesTheFourItems() {
    view::Form1* form = support::openLeftFoot();
    QVERIFY(form);
    QToolBar& bar = *form->Toolbar2;
    const QStringList captions{"Rot L", "Rot R", "", "", "Left", "Right", "Up", "Down", "",
                               "PRINT", "Close", "Parameters"};
    const QStringList tips{"Rotate Left", "Rotate Right", "", "", "Move Left", "Move Right",
                           "Move Up", "Move Down", "", "Print the Foot", "Close Toolbar"};
    const auto actions = bar.actions();
    QCOMPARE(actions.size(), 12);
    for (int i = 0; i < 12; ++i) {
      QCOMPARE(actions[i]->isSeparator(), captions[i].isEmpty());
      QCOMPARE(actions[i]->text(), captions[i]);
      if (i < tips.size() && !tips[i].isEmpty()) QCOMPARE(actions[i]->toolTip(), tips[i]);
    }

    // The heel at the origin as after an alignment, the other items off it.
    form->Draw_Sphere(0, 0, 0, "HeelRef");
    form->Draw_Sphere(150, 20, 1, "BallRef");
    form->Draw_Sphere(140, -30, 2, "AdjRef");
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

    const auto placements = [&] {
      std::vector<Eigen::Affine3d> all;
      for (long i = 0; i < 4; ++i) all.push_back(model->GetItem(i)->transform());
      return all;
    };
    const auto moved = [&](const std::vector<Eigen::Affine3d>& before, const Eigen::Affine3d& by) {
      const auto now = placements();
      for (std::size_t i = 0; i < 4; ++i)
        if (!now[i].matrix().isApprox((by * before[i]).matrix(), 1e-12)) return false;
      return true;
    };
    FrameCounter counter(*form);
    const auto click = [&](QAction* button) {
      s.MoveStep = s.TurnStep = 0;
      counter.frames = 0;
      QTest::mouseClick(bar.widgetForAction(button), Qt::LeftButton);
      return counter.frames == 1 && s.MoveStep == 2.0 && s.TurnStep == 2.0;
    };
    const auto press = [&](const QString& key) { return click(support::button(bar, key)); };
    const auto start = placements();
    const auto shift = [](double x, double y) {
      return Eigen::Affine3d(Eigen::Translation3d(x, y, 0));
    };

    QVERIFY(press("Left"));
    QVERIFY(moved(start, shift(-2, 0)));
    QVERIFY(press("Right"));
    QVERIFY(moved(start, shift(0, 0)));
    for (int i = 0; i < 5; ++i) QVERIFY(press("Up"));
    QVERIFY(moved(start, shift(0, -10)));
    QVERIFY(press("Down"));
    QVERIFY(moved(start, shift(0, -8)));
    for (int i = 0; i < 4; ++i) QVERIFY(press("Down"));
    QVERIFY(press("Rot R"));
    QVERIFY(moved(start, reference::turn(2, Vec3::UnitZ())));
    // The heel at the turning point only turns.
    QVERIFY(centre(*form, 1).norm() < 1e-12);
    QVERIFY(press("Rot L"));
    QVERIFY(moved(start, Eigen::Affine3d::Identity()));
    QVERIFY(press("Rot L"));
    QVERIFY(moved(start, reference::turn(-2, Vec3::UnitZ())));
    QVERIFY(press("Rot R"));
    QVERIFY(press("Parameters"));
    QVERIFY(moved(start, Eigen::Affine3d::Identity()));

    // Told apart by the caption without its surrounding blanks, case and all.
    QAction* left = support::button(bar, "Left");
    left->setText("  Left ");
    QVERIFY(click(left));
    QVERIFY(moved(start, shift(-2, 0)));
    left->setText("left");
    QVERIFY(click(left));
    QVERIFY(moved(start, shift(-2, 0)));
    left->setText("Left");

    // "PRINT" hides the toolbar once the printout has returned.
    bool shownWhilePrinting = false;
    int printed = 0;
    view::Form1::PrintCommands spy;
    spy.printFullSize = [&](view::Form1& f) {
      ++printed;
      shownWhilePrinting = f.Toolbar2->isVisible();
    };
    view::Form1::setPrintCommands(spy);
    QVERIFY(press("PRINT"));
    QCOMPARE(printed, 1);
    QVERIFY(shownWhilePrinting);
    QVERIFY(!bar.isVisible() && !bar.isEnabled());

    bar.setEnabled(true);
    bar.setVisible(true);
    QVERIFY(press("Close"));
    QVERIFY(!bar.isVisible() && !bar.isEnabled());
    QCOMPARE(printed, 1);
    QVERIFY(moved(start, shift(-2, 0)));
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
    app::AppState& s = app::state();

    // Points placed, then aligned with a true heel-ball distance 4% longer, applied.
    placeByClicks(*form, marks(true));
    const double measured = (centre(*form, 2) - centre(*form, 1)).norm();
    Operator hand;
    hand.roll = "0";
    hand.distances = [&](printing::DForm& dform) {
      QTest::keyClicks(dform.Text4, QString::number(1.04 * s.HeelBallDist, 'f', 9));
      QTest::mouseClick(dform.Command7, Qt::LeftButton);
    };
    hand.start();
    support::clickButton(*form, "Align Lateral");
    QVERIFY(hand.sawDForm);
    hand.hand.stop();
    QVERIFY(std::abs((centre(*form, 2) - centre(*form, 1)).norm() - 1.04 * measured) < 1e-6);
    const auto model = form->KernelCAD1->Model();
    QCOMPARE(model->GetItem(model->GetItemCount() - 1)->name(), std::string("A4_Sheet"));
    QVERIFY(form->Toolbar2->isVisible());

    const Vec3 heelBefore = centre(*form, 1);
    support::clickButton(*form->Toolbar2, "Right");
    support::clickButton(*form->Toolbar2, "Down");
    QVERIFY((centre(*form, 1) - heelBefore - Vec3(2, 2, 0)).norm() < 1e-9);

    form->grab().save("/tmp/quarnel_road_form1.png");
    // The operator's clicks on the toolbar bring the foot window to the front, where the
    // printout captures it.
    form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form));
    // "PRINT": the bounding-box report, then Yes to "Print This Image?".
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
    paper.save("/tmp/quarnel_road_page.png");
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
