// The windows at the screen scale the test runs with (QT_SCALE_FACTOR): spheres placed and moved
// by clicks land on the sample scans' landmarks, and the About window's link areas lie over the
// addresses its picture draws.

#include <QTest>
#include <QToolBar>
#include <map>

#include "foot_view.h"
#include "help/about_window.h"
#include "pdf_measure.h"
#include "state/app_state.h"
#include "state/window_registry.h"
#include "view/foot_view_window.h"
#include "window_test_support.h"

using kernelcad::Vec3;

namespace {

// The scale this run was started with; checked, so a run never passes at the wrong one.
qreal requestedScale() {
  const QByteArray scale = qgetenv("QT_SCALE_FACTOR");
  return scale.isEmpty() ? 1.0 : scale.toDouble();
}

// The addresses are written in pure blue, unlike anything else in the picture.
bool addressInk(QRgb c) { return qBlue(c) > 150 && qRed(c) < 90 && qGreen(c) < 60; }

}  // namespace

class ScreenScaleTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<platform::MsgBoxScript> messages_;

 private slots:
  void init() { messages_ = support::freshState(); }

  void cleanup() {
    app::Forms::destroyAll();
    messages_.reset();
  }

  void clickedSpheresLandOnTheLandmarks_data() {
    QTest::addColumn<QString>("side");
    QTest::newRow("left") << "Left";
    QTest::newRow("right") << "Right";
  }

  void clickedSpheresLandOnTheLandmarks() {
    QFETCH(QString, side);
    view::Form1* form = support::openFoot(side + "Foot.wrl");
    QVERIFY(form);
    QCOMPARE(form->devicePixelRatioF(), requestedScale());
    const auto at = sample::landmarks(side);
    support::placeByClicks(*form, {at[0], at[1], at[2]});
    QCOMPARE(form->KernelCAD1->Model()->GetItemCount(), 4L);
    const auto missBy = [&](long item, const Vec3& landmark) {
      return (support::centre(*form, item) - landmark).norm();
    };
    for (long i = 1; i <= 3; ++i)
      QVERIFY2(missBy(i, at[i - 1]) < 0.5, qPrintable(QString::number(missBy(i, at[i - 1]))));

    // The move tool converts its click the same way: the adjacent sphere to the ball and back.
    for (const Vec3& target : {at[1], at[2]}) {
      support::clickButton(*form, "Move Adjacent");
      support::clickView(*form, target);
      QVERIFY2(missBy(3, target) < 0.5, qPrintable(QString::number(missBy(3, target))));
    }
  }

  void aboutLinkAreasLieOverTheirAddresses() {
    help::showAbout();
    auto* about = app::Forms::loaded<help::AboutForm>();
    QVERIFY(about && QTest::qWaitForWindowExposed(about));
    const qreal ratio = about->devicePixelRatioF();
    QCOMPARE(ratio, requestedScale());
    // Every pixel of address ink the screen shows lies in a link area, and each area has its
    // address under it.
    const QImage screen = about->grab().toImage();
    QCOMPARE(screen.size(), about->size() * ratio);
    std::map<QWidget*, int> ink;
    for (int y = 0; y < screen.height(); ++y)
      for (int x = 0; x < screen.width(); ++x)
        if (addressInk(screen.pixel(x, y)))
          ++ink[about->childAt(QPointF(x / ratio, y / ratio).toPoint())];
    QCOMPARE(ink.size(), std::size_t{3});
    for (QWidget* area : {about->Label4, about->Label5, about->Label6}) QVERIFY(ink[area] > 100);
  }
};

QUARNEL_WINDOW_TEST_MAIN(ScreenScaleTest)
#include "screen_scale_test.moc"
