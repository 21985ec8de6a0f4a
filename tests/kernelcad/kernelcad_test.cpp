// The 3D view control on a real window with real (software) OpenGL rendering.
#include "kernelcad/widget/kernelcad.h"

#include <QVTKOpenGLNativeWidget.h>

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QSurfaceFormat>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>

#include "footgen/footgen.h"

using kernelcad::KernelCAD;
using kernelcad::Vec3;

namespace {

QString samplePath(const char* name) { return QDir(QUARNEL_SAMPLES_DIR).filePath(name); }

void turnToBottom(KernelCAD& view) {
  auto frame = view.View()->FindObject("EyeFrame");
  frame->ResetOrientation();
  frame->SetPosition(0, 0, 0);
  frame->RotateAboutAxis(180.0, 1);
  frame->RotateAboutAxis(180.0, 2);
  view.Redraw();
}

// Background is the one colour the renderer clears to; anything else was drawn.
bool isBackground(QRgb c) {
  return std::abs(qRed(c) - 84) <= 2 && std::abs(qGreen(c) - 92) <= 2 &&
         std::abs(qBlue(c) - 115) <= 2;
}

const footgen::Foot& leftFoot() {
  static const footgen::Foot foot = footgen::GenerateFoot(footgen::Side::Left);
  return foot;
}

}  // namespace

class KernelCADTest : public QObject {
  Q_OBJECT

 private slots:
  void bottomViewDrawsTheFootWhereTheGeometryPutsIt();
  void clickOnALandmarkPicksItBack();
  void unreadableScanLeavesTheSceneAsItWas();
};

void KernelCADTest::bottomViewDrawsTheFootWhereTheGeometryPutsIt() {
  KernelCAD view;
  view.resize(300, 300);
  view.show();
  QVERIFY(QTest::qWaitForWindowExposed(&view));
  view.setModelFile(samplePath("LeftFoot.wrl"));
  QCOMPARE(view.Model()->GetItemCount(), 1L);
  turnToBottom(view);
  QCOMPARE(view.View()->viewportWidth(), 300);
  const QImage image = view.grab().toImage().convertToFormat(QImage::Format_RGB32);
  QCOMPARE(image.size(), QSize(300, 300));

  // Where the projected vertices fall, the picture must show the foot, and the foot's pixels
  // must lie where vertices fall (one pixel of slack for edges).
  const auto& mesh = leftFoot().mesh;
  QImage expected(300, 300, QImage::Format_Grayscale8);
  expected.fill(0);
  for (std::size_t i = 0; i < mesh.points.size(); i += 3) {
    const auto px =
        view.View()->worldToPixel(Vec3(mesh.points[i], mesh.points[i + 1], mesh.points[i + 2]));
    const int x = static_cast<int>(std::floor(px.x()));
    const int y = static_cast<int>(std::floor(px.y()));
    for (int dy = -1; dy <= 1; ++dy) {
      for (int dx = -1; dx <= 1; ++dx) {
        if (expected.valid(x + dx, y + dy)) expected.setPixel(x + dx, y + dy, 255);
      }
    }
  }
  int footPixels = 0, strayPixels = 0;
  for (int y = 0; y < 300; ++y) {
    for (int x = 0; x < 300; ++x) {
      if (isBackground(image.pixel(x, y))) continue;
      ++footPixels;
      if (qGray(expected.pixel(x, y)) == 0) ++strayPixels;
    }
  }
  if (strayPixels > footPixels / 100)
    image.save(QDir::temp().filePath("kernelcad_bottom_actual.png"));
  QVERIFY2(footPixels > 5000, qPrintable(QString::number(footPixels)));
  QVERIFY2(strayPixels <= footPixels / 100,
           qPrintable(QString("%1 of %2").arg(strayPixels).arg(footPixels)));
  // From below, the heel is on the left and the big toe of a left foot (+Y) toward the bottom.
  const auto heel = view.View()->worldToPixel(leftFoot().landmarks.heel);
  const auto ball = view.View()->worldToPixel(leftFoot().landmarks.ball);
  const auto adjacent = view.View()->worldToPixel(leftFoot().landmarks.adjacent);
  QVERIFY(heel.x() < 100 && ball.x() > 170);
  QVERIFY(ball.y() > adjacent.y());
  for (const auto& p : {heel, ball, adjacent}) {
    QVERIFY(!isBackground(image.pixel(static_cast<int>(p.x()), static_cast<int>(p.y()))));
  }
  QVERIFY(isBackground(image.pixel(5, 5)));
  QVERIFY(isBackground(image.pixel(150, 20)));

  // An item added and then only redrawn shows too: the sheet behind the sole turns the
  // background white around the foot.
  auto sheet = view.Model()->AddPolygon(-50, -105, 50, 247, -105, 50, 247, 105, 50, -50, 105, 50);
  for (int component = 0; component < 3; ++component) sheet->SetColour(component, 1.0f, 1.0f, 1.0f);
  view.Redraw();
  const QImage withSheet = view.grab().toImage().convertToFormat(QImage::Format_RGB32);
  const auto besideFoot = view.View()->worldToPixel(Vec3(130, -80, 50));
  const QPoint at(static_cast<int>(besideFoot.x()), static_cast<int>(besideFoot.y()));
  QVERIFY(image.valid(at) && isBackground(image.pixel(at)));
  const QRgb c = withSheet.pixel(at);
  QVERIFY2(qRed(c) > 200 && qGreen(c) > 200 && qBlue(c) > 200, qPrintable(QString::number(c, 16)));
}

void KernelCADTest::clickOnALandmarkPicksItBack() {
  KernelCAD view;
  view.resize(QSize(900, 700) / view.devicePixelRatioF());
  view.show();
  QVERIFY(QTest::qWaitForWindowExposed(&view));
  view.setModelFile(samplePath("LeftFoot.wrl"));
  turnToBottom(view);
  QSignalSpy clicks(&view, &KernelCAD::MouseEvent);
  const qreal ratio = view.devicePixelRatioF();
  QCOMPARE(view.View()->viewportHeight(), qRound(view.renderWidget()->height() * ratio));

  const auto& marks = leftFoot().landmarks;
  for (const Vec3& landmark : {marks.heel, marks.ball, marks.adjacent}) {
    // The view counts device pixels; a click on one reaches the window at a fraction of its
    // own pixels when the screen is scaled.
    const Eigen::Vector2d at = view.View()->worldToPixel(landmark);
    const QPoint pixel(static_cast<int>(std::floor(at.x())), static_cast<int>(std::floor(at.y())));
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
      QMouseEvent click(type, QPointF(pixel) / ratio, Qt::LeftButton,
                        type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                        Qt::NoModifier);
      QApplication::sendEvent(view.renderWidget(), &click);
    }
    QCOMPARE(clicks.count(), 1);
    const auto args = clicks.takeFirst();
    QCOMPARE(args.at(0).value<short>(), short(1));
    // Twips back to view pixels, as a click handler does.
    const QPointF viewPixel = view.twipsToViewPixels(args.at(2).toFloat(), args.at(3).toFloat());
    const long px = std::lround(viewPixel.x());
    const long py = std::lround(viewPixel.y());
    QCOMPARE(px, long(pixel.x()));
    QCOMPARE(py, long(pixel.y()));
    Vec3 point(0, 0, 0);
    auto item = view.View()->PickPoint(px, py, point);
    QVERIFY(item == view.Model()->GetItem(0));
    QVERIFY2((point - landmark).norm() < 0.5,
             qPrintable(QString::number((point - landmark).norm())));
  }

  // Beside the foot nothing is hit and the point stays as it was; a drag is not a click.
  Vec3 untouched(1, 2, 3);
  QVERIFY(!view.View()->PickPoint(3, 3, untouched));
  QCOMPARE(untouched, Vec3(1, 2, 3));
  QTest::mousePress(view.renderWidget(), Qt::LeftButton, Qt::NoModifier, QPoint(100, 100));
  // Qt 5's QTest::mouseMove moves the X cursor and lets the server deliver the motion later;
  // the event itself arrives at once.
  QMouseEvent move(QEvent::MouseMove, QPointF(160, 120), Qt::NoButton, Qt::LeftButton,
                   Qt::NoModifier);
  QApplication::sendEvent(view.renderWidget(), &move);
  QTest::mouseRelease(view.renderWidget(), Qt::LeftButton, Qt::NoModifier, QPoint(160, 120));
  QCOMPARE(clicks.count(), 0);
  QVERIFY(!view.View()
               ->FindObject("EyeFrame")
               ->orientation()
               .isApprox(Eigen::Matrix3d(Eigen::Vector3d(1, -1, -1).asDiagonal())));
}

void KernelCADTest::unreadableScanLeavesTheSceneAsItWas() {
  KernelCAD view;
  view.resize(300, 300);
  view.setModelFile(samplePath("RightFoot.wrl"));
  const auto mesh = view.Model()->GetItem(0);
  QTemporaryDir dir;
  const QString broken = dir.filePath("Broken.wrl");
  QFile file(broken);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(
      "#VRML V2.0 utf8\nShape { geometry IndexedFaceSet { coord Coordinate { point [ 0 0 0, 1 0 0");
  file.close();
  try {
    view.setModelFile(broken);
    QFAIL("a truncated scan was accepted");
  } catch (const kernelcad::KernelCADError& e) {
    QVERIFY2(QString(e.what()).contains("Broken.wrl"), e.what());
  }
  QCOMPARE(view.Model()->GetItemCount(), 1L);
  QVERIFY(view.Model()->GetItem(0) == mesh);
  QCOMPARE(view.ModelFile(), samplePath("RightFoot.wrl"));
  QVERIFY_EXCEPTION_THROWN(view.setModelFile(dir.filePath("Missing.wrl")),
                           kernelcad::KernelCADError);
}

int main(int argc, char** argv) {
  QApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QSurfaceFormat::setDefaultFormat(QVTKOpenGLNativeWidget::defaultFormat());
  QApplication app(argc, argv);
  KernelCADTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "kernelcad_test.moc"
