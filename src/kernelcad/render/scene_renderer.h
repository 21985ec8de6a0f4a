#pragma once

#include <vtkNew.h>
#include <vtkSmartPointer.h>

#include <memory>
#include <optional>
#include <vector>

#include "kernelcad/core/scene.h"

class vtkActor;
class vtkAxesActor;
class vtkBillboardTextActor3D;
class vtkPolyData;
class vtkProp;
class vtkRenderer;
class vtkRenderWindow;

namespace kernelcad {

class MeshJobs;

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
  // While the view moves, a large scan is drawn from a coarse stand-in so turning stays fluid;
  // the full mesh comes back when the move ends. The stand-in is made off this thread once the
  // scan's first frame is on screen (frameShown); until it is ready the full mesh is drawn.
  // Returns whether the geometry to draw changed.
  bool setInteracting(bool interacting);
  // Whether the scan mesh is drawn from its stand-in now.
  bool interacting() const;
  // To be called when a frame is on screen: the stand-in is built from then on.
  void frameShown();

  // Surface point of the scan mesh (item 0) under pixel (px, py), counted from the view's
  // top-left corner; nothing when the ray misses. Waits for the triangle grid, which is built
  // off this thread once the scan is in, beside its first frame.
  std::optional<PickHit> pick(long px, long py);
  // Whether a pick would find the grid ready; waitForPicking waits until it is.
  bool pickingReady();
  void waitForPicking();

 private:
  struct MeshData {
    explicit MeshData(std::shared_ptr<const Mesh> mesh);
    MeshData(MeshData&&) noexcept;
    ~MeshData();
    std::shared_ptr<const Mesh> mesh;  // keeps the arrays VTK points into alive
    std::vector<float> ownNormals;     // for a mesh that has none of its own
    vtkSmartPointer<vtkPolyData> polyData;
    std::unique_ptr<MeshJobs> jobs;  // the grid and the stand-in
  };
  const MeshData& meshData(const std::shared_ptr<const Mesh>& mesh);
  vtkSmartPointer<vtkActor> makeActor(const Item& item, bool shaded);
  bool mirrorsModel() const;
  bool showsMesh() const;
  // How far the eye stands from the focal point: nothing of the model lies behind it.
  double eyeDistance() const;

  std::shared_ptr<Model> model_;
  std::shared_ptr<View> view_;
  vtkNew<vtkRenderer> renderer_;
  vtkNew<vtkAxesActor> axes_;
  std::optional<MeshData> meshData_;
  bool shaded_ = true;
  // Items in model order with their actors; item 0's actor, when it is the scan, is picked.
  std::vector<std::pair<std::shared_ptr<Item>, vtkSmartPointer<vtkActor>>> actors_;
  std::vector<std::pair<std::shared_ptr<LabelEntry>, vtkSmartPointer<vtkBillboardTextActor3D>>>
      labels_;
};

}  // namespace kernelcad
