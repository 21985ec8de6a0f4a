// The foot window's Measure menu: the windows' alignment and "Apply" followed by "Export
// True-Size PDF..." give the same spheres, scale and page as quarnel-scan print; a foot that
// would take hundreds of pages is refused by both commands before anything is written.

#include <QAction>
#include <QLineEdit>
#include <QPdfDocument>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "alignment/align_command.h"
#include "alignment/roll_angle_window.h"
#include "pdf_measure.h"
#include "platform/filedialog.h"
#include "platform/msgbox.h"
#include "platform/printer.h"
#include "printing/distances_window.h"
#include "printing/scaling.h"
#include "state/app_state.h"
#include "state/window_registry.h"
#include "view/foot_view_window.h"
#include "window_test_support.h"

class MeasureMenuTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    app::Forms::destroyAll();
    app::state() = app::AppState{};
  }
  void cleanup() {
    platform::Printer::setOutputOverride(QString());
    app::Forms::destroyAll();
  }
  void exportMatchesTheCommandLine();
  void hugeFootIsRefusedBeforeAnythingIsWritten();

 private:
  // The sample in the foot window with its spheres on the landmarks, as Place Points leaves it.
  view::Form1& footWithSpheres() {
    app::AppState& s = app::state();
    s.FootSide = "Left";
    s.ScanFile = "LeftFoot.wrl";
    s.ScanPath = sample::scan("Left");
    auto& form = app::Forms::get<view::Form1>();
    form.KernelCAD1->setModelFile(s.ScanPath);
    const auto at = sample::landmarks("Left");
    s.HeelX = at[0].x(), s.HeelY = at[0].y(), s.HeelZ = at[0].z();
    s.BallX = at[1].x(), s.BallY = at[1].y(), s.BallZ = at[1].z();
    s.AdjX = at[2].x(), s.AdjY = at[2].y(), s.AdjZ = at[2].z();
    for (std::size_t i = 0; i < 3; ++i)
      form.Draw_Sphere(at[i].x(), at[i].y(), at[i].z(), sample::kSpheres[i]);
    form.KernelCAD1->UpdateModel();
    form.show();
    return form;
  }

  QTemporaryDir dir_;
};

void MeasureMenuTest::exportMatchesTheCommandLine() {
  platform::MsgBoxScript messages;
  view::Form1& form = footWithSpheres();
  // The operator's answers in the two modal windows: roll 7.5, true heel-ball 170 mm, Apply.
  QTimer hand;
  bool rolled = false, applied = false;
  connect(&hand, &QTimer::timeout, [&] {
    if (auto* align = app::Forms::loaded<alignment::AlignForm>();
        align && align->isVisible() && !rolled) {
      rolled = true;
      align->Text1->setText("7.5");
      QTest::mouseClick(align->Command1, Qt::LeftButton);
    }
    if (auto* d = app::Forms::loaded<printing::DForm>(); d && d->isVisible() && !applied) {
      applied = true;
      d->Text4->setText("170");
      QTest::mouseClick(d->Command7, Qt::LeftButton);
    }
  });
  hand.start(10);
  alignment::Align_Foot(form, alignment::Axis::Lateral);
  hand.stop();
  QVERIFY(rolled && applied);

  const QString gui = dir_.filePath("gui.pdf");
  platform::SaveFileNameScript save;
  save.answer(dir_.filePath("gui"));  // no suffix: .pdf is added
  form.mnuTrueSizeExport->trigger();
  QCOMPARE(save.suggested().size(), std::size_t{1});
  QVERIFY(save.suggested()[0].endsWith("LeftFoot_TrueSize.pdf"));
  QVERIFY2(QFile::exists(gui),
           qPrintable(messages.shown().empty() ? QString() : messages.shown()[0].text));

  const sample::Outcome cli =
      sample::run(sample::printArgs("Left", {"--axis", "Lateral", "--roll", "7.5", "--true",
                                             "heel-ball=170", "--out", dir_.path()}));
  QCOMPARE(cli.exitCode, 0);
  const QJsonObject summary = QJsonDocument::fromJson(cli.out.toUtf8()).object();

  const kernelcad::Model& model = *form.KernelCAD1->Model();
  QVERIFY(qAbs(summary["scale_factor"].toDouble() - printing::Applied_Scale(model)) < 1e-12);

  // Page for page, the same picture.
  const QString cliPdf = summary["pdf"].toString();
  const int pages = summary["pages"].toInt();
  QPdfDocument guiDoc;
  guiDoc.load(gui);
  QVERIFY(pages >= 1);
  QCOMPARE(guiDoc.pageCount(), pages);
  for (int page = 0; page < pages; ++page) {
    const QRectF a4(0, 0, 297, 210);
    const QImage a = measure::render(gui, page, a4, 4).image;
    const QImage b = measure::render(cliPdf, page, a4, 4).image;
    QCOMPARE(a.size(), b.size());
    int differing = 0;
    for (int y = 0; y < a.height(); ++y)
      for (int x = 0; x < a.width(); ++x)
        differing += qAbs(qGray(a.pixel(x, y)) - qGray(b.pixel(x, y))) > 40;
    QVERIFY2(differing < 20, qPrintable(QString::number(differing)));
  }
}

void MeasureMenuTest::hugeFootIsRefusedBeforeAnythingIsWritten() {
  view::Form1& form = footWithSpheres();
  // The scan in micrometres, read as millimetres: a foot 260 m long.
  printing::Apply_Scale(*form.KernelCAD1->Model(), 1000);
  const QString pdf = dir_.filePath("huge.pdf");
  platform::Printer::setOutputOverride(pdf);
  for (QAction* command : {form.mnuTrueSizePrint, form.mnuTrueSizeExport}) {
    platform::MsgBoxScript messages;
    platform::PrintDialogScript dialog;
    platform::SaveFileNameScript save;
    save.answer(pdf);
    command->trigger();
    QCOMPARE(messages.shown().size(), std::size_t{1});
    QVERIFY2(messages.shown()[0].text.contains("at most 9."), qPrintable(messages.shown()[0].text));
    QVERIFY(!QFile::exists(pdf));
  }
}

QUARNEL_WINDOW_TEST_MAIN(MeasureMenuTest)
#include "measure_menu_test.moc"
