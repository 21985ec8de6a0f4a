#include "foot_view.h"

#include <QDir>
#include <QMenuBar>
#include <QTest>
#include <QToolBar>
#include <QVTKOpenGLNativeWidget.h>
#include <cmath>

#include "alignment/refpoints.h"
#include "app/forms.h"
#include "app/status.h"
#include "view/form1.h"

namespace support {

QStringList& statusLog() {
  static QStringList log;
  return log;
}

void recordStatus() {
  statusLog().clear();
  app::setStatusWriter([](const QString& text) { statusLog() << text; });
}

view::Form1* openFoot(const QString& fileName) {
  view::Form1& form = app::Forms::get<view::Form1>();
  form.KernelCAD1->setModelFile(QDir(QUARNEL_SAMPLES_DIR).filePath(fileName));
  return enlargeView(form) ? &form : nullptr;
}

bool enlargeView(view::Form1& form) {
  form.resize(1200, 900);
  form.mnuView2_Click();
  form.show();
  if (!QTest::qWaitForWindowExposed(&form)) return false;
  // The view's viewport follows the widget's size once the window has been laid out.
  kernelcad::KernelCAD* control = form.KernelCAD1;
  return QTest::qWaitFor([control] {
    return control->View()->viewportWidth() == control->renderWidget()->width() &&
           control->renderWidget()->width() > 1000;
  });
}

QPoint pixelOf(view::Form1& form, const kernelcad::Vec3& world) {
  const Eigen::Vector2d at = form.KernelCAD1->View()->worldToPixel(world);
  return {static_cast<int>(std::floor(at.x())), static_cast<int>(std::floor(at.y()))};
}

void clickView(view::Form1& form, const kernelcad::Vec3& world) {
  // Aimed as an operator aims: the point brought to the middle of the view and zoomed in to
  // about 0.1 mm a pixel, so the click lands within a few hundredths of a millimetre.
  kernelcad::View& view = *form.KernelCAD1->View();
  const auto frame = view.FindObject("EyeFrame");
  const kernelcad::Vec3 fitted = view.focalPoint() - frame->GetPosition();
  const kernelcad::Vec3 shift = world - fitted;
  frame->SetPosition(shift.x(), shift.y(), shift.z());
  if (view.halfHeight() > 40) view.zoomBy(view.halfHeight() / 40);
  form.KernelCAD1->Redraw();
  QTest::mouseClick(form.KernelCAD1->renderWidget(), Qt::LeftButton, Qt::NoModifier,
                    pixelOf(form, world));
}

QAction* button(QToolBar& bar, const QString& key) {
  for (QAction* action : bar.actions())
    if (alignment::buttonKey(*action) == key) return action;
  return nullptr;
}

QAction* button(view::Form1& form, const QString& key) { return button(*form.Toolbar1, key); }

void clickButton(QToolBar& bar, const QString& key) {
  QTest::mouseClick(bar.widgetForAction(button(bar, key)), Qt::LeftButton);
}

void clickButton(view::Form1& form, const QString& key) { clickButton(*form.Toolbar1, key); }

}  // namespace support
