#pragma once

#include <memory>

#include "footview/camera.h"

class QImage;
class QWidget;

namespace kernelcad {
class Model;
class View;
}  // namespace kernelcad

namespace footview {

// The reference toolbar (placing and moving the spheres) and the navigation toolbar.
enum class Toolbar { Reference, Navigation };

// What the alignment, the distances and the printing need of the foot window: its model and
// view, redrawing, its two toolbars, its picture box and its standard views. They work on this,
// never on the window's widgets; the foot window is the one implementation.
class FootView {
 public:
  virtual ~FootView() = default;

  virtual std::shared_ptr<kernelcad::Model> model() const = 0;
  virtual std::shared_ptr<kernelcad::View> view() const = 0;
  // Draws the view again as the model stands.
  virtual void redraw() = 0;
  // Takes changes to the model's items (added, removed, scaled) into the view.
  virtual void updateModel() = 0;
  virtual void showToolbar(Toolbar toolbar, bool shown) = 0;
  // Shows `picture` in the picture box and returns the picture as the box holds it.
  virtual QImage showPicture(const QImage& picture) = 0;
  // The camera turned to a standard view, redrawn.
  virtual void turnTo(StandardView standard) = 0;
  // The window itself: for dialogs over it and to tell whether it is still open.
  virtual QWidget& window() = 0;
};

}  // namespace footview
