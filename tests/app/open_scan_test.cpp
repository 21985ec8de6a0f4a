// The operator's road from start to a foot on screen: the program starts on its browser, a
// sample scan is clicked, "Right Foot" pressed, and the foot view shows the sole from below.

#include <QVTKOpenGLNativeWidget.h>

#include <QDir>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <memory>

#include "app/appstate.h"
#include "app/filelists.h"
#include "app/mainform.h"
#include "platform/msgbox.h"
#include "view/form1.h"
#include "window_test_support.h"

using app::Forms;
using app::MainForm;
using testing_support::clickItem;

namespace {

bool isBackground(QRgb pixel, QRgb background) {
  return qAbs(qRed(pixel) - qRed(background)) + qAbs(qGreen(pixel) - qGreen(background)) +
             qAbs(qBlue(pixel) - qBlue(background)) <
         24;
}

// Saves what the test saw, for a person to look at when it fails or when asked to.
void keep(const QImage& image, const QString& name) {
  const QString folder = qEnvironmentVariable("QUARNEL_SCREENSHOTS", QDir::tempPath());
  image.save(folder + "/" + name);
}

}  // namespace

class OpenScanTest : public QObject {
  Q_OBJECT

 private slots:
  void rightFootOpensSeenFromBelow() {
    platform::MsgBoxScript messages;
    // As main() starts the program.
    MainForm& main = Forms::get<MainForm>();
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    QVERIFY(clickItem(main.File1, "RightFoot.wrl"));
    QTest::mouseClick(main.Command2, Qt::LeftButton);
    keep(main.grab().toImage(), "quarnel-mainform.png");

    const QString path = QDir::cleanPath(app::samplesFolder()) + "/RightFoot.wrl";
    view::Form1* form = Forms::loaded<view::Form1>();
    QVERIFY(form);
    QVERIFY(QTest::qWaitForWindowExposed(form));
    QCOMPARE(form->windowTitle(), "Foot: " + path);
    QCOMPARE(main.statusPanel1->text(), "Fotrella: Foot  " + path);
    QVERIFY(messages.shown().empty());

    // The Bottom view: the viewer below the sole, +X to the right, +Y down the screen.
    const auto view = form->KernelCAD1->View();
    const Eigen::Matrix3d camera = view->FindObject("EyeFrame")->orientation();
    QVERIFY(camera.col(2).isApprox(kernelcad::Vec3(0, 0, -1), 1e-9));
    const auto foot = form->KernelCAD1->Model()->GetItem(0);
    const std::array<double, 6> b = foot->worldBounds();
    const Eigen::Vector2d lowX = view->worldToPixel({b[0], 0, 0});
    const Eigen::Vector2d highX = view->worldToPixel({b[3], 0, 0});
    const Eigen::Vector2d lowY = view->worldToPixel({0, b[1], 0});
    const Eigen::Vector2d highY = view->worldToPixel({0, b[4], 0});
    QVERIFY(highX.x() > lowX.x() + 100);
    QVERIFY(highY.y() > lowY.y() + 30);

    // Foot pixels where the geometry says: the heel and the middle of the sole are covered,
    // nearly every vertex lands on a foot pixel, and well outside the outline is background.
    QWidget* picture = form->KernelCAD1->renderWidget();
    const QPoint offset = picture->mapTo(form->KernelCAD1, QPoint(0, 0));
    QImage image;
    const auto at = [&](const Eigen::Vector2d& p) {
      return image.pixel(qRound(p.x()) + offset.x(), qRound(p.y()) + offset.y());
    };
    const auto inside = [&](const Eigen::Vector2d& p) {
      return image.rect().contains(qRound(p.x()) + offset.x(), qRound(p.y()) + offset.y());
    };
    const kernelcad::Vec3 heel(31.2, 0.0, 0.4);  // the generator's heel landmark, on the sole
    const kernelcad::Vec3 centre((b[0] + b[3]) / 2, (b[1] + b[4]) / 2, (b[2] + b[5]) / 2);
    const auto& points = foot->mesh()->points;
    const auto coverage = [&] {
      image = form->KernelCAD1->grab().toImage().convertToFormat(QImage::Format_RGB32);
      const QRgb background = image.pixel(2, image.height() - 3);
      if (isBackground(at(view->worldToPixel(heel)), background)) return 0.0;
      if (isBackground(at(view->worldToPixel(centre)), background)) return 0.0;
      int covered = 0;
      int tried = 0;
      for (std::size_t i = 0; i + 2 < points.size(); i += 3 * 997) {
        const auto p = view->worldToPixel(foot->transform() *
                                          kernelcad::Vec3(points[i], points[i + 1], points[i + 2]));
        if (!inside(p)) return 0.0;
        ++tried;
        covered += isBackground(at(p), background) ? 0 : 1;
      }
      return tried ? double(covered) / tried : 0.0;
    };
    // The picture as the test saw it, whatever the outcome.
    const auto saveOnExit = qScopeGuard([&] { keep(image, "quarnel-footview.png"); });
    QTRY_VERIFY_WITH_TIMEOUT(coverage() > 0.97, 15000);

    const QRgb background = image.pixel(2, image.height() - 3);
    const double margin = 25;
    const double left = std::min(lowX.x(), highX.x()) - margin;
    const double right = std::max(lowX.x(), highX.x()) + margin;
    const double top = std::min(lowY.y(), highY.y()) - margin;
    const double bottom = std::max(lowY.y(), highY.y()) + margin;
    const double midX = (left + right) / 2;
    const double midY = (top + bottom) / 2;
    for (const Eigen::Vector2d& outside :
         {Eigen::Vector2d(left, midY), Eigen::Vector2d(right, midY), Eigen::Vector2d(midX, top),
          Eigen::Vector2d(midX, bottom)}) {
      if (inside(outside)) QVERIFY(isBackground(at(outside), background));
    }
    keep(form->grab().toImage(), "quarnel-footview-window.png");
    Forms::destroyAll();
  }
};

QUARNEL_WINDOW_TEST_MAIN(OpenScanTest)
#include "open_scan_test.moc"
