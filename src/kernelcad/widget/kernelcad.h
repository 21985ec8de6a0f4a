#pragma once

#include <QPointF>
#include <QString>
#include <QWidget>
#include <memory>

#include "kernelcad/core/scene.h"

class QVTKOpenGLNativeWidget;

namespace kernelcad {

class SceneRenderer;

// The 3D view control: loads a scan, holds the scene and draws it. Left drag turns the view,
// right drag or the wheel zooms, middle drag pans; a click without a drag is reported through
// MouseEvent with the position in twips from the view's top-left corner.
class KernelCAD : public QWidget {
  Q_OBJECT

 public:
  explicit KernelCAD(QWidget* parent = nullptr);
  ~KernelCAD() override;

  // Loads the scan at `path` as item 0, replacing the mesh that was there, and fits the view.
  // A file that cannot be read throws KernelCADError naming the file and the reason; the scene
  // then keeps what it had.
  void setModelFile(const QString& path);
  QString ModelFile() const { return modelFile_; }

  bool ShowAxes() const { return showAxes_; }
  void setShowAxes(bool show);
  // False draws the surfaces as wireframe; takes effect on the next UpdateModel.
  void setShaded(bool shaded) { shaded_ = shaded; }
  bool Shaded() const { return shaded_; }

  std::shared_ptr<kernelcad::Model> Model() const { return model_; }
  std::shared_ptr<kernelcad::View> View() const { return view_; }

  // Rebuilds what is drawn after items were added, removed or scaled, or Shaded changed.
  void UpdateModel();
  // Draws again after camera or placement changes.
  void Redraw();

  // Twips per pixel of this screen along x and y (1440 / logical dpi).
  double twipsPerPixelX() const;
  double twipsPerPixelY() const;
  // A point given in twips from the view's top-left corner (as MouseEvent reports a click), in
  // the view's device pixels, which PickPoint and the viewport count in; they differ from the
  // window's pixels on a screen whose device pixel ratio is not 1.
  QPointF twipsToViewPixels(double x, double y) const;

  // The VTK widget that draws the scene (tests click on it).
  QVTKOpenGLNativeWidget* renderWidget() const { return vtkWidget_; }

 signals:
  // A click in the view: button 1 left, 2 right, 4 middle; shift 1 Shift, 2 Ctrl, 4 Alt;
  // x, y in twips.
  void MouseEvent(short button, short shift, float x, float y);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void syncViewport();
  void zoomView(double factor);

  QVTKOpenGLNativeWidget* vtkWidget_ = nullptr;
  std::unique_ptr<SceneRenderer> renderer_;
  std::shared_ptr<kernelcad::Model> model_;
  std::shared_ptr<kernelcad::View> view_;
  QString modelFile_;
  bool showAxes_ = false;
  bool shaded_ = true;
  // Mouse drag state.
  QPoint pressPos_;
  QPoint lastPos_;
  Qt::MouseButton pressButton_ = Qt::NoButton;
  bool dragging_ = false;
};

}  // namespace kernelcad
