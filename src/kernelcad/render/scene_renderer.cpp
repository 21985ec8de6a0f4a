#include "kernelcad/render/scene_renderer.h"

#include <vtkActor.h>
#include <vtkAxesActor.h>
#include <vtkBillboardTextActor3D.h>
#include <vtkCamera.h>
#include <vtkCaptionActor2D.h>
#include <vtkCellArray.h>
#include <vtkCullerCollection.h>
#include <vtkFloatArray.h>
#include <vtkLight.h>
#include <vtkLightCollection.h>
#include <vtkMatrix4x4.h>
#include <vtkOpenGLVertexBufferObject.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkPolyDataMapper.h>
#include <vtkProperty.h>
#include <vtkRenderWindow.h>
#include <vtkRenderer.h>
#include <vtkSphereSource.h>
#include <vtkTextActor.h>
#include <vtkTextProperty.h>
#include <vtkTypeInt32Array.h>
#include <vtkUnsignedCharArray.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <future>
#include <thread>

#include "kernelcad/core/coarse_mesh.h"
#include "kernelcad/core/trace.h"
#include "kernelcad/core/triangle_grid.h"
#include "kernelcad/render/triangle_mapper.h"

namespace kernelcad {

namespace {

// Above this many triangles software rendering drops below a few frames a second.
constexpr std::size_t kStandInThreshold = 400'000;
// Vertices of the stand-in: about twice as many triangles, which software rendering draws at
// ten frames a second and more.
constexpr std::size_t kStandInVertices = 10'000;

// The mesh as VTK polydata that reads the mesh's arrays in place: the mesh is immutable and
// must outlive the polydata. Every polydata made here has arrays objects of its own, so two of
// them over one mesh may be used on two threads.
vtkSmartPointer<vtkPolyData> wrap(const Mesh& mesh) {
  auto* pointsData = const_cast<float*>(mesh.points.data());  // NOLINT: VTK takes non-const
  vtkNew<vtkFloatArray> coords;
  coords->SetNumberOfComponents(3);
  coords->SetArray(pointsData, static_cast<vtkIdType>(mesh.points.size()), 1);
  vtkNew<vtkPoints> points;
  points->SetData(coords);

  auto* triData = const_cast<std::int32_t*>(mesh.triangles.data());  // NOLINT: as above
  vtkNew<vtkTypeInt32Array> connectivity;
  connectivity->SetArray(triData, static_cast<vtkIdType>(mesh.triangles.size()), 1);
  vtkNew<vtkCellArray> polys;
  polys->SetData(3, connectivity);

  auto polyData = vtkSmartPointer<vtkPolyData>::New();
  polyData->SetPoints(points);
  polyData->SetPolys(polys);
  return polyData;
}

// What is drawn of a mesh: its points and triangles, vertex normals and colours, all read in
// place; `normals` (x y z per point) must outlive the polydata too.
vtkSmartPointer<vtkPolyData> drawable(const Mesh& mesh, const std::vector<float>& normals) {
  auto polyData = wrap(mesh);
  vtkNew<vtkFloatArray> normalArray;
  normalArray->SetName("Normals");
  normalArray->SetNumberOfComponents(3);
  normalArray->SetArray(const_cast<float*>(normals.data()),  // NOLINT: as above
                        static_cast<vtkIdType>(normals.size()), 1);
  polyData->GetPointData()->SetNormals(normalArray);
  if (mesh.hasColors()) {
    vtkNew<vtkUnsignedCharArray> colours;
    colours->SetName("Colors");
    colours->SetNumberOfComponents(3);
    colours->SetArray(const_cast<std::uint8_t*>(mesh.colors.data()),  // NOLINT: as above
                      static_cast<vtkIdType>(mesh.colors.size()), 1);
    polyData->GetPointData()->SetScalars(colours);
  }
  return polyData;
}

vtkSmartPointer<vtkMatrix4x4> toVtk(const Eigen::Affine3d& transform) {
  auto m = vtkSmartPointer<vtkMatrix4x4>::New();
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) m->SetElement(r, c, transform.matrix()(r, c));
  }
  return m;
}

void applyMaterial(vtkProperty* property, const Material& material) {
  const auto& c = material.colour;
  property->SetAmbientColor(c[0][0], c[0][1], c[0][2]);
  property->SetDiffuseColor(c[1][0], c[1][1], c[1][2]);
  property->SetSpecularColor(c[2][0], c[2][1], c[2][2]);
  property->SetAmbient(1.0);
  property->SetDiffuse(1.0);
  property->SetSpecular(1.0);
  property->SetSpecularPower(std::max(1.0f, material.shininess));
}

}  // namespace

// Work on a new scan done off the user-interface thread: the triangle grid that makes picks fast,
// as soon as the scan is in (a click may come as soon as the scan shows), then the coarse
// stand-in for a large scan, which only a move needs, once the first frame is on screen: built
// beside the first upload and drawing, its blocks came between theirs, and the memory peak of a
// 1M-vertex scan was 35 MB higher one start in three. Each is built on objects of its own that no
// other thread touches, and the UI thread takes it over when ready.
class MeshJobs {
 public:
  MeshJobs(std::shared_ptr<const Mesh> mesh, bool withStandIn) {
    worker_ = std::thread([this, mesh = std::move(mesh), withStandIn] {
      try {
        // A scan replaced or a view closed at once: nothing is built for it.
        locatorPromise_.set_value(cancelled_ ? nullptr
                                             : std::make_shared<const TriangleGrid>(*mesh));
        Trace("pick-ready");
      } catch (...) {
        locatorPromise_.set_exception(std::current_exception());
      }
      shown_.get_future().wait();
      try {
        if (withStandIn && !cancelled_) {
          standInMesh_ = coarseCopy(*mesh, kStandInVertices);
          standInMesh_.normals = VertexNormals(standInMesh_);
          standInPromise_.set_value(drawable(standInMesh_, standInMesh_.normals));
          Trace("stand-in");
        } else {
          standInPromise_.set_value(nullptr);
        }
      } catch (...) {
        standInPromise_.set_exception(std::current_exception());
      }
    });
  }
  ~MeshJobs() {
    // A scan replaced or a view closed right after loading: skip what has not started.
    cancelled_ = true;
    frameShown();
    worker_.join();
  }
  MeshJobs(const MeshJobs&) = delete;
  MeshJobs& operator=(const MeshJobs&) = delete;

  // Lets the stand-in be built: called once a frame of the scan is on screen, and again harmlessly.
  void frameShown() {
    if (!shownSignalled_.exchange(true)) shown_.set_value();
  }

  // The stand-in once it is ready; null before, and for a scan small enough to draw in full.
  vtkPolyData* standIn() {
    if (!standIn_ && standInFuture_.valid() &&
        standInFuture_.wait_for(std::chrono::seconds(0)) == std::future_status::ready) {
      standIn_ = standInFuture_.get();
    }
    return standIn_;
  }

  bool locatorReady() const {
    return !locatorFuture_.valid() ||
           locatorFuture_.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
  }

  // Waits for the grid to be built.
  const TriangleGrid* locator() {
    if (locatorFuture_.valid()) locator_ = locatorFuture_.get();
    return locator_.get();
  }

 private:
  Mesh standInMesh_;  // the arrays the stand-in reads
  std::promise<vtkSmartPointer<vtkPolyData>> standInPromise_;
  std::future<vtkSmartPointer<vtkPolyData>> standInFuture_ = standInPromise_.get_future();
  vtkSmartPointer<vtkPolyData> standIn_;
  std::promise<std::shared_ptr<const TriangleGrid>> locatorPromise_;
  std::future<std::shared_ptr<const TriangleGrid>> locatorFuture_ = locatorPromise_.get_future();
  std::shared_ptr<const TriangleGrid> locator_;
  std::atomic<bool> cancelled_ = false;
  std::promise<void> shown_;
  std::atomic<bool> shownSignalled_ = false;
  std::thread worker_;
};

SceneRenderer::MeshData::MeshData(std::shared_ptr<const Mesh> m)
    : mesh(std::move(m)),
      // A mesh that came without normals (not through a load) gets them here.
      ownNormals(mesh->normals.size() == mesh->points.size() ? std::vector<float>{}
                                                             : VertexNormals(*mesh)),
      polyData(drawable(*mesh, ownNormals.empty() ? mesh->normals : ownNormals)),
      jobs(std::make_unique<MeshJobs>(mesh, mesh->triangleCount() > kStandInThreshold)) {}
SceneRenderer::MeshData::MeshData(MeshData&&) noexcept = default;

SceneRenderer::MeshData::~MeshData() = default;

SceneRenderer::SceneRenderer(std::shared_ptr<Model> model, std::shared_ptr<View> view)
    : model_(std::move(model)), view_(std::move(view)) {
  renderer_->SetBackground(0.33, 0.36, 0.45);
  // Culling a handful of actors saves nothing, and it asks for the scan's bounds, which VTK
  // finds by walking every triangle.
  renderer_->GetCullers()->RemoveAllItems();
  renderer_->GetActiveCamera()->ParallelProjectionOn();
  axes_->SetTotalLength(50.0, 50.0, 50.0);
  axes_->SetShaftTypeToLine();
  // Captions at a fixed small size: scaled to the viewport they cover the foot.
  for (vtkCaptionActor2D* caption :
       {axes_->GetXAxisCaptionActor2D(), axes_->GetYAxisCaptionActor2D(),
        axes_->GetZAxisCaptionActor2D()}) {
    caption->GetTextActor()->SetTextScaleModeToNone();
    caption->GetCaptionTextProperty()->SetFontSize(14);
    caption->GetCaptionTextProperty()->ShadowOff();
  }
  axes_->SetVisibility(false);
  // Axes and labels are never picked, so they do not change the scene's bounds for picking.
  axes_->PickableOff();
  renderer_->AddActor(axes_);
  view_->setPicker([this](long px, long py) { return pick(px, py); });
}

SceneRenderer::~SceneRenderer() { view_->setPicker(nullptr); }

const SceneRenderer::MeshData& SceneRenderer::meshData(const std::shared_ptr<const Mesh>& mesh) {
  if (meshData_ && meshData_->mesh == mesh) return *meshData_;
  meshData_.reset();  // its jobs first, so two never run at once
  meshData_.emplace(mesh);
  return *meshData_;
}

vtkSmartPointer<vtkActor> SceneRenderer::makeActor(const Item& item, bool shaded) {
  vtkSmartPointer<vtkPolyDataMapper> mapper;
  switch (item.kind()) {
    case ItemKind::Mesh: {
      auto meshMapper = vtkSmartPointer<TriangleMeshMapper>::New();
      meshMapper->SetInputData(meshData(item.mesh()).polyData);
      // The points go to the graphics as they are, in the single precision they are kept in,
      // rather than through a shifted and scaled copy: a scan sits within metres of its origin.
      meshMapper->SetVBOShiftScaleMethod(vtkOpenGLVertexBufferObject::DISABLE_SHIFT_SCALE);
      meshMapper->SetScalarVisibility(item.mesh()->hasColors());
      mapper = meshMapper;
      break;
    }
    case ItemKind::Sphere: {
      vtkNew<vtkSphereSource> sphere;
      sphere->SetRadius(item.radius());
      sphere->SetThetaResolution(24);
      sphere->SetPhiResolution(16);
      sphere->Update();
      mapper = vtkSmartPointer<vtkPolyDataMapper>::New();
      mapper->SetInputData(sphere->GetOutput());
      break;
    }
    case ItemKind::Polygon: {
      vtkNew<vtkPoints> pts;
      for (const Vec3& c : item.corners()) pts->InsertNextPoint(c.data());
      vtkNew<vtkCellArray> cells;
      const vtkIdType quad[4] = {0, 1, 2, 3};
      cells->InsertNextCell(4, quad);
      vtkNew<vtkPolyData> poly;
      poly->SetPoints(pts);
      poly->SetPolys(cells);
      mapper = vtkSmartPointer<vtkPolyDataMapper>::New();
      mapper->SetInputData(poly);
      break;
    }
  }
  auto actor = vtkSmartPointer<vtkActor>::New();
  actor->SetMapper(mapper);
  applyMaterial(actor->GetProperty(), item.material());
  if (item.kind() == ItemKind::Mesh) {
    // The scan is lit mostly by diffuse light; a full-strength ambient term flattens it.
    actor->GetProperty()->SetAmbient(0.3);
    actor->GetProperty()->SetSpecular(0.3);
  }
  if (!shaded) {
    actor->GetProperty()->SetRepresentationToWireframe();
    actor->GetProperty()->SetLineWidth(view_->lineWidth());
  }
  // A polygon such as the sheet is seen from both sides.
  actor->GetProperty()->SetBackfaceCulling(false);
  actor->SetPickable(item.kind() == ItemKind::Mesh);
  return actor;
}

void SceneRenderer::rebuild(bool shaded) {
  shaded_ = shaded;
  for (auto& [item, actor] : actors_) renderer_->RemoveActor(actor);
  actors_.clear();
  for (long i = 0; i < model_->GetItemCount(); ++i) {
    auto item = model_->GetItem(i);
    auto actor = makeActor(*item, shaded);
    renderer_->AddActor(actor);
    actors_.emplace_back(std::move(item), std::move(actor));
  }
  if (!showsMesh()) meshData_.reset();
  sync();
}

bool SceneRenderer::mirrorsModel() const {
  if (static_cast<long>(actors_.size()) != model_->GetItemCount()) return false;
  for (long i = 0; i < model_->GetItemCount(); ++i) {
    if (actors_[static_cast<std::size_t>(i)].first != model_->GetItem(i)) return false;
  }
  return true;
}

void SceneRenderer::sync() {
  // Items added or removed since the last rebuild are drawn too: callers may add an item and
  // only turn the camera afterwards.
  if (!mirrorsModel()) {
    rebuild(shaded_);
    return;
  }
  for (auto& [item, actor] : actors_) actor->SetUserMatrix(toVtk(item->transform()));

  // Labels are added by name-less entries at any time, and a new scan empties the list; mirror
  // the list as it stands, entry for entry.
  const auto list = model_->FindObject("Items");
  std::size_t same = 0;
  while (same < labels_.size() && static_cast<long>(same) < list->GetCount() &&
         labels_[same].first == list->GetEntry(static_cast<long>(same)))
    ++same;
  for (std::size_t i = same; i < labels_.size(); ++i) renderer_->RemoveActor(labels_[i].second);
  labels_.erase(labels_.begin() + static_cast<std::ptrdiff_t>(same), labels_.end());
  while (static_cast<long>(labels_.size()) < list->GetCount()) {
    auto entry = list->GetEntry(static_cast<long>(labels_.size()));
    auto text = vtkSmartPointer<vtkBillboardTextActor3D>::New();
    text->GetTextProperty()->SetFontSize(18);
    text->GetTextProperty()->SetColor(0.05, 0.05, 0.05);
    text->GetTextProperty()->SetBackgroundColor(1.0, 1.0, 1.0);
    text->GetTextProperty()->SetBackgroundOpacity(0.0);
    text->PickableOff();
    renderer_->AddActor(text);
    labels_.emplace_back(std::move(entry), std::move(text));
  }
  for (auto& [entry, text] : labels_) {
    text->SetInput(entry->text().c_str());
    const Vec3& at = entry->position();
    text->SetPosition(at.x(), at.y(), at.z());
    text->SetVisibility(entry->visible());
  }

  // Parallel camera: looking along the frame's -z axis at the view's focal point.
  vtkCamera* camera = renderer_->GetActiveCamera();
  const Eigen::Matrix3d m = view_->FindObject("EyeFrame")->orientation();
  const Vec3 focal = view_->focalPoint();
  const Vec3 eye = focal + m.col(2) * eyeDistance();
  camera->SetFocalPoint(focal.data());
  camera->SetPosition(eye.data());
  camera->SetViewUp(m.col(1).data());
  camera->SetParallelScale(view_->halfHeight());
  // The clipping range from the items' boxes and what else is shown: VTK's own bounds of a scan
  // walk all its triangles (47 ms of a 2M-triangle scan's first frame), and a box a little
  // larger than the scan clips nothing.
  const Dimensions d = model_->coarseDimensions();
  double bounds[6] = {d.min.x(), d.max.x(), d.min.y(), d.max.y(), d.min.z(), d.max.z()};
  const auto include = [&bounds](const double* b) {
    for (int a = 0; a < 3; ++a) {
      bounds[2 * a] = std::min(bounds[2 * a], b[2 * a]);
      bounds[2 * a + 1] = std::max(bounds[2 * a + 1], b[2 * a + 1]);
    }
  };
  if (axes_->GetVisibility()) include(axes_->GetBounds());
  for (const auto& [entry, text] : labels_) {
    const Vec3& at = entry->position();
    const double point[6] = {at.x(), at.x(), at.y(), at.y(), at.z(), at.z()};
    if (entry->visible()) include(point);
  }
  renderer_->ResetCameraClippingRange(bounds);

  vtkLightCollection* lights = renderer_->GetLights();
  lights->InitTraversal();
  while (vtkLight* light = lights->GetNextItem()) light->SetIntensity(view_->lightIntensity());
}

void SceneRenderer::setShowAxes(bool show) { axes_->SetVisibility(show); }

double SceneRenderer::eyeDistance() const {
  const Dimensions d = model_->coarseDimensions();
  return 1000.0 + 2.0 * (d.max - d.min).norm() +
         (view_->focalPoint() - (d.min + d.max) / 2.0).norm();
}

bool SceneRenderer::showsMesh() const {
  return !actors_.empty() && actors_.front().first->kind() == ItemKind::Mesh;
}

bool SceneRenderer::setInteracting(bool interacting) {
  if (!showsMesh() || !meshData_) return false;
  vtkPolyData* standIn = meshData_->jobs->standIn();
  vtkPolyData* wanted = interacting && standIn ? standIn : meshData_->polyData.Get();
  auto* mapper = vtkPolyDataMapper::SafeDownCast(actors_.front().second->GetMapper());
  if (mapper->GetInput() == wanted) return false;
  mapper->SetInputData(wanted);
  return true;
}

void SceneRenderer::frameShown() {
  if (meshData_) meshData_->jobs->frameShown();
}

bool SceneRenderer::interacting() const {
  return showsMesh() && meshData_ &&
         actors_.front().second->GetMapper()->GetInput() != meshData_->polyData.Get();
}

bool SceneRenderer::pickingReady() { return !meshData_ || meshData_->jobs->locatorReady(); }

void SceneRenderer::waitForPicking() {
  if (meshData_) meshData_->jobs->locator();
}

std::optional<PickHit> SceneRenderer::pick(long px, long py) {
  sync();  // a scan put in since the last rebuild gets its actor and its locator first
  if (!showsMesh() || !meshData_) return std::nullopt;
  const TriangleGrid* locator = meshData_->jobs->locator();
  if (!locator) return std::nullopt;
  // A ray along the view through the centre of the pixel, from in front of everything to
  // behind it, in the mesh's own coordinates: the grid's mesh is never moved.
  const Vec3 onScreen =
      view_->pixelToWorld(static_cast<double>(px) + 0.5, static_cast<double>(py) + 0.5);
  const Vec3 towardEye = view_->FindObject("EyeFrame")->orientation().col(2);
  const double distance = eyeDistance();
  const Item& item = *actors_.front().first;
  const Eigen::Affine3d toMesh = item.transform().inverse();
  const Vec3 from = toMesh * (onScreen + towardEye * distance);
  const Vec3 to = toMesh * (onScreen - towardEye * distance);
  const std::optional<Vec3> hit = locator->FirstHit(from, to);
  if (!hit) return std::nullopt;
  return PickHit{item.transform() * *hit, actors_.front().first};
}

}  // namespace kernelcad
