#pragma once

#include <vtkNew.h>
#include <vtkSmartPointer.h>

#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "kernelcad/core/scene.h"

class vtkActor;
class vtkAxesActor;
class vtkBillboardTextActor3D;
class vtkCellPicker;
class vtkPolyData;
class vtkProp;
class vtkRenderer;
class vtkRenderWindow;
class vtkStaticCellLocator;

namespace kernelcad {

// Mirrors the scene model into VTK: one actor per item and label, the camera from the view,
// and picking on the scan mesh. The renderer belongs to a render window the caller provides.
class SceneRenderer {
 public:
  SceneRenderer(std::shared_ptr<Model> model, std::shared_ptr<View> view);
  ~SceneRenderer();
  SceneRenderer(const SceneRenderer&) = delete;
  SceneRenderer& operator=(const SceneRenderer&) = delete;

  vtkRenderer* renderer() const { return renderer_; }

  // Recreates the actors after items were added, removed or scaled, or the display switched
  // between shaded and wireframe; then syncs placements and camera.
  void rebuild(bool shaded);
  // Copies placements, label positions and the camera from the model and view; items added or
  // removed since the last rebuild get their actors first.
  void sync();
  void setShowAxes(bool show);
  // While the camera moves, a large scan is drawn from a coarse stand-in so turning stays
  // fluid; the full mesh comes back when the move ends.
  void setInteracting(bool interacting);

  // Surface point of the scan mesh (item 0) under pixel (px, py), counted from the view's
  // top-left corner; nothing when the ray misses.
  std::optional<PickHit> pick(long px, long py);

 private:
  struct MeshData {
    std::shared_ptr<const Mesh> mesh;  // keeps the arrays VTK points into alive
    vtkSmartPointer<vtkPolyData> polyData;
    vtkSmartPointer<vtkStaticCellLocator> locator;
    vtkSmartPointer<vtkPolyData> standIn;  // made on the first move of the camera
  };
  const MeshData& meshData(const std::shared_ptr<const Mesh>& mesh);
  vtkSmartPointer<vtkActor> makeActor(const Item& item, bool shaded);
  bool mirrorsModel() const;

  std::shared_ptr<Model> model_;
  std::shared_ptr<View> view_;
  vtkNew<vtkRenderer> renderer_;
  vtkNew<vtkCellPicker> picker_;
  vtkNew<vtkAxesActor> axes_;
  std::optional<MeshData> meshData_;
  bool interacting_ = false;
  bool shaded_ = true;
  // Items in model order with their actors; the scan actor is the one picked.
  std::vector<std::pair<std::shared_ptr<Item>, vtkSmartPointer<vtkActor>>> actors_;
  std::vector<std::pair<std::shared_ptr<LabelEntry>, vtkSmartPointer<vtkBillboardTextActor3D>>>
      labels_;
};

}  // namespace kernelcad
