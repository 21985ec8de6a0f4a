#include "foot_view.h"

#include <QVTKOpenGLNativeWidget.h>

#include <QDir>
#include <QMenuBar>
#include <QTest>
#include <QToolBar>
#include <cmath>

#include "alignment/reference_toolbar.h"
#include "state/app_state.h"
#include "state/status_line.h"
#include "state/window_registry.h"
#include "view/foot_view_window.h"

namespace support {

std::unique_ptr<platform::MsgBoxScript> freshState() {
  app::Forms::destroyAll();
  app::state() = app::AppState{};
  statusLog().clear();
  app::setStatusWriter([](const QString& text) { statusLog() << text; });
  return std::make_unique<platform::MsgBoxScript>();
}

QStringList& statusLog() {
  static QStringList log;
  return log;
}

view::Form1* openFoot(const QString& fileName) {
  view::Form1& form = app::Forms::get<view::Form1>();
  form.KernelCAD1->setModelFile(QDir(QUARNEL_SAMPLES_DIR).filePath(fileName));
  // 1200 x 900 device pixels, whatever the screen's scale: it fits a scaled screen too.
  const qreal ratio = form.devicePixelRatioF();
  form.resize(qRound(1200 / ratio), qRound(900 / ratio));
  form.mnuView2_Click();
  form.show();
  if (!QTest::qWaitForWindowExposed(&form)) return nullptr;
  // The view's viewport (device pixels) follows the widget's size once the window is laid out.
  kernelcad::KernelCAD* control = form.KernelCAD1;
  const bool laidOut = QTest::qWaitFor([control, ratio] {
    const int width = control->View()->viewportWidth();
    return width == qRound(control->renderWidget()->width() * ratio) && width > 1000;
  });
  return laidOut ? &form : nullptr;
}

const footgen::Landmarks& marks(bool left) {
  static const footgen::Landmarks l = footgen::GenerateFoot(footgen::Side::Left).landmarks;
  static const footgen::Landmarks r = footgen::GenerateFoot(footgen::Side::Right).landmarks;
  return left ? l : r;
}

kernelcad::Vec3 centre(view::Form1& form, long item) {
  return form.KernelCAD1->Model()->GetItem(item)->GetPosition();
}

void clickView(view::Form1& form, const kernelcad::Vec3& world) {
  // Aimed as an operator aims: the point brought to the middle of the view and zoomed in to
  // about 0.1 mm a pixel, so the click lands within a few hundredths of a millimetre.
  kernelcad::View& view = *form.KernelCAD1->View();
  const auto frame = view.FindObject("EyeFrame");
  const kernelcad::Vec3 shift = world - (view.focalPoint() - frame->GetPosition());
  frame->SetPosition(shift.x(), shift.y(), shift.z());
  if (view.halfHeight() > 40) view.zoomBy(view.halfHeight() / 40);
  form.KernelCAD1->Redraw();
  // The view's pixels are device pixels; the mouse moves in the window's.
  const Eigen::Vector2d at = view.worldToPixel(world) / form.KernelCAD1->devicePixelRatioF();
  QTest::mouseClick(
      form.KernelCAD1->renderWidget(), Qt::LeftButton, Qt::NoModifier,
      QPoint(static_cast<int>(std::floor(at.x())), static_cast<int>(std::floor(at.y()))));
}

void drawSpheres(view::Form1& form, const footgen::Landmarks& at, int count) {
  app::AppState& s = app::state();
  s.HeelX = at.heel.x(), s.HeelY = at.heel.y(), s.HeelZ = at.heel.z();
  s.BallX = at.ball.x(), s.BallY = at.ball.y(), s.BallZ = at.ball.z();
  s.AdjX = at.adjacent.x(), s.AdjY = at.adjacent.y(), s.AdjZ = at.adjacent.z();
  const kernelcad::Vec3 p[] = {at.heel, at.ball, at.adjacent};
  const char* names[] = {"HeelRef", "BallRef", "AdjRef"};
  for (int i = 0; i < count; ++i) form.Draw_Sphere(p[i].x(), p[i].y(), p[i].z(), names[i]);
}

void alignFoot(view::Form1& form) {
  QMenuBar* bar = form.menuBar();
  QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(form.mnuAlign).center());
}

void placeByClicks(view::Form1& form, const footgen::Landmarks& at) {
  alignFoot(form);
  clickButton(form, "Place Heel");
  clickView(form, at.heel);
  clickButton(form, "Place Ball");
  clickView(form, at.ball);
  clickButton(form, "Place Adjacent");
  clickView(form, at.adjacent);
}

void clickButton(QToolBar& bar, const QString& key) {
  for (QAction* action : bar.actions())
    if (alignment::buttonKey(*action) == key)
      return QTest::mouseClick(bar.widgetForAction(action), Qt::LeftButton);
  QFAIL(qPrintable("no button " + key));
}

void clickButton(view::Form1& form, const QString& key) { clickButton(*form.Toolbar1, key); }

}  // namespace support
