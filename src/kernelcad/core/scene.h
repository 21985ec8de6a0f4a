#pragma once

#include <Eigen/Geometry>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "kernelcad/core/mesh.h"

namespace kernelcad {

// Every operation of the component that cannot do what it was asked throws this.
class KernelCADError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

using Vec3 = Eigen::Vector3d;

// A rigid placement (with an optional scale) in world coordinates. All moves act in the world
// frame: a new transform is applied after the current one.
class Placement {
 public:
  virtual ~Placement() = default;

  // World position of the local origin (for a sphere, its centre).
  Vec3 GetPosition() const { return transform_.translation(); }
  void SetPosition(double x, double y, double z);
  void Translate(double dx, double dy, double dz);
  // Right-handed turn by `angle` degrees about the axis through (px, py, pz) with direction
  // (dx, dy, dz). A zero direction is refused.
  void Rotate(double angle, double px, double py, double pz, double dx, double dy, double dz);

  const Eigen::Affine3d& transform() const { return transform_; }
  // Puts back a placement read with transform(), for undoing a command that failed half-way.
  void restoreTransform(const Eigen::Affine3d& transform) { transform_ = transform; }

 protected:
  Eigen::Affine3d transform_ = Eigen::Affine3d::Identity();
};

enum class ItemKind { Mesh, Sphere, Polygon };

// Ambient (0), diffuse (1) and specular (2) colours and the specular power.
struct Material {
  std::array<std::array<float, 3>, 3> colour{
      {{0.2f, 0.2f, 0.2f}, {0.8f, 0.8f, 0.8f}, {0.0f, 0.0f, 0.0f}}};
  float shininess = 0.0f;
};

class Item : public Placement {
 public:
  ItemKind kind() const { return kind_; }
  const std::string& name() const { return name_; }
  void SetName(const std::string& name) { name_ = name; }

  void SetColour(int component, float r, float g, float b);
  void SetShininess(float shininess);
  const Material& material() const { return material_; }

  // Scales the item about its local origin, along the world axes. The flag asks for uniform
  // scaling to keep normals valid; a non-uniform scale with it set is refused.
  void Scale(double sx, double sy, double sz, bool uniform);

  // Geometry in the item's own coordinates.
  const std::shared_ptr<const Mesh>& mesh() const { return mesh_; }
  double radius() const { return radius_; }
  const std::array<Vec3, 4>& corners() const { return corners_; }

  // World-space bounds {xmin, ymin, zmin, xmax, ymax, zmax} of the placed geometry.
  std::array<double, 6> worldBounds() const;
  // A mesh item's geometry where it is placed, scale included, in single precision as scans
  // are: what an export writes. A mirroring placement keeps the faces outward.
  Mesh placedMesh() const;
  // Bounds that contain the placed geometry, found without visiting every vertex: the placed
  // corners of the geometry's own box.
  std::array<double, 6> coarseWorldBounds() const;

  static std::shared_ptr<Item> makeMesh(std::shared_ptr<const Mesh> mesh);
  static std::shared_ptr<Item> makeSphere(double radius);
  static std::shared_ptr<Item> makePolygon(const std::array<Vec3, 4>& corners);

 private:
  explicit Item(ItemKind kind) : kind_(kind) {}

  ItemKind kind_;
  std::string name_;
  Material material_;
  std::shared_ptr<const Mesh> mesh_;
  double radius_ = 0.0;
  std::array<Vec3, 4> corners_{};
  std::array<double, 6> localBounds_{};
};

// A text label placed in the scene.
class LabelEntry {
 public:
  LabelEntry(int kind, bool visible) : kind_(kind), visible_(visible) {}
  void SetText(const std::string& text) { text_ = text; }
  void SetEntryName(const std::string& name) { name_ = name; }
  void SetEntryPosition(double x, double y, double z) { position_ = Vec3(x, y, z); }

  int kind() const { return kind_; }
  bool visible() const { return visible_; }
  const std::string& text() const { return text_; }
  const std::string& name() const { return name_; }
  const Vec3& position() const { return position_; }

 private:
  int kind_;
  bool visible_;
  std::string text_;
  std::string name_;
  Vec3 position_ = Vec3::Zero();
};

class LabelList {
 public:
  // Kind 1 is a text label, the only kind there is.
  std::shared_ptr<LabelEntry> AddEntry(int kind, bool visible);
  long GetCount() const { return static_cast<long>(entries_.size()); }
  std::shared_ptr<LabelEntry> GetEntry(long index) const;
  void clear() { entries_.clear(); }

 private:
  std::vector<std::shared_ptr<LabelEntry>> entries_;
};

struct Dimensions {
  Vec3 min = Vec3::Zero();
  Vec3 max = Vec3::Zero();
};

// The ordered item list: item 0 is the scan's mesh once one is loaded.
class Model {
 public:
  long GetItemCount() const { return static_cast<long>(items_.size()); }
  std::shared_ptr<Item> GetItem(long index) const;
  void RemoveItem(long index);
  std::shared_ptr<Item> AddSphere(double radius);
  std::shared_ptr<Item> AddPolygon(double x1, double y1, double z1, double x2, double y2, double z2,
                                   double x3, double y3, double z3, double x4, double y4,
                                   double z4);
  // "Items" is the label list; any other name is refused.
  std::shared_ptr<LabelList> FindObject(const std::string& name) const;
  // Bounds of everything in the model; refused when the model is empty.
  Dimensions GetDimensions() const;
  // Bounds that contain everything, cheap enough for every frame; empty model: all zero.
  Dimensions coarseDimensions() const;

  // A loaded scan becomes the whole model, as item 0: nothing of an earlier scan (spheres,
  // sheets, captions) belongs beside a new patient's foot.
  void setScan(std::shared_ptr<const Mesh> mesh);

 private:
  std::vector<std::shared_ptr<Item>> items_;
  std::shared_ptr<LabelList> labels_ = std::make_shared<LabelList>();
};

// The camera frame "EyeFrame". Its orientation maps camera axes (x right, y up, z toward the
// viewer) to world axes; its position shifts what the view looks at from the fitted centre.
class Frame : public Placement {
 public:
  // The "Top" view: looking down -Z, +X to the right, +Y up; position back to zero. The view
  // refits to the model (see View).
  void ResetOrientation();
  // Turns the frame by `angle` degrees about the fixed world axis 0 = X, 1 = Y, 2 = Z; each
  // turn is applied after the earlier ones.
  void RotateAboutAxis(double angle, long axis);

  Eigen::Matrix3d orientation() const { return transform_.linear(); }
  void setOrientation(const Eigen::Matrix3d& m) { transform_.linear() = m; }

 private:
  friend class View;
  std::function<void()> onReset_;
};

struct PickHit {
  Vec3 point;
  std::shared_ptr<Item> item;
};

// The view: camera frame, parallel projection, zoom and picking, for a viewport of a given
// size in pixels.
class View {
 public:
  explicit View(std::shared_ptr<Model> model);
  ~View();
  View(const View&) = delete;
  View& operator=(const View&) = delete;

  std::shared_ptr<Frame> FindObject(const std::string& name) const;

  // Five raw 32-bit values. Value 1 is the light intensity and value 4 the wireframe line
  // width, both as single-precision bit patterns; values 0, 2 and 3 are display flags, of
  // which none is defined yet, so they must be zero.
  void SetParameters(std::int32_t flags0, std::int32_t light, std::int32_t flags2,
                     std::int32_t flags3, std::int32_t lineWidth);
  float lightIntensity() const { return lightIntensity_; }
  float lineWidth() const { return lineWidth_; }

  // Extent of the world the view shows along its horizontal (0), vertical (1) and depth (2)
  // axis, as coordinates along that camera axis. Depth covers the model's bounds.
  std::pair<double, double> GetExtent(long axis) const;
  // Multiplies the magnification by `factor` about the centre of the view. `paperLength`,
  // `offsetX` and `offsetY` are accepted so callers can pass the sheet size and a shift; the
  // view keeps its centre, so they change nothing on screen.
  void SetZoom(double factor, double paperLength, double offsetX, double offsetY);

  // The surface point of the scan mesh under view pixel (px, py), and the item hit. Without a
  // hit, `point` is left as it was and the item is empty.
  std::shared_ptr<Item> PickPoint(long px, long py, Vec3& point) const;
  using Picker = std::function<std::optional<PickHit>(long px, long py)>;
  void setPicker(Picker picker) { picker_ = std::move(picker); }

  // Viewport in pixels; the projection keeps its scale in world units per pixel vertically.
  void setViewportSize(int width, int height);
  int viewportWidth() const { return width_; }
  int viewportHeight() const { return height_; }

  // Fits the view to the bounds of all items, whatever the frame's orientation.
  void fit();
  // Half the world height the view shows, in millimetres.
  double halfHeight() const { return fitHalfHeight_ / zoom_; }
  void zoomBy(double factor);
  // The world point at the centre of the view.
  Vec3 focalPoint() const;
  // Camera rotation world -> camera coordinates.
  Eigen::Matrix3d worldToCamera() const;
  // Pixel (x right, y down from the top-left corner) of a world point.
  Eigen::Vector2d worldToPixel(const Vec3& p) const;
  // The world point on the plane through the focal point that shows at pixel (x, y): the
  // inverse of worldToPixel.
  Vec3 pixelToWorld(double x, double y) const;

 private:
  std::shared_ptr<Model> model_;
  std::shared_ptr<Frame> eyeFrame_ = std::make_shared<Frame>();
  Picker picker_;
  Vec3 fitCentre_ = Vec3::Zero();
  double fitHalfHeight_ = 100.0;
  double zoom_ = 1.0;
  int width_ = 300;
  int height_ = 300;
  float lightIntensity_ = 1.0f;
  float lineWidth_ = 1.0f;
};

}  // namespace kernelcad
