// The 3D view control on a real window with real (software) OpenGL rendering.
#include "kernelcad/widget/kernelcad.h"

#include <QVTKOpenGLNativeWidget.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QSurfaceFormat>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>

#include <vtkActor.h>
#include <vtkCellArray.h>
#include <vtkFloatArray.h>
#include <vtkNew.h>
#include <vtkPolyData.h>
#include <vtkProperty.h>
#include <vtkRenderWindow.h>
#include <vtkRenderer.h>
#include <vtkTypeInt32Array.h>
#include <vtkUnsignedCharArray.h>

#include "footgen/footgen.h"
#include "kernelcad/render/triangle_mapper.h"

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

}  // namespace

class KernelCADTest : public QObject {
  Q_OBJECT

 private slots:
  void clickReportsItsPixelAndADragIsNoClick();
  void unreadableScanLeavesTheSceneAsItWas();
  void aLoadTakesAReadAheadOnlyOfTheFileAsItIs();
  void largeScanMovesOnAStandInAndRestsAndPicksOnTheFullMesh();
  void triangleMapperDrawsWhatTheGeneralMapperDraws();
};

// A click reaches the handler once, as button 1 at the twips of the device pixel clicked (a
// fraction of the window's pixels on a scaled screen); beside the foot nothing is picked and the
// point stays; a drag turns the view and is no click.
void KernelCADTest::clickReportsItsPixelAndADragIsNoClick() {
  KernelCAD view;
  view.resize(400, 300);
  view.show();
  QVERIFY(QTest::qWaitForWindowExposed(&view));
  view.setModelFile(samplePath("LeftFoot.wrl"));
  turnToBottom(view);
  QSignalSpy clicks(&view, &KernelCAD::MouseEvent);
  const qreal ratio = view.devicePixelRatioF();
  QCOMPARE(view.View()->viewportHeight(), qRound(view.renderWidget()->height() * ratio));
  QTest::mouseClick(view.renderWidget(), Qt::LeftButton, Qt::NoModifier, QPoint(100, 80));
  QCOMPARE(clicks.count(), 1);
  const auto args = clicks.takeFirst();
  QCOMPARE(args.at(0).value<short>(), short(1));
  const QPointF viewPixel = view.twipsToViewPixels(args.at(2).toFloat(), args.at(3).toFloat());
  QCOMPARE(std::lround(viewPixel.x()), std::lround(100 * ratio));
  QCOMPARE(std::lround(viewPixel.y()), std::lround(80 * ratio));

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
  view.setModelFile(samplePath("RightFoot.wrl"));
  const auto mesh = view.Model()->GetItem(0);
  QTemporaryDir dir;
  QFile broken(dir.filePath("Broken.wrl"));
  QVERIFY(broken.open(QIODevice::WriteOnly));
  broken.write("#VRML V2.0 utf8\nShape { geometry IndexedFaceSet { coord Coordinate { point [ 0 0");
  broken.close();
  for (const char* name : {"Broken.wrl", "Missing.wrl"}) {
    try {
      view.setModelFile(dir.filePath(name));
      QFAIL(name);
    } catch (const kernelcad::KernelCADError& e) {
      QVERIFY2(QString(e.what()).contains(name), e.what());
    }
  }
  QCOMPARE(view.Model()->GetItemCount(), 1L);
  QVERIFY(view.Model()->GetItem(0) == mesh);
  QCOMPARE(view.ModelFile(), samplePath("RightFoot.wrl"));
}

// A read started ahead serves the load of that file as it still is; a file replaced since (the
// samples differ in size) is read again.
void KernelCADTest::aLoadTakesAReadAheadOnlyOfTheFileAsItIs() {
  QTemporaryDir dir;
  const QString path = dir.filePath("Scan.wrl");
  QVERIFY(QFile::copy(samplePath("LeftFoot.wrl"), path));
  KernelCAD view;
  KernelCAD::readAhead(path);
  view.setModelFile(path);
  const auto left = view.Model()->GetItem(0)->mesh();
  QCOMPARE(left->pointCount(), footgen::GenerateFoot(footgen::Side::Left).mesh.pointCount());
  KernelCAD::readAhead(path);
  QVERIFY(QFile::remove(path) && QFile::copy(samplePath("RightFoot.wrl"), path));
  view.setModelFile(path);
  QVERIFY(view.Model()->GetItem(0)->mesh()->points != left->points);
}

void KernelCADTest::largeScanMovesOnAStandInAndRestsAndPicksOnTheFullMesh() {
  // Large enough for the stand-in: half a million triangles.
  const footgen::Foot foot =
      footgen::GenerateFoot(footgen::Side::Left, footgen::ResolutionForVertices(250'000));
  KernelCAD view;
  view.resize(400, 300);
  view.show();
  QVERIFY(QTest::qWaitForWindowExposed(&view));
  view.Model()->setScan(std::make_shared<const kernelcad::Mesh>(foot.mesh));
  view.View()->fit();
  turnToBottom(view);
  // Right from the first pick, built locator or not, and on a foot turned and shifted since.
  auto mesh = view.Model()->GetItem(0);
  for (const Vec3& mark : {foot.landmarks.heel, foot.landmarks.ball}) {
    const Vec3 at = mesh->transform() * mark;
    const auto px = view.View()->worldToPixel(at);
    Vec3 point(0, 0, 0);
    QVERIFY(view.View()->PickPoint(static_cast<long>(px.x()), static_cast<long>(px.y()), point));
    QVERIFY2((point - at).norm() < 1.0, qPrintable(QString::number((point - at).norm())));
    mesh->Rotate(90.0, 0, 0, 0, 0, 0, 1);
    mesh->Translate(5, 10, 0);
    view.UpdateModel();
  }

  // A move draws the stand-in, back to the full mesh by itself after a moment, or at once when
  // asked, as a capture does.
  const auto picture = [&view] { return view.grab().toImage(); };
  const QImage atRest = picture();
  // The stand-in is made once a frame is on screen: a move before that draws the full mesh.
  QTRY_VERIFY_WITH_TIMEOUT((view.Redraw(), picture() != atRest), 10000);
  QTRY_VERIFY_WITH_TIMEOUT(picture() == atRest, 10000);
  view.Redraw();
  view.settle();
  QCOMPARE(picture(), atRest);
}

// The scan's own mapper hands its triangles over as they are; every picture must be the general
// mapper's, pixel for pixel, shaded and in wireframe, each again after the other.
void KernelCADTest::triangleMapperDrawsWhatTheGeneralMapperDraws() {
  kernelcad::Mesh mesh =
      footgen::GenerateFoot(footgen::Side::Right, footgen::ResolutionForVertices(20'000)).mesh;
  vtkNew<vtkFloatArray> coords;
  coords->SetNumberOfComponents(3);
  coords->SetArray(mesh.points.data(), static_cast<vtkIdType>(mesh.points.size()), 1);
  vtkNew<vtkPoints> points;
  points->SetData(coords);
  vtkNew<vtkTypeInt32Array> corners;
  corners->SetArray(mesh.triangles.data(), static_cast<vtkIdType>(mesh.triangles.size()), 1);
  vtkNew<vtkCellArray> triangles;
  triangles->SetData(3, corners);
  vtkNew<vtkPolyData> poly;
  poly->SetPoints(points);
  poly->SetPolys(triangles);

  const auto draw = [&poly](vtkPolyDataMapper* mapper, const std::vector<int>& representations) {
    mapper->SetInputData(poly);
    vtkNew<vtkActor> actor;
    actor->SetMapper(mapper);
    vtkNew<vtkRenderer> renderer;
    renderer->AddActor(actor);
    vtkNew<vtkRenderWindow> window;
    window->SetOffScreenRendering(1);
    window->SetSize(240, 240);
    window->AddRenderer(renderer);
    renderer->ResetCamera();
    std::vector<std::vector<unsigned char>> pictures;
    for (const int representation : representations) {
      actor->GetProperty()->SetRepresentation(representation);
      window->Render();
      vtkNew<vtkUnsignedCharArray> pixels;
      window->GetPixelData(0, 0, 239, 239, 0, pixels);
      const auto* first = pixels->GetPointer(0);
      pictures.emplace_back(first, first + pixels->GetNumberOfValues());
    }
    return pictures;
  };
  const std::vector<int> representations = {VTK_SURFACE, VTK_WIREFRAME, VTK_SURFACE,
                                            VTK_WIREFRAME};
  const auto general = draw(vtkNew<vtkPolyDataMapper>(), representations);
  const auto ours = draw(vtkNew<kernelcad::TriangleMeshMapper>(), representations);
  // Something is drawn: the foot covers a good part of the picture.
  const auto background = general[0][0];
  QVERIFY(std::count_if(general[0].begin(), general[0].end(),
                        [&](unsigned char v) { return v != background; }) > 240 * 240 / 4);
  for (std::size_t i = 0; i < representations.size(); ++i) QVERIFY(ours[i] == general[i]);
}

int main(int argc, char** argv) {
  QApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QSurfaceFormat::setDefaultFormat(QVTKOpenGLNativeWidget::defaultFormat());
  QApplication app(argc, argv);
  KernelCADTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "kernelcad_test.moc"
