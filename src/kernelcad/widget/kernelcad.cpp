#include "kernelcad/widget/kernelcad.h"

#include <QVTKOpenGLNativeWidget.h>
#include <vtkGenericOpenGLRenderWindow.h>
#include <vtkRenderer.h>

#include <QMouseEvent>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <cmath>
#include <numbers>

#include "kernelcad/core/vrml_reader.h"
#include "kernelcad/render/scene_renderer.h"

namespace kernelcad {

namespace {

// A press and release closer than this many pixels is a click, not a drag.
constexpr int kClickSlop = 3;
// Degrees the view turns per pixel of a left drag.
constexpr double kTurnPerPixel = 0.4;

short buttonCode(Qt::MouseButton button) {
  switch (button) {
    case Qt::LeftButton:
      return 1;
    case Qt::RightButton:
      return 2;
    case Qt::MiddleButton:
      return 4;
    default:
      return 0;
  }
}

short shiftCode(Qt::KeyboardModifiers modifiers) {
  short code = 0;
  if (modifiers & Qt::ShiftModifier) code |= 1;
  if (modifiers & Qt::ControlModifier) code |= 2;
  if (modifiers & Qt::AltModifier) code |= 4;
  return code;
}

}  // namespace

KernelCAD::KernelCAD(QWidget* parent)
    : QWidget(parent),
      model_(std::make_shared<kernelcad::Model>()),
      view_(std::make_shared<kernelcad::View>(model_)) {
  vtkWidget_ = new QVTKOpenGLNativeWidget(this);
  vtkWidget_->setObjectName("KernelCADView");
  vtkNew<vtkGenericOpenGLRenderWindow> window;
  vtkWidget_->setRenderWindow(window);
  // The picture is drawn in device pixels; text in it (axis names, captions) is sized for the
  // screen's scale, so it reads as large as the window's own text.
  vtkWidget_->setEnableHiDPI(true);
  renderer_ = std::make_unique<SceneRenderer>(model_, view_);
  window->AddRenderer(renderer_->renderer());
  // The control does its own navigation; VTK's interactor styles would fight the scene model.
  if (window->GetInteractor()) window->GetInteractor()->SetInteractorStyle(nullptr);
  vtkWidget_->installEventFilter(this);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(vtkWidget_);
  syncViewport();
}

KernelCAD::~KernelCAD() {
  // Drop the renderer from the window before either goes, so VTK releases its graphics
  // resources while the OpenGL context still exists.
  if (auto* window = vtkWidget_->renderWindow()) window->RemoveRenderer(renderer_->renderer());
}

void KernelCAD::setModelFile(const QString& path) {
  VrmlScan scan;
  try {
    scan = ReadVrmlFile(path.toStdString());
  } catch (const VrmlError& e) {
    throw KernelCADError("Cannot load " + path.toStdString() + ": " + e.what());
  }
  model_->setScan(std::make_shared<const Mesh>(std::move(scan.mesh)));
  modelFile_ = path;
  syncViewport();
  view_->fit();
  UpdateModel();
}

void KernelCAD::setShowAxes(bool show) {
  showAxes_ = show;
  renderer_->setShowAxes(show);
}

void KernelCAD::UpdateModel() {
  renderer_->rebuild(shaded_);
  vtkWidget_->renderWindow()->Render();
  vtkWidget_->update();
}

void KernelCAD::Redraw() {
  renderer_->sync();
  vtkWidget_->renderWindow()->Render();
  vtkWidget_->update();
}

double KernelCAD::twipsPerPixelX() const { return 1440.0 / logicalDpiX(); }
double KernelCAD::twipsPerPixelY() const { return 1440.0 / logicalDpiY(); }

QPointF KernelCAD::twipsToViewPixels(double x, double y) const {
  const qreal ratio = vtkWidget_->devicePixelRatioF();
  return {x / twipsPerPixelX() * ratio, y / twipsPerPixelY() * ratio};
}

void KernelCAD::syncViewport() {
  const qreal ratio = vtkWidget_->devicePixelRatioF();
  view_->setViewportSize(static_cast<int>(std::lround(vtkWidget_->width() * ratio)),
                         static_cast<int>(std::lround(vtkWidget_->height() * ratio)));
}

void KernelCAD::zoomView(double factor) {
  try {
    view_->zoomBy(factor);
  } catch (const KernelCADError&) {
    // The mouse has reached the zoom limit: the view simply stops there.
  }
}

void KernelCAD::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  syncViewport();
  renderer_->sync();
}

bool KernelCAD::eventFilter(QObject* watched, QEvent* event) {
  if (watched != vtkWidget_) return QWidget::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::Resize:
      syncViewport();
      renderer_->sync();
      return false;
    case QEvent::MouseButtonPress: {
      auto* e = static_cast<QMouseEvent*>(event);
      pressButton_ = e->button();
      pressPos_ = lastPos_ = e->pos();
      dragging_ = false;
      return true;
    }
    case QEvent::MouseMove: {
      auto* e = static_cast<QMouseEvent*>(event);
      if (pressButton_ == Qt::NoButton) return true;
      if (!dragging_ && (e->pos() - pressPos_).manhattanLength() < kClickSlop) return true;
      if (!dragging_) renderer_->setInteracting(true);
      dragging_ = true;
      const QPoint d = e->pos() - lastPos_;
      lastPos_ = e->pos();
      auto frame = view_->FindObject("EyeFrame");
      const Eigen::Matrix3d m = frame->orientation();
      if (pressButton_ == Qt::LeftButton) {
        // Turn about the camera's own up and right axes, so the model follows the hand.
        const Eigen::AngleAxisd yaw(-d.x() * kTurnPerPixel * std::numbers::pi / 180.0, m.col(1));
        const Eigen::AngleAxisd pitch(-d.y() * kTurnPerPixel * std::numbers::pi / 180.0, m.col(0));
        frame->setOrientation((pitch * yaw).toRotationMatrix() * m);
      } else if (pressButton_ == Qt::RightButton) {
        zoomView(std::pow(1.01, -d.y()));
      } else if (pressButton_ == Qt::MiddleButton) {
        const double mmPerPixel = 2.0 * view_->halfHeight() / std::max(1, vtkWidget_->height());
        const Vec3 shift = m.col(0) * (-d.x() * mmPerPixel) + m.col(1) * (d.y() * mmPerPixel);
        const Vec3 p = frame->GetPosition() + shift;
        frame->SetPosition(p.x(), p.y(), p.z());
      }
      Redraw();
      return true;
    }
    case QEvent::MouseButtonRelease: {
      auto* e = static_cast<QMouseEvent*>(event);
      const bool click = !dragging_ && e->button() == pressButton_;
      if (dragging_) {
        renderer_->setInteracting(false);
        Redraw();
      }
      pressButton_ = Qt::NoButton;
      dragging_ = false;
      if (click) {
        // The exact position: on a scaled screen one window pixel spans several view pixels.
        emit MouseEvent(buttonCode(e->button()), shiftCode(e->modifiers()),
                        static_cast<float>(e->localPos().x() * twipsPerPixelX()),
                        static_cast<float>(e->localPos().y() * twipsPerPixelY()));
      }
      return true;
    }
    case QEvent::Wheel: {
      auto* e = static_cast<QWheelEvent*>(event);
      zoomView(std::pow(1.1, e->angleDelta().y() / 120.0));
      Redraw();
      return true;
    }
    default:
      return false;
  }
}

}  // namespace kernelcad
