#pragma once

#include <QPointF>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

#include "kernelcad/core/scan_reader.h"
#include "kernelcad/core/scene.h"
#include "kernelcad/core/units.h"

class QVTKOpenGLNativeWidget;

namespace kernelcad {

class SceneRenderer;

// A load the operator cancelled, or one cut short because the control or the program went
// while it ran. The scene keeps what it had.
class LoadCancelled : public KernelCADError {
 public:
  using KernelCADError::KernelCADError;
};

// Says which unit a freshly read scan is written in; called on the control's thread before the
// mesh becomes item 0, so the caller may ask the operator.
using UnitOfScan = std::function<LengthUnit(const Mesh& mesh)>;

// The 3D view control: loads a scan, holds the scene and draws it. Left drag turns the view,
// right drag or the wheel zooms, middle drag pans; a click without a drag is reported through
// MouseEvent with the position in twips from the view's top-left corner.
class KernelCAD : public QWidget {
  Q_OBJECT

 public:
  explicit KernelCAD(QWidget* parent = nullptr);
  ~KernelCAD() override;

  // Loads the scan at `path` as item 0, replacing the mesh that was there, and fits the view.
  // The file is read on a thread of its own while the windows go on repainting; a load that
  // lasts longer than the progress delay shows a modal progress window with Cancel. The call
  // returns when the load is over. With `unitOf` the mesh is converted from the unit it names
  // into millimetres. A file that cannot be read throws KernelCADError naming the file and the
  // reason, a cancelled load LoadCancelled; the scene then keeps what it had. A load asked for
  // while one runs is refused with KernelCADError.
  void setModelFile(const QString& path, const UnitOfScan& unitOf = {});
  QString ModelFile() const { return modelFile_; }
  // Starts reading the scan at `path` for a setModelFile of the same file soon after, which
  // then takes what was read or waits for the rest: the program reads while the operator
  // answers a question about the scan. The next read ahead or load drops one no load took.
  static void readAhead(const QString& path);

  bool isLoading() const { return load_ != nullptr; }
  // Stops the load that runs, if any; setModelFile then throws LoadCancelled.
  void cancelLoad();
  // Milliseconds a load runs before its progress window shows, for every control.
  static constexpr int kDefaultProgressDelayMs = 500;
  static void setProgressDelay(int ms);

  bool ShowAxes() const { return showAxes_; }
  void setShowAxes(bool show);
  // False draws the surfaces as wireframe; takes effect on the next UpdateModel.
  void setShaded(bool shaded) { shaded_ = shaded; }
  bool Shaded() const { return shaded_; }

  std::shared_ptr<kernelcad::Model> Model() const { return model_; }
  std::shared_ptr<kernelcad::View> View() const { return view_; }

  // Rebuilds what is drawn after items were added, removed or scaled, or Shaded changed.
  void UpdateModel();
  // Draws again after camera or placement changes. A large scan follows such moves from a
  // coarse stand-in; the full mesh comes back once they pause (or the mouse lets go).
  void Redraw();
  // Draws the full mesh at once if a move left the stand-in showing: a picture that is printed
  // or captured is never of the stand-in.
  void settle();

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
  // Each read of a scan, done, failed or cancelled, ends with this.
  void loadEnded();
  // Items were added, removed or scaled (UpdateModel): what is measured on them may have changed.
  void modelUpdated();
  // The first frame of a newly loaded scan is on screen: work on it that would have slowed that
  // frame down can start.
  void scanShown();
  // A click in the view: button 1 left, 2 right, 4 middle; shift 1 Shift, 2 Ctrl, 4 Alt;
  // x, y in twips.
  void MouseEvent(short button, short shift, float x, float y);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  struct PendingLoad;
  ScanFile readScan(const QString& path);
  void syncViewport();
  void zoomView(double factor);
  void render();

  QVTKOpenGLNativeWidget* vtkWidget_ = nullptr;
  std::unique_ptr<SceneRenderer> renderer_;
  std::shared_ptr<kernelcad::Model> model_;
  std::shared_ptr<kernelcad::View> view_;
  QString modelFile_;
  PendingLoad* load_ = nullptr;
  bool showAxes_ = false;
  bool shaded_ = true;
  // Mouse drag state.
  QPoint pressPos_;
  QPoint lastPos_;
  Qt::MouseButton pressButton_ = Qt::NoButton;
  bool dragging_ = false;
  QTimer settleTimer_;
  int multiSamples_ = 0;      // of the picture at rest
  bool scanShowing_ = false;  // a new scan's first frame is on its way to the screen
};

}  // namespace kernelcad
